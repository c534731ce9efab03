#include "bench/files.h"

#include "platform/picture.h"

#include <QColor>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdlib>
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

// One cell in this many is left empty, as sheets have unused cells.
constexpr uint32_t kEmptyOneIn = 12;
// The figure's shades: outline, dark, middle, light.
constexpr int kShades = 4;
// One figure pixel in this many is a dark detail.
constexpr uint32_t kDetailOneIn = 6;
constexpr uint32_t kSeed = 0x9E3779B9;

// A small fixed-seed generator (xorshift), the same on every machine.
class Random {
public:
    explicit Random(uint32_t seed) : mState(seed ? seed : kSeed) {}
    uint32_t next()
    {
        mState ^= mState << 13;
        mState ^= mState >> 17;
        mState ^= mState << 5;
        return mState;
    }
    uint32_t below(uint32_t n) { return next() % n; }

private:
    uint32_t mState;
};

// Sprites packed in an atlas stand at least this far apart, so none touches another.
constexpr int kPackingGap = 2;
// More room than the least between sprites, drawn at random, so that a sheet's
// sprites spread over it rather than crowd its top.
constexpr uint32_t kExtraGapAcross = 6;
constexpr uint32_t kExtraGapDown = 4;
// How much shorter than its shelf a packed sprite may be.
constexpr uint32_t kShelfSlack = 8;

// One sprite in the area: a random left half mirrored, denser towards the
// middle, lit from above with a few darker details, then outlined where it
// meets the ground. Joined, each row is filled from its outermost pixel across
// the middle, so that the figure is one island whatever was drawn.
void drawSprite(QImage& sheet, const QRect& area, Random& random, bool joined = false)
{
    const int width = area.width();
    const int height = area.height();
    const int hue = int(random.below(360));
    QRgb shades[kShades];
    shades[0] = QColor::fromHsv(hue, 200, 40).rgba();
    for (int i = 1; i < kShades; ++i)
        shades[i] = QColor::fromHsv(hue, 180 - 30 * i, 90 + 50 * i).rgba();
    const int half = width / 2;
    const int middle = height / 2;
    std::vector<int> shade(size_t(width * height), -1);
    for (int y = 1; y < height - 1; ++y) {
        // Three bands, light at the top.
        const int lit = kShades - 1 - (y * (kShades - 1)) / height;
        int outermost = half - 1;
        for (int x = 1; x < half; ++x) {
            // Nearer the middle column and row, more likely part of the figure.
            const int closeness = x + (middle - std::abs(y - middle));
            if (int(random.below(uint32_t(width + half))) >= closeness)
                continue;
            const int s = random.below(kDetailOneIn) == 0 ? 1 : lit;
            shade[size_t(y * width + x)] = s;
            shade[size_t(y * width + width - 1 - x)] = s;
            outermost = std::min(outermost, x);
        }
        for (int x = outermost; joined && x < width - outermost; ++x) {
            if (shade[size_t(y * width + x)] <= 0)
                shade[size_t(y * width + x)] = lit;
        }
    }
    const auto filled = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < width && y < height && shade[size_t(y * width + x)] > 0;
    };
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(sheet.scanLine(area.top() + y)) + area.left();
        for (int x = 0; x < width; ++x) {
            const int s = shade[size_t(y * width + x)];
            if (s > 0)
                row[x] = shades[s];
            else if (filled(x - 1, y) || filled(x + 1, y) || filled(x, y - 1) || filled(x, y + 1))
                row[x] = shades[0];
        }
    }
}

bool savePng(const QImage& image, const fs::path& file)
{
    return image.save(QString::fromStdString(file.string()), "PNG");
}

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

void writeSpriteSheet(const fs::path& file, int width, int height, int cell, bool emptyCells)
{
    QImage sheet(width, height, QImage::Format_ARGB32);
    sheet.fill(Qt::transparent);
    Random random(kSeed);
    for (int top = 0; top + cell <= height; top += cell) {
        for (int left = 0; left + cell <= width; left += cell) {
            if (random.below(kEmptyOneIn) != 0 || !emptyCells)
                drawSprite(sheet, QRect(left, top, cell, cell), random);
        }
    }
    savePng(sheet, file);
}

int writeIslandSheet(const fs::path& file, int width, int height, int count, int minSize, int maxSize)
{
    QImage sheet(width, height, QImage::Format_ARGB32);
    sheet.fill(Qt::transparent);
    Random random(kSeed);
    const auto size = [&] { return minSize + int(random.below(uint32_t(maxSize - minSize + 1))); };
    int planted = 0;
    // Shelves, as simple atlas packers fill a sheet: each sprite at its shelf's top.
    for (int top = kPackingGap; planted < count;) {
        const int shelf = size();
        if (top + shelf + kPackingGap > height)
            break;
        for (int left = kPackingGap; planted < count;) {
            const int spriteWidth = size();
            const int spriteHeight = std::max(minSize, shelf - int(random.below(kShelfSlack)));
            if (left + spriteWidth + kPackingGap > width)
                break;
            drawSprite(sheet, QRect(left, top, spriteWidth, spriteHeight), random, true);
            ++planted;
            left += spriteWidth + kPackingGap + int(random.below(kExtraGapAcross));
        }
        top += shelf + kPackingGap + int(random.below(kExtraGapDown));
    }
    return savePng(sheet, file) ? planted : 0;
}

bool writeGutterSheet(const fs::path& file, int width, int height, int tile)
{
    QImage sheet(width, height, QImage::Format_ARGB32);
    sheet.fill(Qt::transparent);
    Random random(kSeed);
    for (int top = 0; top + tile <= height; top += tile + 1) {
        for (int left = 0; left + tile <= width; left += tile + 1) {
            // An opaque ground of its own under each figure: the tiles reach
            // their edges, so the gutters alone are whole transparent lines.
            const QRgb ground = QColor::fromHsv(int(random.below(360)), 60, 200).rgba();
            for (int y = top; y < top + tile; ++y)
                std::fill_n(reinterpret_cast<QRgb*>(sheet.scanLine(y)) + left, tile, ground);
            drawSprite(sheet, QRect(left, top, tile, tile), random);
        }
    }
    return savePng(sheet, file);
}

std::string checkSheetTiles(const fs::path& folder, const std::string& prefix, const fs::path& sheet, int cell,
                            bool pixels)
{
    const QImage image = QImage(QString::fromStdString(sheet.string())).convertToFormat(QImage::Format_ARGB32);
    const int columns = image.width() / cell;
    const int count = columns * (image.height() / cell);
    for (int number = 1; number <= count; ++number) {
        const fs::path file = folder / (prefix + std::to_string(number) + ".png");
        std::error_code error;
        if (fs::file_size(file, error) == 0 || error)
            return file.filename().string() + " is missing or empty";
        if (!pixels)
            continue;
        const QRect cellRect(((number - 1) % columns) * cell, ((number - 1) / columns) * cell, cell, cell);
        if (QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_ARGB32) !=
            image.copy(cellRect))
            return file.filename().string() + " does not hold the pixels of its cell";
    }
    if (filesBelow(folder) != std::uintmax_t(count))
        return std::to_string(filesBelow(folder)) + " files written, not " + std::to_string(count);
    return {};
}

std::string checkSamePixels(const fs::path& picture, const fs::path& reference)
{
    const QImage image = QImage(QString::fromStdString(picture.string())).convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return picture.filename().string() + " cannot be read";
    if (image != QImage(QString::fromStdString(reference.string())).convertToFormat(QImage::Format_ARGB32))
        return picture.filename().string() + " does not hold the pixels of " + reference.filename().string();
    return {};
}

std::uintmax_t filesBelow(const fs::path& folder, std::uintmax_t* bytes)
{
    std::uintmax_t files = 0;
    if (bytes)
        *bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        ++files;
        if (bytes)
            *bytes += entry.file_size();
    }
    return files;
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
