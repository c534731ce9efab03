#pragma once
// File names on this platform, the file tests the form makes, and the two ways
// a file is written. Names are byte sequences, used as they are: they need not
// be valid UTF-8.

#include <cstdint>
#include <functional>
#include <string>
#include <optional>
#include <string_view>

namespace platform {

// What the form puts between a folder and a name; plain concatenation, so the
// root folder gives two in a row, which the system accepts.
inline const std::string PathSeparator = "/";

// Whether an ordinary file (not a folder) of exactly this name exists, also
// through a link. The name is never a pattern: "*" and "?" are characters like
// any other.
bool FileExists(const std::string& fileName);

// Whether the name is taken in any form: a file, a folder, a link (even one
// that points nowhere), a pipe. What Save all skips.
bool NameTaken(const std::string& name);

// The longest name, in bytes, that the folder's file system takes (255 when
// it does not say, or the folder is not there).
int32_t LongestName(const std::string& folder);

// Whether a folder of this name exists (a link to one counts).
bool FolderExists(const std::string& name);

// The folder part of a full file name, without a trailing separator. A name
// directly in the root gives the root itself ("/"), so that an empty folder
// keeps meaning "none". Error 76 for a name without any folder part.
std::string FolderOf(const std::string& fileName);

// Creates the file with exactly these bytes, complete or not at all. Returns
// false, and writes nothing anywhere, when the name exists in any form: a
// file, a folder, a link (even one that points nowhere), a pipe; also one that
// appears while the bytes are written. Errors: 76 when the folder does not
// exist, 75 for any other failure; the description names the file and the cause.
bool WriteNewFile(const std::string& fileName, std::string_view bytes);

// For tests: called with the name as WriteNewFile begins, before anything is
// written, so a test can look at the window while a file is being written, or
// make the writing slow. An empty function (the default) calls nothing.
void setWriteNewFileHook(std::function<void(const std::string&)> hook);

// Replaces the file with these bytes in one step, synced to disk first: a
// failed write, or a crash, leaves the old file as it was. A name that is a link keeps the link, and the file it points
// to gets the bytes, as editors do. The old file's permissions stay. Errors as
// for WriteNewFile; a folder or a read-only file of that name is error 75.
void ReplaceFile(const std::string& fileName, std::string_view bytes);

// ReplaceFile for bytes that come in pieces, so that a large file is never
// held whole: written into a scratch file beside the file, which takes its
// place at commit(). Dropped without commit(), the old file stays untouched.
class FileReplacement {
public:
    explicit FileReplacement(const std::string& fileName);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    void write(std::string_view bytes);
    void commit();

private:
    // Written a piece at a time, not a call for each small write.
    static constexpr size_t kBufferSize = 64 * 1024;
    void flush();
    [[noreturn]] void fail(int error);

    const std::string mFileName;
    // Where a link leads.
    const std::string mTarget;
    std::string mScratchName;
    int mFd = -1;
    std::string mBuffer;
};

// A file as the system knows it, whatever the text that names it: its folder
// by device and inode, and its name there. Two names with equal identities
// write the same file.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t folder = 0;
    std::string name;
    bool operator==(const FileIdentity& other) const
    {
        return device == other.device && folder == other.folder && name == other.name;
    }
};

// Whether a name is taken as it stands (a new file) or where its links lead (a
// replaced file, a file read).
enum class Links { AsTheyAre, Followed };

// The identity of the file a name would write or read; nothing when its folder
// does not exist.
std::optional<FileIdentity> IdentityOf(const std::string& fileName, Links links);

// Why no file can be made in the folder of this name ("the folder 'out' does
// not exist", "... is not writable: Permission denied"), or "" when one can.
std::string FolderProblem(const std::string& fileName);

// Puts every file written so far on the folder's file system on disk. Error 75
// when the system cannot.
void FlushFiles(const std::string& folder);

} // namespace platform
