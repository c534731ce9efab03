#include "platform/files.h"

#include "platform/errors.h"
#include "platform/qt_support.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

std::function<void(const std::string&)>& writeNewFileHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

// What a new file may be, before the user's umask.
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
// The kernel gives up on longer chains of links with ELOOP; so do we.
constexpr int kMaxLinkHops = 40;
// Enough to step past scratch files that an ended run left behind.
constexpr int kScratchAttempts = 1000;

// The folder a file is created in: "." for a bare name.
std::string folderFor(const std::string& fileName)
{
    const std::string::size_type last = fileName.rfind(PathSeparator);
    if (last == std::string::npos)
        return ".";
    return last == 0 ? PathSeparator : fileName.substr(0, last);
}

[[noreturn]] void throwWriteError(const std::string& fileName, const std::string& cause, int error)
{
    const int number = error == ENOENT || error == ENOTDIR ? PathNotFound : PathFileAccessError;
    throw RuntimeError(number, "Cannot write " + quoted(fileName) + ": " + cause);
}

[[noreturn]] void throwWriteError(const std::string& fileName, int error)
{
    throwWriteError(fileName, std::strerror(error), error);
}

// A descriptor that is closed however the writing ends.
class Descriptor {
public:
    explicit Descriptor(int fd) : mFd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    int fd() const { return mFd; }
    // 0, or the error of the close: some file systems report a failed write only there.
    int close()
    {
        const int result = ::close(mFd);
        mFd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int mFd;
};

// 0, or the error that stopped the writing.
int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno != EINTR)
            return errno;
        if (written > 0)
            bytes.remove_prefix(size_t(written));
    }
    return 0;
}

// A new file under a short name of its own in folder, whatever the length of
// the name it will take; its name goes into scratchName.
int createScratch(const std::string& folder, std::string& scratchName)
{
    static unsigned counter = 0;
    for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
        scratchName = folder + PathSeparator + ".quorvel-" + std::to_string(::getpid()) + "-" +
                      std::to_string(counter++);
        const int fd = ::open(scratchName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Writes bytes into a file with no name in the file's folder, then gives it
// the name: the kernel refuses with EEXIST whatever holds the name, and the
// unnamed file vanishes by itself however the program ends. Nothing when this
// system makes no unnamed files.
std::optional<bool> writeUnnamed(const std::string& fileName, std::string_view bytes)
{
    Descriptor file(::open(folderFor(fileName).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, kNewFileMode));
    // Kernels before O_TMPFILE take it for a folder opened to write.
    if (file.fd() < 0 && (errno == EOPNOTSUPP || errno == EISDIR))
        return std::nullopt;
    if (file.fd() < 0)
        throwWriteError(fileName, errno);
    if (const int error = writeAll(file.fd(), bytes))
        throwWriteError(fileName, error);
    const std::string self = "/proc/self/fd/" + std::to_string(file.fd());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, fileName.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    // Without /proc the file cannot be named.
    if (errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
        return std::nullopt;
    throwWriteError(fileName, errno);
}

// The same with a scratch name: the scratch is linked to the name (EEXIST
// whatever holds it) and removed. A file system without hard links gets a
// rename that refuses to replace anything.
bool writeNamed(const std::string& fileName, std::string_view bytes)
{
    std::string scratchName;
    Descriptor scratch(createScratch(folderFor(fileName), scratchName));
    if (scratch.fd() < 0)
        throwWriteError(fileName, errno);
    int error = writeAll(scratch.fd(), bytes);
    if (error == 0)
        error = scratch.close();
    // Only a complete file may take the name: the rename stands in for a refused
    // link, never for a failed write.
    if (error == 0 && ::link(scratchName.c_str(), fileName.c_str()) != 0) {
        error = errno;
        if (error == EPERM || error == EOPNOTSUPP)
            error = ::renameat2(AT_FDCWD, scratchName.c_str(), AT_FDCWD, fileName.c_str(), RENAME_NOREPLACE) == 0
                        ? 0
                        : errno;
    }
    ::unlink(scratchName.c_str());
    if (error == EEXIST)
        return false;
    if (error != 0)
        throwWriteError(fileName, error);
    return true;
}

// The file a name leads to through its links; the name itself when it is no link.
std::string linkTarget(const std::string& fileName)
{
    std::string name = fileName;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(name.c_str(), target, sizeof target);
        if (length < 0)
            return name;
        const std::string to(target, size_t(length));
        name = to.rfind(PathSeparator, 0) == 0 ? to : folderFor(name) + PathSeparator + to;
    }
    throwWriteError(fileName, ELOOP);
}

} // namespace

bool FileExists(const std::string& fileName)
{
    struct stat status;
    return ::stat(fileName.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool NameTaken(const std::string& name)
{
    struct stat status;
    return ::lstat(name.c_str(), &status) == 0;
}

int32_t LongestName(const std::string& folder)
{
    constexpr int32_t kCommonLongestName = 255;
    const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return longest > 0 ? int32_t(std::min<long>(longest, std::numeric_limits<int32_t>::max())) : kCommonLongestName;
}

bool FolderExists(const std::string& name)
{
    struct stat status;
    return ::stat(name.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string FolderOf(const std::string& fileName)
{
    const std::string::size_type last = fileName.rfind(PathSeparator);
    if (last == std::string::npos)
        throw RuntimeError(PathNotFound, "Path not found: '" + fileName + "' names no folder");
    return folderFor(fileName);
}

void setWriteNewFileHook(std::function<void(const std::string&)> hook) { writeNewFileHook() = std::move(hook); }

bool WriteNewFile(const std::string& fileName, std::string_view bytes)
{
    if (writeNewFileHook())
        writeNewFileHook()(fileName);
    if (const std::optional<bool> written = writeUnnamed(fileName, bytes))
        return *written;
    return writeNamed(fileName, bytes);
}

FileReplacement::FileReplacement(const std::string& fileName) : mFileName(fileName), mTarget(linkTarget(fileName))
{
    struct stat old;
    const bool replacing = ::stat(mTarget.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT)
        throwWriteError(fileName, errno);
    // A rename would put the file in a folder's place, or over a file the user may not write.
    if (replacing && !S_ISREG(old.st_mode))
        throwWriteError(fileName, S_ISDIR(old.st_mode) ? "it is a folder" : "it is not a file", EISDIR);
    if (replacing && ::access(mTarget.c_str(), W_OK) != 0)
        throwWriteError(fileName, std::string("the file is not writable: ") + std::strerror(errno), errno);
    mFd = createScratch(folderFor(mTarget), mScratchName);
    if (mFd < 0)
        throwWriteError(fileName, errno);
    if (replacing && ::fchmod(mFd, old.st_mode & kPermissionBits) != 0)
        fail(errno);
}

FileReplacement::~FileReplacement()
{
    if (mFd >= 0)
        ::close(mFd);
    if (!mScratchName.empty())
        ::unlink(mScratchName.c_str());
}

void FileReplacement::write(std::string_view bytes)
{
    mBuffer.append(bytes);
    if (mBuffer.size() >= kBufferSize)
        flush();
}

void FileReplacement::flush()
{
    if (const int error = writeAll(mFd, mBuffer))
        fail(error);
    mBuffer.clear();
}

void FileReplacement::commit()
{
    flush();
    // On disk before the rename: a crash then leaves the old file or the new one, never an empty one.
    if (::fsync(mFd) != 0)
        fail(errno);
    const int fd = std::exchange(mFd, -1);
    if (::close(fd) != 0)
        fail(errno);
    if (::rename(mScratchName.c_str(), mTarget.c_str()) != 0)
        fail(errno);
    mScratchName.clear();
}

void FileReplacement::fail(int error) { throwWriteError(mFileName, error); }

void ReplaceFile(const std::string& fileName, std::string_view bytes)
{
    FileReplacement file(fileName);
    file.write(bytes);
    file.commit();
}

std::optional<FileIdentity> IdentityOf(const std::string& fileName, Links links)
{
    const std::string name = links == Links::Followed ? linkTarget(fileName) : fileName;
    struct stat folder;
    if (::stat(folderFor(name).c_str(), &folder) != 0)
        return std::nullopt;
    const std::string::size_type last = name.rfind(PathSeparator);
    return FileIdentity{uint64_t(folder.st_dev), uint64_t(folder.st_ino),
                        last == std::string::npos ? name : name.substr(last + 1)};
}

std::string FolderProblem(const std::string& fileName)
{
    const std::string folder = folderFor(fileName);
    struct stat status;
    if (::stat(folder.c_str(), &status) != 0)
        return errno == ENOENT ? "the folder " + quoted(folder) + " does not exist"
                               : "the folder " + quoted(folder) + " cannot be reached: " + std::strerror(errno);
    if (!S_ISDIR(status.st_mode))
        return quoted(folder) + " is not a folder";
    // Making a file takes both: writing the folder and passing through it.
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "the folder " + quoted(folder) + " is not writable: " + std::strerror(errno);
    return {};
}

void FlushFiles(const std::string& folder)
{
    Descriptor descriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (descriptor.fd() < 0 || ::syncfs(descriptor.fd()) != 0)
        throw RuntimeError(PathFileAccessError,
                           "Cannot flush the files in " + quoted(folder) + " to disk: " + std::strerror(errno));
}

} // namespace platform
