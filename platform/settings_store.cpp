#include "platform/settings_store.h"

#include "platform/errors.h"
#include "platform/qt_support.h"

#include <QSettings>

namespace platform {

namespace {

// One file per application in the platform's own place: on Linux the INI file
// $XDG_CONFIG_HOME/<app>/<app>.conf.
QSettings store(const std::string& appName)
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, qstr(appName), qstr(appName));
}

QString keyOf(const std::string& section, const std::string& key) { return qstr(section) + "/" + qstr(key); }

} // namespace

std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                       const std::string& defaultValue)
{
    const QVariant value = store(appName).value(keyOf(section, key));
    return value.isValid() ? str(value.toString()) : defaultValue;
}

void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value)
{
    QSettings settings = store(appName);
    settings.setValue(keyOf(section, key), qstr(value));
    settings.sync();
    // A store that could not be parsed (FormatError) is written afresh all the
    // same; that status would hide a failed write, hence the second test.
    if (settings.status() == QSettings::AccessError || !settings.isWritable())
        throw RuntimeError(PathFileAccessError,
                           "Cannot store the setting " + key + " in " + str(settings.fileName()));
}

} // namespace platform
