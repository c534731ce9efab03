#pragma once
// The per-user settings store: text values by application, section and key,
// kept on Linux in the INI file $XDG_CONFIG_HOME/<app>/<app>.conf. An
// application's store is read once, when first asked, and written once, by
// WriteSettings when the form closes.

#include <string>

namespace platform {

// The default when the key is absent, or when the store could not be read
// (it is then left as it is, and WriteSettings says so).
std::string GetSetting(const std::string& appName, const std::string& section,
                       const std::string& key, const std::string& defaultValue = {});
void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value);

// Writes every store asked for since the last write, each in one step, then
// forgets them: the next GetSetting reads the file anew. Error 75 when a store
// cannot be written, or was there but could not be read; the others are still
// written.
void WriteSettings();

// Forgets every store without writing it.
void ForgetSettings();

} // namespace platform
