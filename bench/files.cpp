#include "bench/files.h"

#include "platform/picture.h"

#include <QImage>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

namespace {

constexpr mode_t kFileMode = 0644;
constexpr int kByteMask = 0xFF;
constexpr int kLetters = 26;
// A folder's files are tiny strips of this size, so choosing one loads at once.
constexpr int kFolderStripWidth = 32;
constexpr int kFolderStripHeight = 16;

QRgb pixelColour(int x, int y) { return qRgb(x & kByteMask, y & kByteMask, (x >> 8) & kByteMask); }

} // namespace

void writeStrip(const fs::path& file, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = pixelColour(x, y);
    }
    platform::SavePicture(platform::Picture(image), file.string());
}

std::uintmax_t tileFileSize(const fs::path& scratchFolder, int width, int height)
{
    const fs::path file = scratchFolder / "tile-size.bmp";
    writeStrip(file, width, height);
    const std::uintmax_t size = fs::file_size(file);
    fs::remove(file);
    return size;
}

std::string checkTiles(const fs::path& folder, const std::string& prefix, int count, std::uintmax_t fileSize)
{
    for (int number = 1; number <= count; ++number) {
        const fs::path file = folder / (prefix + std::to_string(number) + ".bmp");
        std::error_code error;
        const std::uintmax_t size = fs::file_size(file, error);
        if (error)
            return file.filename().string() + " is missing";
        if (size != fileSize)
            return file.filename().string() + " has " + std::to_string(size) + " bytes, not " +
                   std::to_string(fileSize);
    }
    const auto written = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    if (written != count)
        return std::to_string(written) + " files written, not " + std::to_string(count);
    return {};
}

double writePlainFiles(const fs::path& folder, int count, std::uintmax_t fileSize)
{
    const std::vector<char> content(fileSize, 'x');
    const auto start = std::chrono::steady_clock::now();
    for (int number = 1; number <= count; ++number) {
        const std::string name = (folder / ("plain" + std::to_string(number) + ".bmp")).string();
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
        if (fd < 0)
            return -1;
        const bool written = write(fd, content.data(), content.size()) == ssize_t(content.size());
        if (close(fd) != 0 || !written)
            return -1;
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool writeFolderOfStrips(const fs::path& folder, int count)
{
    const fs::path sample = folder / "sample.bmp";
    writeStrip(sample, kFolderStripWidth, kFolderStripHeight);
    std::ifstream in(sample, std::ios::binary);
    const std::vector<char> content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fs::remove(sample);
    for (int number = 0; number < count; ++number) {
        // The first letters run from a to z, so typing one has somewhere to go.
        const std::string name = std::string(1, char('a' + number % kLetters)) + std::to_string(number) + ".bmp";
        const int fd = open((folder / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
        if (fd < 0)
            return false;
        const bool written = write(fd, content.data(), content.size()) == ssize_t(content.size());
        if (close(fd) != 0 || !written)
            return false;
    }
    return true;
}

double scanFolder(const fs::path& folder, const std::vector<std::string>& patterns, int& matched)
{
    const auto start = std::chrono::steady_clock::now();
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return -1;
    matched = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.' || entry->d_type != DT_REG)
            continue;
        for (const std::string& pattern : patterns) {
            if (fnmatch(pattern.c_str(), entry->d_name, FNM_CASEFOLD) == 0) {
                ++matched;
                break;
            }
        }
    }
    closedir(dir);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void makeEmptyFolder(const fs::path& folder)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        syncfs(fd);
        close(fd);
    }
}

} // namespace bench
