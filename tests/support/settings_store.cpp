#include "support/settings_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

QString storeFolder() { return qEnvironmentVariable("XDG_CONFIG_HOME") + "/Quorvel"; }

QString storeFile() { return storeFolder() + "/Quorvel.conf"; }

bool writeStore(const QByteArray& content)
{
    static QDateTime stamp = QDateTime::currentDateTime();
    stamp = stamp.addSecs(1);
    QFile file(storeFile());
    return QDir().mkpath(storeFolder()) && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size() && file.setFileTime(stamp, QFileDevice::FileModificationTime);
}

std::ostream& operator<<(std::ostream& os, const Shown& s)
{
    return os << "state " << s.state << ", (" << s.left << ", " << s.top << ", " << s.width << ", " << s.height
              << "), drive " << s.drive << ", dir " << s.dir << ", output " << s.output;
}

Shown shownBy(const f_Main& f)
{
    return {f.WindowState(), f.Left(),         f.Top(),       f.Width(),
            f.Height(),      f.Drive1.Drive(), f.Dir1.Path(), f.lbDir.Caption()};
}
