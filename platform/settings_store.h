#pragma once
// The per-user settings store: text values by application, section and key.

#include <string>

namespace platform {

std::string GetSetting(const std::string& appName, const std::string& section,
                       const std::string& key, const std::string& defaultValue = {});
// Error 75 when the store cannot be written.
void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value);

} // namespace platform
