#pragma once
// The few ways the batch mode's messages and files put things into text.

#include <QByteArray>
#include <cstdint>
#include <string>
#include <string_view>

namespace cli {

// A name as the messages quote it.
inline std::string inQuotes(const std::string& name) { return "'" + name + "'"; }

// A size as the options write it: 16x16.
inline std::string sizeText(int64_t width, int64_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// Bytes made by Qt, for the runtime's writes.
inline std::string_view viewOf(const QByteArray& bytes) { return {bytes.constData(), size_t(bytes.size())}; }

} // namespace cli
