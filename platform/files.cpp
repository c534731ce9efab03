#include "platform/files.h"

#include "platform/errors.h"
#include "platform/qt_support.h"

#include <QFileInfo>

namespace platform {

bool FileExists(const std::string& fileName) { return QFileInfo(qstr(fileName)).isFile(); }

bool FolderExists(const std::string& name) { return QFileInfo(qstr(name)).isDir(); }

std::string FolderOf(const std::string& fileName)
{
    const std::string::size_type last = fileName.rfind(PathSeparator);
    if (last == std::string::npos)
        throw RuntimeError(PathNotFound, "Path not found: '" + fileName + "' names no folder");
    if (last == 0)
        return PathSeparator;
    return fileName.substr(0, last);
}

} // namespace platform
