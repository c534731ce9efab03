#include "platform/settings_store.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/qt_support.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string_view>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Keys above the first section, as other INI writers put them.
const std::string kGeneralSection = "General";
constexpr mode_t kNewFolderMode = 0777;
const char kBlanks[] = " \t";
constexpr int kHexDigitsOfAnEscape = 4;

// section -> key -> value
using Sections = std::map<std::string, std::map<std::string, std::string>>;

struct Store {
    std::string fileName;
    Sections values;
    // Why the file that is there could not be read; such a file is never written over.
    std::string unreadable;
};

// $XDG_CONFIG_HOME, else ~/.config, with the home from the password database
// when HOME is not set: never a folder at the root of the file system.
std::string configFolder()
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome && configHome[0] == '/')
        return configHome;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.config";
    const passwd* account = ::getpwuid(::getuid());
    if (account && account->pw_dir && account->pw_dir[0] == '/')
        return std::string(account->pw_dir) + "/.config";
    return {};
}

std::string_view trimmed(std::string_view text)
{
    const std::string_view::size_type first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

void appendUtf8(std::string& text, unsigned code)
{
    if (code < 0x80) {
        text += char(code);
    } else if (code < 0x800) {
        text += char(0xC0 | (code >> 6));
        text += char(0x80 | (code & 0x3F));
    } else {
        text += char(0xE0 | (code >> 12));
        text += char(0x80 | ((code >> 6) & 0x3F));
        text += char(0x80 | (code & 0x3F));
    }
}

unsigned hexValue(char digit)
{
    return std::isdigit(static_cast<unsigned char>(digit)) ? unsigned(digit - '0')
                                                           : unsigned(std::tolower(digit) - 'a' + 10);
}

// A value as the file holds it, to the text it stands for. The text a person
// typed stays as it is (a comma or a semicolon is part of a path); the quotes
// around a whole value and backslash escapes, as written for values that need
// them, are undone.
std::string valueOf(std::string_view written)
{
    // The last quote closes when an even number of backslashes stands before it.
    const std::string::size_type backslashes =
        written.size() < 2 ? 0 : written.size() - 1 - (written.find_last_not_of('\\', written.size() - 2) + 1);
    const bool quoted =
        written.size() >= 2 && written.front() == '"' && written.back() == '"' && backslashes % 2 == 0;
    const std::string_view inner = quoted ? written.substr(1, written.size() - 2) : written;
    std::string value;
    value.reserve(inner.size());
    for (std::string::size_type i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        if (c != '\\' || i + 1 == inner.size()) {
            value += c;
            continue;
        }
        const char escaped = inner[++i];
        switch (escaped) {
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 't': value += '\t'; break;
        case '0': value += '\0'; break;
        case '\\':
        case '"': value += escaped; break;
        case 'x': {
            unsigned code = 0;
            for (int digits = 0; digits < kHexDigitsOfAnEscape && i + 1 < inner.size() &&
                                 std::isxdigit(static_cast<unsigned char>(inner[i + 1]));
                 ++digits)
                code = code * 16 + hexValue(inner[++i]);
            appendUtf8(value, code);
            break;
        }
        // Not an escape: a backslash a person typed.
        default: value += '\\'; value += escaped;
        }
    }
    // A text that starts with "@" is written with a second one.
    return value.rfind("@@", 0) == 0 ? value.substr(1) : value;
}

// The text as a value that valueOf reads back exactly, and that other INI
// readers take for one text.
std::string writtenOf(const std::string& value)
{
    std::string written = value.rfind('@', 0) == 0 ? "@" : "";
    for (const char c : value) {
        switch (c) {
        case '\n': written += "\\n"; break;
        case '\r': written += "\\r"; break;
        case '\t': written += "\\t"; break;
        case '\0': written += "\\0"; break;
        case '\\': written += "\\\\"; break;
        case '"': written += "\\\""; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\x%04x", unsigned(static_cast<unsigned char>(c)));
                written += escape;
            } else {
                written += c;
            }
        }
    }
    // Other readers split a value at a comma and end it at a semicolon, and drop blanks at its ends.
    const bool quote = written.find_first_of(",;") != std::string::npos ||
                       (!written.empty() && (std::strchr(kBlanks, written.front()) || std::strchr(kBlanks, written.back())));
    return quote ? '"' + written + '"' : written;
}

Sections parsed(std::string_view text)
{
    Sections sections;
    auto* section = &sections[kGeneralSection];
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.remove_prefix(3);
    while (!text.empty()) {
        // A line ends at "\n", "\r\n" or a lone "\r", as QSettings reads them (a file
        // edited on Windows); the empty line inside "\r\n" is skipped as blank.
        const std::string_view::size_type end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            const std::string_view::size_type close = line.find(']');
            if (close != std::string_view::npos)
                section = &sections[std::string(line.substr(1, close - 1))];
            continue;
        }
        const std::string_view::size_type equals = line.find('=');
        const std::string_view key = trimmed(line.substr(0, equals));
        if (equals != std::string_view::npos && !key.empty())
            (*section)[std::string(key)] = valueOf(trimmed(line.substr(equals + 1)));
    }
    // Nothing was above the first section.
    if (sections[kGeneralSection].empty())
        sections.erase(kGeneralSection);
    return sections;
}

std::string textOf(const Sections& sections)
{
    std::string text;
    for (const auto& [section, keys] : sections) {
        if (!text.empty())
            text += '\n';
        text += '[' + section + "]\n";
        for (const auto& [key, value] : keys)
            text += key + '=' + writtenOf(value) + '\n';
    }
    return text;
}

// Only a regular file is opened: a pipe or a device put in its place could
// keep the start waiting for ever.
Store read(const std::string& appName)
{
    Store store;
    const std::string folder = configFolder();
    if (folder.empty()) {
        store.unreadable = "there is no home folder to keep them in";
        return store;
    }
    store.fileName = folder + "/" + appName + "/" + appName + ".conf";
    struct stat status;
    if (::stat(store.fileName.c_str(), &status) != 0) {
        if (errno != ENOENT)
            store.unreadable = std::strerror(errno);
        return store;
    }
    if (!S_ISREG(status.st_mode)) {
        store.unreadable = "it is not a file";
        return store;
    }
    const int fd = ::open(store.fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        store.unreadable = std::strerror(errno);
        return store;
    }
    std::string text;
    char buffer[65536];
    ssize_t got = 0;
    // Checked again on what was opened: the name may have changed hands meanwhile.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        store.unreadable = "it is not a file";
    } else {
        while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
            text.append(buffer, size_t(std::max<ssize_t>(got, 0)));
        if (got < 0)
            store.unreadable = std::strerror(errno);
    }
    ::close(fd);
    if (store.unreadable.empty())
        store.values = parsed(text);
    return store;
}

// Makes each missing folder of the path.
void makeFolders(const std::string& path)
{
    for (std::string::size_type at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        ::mkdir(path.substr(0, at).c_str(), kNewFolderMode);
}

void write(const Store& store)
{
    if (store.fileName.empty())
        throw RuntimeError(PathFileAccessError, "Cannot store the settings: " + store.unreadable);
    if (!store.unreadable.empty())
        throw RuntimeError(PathFileAccessError, "Cannot store the settings in " + quoted(store.fileName) +
                                                    ": it could not be read (" + store.unreadable +
                                                    "), so it is left as it is");
    makeFolders(store.fileName);
    try {
        ReplaceFile(store.fileName, textOf(store.values));
    } catch (const RuntimeError& e) {
        throw RuntimeError(PathFileAccessError, "Cannot store the settings: " + e.description());
    }
}

std::map<std::string, Store>& openStores()
{
    static std::map<std::string, Store> stores;
    return stores;
}

Store& storeOf(const std::string& appName)
{
    std::map<std::string, Store>& stores = openStores();
    const auto found = stores.find(appName);
    return found != stores.end() ? found->second : stores.emplace(appName, read(appName)).first->second;
}

} // namespace

std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                       const std::string& defaultValue)
{
    const Sections& values = storeOf(appName).values;
    const auto inSection = values.find(section);
    if (inSection == values.end())
        return defaultValue;
    const auto value = inSection->second.find(key);
    return value == inSection->second.end() ? defaultValue : value->second;
}

void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value)
{
    storeOf(appName).values[section][key] = value;
}

void WriteSettings()
{
    std::map<std::string, Store> stores;
    stores.swap(openStores());
    std::string failure;
    for (const auto& [appName, store] : stores) {
        try {
            write(store);
        } catch (const RuntimeError& e) {
            failure = e.description();
        }
    }
    if (!failure.empty())
        throw RuntimeError(PathFileAccessError, failure);
}

void ForgetSettings() { openStores().clear(); }

} // namespace platform
