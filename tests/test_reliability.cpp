// Reliability: damaged and hostile files chosen in the file list, output
// folders that cannot take a tile, and a settings store that cannot be read or
// written. Whatever the input, the program says what went wrong, loses no file
// and goes on. Each damaged file is chosen in a child process, so that a crash,
// a hang or a runaway allocation fails its own case instead of the suite.
#include "platform/app.h"
#include "platform/events.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "platform/settings_store.h"
#include "resources/gif_writer.h"
#include "support/bmp_files.h"
#include "support/lists.h"
#include "support/screen_scale.h"
#include "support/scribble.h"
#include "support/scripted_dialogs.h"
#include "support/settings_store.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <QtEndian>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <iostream>
#include <grp.h>
#include <pwd.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define RELIABILITY_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RELIABILITY_UNDER_ASAN 1
#endif
#endif

using platform::Screen;

namespace {

constexpr float kTwipsPerPixel = 15;

// What one damaged file may cost: the choice in the file list must be over in
// this time (a hang guard, not a speed test) and grow the process by no more.
constexpr std::chrono::milliseconds kTimeLimit{2000};
constexpr long kMemoryLimitKiB = 256 * 1024;
// A child that has not reported by then is killed and its case fails as hung.
constexpr std::chrono::milliseconds kChildDeadline{10000};
// Someone the permission bits apply to, for the cases about them when run as root.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

// One case of a table that this machine or user cannot set up. The rest of
// the table still runs, so the test is not marked as skipped.
void notRunHere(const char* what, const char* why)
{
    std::cout << "Not run here: " << what << ": " << why << "\n";
}

// ---------------------------------------------------------------- building damaged files

// An 8x2 picture of four colours, run-length encoded.
Bmp rle(quint16 bits, const char* hexData)
{
    constexpr int kColours = 4;
    Bmp b;
    b.width = 8;
    b.height = 2;
    b.bitsPerPixel = bits;
    b.compression = bits == 8 ? kRle8 : kRle4;
    b.coloursUsed = kColours;
    b.palette = bmpPalette(kColours);
    b.pixels = QByteArray::fromHex(hexData);
    return b;
}

template <class Change>
QByteArray changed(Bmp b, Change change)
{
    change(b);
    return bmpFile(b);
}

// What the program shows of a palette picture, top row first: indexes past the
// palette are black.
QImage fromIndexes(const std::vector<std::vector<int>>& rows, int colours)
{
    QImage image(int(rows.front().size()), int(rows.size()), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int index = rows[size_t(y)][size_t(x)];
            image.setPixel(x, y, index < colours ? paletteColour(index) : qRgb(0, 0, 0));
        }
    return image;
}

QImage filled(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// A GIF of a small picture from the project's own writer, then damaged at
// known places: the logical screen, the image descriptor, the data.
constexpr int kGifWidth = 6;
constexpr int kGifHeight = 3;
constexpr int kGifScreenAt = 6;
constexpr int kGifPaletteFlagsAt = 10;
constexpr int kGifHeaderSize = 13;
constexpr int kGifPaletteSize = 3 * gif::kPaletteSize;
// The graphic control extension takes 8 bytes before the image descriptor.
constexpr int kGifDescriptorAt = kGifHeaderSize + kGifPaletteSize + 8;
constexpr int kDescriptorLeftAt = 1;
constexpr int kDescriptorSizeAt = 5;
constexpr int kDescriptorFlagsAt = 9;
constexpr int kMinCodeSizeAt = 10;
constexpr int kFirstDataBlockAt = 12;
constexpr char kInterlaced = 0x40;
constexpr char kLocalPaletteOf256 = char(0x87);
constexpr char kGlobalPaletteOf2 = char(0x80);
constexpr char kGifTrailer = 0x3B;

QImage gifPicture()
{
    QImage image(kGifWidth, kGifHeight, QImage::Format_ARGB32);
    for (int y = 0; y < kGifHeight; ++y)
        for (int x = 0; x < kGifWidth; ++x)
            image.setPixel(x, y, qRgb(x * 40, y * 80, 100));
    return image;
}

QByteArray gifFile() { return gif::encode(gifPicture()); }

QByteArray withWords(QByteArray bytes, int at, std::initializer_list<quint16> words)
{
    for (const quint16 word : words) {
        qToLittleEndian<quint16>(word, bytes.data() + at);
        at += 2;
    }
    return bytes;
}

QByteArray withByte(QByteArray bytes, int at, char value)
{
    bytes[at] = value;
    return bytes;
}

// ---------------------------------------------------------------- running a case in a child

// The process's size now: address space and resident memory, in KiB.
struct ProcessSize {
    long virtualKiB = 0;
    long residentKiB = 0;
};

ProcessSize processSize()
{
    ProcessSize size;
    long pages[2] = {0, 0};
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages[0], &pages[1]) != 2)
            pages[0] = pages[1] = 0;
        std::fclose(statm);
    }
    const long kib = sysconf(_SC_PAGESIZE) / 1024;
    size.virtualKiB = pages[0] * kib;
    size.residentKiB = pages[1] * kib;
    return size;
}

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A case allocating more than its share fails at once instead of swapping the
// machine. AddressSanitizer reserves terabytes of address space up front, so
// there only the peak of resident memory is measured.
void capAddressSpace()
{
#ifndef RELIABILITY_UNDER_ASAN
    const rlim_t cap = rlim_t(processSize().virtualKiB + kMemoryLimitKiB) * 1024;
    const rlimit limit{cap, cap};
    setrlimit(RLIMIT_AS, &limit);
#endif
}

struct ChildEnd {
    enum How { Reported, Failed, Hung } how = Failed;
    std::string detail;
    QByteArray report;
};

// Runs body in a child process and returns what it wrote, or how it ended.
ChildEnd runInChild(const std::function<QByteArray()>& body)
{
    int channel[2];
    if (pipe(channel) != 0)
        return {ChildEnd::Failed, "no pipe", {}};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return {ChildEnd::Failed, "no fork", {}};
    if (pid == 0) {
        close(channel[0]);
        const QByteArray report = body();
        for (qsizetype at = 0; at < report.size();) {
            const ssize_t written = write(channel[1], report.constData() + at, size_t(report.size() - at));
            if (written <= 0)
                _exit(EXIT_FAILURE);
            at += written;
        }
        // No destructors: the widgets and files are the parent's.
        _exit(EXIT_SUCCESS);
    }
    close(channel[1]);
    ChildEnd end;
    const auto deadline = std::chrono::steady_clock::now() + kChildDeadline;
    pollfd wait{channel[0], POLLIN, 0};
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            close(channel[0]);
            return {ChildEnd::Hung, "no report within the deadline", {}};
        }
        if (poll(&wait, 1, int(left.count())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = read(channel[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        end.report.append(buffer, got);
    }
    close(channel[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return {ChildEnd::Failed, "killed by signal " + std::to_string(WTERMSIG(status)), {}};
    if (WEXITSTATUS(status) != EXIT_SUCCESS)
        return {ChildEnd::Failed, "exited with " + std::to_string(WEXITSTATUS(status)), {}};
    end.how = ChildEnd::Reported;
    return end;
}

// Permission bits do not stop root; a child that means to meet them gives up root first.
bool becomeNobody(const QString& folder)
{
    if (geteuid() != 0)
        return true;
    return chmod(QFile::encodeName(folder).constData(), S_IRWXU | S_IRGRP | S_IXGRP | S_IROTH | S_IXOTH) == 0 &&
           setgroups(0, nullptr) == 0 && setgid(kNoGroup) == 0 && setuid(kNobody) == 0;
}

// ---------------------------------------------------------------- the form

// The user moves to an entry of the file list, which raises File1_Click through the dispatcher.
bool choose(f_Main& form, const QString& name)
{
    const int row = int(entries(form.File1).indexOf(name));
    if (row < 0)
        return false;
    chooseRow(form.File1, row);
    return true;
}

void pick(f_Main& form, float X)
{
    int16_t button = 1;
    int16_t shift = 0;
    float Y = 10;
    form.Image1_MouseDown(button, shift, X, Y);
}

// What the form shows, and what choosing one file cost.
struct Seen {
    int messages = 0;
    QString message;
    QString label;
    bool outline = false;
    bool kept = false;
    // What the form shows, as 32-bit pixels.
    QImage picture;
    bool repeatable = false;
    bool stillPicks = false;
    bool listed = true;
    bool permissionsApply = true;
    qint64 milliseconds = 0;
    qint64 grownKiB = 0;
};

QDataStream& operator<<(QDataStream& s, const Seen& v)
{
    return s << v.messages << v.message << v.label << v.outline << v.kept << v.picture << v.repeatable << v.stillPicks
             << v.listed << v.permissionsApply << v.milliseconds << v.grownKiB;
}

QDataStream& operator>>(QDataStream& s, Seen& v)
{
    return s >> v.messages >> v.message >> v.label >> v.outline >> v.kept >> v.picture >> v.repeatable >>
           v.stillPicks >> v.listed >> v.permissionsApply >> v.milliseconds >> v.grownKiB;
}

// ---------------------------------------------------------------- the corpus

enum class Outcome {
    Refused, // a message naming the file; picture, labels and outline as they were
    Shown,   // the decoder makes a sound picture of the damaged file, and the form shows it
};

struct CorpusCase {
    const char* what;
    QString name;
    QByteArray bytes;
    Outcome outcome;
    // Refused: the run-time error number. Shown: unused.
    int number;
    // Shown: the picture expected; a null image asks for the right size only.
    QImage expected;
    QSize size;
    const char* why;
    // What happens to the entry between the listing and the choice.
    std::function<void(const QString& path)> afterListing = {};
    // The case is about permission bits.
    bool asNobody = false;
};

class ReliabilityCorpusTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Lists the files, loads a good strip and picks its second tile: the state
    // a failed load must leave as it was.
    void listAndLoadGoodStrip(const std::vector<CorpusCase>& cases)
    {
        writeStrip(dir, "good.bmp", 64, 16);
        for (const CorpusCase& c : cases) {
            QFile file(dir.filePath(c.name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << c.name.toStdString();
            file.write(c.bytes);
        }
        form.Dir1.setPath(dir.path().toStdString());
        ASSERT_TRUE(choose(form, "good.bmp"));
        pick(form, 16 * kTwipsPerPixel + 10);
        ASSERT_TRUE(form.Shape1.Visible());
        ASSERT_TRUE(dialogs.messages().empty());
        ASSERT_EQ(form.Label1.Caption(), "Size: 64x16");
    }

    Seen chooseInChild(const CorpusCase& c, const QImage& before)
    {
        const ChildEnd end = runInChild([&] {
            Seen seen;
            const QString path = dir.filePath(c.name);
            if (c.afterListing)
                c.afterListing(path);
            seen.permissionsApply = !c.asNobody || becomeNobody(dir.path());
            const size_t messagesBefore = dialogs.messages().size();
            capAddressSpace();
            const long residentBefore = processSize().residentKiB;
            const auto start = std::chrono::steady_clock::now();
            seen.listed = choose(form, c.name);
            seen.milliseconds =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
            QCoreApplication::processEvents();
            seen.messages = int(dialogs.messages().size() - messagesBefore);
            if (seen.messages > 0)
                seen.message = QString::fromStdString(dialogs.messages().back().text);
            seen.label = QString::fromStdString(form.Label1.Caption());
            seen.outline = form.Shape1.Visible();
            const QImage shown = form.Image1.picture().image();
            seen.kept = shown == before;
            seen.picture = shown.convertToFormat(QImage::Format_ARGB32);
            if (c.outcome == Outcome::Shown && seen.messages == 0) {
                scribbleFreedMemory(shown.sizeInBytes());
                try {
                    // Compared as 32-bit pixels: QImage's own comparison of palette
                    // pictures reads past a palette that the indexes overrun.
                    seen.repeatable = platform::LoadPicture(path.toStdString()).image().convertToFormat(
                                          QImage::Format_ARGB32) == seen.picture;
                } catch (const platform::RuntimeError&) {
                }
            }
            // The program goes on: a press on the strip picks a tile.
            pick(form, 10);
            seen.stillPicks = form.Shape1.Visible() && form.CurrentIndex() == 1;
            seen.grownKiB = peakResidentKiB() - residentBefore;
            QByteArray report;
            QDataStream out(&report, QIODevice::WriteOnly);
            out << seen;
            return report;
        });
        Seen seen;
        EXPECT_EQ(end.how, ChildEnd::Reported) << end.detail;
        QDataStream in(end.report);
        in >> seen;
        return seen;
    }

    void expectOutcomes(const std::vector<CorpusCase>& cases)
    {
        listAndLoadGoodStrip(cases);
        const QImage before = form.Image1.picture().image();
        const float widthBefore = form.Image1.Width();
        for (const CorpusCase& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " (" + c.why + ")");
            const Seen seen = chooseInChild(c, before);
            ASSERT_TRUE(seen.listed) << c.name.toStdString() << " is not listed";
            if (!seen.permissionsApply) {
                notRunHere(c.what, "this user cannot give up root");
                continue;
            }
            EXPECT_LT(seen.milliseconds, kTimeLimit.count());
            EXPECT_LT(seen.grownKiB, kMemoryLimitKiB);
            EXPECT_TRUE(seen.stillPicks);
            if (c.outcome == Outcome::Refused) {
                ASSERT_EQ(seen.messages, 1);
                const QString prefix = QString("Run-time error '%1':\n\n").arg(c.number);
                EXPECT_TRUE(seen.message.startsWith(prefix)) << seen.message.toStdString();
                EXPECT_TRUE(seen.message.contains(dir.filePath(c.name))) << seen.message.toStdString();
                EXPECT_TRUE(seen.kept);
                EXPECT_EQ(seen.label, "Size: 64x16");
                EXPECT_TRUE(seen.outline);
            } else {
                EXPECT_EQ(seen.messages, 0) << seen.message.toStdString();
                EXPECT_EQ(seen.picture.size(), c.size);
                EXPECT_EQ(seen.label, QString("Size: %1x%2").arg(c.size.width()).arg(c.size.height()));
                EXPECT_FALSE(seen.outline);
                EXPECT_TRUE(seen.repeatable) << "a second load of the same file gave other pixels";
                if (!c.expected.isNull())
                    EXPECT_EQ(seen.picture, c.expected);
            }
        }
        // The parent never chose a damaged file: its form is as it was.
        EXPECT_EQ(form.Image1.picture().image(), before);
        EXPECT_EQ(form.Image1.Width(), widthBefore);
    }

    const ScreenScale scale{kTwipsPerPixel};
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    f_Main form;
};

using ReliabilityCorpus = ReliabilityCorpusTest;

TEST_F(ReliabilityCorpus, DamagedBmpFiles)
{
    using platform::InvalidPicture;
    using platform::OutOfMemory;
    const Bmp good;
    const QByteArray whole = bmpFile(good);
    const QImage grey = filled(4, 2, qRgb(0x40, 0x40, 0x40));
    const auto rows = [](std::vector<std::vector<int>> r) { return fromIndexes(r, 4); };
    const std::vector<int> zeros(8, 0);
    const std::vector<int> ones(8, 1);
    Bmp indexed;
    indexed.bitsPerPixel = 8;
    indexed.coloursUsed = 2;
    indexed.palette = bmpPalette(2);
    indexed.pixels = QByteArray::fromHex("00010203" "ff000102");

    const std::vector<CorpusCase> cases = {
        {"header cut after 20 bytes", "head20.bmp", whole.left(20), Outcome::Refused, InvalidPicture, {}, {},
         "Qt cannot read the info header"},
        {"header one byte short", "head53.bmp", whole.left(53), Outcome::Refused, InvalidPicture, {}, {},
         "Qt cannot read the info header"},
        {"second row of pixels missing", "rows.bmp", whole.left(54 + 12), Outcome::Refused, InvalidPicture, {}, {},
         "cut short: Qt would show memory for the missing row"},
        {"last pixel byte missing", "byte.bmp", whole.left(whole.size() - 1), Outcome::Refused, InvalidPicture, {},
         {}, "cut short"},
        {"data offset past the end", "offset.bmp", changed(good, [](Bmp& b) { b.dataOffset = 100000; }),
         Outcome::Refused, InvalidPicture, {}, {}, "cut short"},
        {"data offset inside the header, a row short", "inside.bmp",
         changed(good, [](Bmp& b) { b.dataOffset = 0; b.pixels.truncate(12); }), Outcome::Refused, InvalidPicture,
         {}, {}, "the data is read from after the header, and one row is missing"},
        {"signature BX", "sig.bmp", withByte(whole, 1, 'X'), Outcome::Refused, InvalidPicture, {}, {},
         "neither BMP nor GIF"},
        {"negative width", "negw.bmp", changed(good, [](Bmp& b) { b.width = -4; }), Outcome::Refused,
         InvalidPicture, {}, {}, "Qt rejects it"},
        {"negative height", "negh.bmp", changed(good, [](Bmp& b) { b.height = -2; }), Outcome::Shown, 0, grey,
         {4, 2}, "the standard top-down row order"},
        {"height -2^31", "minh.bmp", changed(good, [](Bmp& b) { b.height = INT32_MIN; }), Outcome::Refused,
         OutOfMemory, {}, {}, "2^31 rows are more than a picture may take"},
        {"zero width", "zerow.bmp", changed(good, [](Bmp& b) { b.width = 0; }), Outcome::Refused, InvalidPicture,
         {}, {}, "no picture to show"},
        {"zero height", "zeroh.bmp", changed(good, [](Bmp& b) { b.height = 0; }), Outcome::Refused,
         InvalidPicture, {}, {}, "no picture to show"},
        {"100000 x 100000 in a 78-byte file", "huge.bmp",
         changed(good, [](Bmp& b) { b.width = b.height = 100000; }), Outcome::Refused, OutOfMemory, {}, {},
         "too large to hold, told before decoding"},
        {"width 2^31-1", "wide.bmp", changed(good, [](Bmp& b) { b.width = INT32_MAX; b.height = 1; }),
         Outcome::Refused, OutOfMemory, {}, {}, "too large to hold"},
        {"7 bits per pixel", "bits7.bmp", changed(good, [](Bmp& b) { b.bitsPerPixel = 7; }), Outcome::Refused,
         InvalidPicture, {}, {}, "no such depth"},
        {"0 bits per pixel", "bits0.bmp", changed(good, [](Bmp& b) { b.bitsPerPixel = 0; }), Outcome::Refused,
         InvalidPicture, {}, {}, "no such depth"},
        {"64 bits per pixel", "bits64.bmp", changed(good, [](Bmp& b) { b.bitsPerPixel = 64; }), Outcome::Refused,
         InvalidPicture, {}, {}, "Qt does not read it"},
        {"0 planes", "planes.bmp", changed(good, [](Bmp& b) { b.planes = 0; }), Outcome::Refused, InvalidPicture,
         {}, {}, "a BMP has one plane"},
        {"JPEG compression", "jpeg.bmp", changed(good, [](Bmp& b) { b.compression = kJpeg; }), Outcome::Refused,
         InvalidPicture, {}, {}, "Qt does not read it"},
        {"PNG compression", "png.bmp", changed(good, [](Bmp& b) { b.compression = kPng; }), Outcome::Refused,
         InvalidPicture, {}, {}, "Qt does not read it"},
        {"compression 99", "comp99.bmp", changed(good, [](Bmp& b) { b.compression = 99; }), Outcome::Refused,
         InvalidPicture, {}, {}, "no such compression"},
        {"RLE8 on 24 bits", "rle24.bmp", changed(good, [](Bmp& b) { b.compression = kRle8; }), Outcome::Refused,
         InvalidPicture, {}, {}, "RLE8 is for 8-bit pictures only"},
        {"info header of 41 bytes", "info41.bmp", changed(good, [](Bmp& b) { b.infoSize = 41; }), Outcome::Shown,
         0, grey, {4, 2}, "an OS/2 2.x header may be any length from 16 to 64 bytes"},
        {"info header of 0 bytes (found by fuzzing)", "info0.bmp",
         QByteArray::fromBase64("Qk1iWwB5AGMAAAAAAAAAAAAAEAAA/wEAGAAAAAAAAAAAAAA="), Outcome::Refused,
         InvalidPicture, {}, {}, "no such header"},
        {"bit field mask of all ones", "mask.bmp",
         changed(good,
                 [](Bmp& b) {
                     b.bitsPerPixel = 32;
                     b.compression = kBitFields;
                     b.pixels = QByteArray::fromHex("ffffffff" "00ff0000" "ff000000") + QByteArray(32, '\x7f');
                 }),
         Outcome::Refused, InvalidPicture, {}, {}, "Qt turns the mask down"},
        {"1000 colours", "colours.bmp", changed(indexed, [](Bmp& b) { b.coloursUsed = 1000; }), Outcome::Refused,
         InvalidPicture, {}, {}, "more than 256 colours"},
        {"palette shorter than its count", "palette.bmp", changed(indexed, [](Bmp& b) { b.coloursUsed = 256; }),
         Outcome::Shown, 0, fromIndexes({{255, 0, 1, 2}, {0, 1, 2, 3}}, 2), {4, 2},
         "the data offset says where the palette ends"},
        {"palette cut short", "palcut.bmp",
         changed(indexed, [](Bmp& b) { b.coloursUsed = 256; b.pixels.clear(); b.dataOffset = 0; }),
         Outcome::Refused, InvalidPicture, {}, {}, "the palette runs into the end of the file"},
        {"pixel indexes past the palette", "index.bmp", bmpFile(indexed), Outcome::Shown, 0,
         fromIndexes({{255, 0, 1, 2}, {0, 1, 2, 3}}, 2), {4, 2},
         "a sound picture: indexes past the palette are black"},
        {"RLE8 run longer than its row", "rle8run.bmp", bmpFile(rle(8, "ff01" "0000" "ff02" "0001")),
         Outcome::Shown, 0, rows({std::vector<int>(8, 2), ones}), {8, 2}, "a run is cut at its row's end"},
        {"RLE8 rows past the last", "rle8rows.bmp",
         bmpFile(rle(8, "0801" "0000" "0802" "0000" "0803" "0000" "0803" "0001")), Outcome::Shown, 0,
         rows({std::vector<int>(8, 2), ones}), {8, 2}, "the rows past the last are not read"},
        {"RLE8 delta past the end", "rle8delta.bmp", bmpFile(rle(8, "0002ffff" "0801" "0001")), Outcome::Shown, 0,
         rows({zeros, zeros}), {8, 2}, "a jump out of the picture ends it; pixels never set take the first colour"},
        {"RLE8 delta within the picture", "rle8skip.bmp", bmpFile(rle(8, "0002" "0301" "0302" "0001")),
         Outcome::Shown, 0, rows({{0, 0, 0, 2, 2, 2, 0, 0}, zeros}), {8, 2},
         "pixels the jump skips take the first colour"},
        {"RLE8 absolute run past its row", "rle8abs.bmp", bmpFile(rle(8, "000a" "01010101010101010101" "0001")),
         Outcome::Shown, 0, rows({zeros, ones}), {8, 2}, "Qt cuts the run at the row's end"},
        {"RLE8 data cut short", "rle8cut.bmp", bmpFile(rle(8, "0801")), Outcome::Refused, InvalidPicture, {}, {},
         "the data ends before the picture does"},
        {"RLE8 data that only ends a line", "rle8eol.bmp", bmpFile(rle(8, "0000")), Outcome::Refused,
         InvalidPicture, {}, {}, "the data ends before the picture does"},
        {"RLE8 stored top down", "rle8top.bmp", changed(rle(8, "0801" "0000" "0802" "0001"), [](Bmp& b) { b.height = -2; }),
         Outcome::Refused, InvalidPicture, {}, {}, "run-length data is bottom up only"},
        {"RLE8 index past the palette", "rle8index.bmp", bmpFile(rle(8, "0805" "0000" "0805" "0001")),
         Outcome::Shown, 0, rows({std::vector<int>(8, 5), std::vector<int>(8, 5)}), {8, 2},
         "indexes past the palette are transparent"},
        {"RLE8 absolute run cut short", "rle8abscut.bmp", bmpFile(rle(8, "0004")), Outcome::Refused,
         InvalidPicture, {}, {}, "the data ends inside a literal run"},
        {"RLE4 data cut short", "rle4cut.bmp", bmpFile(rle(4, "0812")), Outcome::Refused, InvalidPicture, {}, {},
         "the data ends before the picture does"},
        {"RLE4 absolute run cut short", "rle4abscut.bmp", bmpFile(rle(4, "00ff" "1212")), Outcome::Refused,
         InvalidPicture, {}, {}, "the data ends inside a literal run"},
    };
    expectOutcomes(cases);
}

TEST_F(ReliabilityCorpus, DamagedGifFiles)
{
    using platform::InvalidPicture;
    using platform::OutOfMemory;
    const QByteArray whole = gifFile();
    const QSize natural(kGifWidth, kGifHeight);
    const QByteArray noImage = whole.left(kGifHeaderSize + kGifPaletteSize) + kGifTrailer;
    QByteArray twoColours = withByte(whole, kGifPaletteFlagsAt, kGlobalPaletteOf2);
    twoColours.remove(kGifHeaderSize + 6, kGifPaletteSize - 6);
    const int data = kGifDescriptorAt + kFirstDataBlockAt;

    const std::vector<CorpusCase> cases = {
        {"cut inside the header", "head.gif", whole.left(10), Outcome::Refused, InvalidPicture, {}, {},
         "no logical screen"},
        {"cut inside the palette", "palette.gif", whole.left(100), Outcome::Refused, InvalidPicture, {}, {},
         "no picture"},
        {"cut inside the pixel data", "data.gif", whole.left(data + 2), Outcome::Refused, InvalidPicture, {}, {},
         "cut short, as a BMP would be"},
        {"trailer missing", "trailer.gif", whole.left(whole.size() - 1), Outcome::Shown, 0, gifPicture(), natural,
         "the picture is complete"},
        {"bad LZW codes", "lzw.gif", withWords(whole, data, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}), Outcome::Shown, 0,
         {}, natural, "Qt stops at a code past its table; the rest stays background"},
        {"LZW code size 15", "code15.gif", withByte(whole, kGifDescriptorAt + kMinCodeSizeAt, 15),
         Outcome::Refused, InvalidPicture, {}, {}, "codes are at most 12 bits"},
        {"LZW code size 0", "code0.gif", withByte(whole, kGifDescriptorAt + kMinCodeSizeAt, 0), Outcome::Shown, 0,
         {}, natural, "the codes decode to other pixels of the same size"},
        {"zero-size frame", "frame0.gif", withWords(whole, kGifDescriptorAt + kDescriptorSizeAt, {0, 0}),
         Outcome::Shown, 0, {}, natural, "the screen shows its background"},
        {"frame far right of the screen", "right.gif", withWords(whole, kGifDescriptorAt + kDescriptorLeftAt, {60000}),
         Outcome::Shown, 0, filled(kGifWidth, kGifHeight, 0), natural, "nothing of the frame is on the screen"},
        {"frame of 65535 x 65535", "bigframe.gif",
         withWords(whole, kGifDescriptorAt + kDescriptorSizeAt, {65535, 65535}), Outcome::Refused, InvalidPicture,
         {}, {}, "its data ends long before the frame is complete"},
        {"logical screen of 65535 x 65535", "screen.gif", withWords(whole, kGifScreenAt, {65535, 65535}),
         Outcome::Refused, OutOfMemory, {}, {}, "16 GiB to set aside, told before decoding"},
        {"826 bytes that would decode to 6 GB", "bomb.gif", withWords(whole, kGifScreenAt, {40000, 40000}),
         Outcome::Refused, OutOfMemory, {}, {}, "Qt sets aside the whole screen; told before decoding"},
        {"screen of 1 x 1, frame of 40000 x 40000", "clip.gif",
         withWords(withWords(whole, kGifScreenAt, {1, 1}), kGifDescriptorAt + kDescriptorSizeAt, {40000, 40000}),
         Outcome::Refused, InvalidPicture, {}, {}, "its data ends long before the frame is complete"},
        {"screen of 2 x 2, frame of 6 x 3", "small.gif", withWords(whole, kGifScreenAt, {2, 2}), Outcome::Shown, 0,
         gifPicture().copy(0, 0, 2, 2), {2, 2}, "Qt clips the frame to the screen"},
        {"screen of 0 x 0", "screen0.gif", withWords(whole, kGifScreenAt, {0, 0}), Outcome::Shown, 0, gifPicture(),
         natural, "the frame gives the size"},
        {"interlaced flag on plain rows", "interlace.gif",
         withByte(whole, kGifDescriptorAt + kDescriptorFlagsAt, kInterlaced), Outcome::Shown, 0, {}, natural,
         "the rows come out in another order"},
        {"local palette flag without a palette", "local.gif",
         withByte(whole, kGifDescriptorAt + kDescriptorFlagsAt, kLocalPaletteOf256), Outcome::Refused,
         InvalidPicture, {}, {}, "the data is read as a palette and runs out"},
        {"indexes past a two-colour palette", "index.gif", twoColours, Outcome::Shown, 0, {}, natural,
         "a sound picture of the same size"},
        {"no picture at all", "empty.gif", noImage, Outcome::Refused, InvalidPicture, {}, {}, "nothing to show"},
        {"signature only", "sig.gif", "GIF89a", Outcome::Refused, InvalidPicture, {}, {}, "no logical screen"},
    };
    expectOutcomes(cases);
}

TEST_F(ReliabilityCorpus, EntriesThatAreNoPictures)
{
    using platform::FileNotFound;
    using platform::InvalidPicture;
    using platform::PathFileAccessError;
    const QByteArray good = bmpFile(Bmp());
    const auto replaceBy = [](std::function<bool(const QByteArray&)> make) {
        return [make](const QString& path) {
            const QByteArray name = QFile::encodeName(path);
            if (unlink(name.constData()) != 0 || !make(name))
                std::abort();
        };
    };
    const std::vector<CorpusCase> cases = {
        {"a text file", "notes.bmp", "Hello, this is a text file.\n", Outcome::Refused, InvalidPicture, {}, {},
         "neither BMP nor GIF"},
        {"an empty file", "empty.gif", {}, Outcome::Refused, InvalidPicture, {}, {}, "neither BMP nor GIF"},
        {"a folder named x.bmp", "x.bmp", good, Outcome::Refused, PathFileAccessError, {}, {},
         "not a file; made a folder after the list was read",
         replaceBy([](const QByteArray& name) { return mkdir(name.constData(), S_IRWXU) == 0; })},
        {"a named pipe", "pipe.bmp", good, Outcome::Refused, PathFileAccessError, {}, {},
         "not a file, and opening it would wait for ever",
         replaceBy([](const QByteArray& name) { return mkfifo(name.constData(), S_IRUSR | S_IWUSR) == 0; })},
        {"a file deleted since it was listed", "gone.bmp", good, Outcome::Refused, FileNotFound, {}, {},
         "the file is gone", replaceBy([](const QByteArray&) { return true; })},
        {"a file nobody may read", "locked.bmp", good, Outcome::Refused, PathFileAccessError, {}, {},
         "no read permission (as root, checked as nobody)",
         [](const QString& path) { QFile::setPermissions(path, {}); }, true},
    };
    expectOutcomes(cases);
}

// ---------------------------------------------------------------- write faults

// A small file system mounted over a folder for one test: the way to make a
// disk full, or read-only even for root. Mounting needs root; without it the
// cases that depend on it are skipped.
class ScratchMount {
public:
    ScratchMount(const QString& folder, const std::string& options) : mFolder(QFile::encodeName(folder))
    {
        mMounted = mount("tmpfs", mFolder.constData(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~ScratchMount()
    {
        if (mMounted)
            umount2(mFolder.constData(), MNT_DETACH);
    }
    bool mounted() const { return mMounted; }
    bool makeReadOnly() { return mount(nullptr, mFolder.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
    QByteArray mFolder;
    bool mMounted = false;
};

// Root may write whatever the permission bits say.
bool permissionBitsStopMe() { return geteuid() != 0; }

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

constexpr int kTile = 64;
// A 64x64 tile as a 24-bit BMP: 54 bytes of headers and 64 rows of 192 bytes.
constexpr qint64 kTileFileSize = 54 + kTile * kTile * 3;
constexpr int kTiles = 8;
const QByteArray kOldContent = "an old file that must survive";

// A form with a strip of eight 64x64 tiles and the output folder set.
struct StripForm {
    StripForm(const QTemporaryDir& strips, const QString& folder)
    {
        form.Image1.setPicture(platform::LoadPicture(writeStrip(strips, "strip.bmp", kTile * kTiles, kTile)));
        form.lbDir.setCaption(folder.toStdString());
        form.txtPref.setText("t");
    }
    f_Main form;
    QImage strip = makeStrip(kTile * kTiles, kTile);
};

QString tileName(int number) { return QString("t%1.bmp").arg(number); }

// The longest name, in bytes, that a Linux file system takes.
constexpr int kLongestName = 255;

// Everything in a folder: hidden files, links that point nowhere and pipes too.
QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Every tile before the failing one is a whole BMP of its own pixels; the
// failing one and those after it are not there, and no scratch file is left.
void expectCompleteTilesBefore(const QString& folder, const StripForm& s, int failing)
{
    for (int number = 1; number < failing; ++number) {
        SCOPED_TRACE(tileName(number).toStdString());
        const QString path = folder + "/" + tileName(number);
        EXPECT_EQ(QFileInfo(path).size(), kTileFileSize);
        EXPECT_EQ(QImage(path, "BMP").convertToFormat(QImage::Format_RGB32),
                  tileOf(s.strip, (number - 1) * kTile, kTile));
    }
    for (int number = failing; number <= kTiles; ++number)
        EXPECT_FALSE(QFileInfo(folder + "/" + tileName(number)).isFile()) << number;
    EXPECT_EQ(entriesOf(folder).size(), failing - 1) << "no scratch file is left";
}

void expectOneMessageNaming(const ScriptedDialogs& dialogs, int number, const QString& path, const char* cause)
{
    ASSERT_EQ(dialogs.messages().size(), 1u);
    const QString text = QString::fromStdString(dialogs.messages()[0].text);
    EXPECT_TRUE(text.startsWith(QString("Run-time error '%1':").arg(number))) << text.toStdString();
    EXPECT_TRUE(text.contains(path)) << text.toStdString();
    EXPECT_TRUE(text.contains(cause, Qt::CaseInsensitive)) << text.toStdString();
}

TEST(ReliabilityWrite, SaveAllStopsAtTheFirstTileItCannotWriteAndKeepsTheOnesBefore)
{
    struct Case {
        const char* what;
        // Makes the output folder; returns false where this machine cannot.
        std::function<bool(const QString& folder, std::unique_ptr<ScratchMount>& mount)> prepare;
        int failing;
        int number;
        const char* cause;
        std::string prefix = "t";
    };
    const Case cases[] = {
        {"a missing output folder",
         [](const QString& folder, auto&) { return QDir(folder).removeRecursively(); }, 1, platform::PathNotFound,
         "No such file"},
        // One byte past the longest name a file system takes.
        {"a name of 256 bytes", [](const QString&, auto&) { return true; }, 1, platform::PathFileAccessError,
         "File name too long", std::string(kLongestName - 4, 't')},
        {"a read-only file system",
         [](const QString& folder, auto& mount) {
             mount = std::make_unique<ScratchMount>(folder, "size=1m");
             return mount->mounted() && mount->makeReadOnly();
         },
         1, platform::PathFileAccessError, "Read-only file system"},
        // 56 KiB hold three tiles of four 4 KiB pages each and half of the fourth.
        {"a file system that fills up inside the fourth tile",
         [](const QString& folder, auto& mount) {
             mount = std::make_unique<ScratchMount>(folder, "size=56k");
             return mount->mounted();
         },
         4, platform::PathFileAccessError, "No space left on device"},
        {"a folder without write permission (as root, skipped: the bits do not stop root)",
         [](const QString& folder, auto&) {
             return permissionBitsStopMe() && QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
         },
         1, platform::PathFileAccessError, "Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir strips;
        QTemporaryDir out;
        const QString folder = out.filePath("tiles");
        ASSERT_TRUE(QDir(out.path()).mkdir("tiles"));
        std::unique_ptr<ScratchMount> mount;
        if (!c.prepare(folder, mount)) {
            notRunHere(c.what, "it cannot be set up without root");
            continue;
        }
        StripForm s(strips, folder);
        s.form.txtPref.setText(c.prefix);
        ScriptedDialogs dialogs;

        platform::raiseEvent(s.form.cmdSaveAll.Click);

        expectOneMessageNaming(dialogs, c.number,
                               folder + "/" + QString::fromStdString(c.prefix) + QString("%1.bmp").arg(c.failing),
                               c.cause);
        if (c.failing > 1 || QFileInfo(folder).isDir())
            expectCompleteTilesBefore(folder, s, c.failing);
        else
            EXPECT_FALSE(QFileInfo::exists(folder)) << "a missing folder is not made";
        // The run ended at the failing tile, which is the one selected.
        EXPECT_EQ(s.form.CurrentIndex(), c.failing);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

// Puts a file under a tile's name once the run has tested for it: when the
// preview's picture is that tile, between the test and the write, as another
// program saving into the same folder would. Checked at every yield of the run.
class PlantAfterTheTest : public QObject {
public:
    PlantAfterTheTest(const f_Main& form, int number, const QString& path)
        : mForm(form), mNumber(number), mPath(path)
    {
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }
    bool planted() const { return mPlanted; }

protected:
    void customEvent(QEvent*) override
    {
        const QImage& preview = mForm.Picture2.picture().image();
        // The strip's red channel counts its columns.
        if (mForm.CurrentIndex() == mNumber && !preview.isNull() && qRed(preview.pixel(0, 0)) == (mNumber - 1) * kTile)
            mPlanted = writeFile(mPath, kOldContent);
        else
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

private:
    const f_Main& mForm;
    int mNumber;
    QString mPath;
    bool mPlanted = false;
};

TEST(ReliabilityWrite, SaveAllNeverWritesThroughNorOverANameThatExists)
{
    constexpr int kPlanted = 3;
    const QString planted = tileName(kPlanted);
    struct Case {
        const char* what;
        // Plants something at name in folder, with what it leads to in elsewhere.
        std::function<bool(const QString& folder, const QString& elsewhere)> plant;
        bool midRun;
    };
    const Case cases[] = {
        {"a file", [&](const QString& f, const QString&) { return writeFile(f + "/" + planted, kOldContent); }, false},
        {"a folder", [&](const QString& f, const QString&) { return QDir(f).mkdir(planted); }, false},
        {"a link to a file",
         [&](const QString& f, const QString& e) {
             return writeFile(e + "/x.bmp", kOldContent) && QFile::link(e + "/x.bmp", f + "/" + planted);
         },
         false},
        {"a link to a folder", [&](const QString& f, const QString& e) { return QFile::link(e, f + "/" + planted); },
         false},
        {"a link that points nowhere",
         [&](const QString& f, const QString& e) { return QFile::link(e + "/x.bmp", f + "/" + planted); }, false},
        {"a pipe",
         [&](const QString& f, const QString&) {
             return mkfifo(QFile::encodeName(f + "/" + planted).constData(), 0600) == 0;
         },
         false},
        {"a file that appears after the run tested for it", [](const QString&, const QString&) { return true; },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir strips;
        QTemporaryDir out;
        QTemporaryDir elsewhere;
        ASSERT_TRUE(c.plant(out.path(), elsewhere.path()));
        const QFileInfo before(out.filePath(planted));
        const QStringList elsewhereBefore = entriesOf(elsewhere.path());
        StripForm s(strips, out.path());
        std::optional<PlantAfterTheTest> plant;
        if (c.midRun)
            plant.emplace(s.form, kPlanted, out.filePath(planted));
        ScriptedDialogs dialogs;

        platform::raiseEvent(s.form.cmdSaveAll.Click);

        EXPECT_TRUE(dialogs.messages().empty()) << dialogs.messages()[0].text;
        QStringList all;
        for (int number = 1; number <= kTiles; ++number) {
            all << tileName(number);
            if (number == kPlanted)
                continue;
            const QString path = out.filePath(tileName(number));
            EXPECT_EQ(QImage(path, "BMP").convertToFormat(QImage::Format_RGB32),
                      tileOf(s.strip, (number - 1) * kTile, kTile))
                << number;
        }
        all.sort();
        EXPECT_EQ(entriesOf(out.path()), all) << "no scratch file is left";
        if (c.midRun) {
            EXPECT_TRUE(plant->planted());
            EXPECT_EQ(contentOf(out.filePath(planted)), kOldContent);
        } else {
            const QFileInfo after(out.filePath(planted));
            EXPECT_EQ(after.isSymLink(), before.isSymLink());
            EXPECT_EQ(after.symLinkTarget(), before.symLinkTarget());
            EXPECT_EQ(after.isDir(), before.isDir());
            EXPECT_EQ(after.lastModified(), before.lastModified());
            EXPECT_EQ(after.size(), before.size());
        }
        EXPECT_EQ(entriesOf(elsewhere.path()), elsewhereBefore) << "nothing is written where a link leads";
        EXPECT_EQ(contentOf(elsewhere.filePath("x.bmp")), elsewhereBefore.isEmpty() ? QByteArray() : kOldContent);
    }
}

TEST(ReliabilityWrite, SaveAllTakesEveryNameTheFileSystemTakes)
{
    // Up to 255 bytes with the number and ".bmp"; Cyrillic letters take two bytes each.
    const struct {
        const char* what;
        std::string prefix;
    } cases[] = {
        {"240 bytes of prefix", std::string(240, 'a')},
        {"120 Cyrillic letters", [] {
             std::string prefix;
             for (int i = 0; i < 120; ++i)
                 prefix += "Ж";
             return prefix;
         }()},
        {"the longest name", std::string(kLongestName - 5, 'b')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir strips;
        QTemporaryDir out;
        StripForm s(strips, out.path());
        s.form.txtPref.setText(c.prefix);
        ScriptedDialogs dialogs;

        platform::raiseEvent(s.form.cmdSaveAll.Click);

        EXPECT_TRUE(dialogs.messages().empty()) << dialogs.messages()[0].text;
        EXPECT_EQ(entriesOf(out.path()).size(), kTiles);
        for (int number = 1; number <= kTiles; ++number) {
            const std::string name = out.path().toStdString() + "/" + c.prefix + std::to_string(number) + ".bmp";
            EXPECT_EQ(QImage(QString::fromStdString(name), "BMP").convertToFormat(QImage::Format_RGB32),
                      tileOf(s.strip, (number - 1) * kTile, kTile))
                << number;
        }
    }
}

TEST(ReliabilityWrite, SaveSelectedThatCannotWriteKeepsTheOldFile)
{
    struct Case {
        const char* what;
        std::function<bool(const QString& folder, std::unique_ptr<ScratchMount>& mount)> prepare;
        const char* cause;
    };
    const QString kFiller = "filler";
    const Case cases[] = {
        // 16 KiB: the old file takes one page, the filler two; a tile needs four.
        {"a full file system",
         [&](const QString& folder, auto& mount) {
             mount = std::make_unique<ScratchMount>(folder, "size=16k");
             return mount->mounted() && writeFile(folder + "/tile.bmp", kOldContent) &&
                    writeFile(folder + "/" + kFiller, QByteArray(8192, 'f'));
         },
         "No space left on device"},
        {"a read-only file system",
         [](const QString& folder, auto& mount) {
             mount = std::make_unique<ScratchMount>(folder, "size=1m");
             return mount->mounted() && writeFile(folder + "/tile.bmp", kOldContent) && mount->makeReadOnly();
         },
         "not writable"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir strips;
        QTemporaryDir out;
        const QString folder = out.filePath("tiles");
        ASSERT_TRUE(QDir(out.path()).mkdir("tiles"));
        std::unique_ptr<ScratchMount> mount;
        if (!c.prepare(folder, mount)) {
            notRunHere(c.what, "it cannot be set up without root");
            continue;
        }
        const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        StripForm s(strips, folder);
        pick(s.form, 10);
        ScriptedDialogs dialogs;
        dialogs.answerSave((folder + "/tile.bmp").toStdString());

        platform::raiseEvent(s.form.cmdSave.Click);

        ASSERT_EQ(dialogs.messages().size(), 1u);
        const QString text = QString::fromStdString(dialogs.messages()[0].text);
        EXPECT_TRUE(text.contains(folder + "/tile.bmp")) << text.toStdString();
        EXPECT_TRUE(text.contains(c.cause)) << text.toStdString();
        EXPECT_EQ(contentOf(folder + "/tile.bmp"), kOldContent);
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before)
            << "no scratch file is left";
    }
}

// ---------------------------------------------------------------- settings faults

QString configHome() { return qEnvironmentVariable("XDG_CONFIG_HOME"); }
// A store whose every value differs from the defaults.
QByteArray goodStore(const QString& dir)
{
    return "[f_Main]\nWindowState=0\nWindowLeft=1230\nWindowTop=945\nWindowWidth=9000\nWindowHeight=6000\n\n"
           "[Setting]\nDrivePath=/\nDirPath=" + dir.toUtf8() + "\nOutputPath=/somewhere/for/tiles\n";
}


void removeStore()
{
    QFile::remove(storeFolder());
    QDir(storeFolder()).removeRecursively();
}

TEST(ReliabilitySettings, AStoreThatCannotBeReadOrWrittenGivesAStartAndAClose)
{
    removeStore();
    Shown defaults;
    {
        f_Main fresh;
        fresh.Show();
        defaults = shownBy(fresh);
    }
    QTemporaryDir browsed;
    const Shown stored{0, 1230, 945, 9000, 6000, "/", browsed.path().toStdString(), "/somewhere/for/tiles"};
    const QByteArray good = goodStore(browsed.path());
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 131) ^ (i >> 3));

    enum Expect { Defaults, Stored };
    struct Case {
        const char* what;
        std::function<bool(std::unique_ptr<ScratchMount>& mount)> prepare;
        Expect start;
        // Whether the close must fail to store, or must store.
        bool storeFails;
    };
    const Case cases[] = {
        {"no store folder", [](auto&) { return true; }, Defaults, false},
        {"binary garbage", [&](auto&) { return writeStore(binary); }, Defaults, false},
        {"values that are no numbers, an unknown state, a drive not present",
         [&](auto&) {
             return writeStore("[f_Main]\nWindowState=9\nWindowLeft=left\nWindowTop=\xff\xfe\nWindowWidth=1e999\n"
                               "WindowHeight=--\n[Setting]\nDrivePath=Z:\n");
         },
         Defaults, false},
        {"the store file is a folder",
         [&](auto&) { return QDir().mkpath(storeFile()) && QDir(storeFile()).mkdir("inside"); }, Defaults, true},
        {"the store folder is a file", [&](auto&) { return writeFile(storeFolder(), good); }, Defaults, true},
        // Opening either would keep the start waiting for ever.
        {"the store file is a pipe",
         [&](auto&) {
             return QDir().mkpath(storeFolder()) && mkfifo(QFile::encodeName(storeFile()).constData(), 0600) == 0;
         },
         Defaults, true},
        {"the store file is a link to a device",
         [&](auto&) { return QDir().mkpath(storeFolder()) && QFile::link("/dev/zero", storeFile()); }, Defaults, true},
        {"the store cannot be read (as root, skipped: the bits do not stop root)",
         [&](auto&) { return permissionBitsStopMe() && writeStore(good) && QFile::setPermissions(storeFile(), {}); },
         Defaults, true},
        {"a read-only store file (as root it is written all the same)",
         [&](auto&) { return writeStore(good) && QFile::setPermissions(storeFile(), QFile::ReadOwner); }, Stored,
         permissionBitsStopMe()},
        {"a store on a read-only file system",
         [&](auto& mount) {
             QDir().mkpath(storeFolder());
             mount = std::make_unique<ScratchMount>(storeFolder(), "size=64k");
             return mount->mounted() && writeStore(good) && mount->makeReadOnly();
         },
         Stored, true},
        {"a store folder that cannot be made",
         [&](auto& mount) {
             mount = std::make_unique<ScratchMount>(configHome(), "size=64k,mode=0755");
             return mount->mounted() && mount->makeReadOnly();
         },
         Defaults, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<ScratchMount> mount;
        if (!c.prepare(mount)) {
            notRunHere(c.what, "it cannot be set up here");
            removeStore();
            continue;
        }
        ScriptedDialogs dialogs;
        Shown closed;
        {
            f_Main f;
            f.Show();
            EXPECT_EQ(shownBy(f), c.start == Defaults ? defaults : stored);
            EXPECT_TRUE(dialogs.messages().empty()) << dialogs.messages()[0].text;
            f.Move(600, 300, 8000, 5500);
            closed = shownBy(f);
            f.Unload();
            EXPECT_FALSE(f.widget()->isVisible());
        }
        if (c.storeFails) {
            ASSERT_EQ(dialogs.messages().size(), 1u);
            EXPECT_EQ(dialogs.messages()[0].text.rfind("Run-time error '75':", 0), 0u) << dialogs.messages()[0].text;
        } else {
            EXPECT_TRUE(dialogs.messages().empty()) << dialogs.messages()[0].text;
            // The close replaced what could not be read with what the window showed.
            f_Main again;
            again.Show();
            EXPECT_EQ(shownBy(again), closed);
        }
        mount.reset();
        if (QFileInfo(storeFile()).isFile())
            QFile::setPermissions(storeFile(), QFile::ReadOwner | QFile::WriteOwner);
        removeStore();
    }
}

TEST(ReliabilitySettings, WithoutHomeTheStoreIsInTheAccountsHome)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to run as an account (nobody) whose home this user's settings are not in";
    const passwd* nobody = getpwuid(kNobody);
    if (!nobody)
        GTEST_SKIP() << "this system has no account " << kNobody;
    const QByteArray expected = QByteArray(nobody->pw_dir) + "/.config/Quorvel/Quorvel.conf";

    const ChildEnd end = runInChild([] {
        unsetenv("HOME");
        unsetenv("XDG_CONFIG_HOME");
        if (setgroups(0, nullptr) != 0 || setgid(kNoGroup) != 0 || setuid(kNobody) != 0)
            return QByteArray("cannot become nobody");
        platform::ForgetSettings();
        platform::SaveSetting(platform::App.ProductName(), "Setting", "OutputPath", "/tiles");
        try {
            platform::WriteSettings();
            return QByteArray("written");
        } catch (const platform::RuntimeError& e) {
            return QByteArray::fromStdString(e.description());
        }
    });

    ASSERT_EQ(end.how, ChildEnd::Reported) << end.detail;
    if (end.report == "written") {
        EXPECT_TRUE(QFileInfo(expected).isFile());
        QFile::remove(expected);
    } else {
        EXPECT_TRUE(end.report.contains(expected)) << end.report.toStdString();
    }
}

// Until the window runs there is nothing to store, and SIGTERM, SIGINT and
// SIGHUP end the program at once, in whatever it is doing. (Once it runs, they
// close the window the normal way: the end-to-end test of window cycles.)
TEST(ReliabilitySettings, ASignalBeforeTheWindowRunsEndsTheProgramAtOnce)
{
    const struct {
        const char* what;
        int signal;
        bool formMade;
    } cases[] = {
        {"SIGTERM before the form is made", SIGTERM, false},
        {"SIGINT before the form is made", SIGINT, false},
        {"SIGHUP once the form is made, before it shows", SIGHUP, true},
        {"SIGTERM once the form is made, before it shows", SIGTERM, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        removeStore();
        const ChildEnd end = runInChild([&] {
            if (!c.formMade)
                raise(c.signal);
            f_Main form;
            platform::unloadOnTermination(form);
            raise(c.signal);
            return QByteArray("still running");
        });
        EXPECT_EQ(end.detail, "killed by signal " + std::to_string(c.signal)) << end.report.toStdString();
        EXPECT_FALSE(QFileInfo::exists(storeFile())) << "nothing was shown, so nothing is stored";
    }
}

} // namespace
