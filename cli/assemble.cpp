#include "cli/assemble.h"

#include "cli/ordered_pipeline.h"
#include "cli/sheet_pixels.h"
#include "cli/text.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "tiles/grid.h"

#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <unordered_map>

namespace cli {

namespace {

using tiles::PixelRect;

// What stops the sheet: said on err, and nothing is written.
struct Failure {
    std::string what;
};

// A manifest of a million tiles is about 150 MB.
constexpr qint64 kMostManifestBytes = qint64(1) << 30;
// No picture file of a tile's size needs more than this: 16-bit RGBA, a
// filter byte a row, and headers and palettes besides.
constexpr qint64 kMostBytesPerPixel = 9;
constexpr qint64 kBytesBesidesPixels = qint64(1) << 20;

struct FileRead {
    QByteArray bytes;
    dev_t device = 0;
    ino_t inode = 0;
};

// Reads a file opened without blocking, so that a pipe or a device never holds
// the run, up to most bytes: all that any picture the caller takes can use.
// openError is the open's errno when fd is -1. The cause, or "" when read.
std::string readOpened(int fd, int openError, qint64 most, FileRead& file)
{
    if (fd < 0)
        return openError == ENOENT ? "it does not exist" : std::strerror(openError);
    struct stat status {};
    std::string cause;
    if (::fstat(fd, &status) != 0)
        cause = std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        cause = S_ISDIR(status.st_mode) ? "it is a folder" : "it is not a file";
    if (cause.empty()) {
        file.device = status.st_dev;
        file.inode = status.st_ino;
        file.bytes.resize(qsizetype(std::min<qint64>(status.st_size, most)));
        qsizetype got = 0;
        while (got < file.bytes.size()) {
            const ssize_t n = ::read(fd, file.bytes.data() + got, size_t(file.bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n < 0)
                    cause = std::strerror(errno);
                break;
            }
            got += n;
        }
        file.bytes.truncate(got);
    }
    ::close(fd);
    return cause;
}

// ---------------------------------------------------------------- the manifest

struct ManifestTile {
    int32_t number = 0;
    // Where the tile lies in the sheet.
    PixelRect place;
    // What its file holds, inside place.
    PixelRect held;
    // Relative to the output folder.
    std::string file;
    std::string status;
    int32_t repeatOf = 0;
};

struct Manifest {
    // Both as seen from here: the manifest's folder before them.
    std::string sheet;
    std::string output;
    int32_t width = 0;
    int32_t height = 0;
    // A grid's tiles fill their rectangles. Without one (islands), a tile
    // holds only its own picture's pixels, and a neighbour may reach into its
    // rectangle: only its pixels that are not transparent are put back.
    bool grid = true;
    // Islands on an opaque background: its colour, which their tiles' pixels of
    // that colour leave as it was beneath.
    std::optional<QRgb> behind;
    std::vector<ManifestTile> tiles;
};

std::string bytesOf(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// A path the manifest gives relative to its own folder.
std::string besideManifest(const std::string& manifest, const std::string& path)
{
    const std::string::size_type slash = manifest.rfind('/');
    if ((!path.empty() && path[0] == '/') || slash == std::string::npos)
        return path;
    return manifest.substr(0, slash + 1) + path;
}

class ManifestReader {
public:
    explicit ManifestReader(const std::string& path) : mPath(path) {}

    Manifest read() const
    {
        FileRead file;
        const int fd = ::open(mPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        const std::string cause = readOpened(fd, errno, kMostManifestBytes, file);
        if (!cause.empty())
            throw Failure{"cannot read the manifest " + inQuotes(mPath) + ": " + cause};
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &error);
        if (error.error != QJsonParseError::NoError)
            refuse("is no JSON document: " + bytesOf(error.errorString()) + " at byte " + std::to_string(error.offset));
        if (!document.isObject())
            refuse("is no JSON object");
        const QJsonObject root = document.object();
        const QJsonObject sheet = objectAt(root, "sheet");
        Manifest manifest;
        manifest.sheet = besideManifest(mPath, textAt(sheet, "path", "sheet"));
        manifest.width = numberAt(sheet, "width", "sheet", 1);
        manifest.height = numberAt(sheet, "height", "sheet", 1);
        manifest.output = besideManifest(mPath, textAt(root, "output", ""));
        manifest.grid = root.contains(QLatin1String("grid"));
        // Islands on a colour: their tiles show it where they are not theirs.
        const QString background = root.value(QLatin1String("background")).toString();
        if (!manifest.grid && background.size() == 6 && background != QLatin1String("transparent"))
            manifest.behind = 0xFF000000u | background.toUInt(nullptr, 16);
        const QJsonValue tiles = root.value(QLatin1String("tiles"));
        if (!tiles.isArray())
            refuse("has no list 'tiles'");
        const QJsonArray list = tiles.toArray();
        manifest.tiles.reserve(size_t(list.size()));
        for (qsizetype i = 0; i < list.size(); ++i) {
            const std::string where = "tiles[" + std::to_string(i) + "]";
            if (!list[i].isObject())
                refuse("has no object at " + where);
            manifest.tiles.push_back(tileOf(list[i].toObject(), where, manifest));
        }
        return manifest;
    }

private:
    ManifestTile tileOf(const QJsonObject& object, const std::string& where, const Manifest& manifest) const
    {
        ManifestTile tile;
        tile.number = numberAt(object, "number", where, 0);
        // A picture's pad may reach past the sheet's edges; a grid's tiles never do.
        const int32_t least = manifest.grid ? 0 : -kWidestPad;
        tile.place = {numberAt(object, "x", where, least), numberAt(object, "y", where, least),
                      numberAt(object, "width", where, 1), numberAt(object, "height", where, 1)};
        const PixelRect& r = tile.place;
        const int32_t beyond = manifest.grid ? 0 : kWidestPad;
        if (int64_t(r.x) + r.width > int64_t(manifest.width) + beyond ||
            int64_t(r.y) + r.height > int64_t(manifest.height) + beyond)
            refuse("puts tile " + std::to_string(tile.number) + " at " + std::to_string(r.x) + "," +
                   std::to_string(r.y) + " " + sizeText(r.width, r.height) + ", outside the sheet of " +
                   sizeText(manifest.width, manifest.height));
        // A tile's file holds all of its place, a trimmed tile's only what shows.
        tile.held = tile.place;
        if (object.contains(QLatin1String("trim"))) {
            const QJsonObject trim = objectAt(object, "trim");
            const std::string inTrim = where + ".trim";
            tile.held = {r.x + numberAt(trim, "x", inTrim, 0), r.y + numberAt(trim, "y", inTrim, 0),
                         numberAt(trim, "width", inTrim, 1), numberAt(trim, "height", inTrim, 1)};
            if (tile.held.x + int64_t(tile.held.width) > int64_t(r.x) + r.width ||
                tile.held.y + int64_t(tile.held.height) > int64_t(r.y) + r.height)
                refuse("trims tile " + std::to_string(tile.number) + " to more than the tile" + in(where));
        }
        tile.file = textAt(object, "file", where);
        tile.status = textAt(object, "status", where);
        if (tile.status == "repeat")
            tile.repeatOf = numberAt(object, "repeatOf", where, 0);
        return tile;
    }

    [[noreturn]] void refuse(const std::string& why) const
    {
        throw Failure{"the manifest " + inQuotes(mPath) + " " + why};
    }

    static std::string in(const std::string& where) { return where.empty() ? "" : " in " + where; }

    QJsonObject objectAt(const QJsonObject& object, const char* key) const
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isObject())
            refuse("has no object '" + std::string(key) + "'");
        return value.toObject();
    }

    std::string textAt(const QJsonObject& object, const char* key, const std::string& where) const
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isString() || value.toString().isEmpty())
            refuse("has no text '" + std::string(key) + "'" + in(where));
        return bytesOf(value.toString());
    }

    int32_t numberAt(const QJsonObject& object, const char* key, const std::string& where, int32_t least) const
    {
        const QJsonValue value = object.value(QLatin1String(key));
        const double number = value.toDouble(-1);
        if (!value.isDouble() || number != std::floor(number) || number < least ||
            number > std::numeric_limits<int32_t>::max())
            refuse("has no whole number '" + std::string(key) + "' from " + std::to_string(least) + in(where));
        return int32_t(number);
    }

    const std::string mPath;
};

// ---------------------------------------------------------------- where each tile comes from

enum class From { File, Repeat, Sheet, Background };

struct Source {
    From from = From::File;
    // File and Repeat: the tile whose file it is.
    size_t tile = 0;
};

std::string tileText(const ManifestTile& tile) { return "tile " + std::to_string(tile.number); }

// Where each tile's pixels come from. An existing tile's file was there before
// the cut and need not hold the sheet's pixels: while the old sheet is there,
// the sheet's are taken; without it, the file is all there is.
std::vector<Source> sourcesOf(const Manifest& manifest, bool fromSheet)
{
    const std::vector<ManifestTile>& tiles = manifest.tiles;
    std::unordered_map<int32_t, size_t> byNumber;
    for (size_t i = 0; i < tiles.size(); ++i)
        if (!byNumber.emplace(tiles[i].number, i).second)
            throw Failure{"the manifest numbers two tiles " + std::to_string(tiles[i].number)};
    const auto own = [&](size_t i) -> std::optional<Source> {
        const std::string& status = tiles[i].status;
        if (status == "saved")
            return Source{From::File, i};
        if (status == "existing")
            return fromSheet ? Source{From::Sheet, i} : Source{From::File, i};
        // A speck is a picture too small to be an island's tile: left out, as an empty tile is.
        if (status == "empty" || status == "speck")
            return Source{fromSheet ? From::Sheet : From::Background, i};
        return std::nullopt;
    };
    std::vector<Source> sources(tiles.size());
    for (size_t i = 0; i < tiles.size(); ++i) {
        const ManifestTile& tile = tiles[i];
        if (const std::optional<Source> source = own(i)) {
            sources[i] = *source;
            continue;
        }
        if (tile.status != "repeat")
            throw Failure{tileText(tile) + " has the status " + inQuotes(tile.status) +
                          ", which --assemble does not know"};
        const auto repeated = byNumber.find(tile.repeatOf);
        if (repeated == byNumber.end())
            throw Failure{tileText(tile) + " repeats tile " + std::to_string(tile.repeatOf) +
                          ", which the manifest does not list"};
        const std::optional<Source> source = own(repeated->second);
        if (!source)
            throw Failure{tileText(tile) + " repeats tile " + std::to_string(tile.repeatOf) +
                          ", which has no pixels of its own"};
        sources[i] = source->from == From::File ? Source{From::Repeat, source->tile} : Source{source->from, i};
    }
    return sources;
}

// ---------------------------------------------------------------- the tile files

// The output folder's tile files, each read only from inside it: a name that
// "..", a link or an absolute path would take elsewhere is refused by where
// it really leads, not by its text.
class TileFiles {
public:
    explicit TileFiles(const std::string& output) : mOutput(output)
    {
        mFolder = ::open(output.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        char* real = mFolder < 0 ? nullptr : ::realpath(output.c_str(), nullptr);
        if (!real) {
            const int error = errno;
            if (mFolder >= 0)
                ::close(mFolder);
            throw Failure{"cannot read the output folder " + inQuotes(output) + ": " +
                          (error == ENOENT ? "it does not exist" : std::strerror(error))};
        }
        mReal = real;
        std::free(real);
    }
    ~TileFiles() { ::close(mFolder); }
    TileFiles(const TileFiles&) = delete;
    TileFiles& operator=(const TileFiles&) = delete;

    std::string pathOf(const ManifestTile& tile) const { return mOutput + platform::PathSeparator + tile.file; }

    FileRead read(const ManifestTile& tile, qint64 most) const
    {
        const std::string path = pathOf(tile);
        if (tile.file[0] == '/')
            throw Failure{tileText(tile) + ": its file " + inQuotes(tile.file) +
                          " is no name inside the output folder " + inQuotes(mOutput)};
        // A plain name opens inside the folder with no link followed, in one
        // call: the common case, for tens of thousands of tiles.
        const bool plain = tile.file.find('/') == std::string::npos && tile.file != "." && tile.file != "..";
        int fd = plain ? ::openat(mFolder, tile.file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW) : -1;
        int error = errno;
        if (!plain || (fd < 0 && error == ELOOP)) {
            char* real = ::realpath(path.c_str(), nullptr);
            error = errno;
            if (real) {
                const std::string leads = real;
                std::free(real);
                if (!inside(leads))
                    throw Failure{tileText(tile) + ": its file " + inQuotes(path) +
                                  " leads out of the output folder, to " + inQuotes(leads)};
                fd = ::open(leads.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
                error = errno;
            }
        }
        FileRead file;
        const std::string cause = readOpened(fd, error, most, file);
        if (!cause.empty())
            throw Failure{tileText(tile) + ": cannot read " + inQuotes(path) + ": " + cause};
        return file;
    }

private:
    bool inside(const std::string& real) const
    {
        const std::string folder = mReal == "/" ? mReal : mReal + "/";
        return real.size() > folder.size() && real.compare(0, folder.size(), folder) == 0;
    }

    const std::string mOutput;
    std::string mReal;
    int mFolder = -1;
};

// ---------------------------------------------------------------- the old sheet

struct OldSheet {
    bool used = false;
    // Let go once the new sheet starts from it, so that its pixels are not copied.
    platform::Picture picture;
    // Why a sheet that is there is not used, "" when it is used or gone.
    std::string unused;
};

OldSheet oldSheet(const Manifest& manifest)
{
    OldSheet old;
    try {
        old.picture = platform::LoadPicture(manifest.sheet, platform::Pixels::AsStored);
    } catch (const platform::RuntimeError& e) {
        if (e.number() != platform::FileNotFound)
            old.unused = e.description();
        return old;
    } catch (const std::bad_alloc&) {
        old.unused = "out of memory while reading it";
        return old;
    }
    if (old.picture.pixelWidth() != manifest.width || old.picture.pixelHeight() != manifest.height) {
        old.unused = "it is " + sizeText(old.picture.pixelWidth(), old.picture.pixelHeight()) +
                     " pixels, not the manifest's " + sizeText(manifest.width, manifest.height);
        old.picture = {};
        return old;
    }
    old.used = true;
    return old;
}

// ---------------------------------------------------------------- the run

struct Identity {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool is(const FileRead& file) const { return known && device == file.device && inode == file.inode; }
};

// The file a name writes or reads, through links, when it exists.
Identity identityOf(const std::string& name)
{
    struct stat status {};
    if (::stat(name.c_str(), &status) != 0)
        return {};
    return {true, status.st_dev, status.st_ino};
}

std::string folderOf(const std::string& file)
{
    const std::string::size_type slash = file.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

std::string colourText(uint32_t rgb)
{
    char text[8];
    std::snprintf(text, sizeof text, "%06x", unsigned(rgb));
    return text;
}

class Assembly {
public:
    Assembly(const Assembling& assembling, std::ostream& out, std::ostream& err)
        : mAssembling(assembling), mOut(out), mErr(err)
    {
    }

    void run()
    {
        const std::string& into = mAssembling.into;
        if (!mAssembling.replace && platform::NameTaken(into))
            throw Failure{inQuotes(into) + " exists; --replace replaces it"};
        if (const std::string problem = platform::FolderProblem(into); !problem.empty())
            throw Failure{"cannot write " + inQuotes(into) + ": " + problem};
        mInto = identityOf(into);
        if (const Identity manifest = identityOf(mAssembling.manifest);
            mInto.known && manifest.known && manifest.device == mInto.device && manifest.inode == mInto.inode)
            throw Failure{"--into " + inQuotes(into) + " is the manifest itself"};
        const Manifest manifest = ManifestReader(mAssembling.manifest).read();
        OldSheet old = oldSheet(manifest);
        if (!old.unused.empty())
            mErr << "quorvel: not using the sheet " << inQuotes(manifest.sheet) << ": " << old.unused << "\n";
        const std::vector<Source> sources = sourcesOf(manifest, old.used);
        const TileFiles files(manifest.output);
        const QImage sheet = put(manifest, sources, files, old);
        if (mAssembling.dryRun) {
            for (size_t i = 0; i < manifest.tiles.size(); ++i) {
                const ManifestTile& tile = manifest.tiles[i];
                const PixelRect& r = tile.place;
                mOut << tile.file << " " << r.x << "," << r.y << " " << sizeText(r.width, r.height) << " "
                     << sourceText(manifest, sources[i]) << "\n";
            }
            mOut << "background: " << backgroundText(manifest, old) << "\n";
            return;
        }
        write(sheet);
        mOut << "wrote " << inQuotes(into) << ": " << countsText(sources)
             << "; background: " << backgroundText(manifest, old) << "\n";
    }

private:
    QImage put(const Manifest& manifest, const std::vector<Source>& sources, const TileFiles& files,
               OldSheet& old) const
    {
        SheetPixels pixels = old.used ? SheetPixels(old.picture.image()) : SheetPixels(manifest.width, manifest.height);
        old.picture = {};
        std::vector<size_t> fromFiles;
        for (size_t i = 0; i < sources.size(); ++i)
            if (sources[i].from == From::File || sources[i].from == From::Repeat)
                fromFiles.push_back(i);
        // Reading and decoding the files, the larger part of the work, goes on
        // a thread of its own while this one puts the pixels in place.
        OrderedPipeline<QImage> ahead(fromFiles.size(), [&](size_t k) {
            const ManifestTile& tile = manifest.tiles[fromFiles[k]];
            return tilePixels(files, manifest.tiles[sources[fromFiles[k]].tile], tile);
        });
        for (const size_t i : fromFiles) {
            const PixelRect& at = manifest.tiles[i].held;
            pixels.place(ahead.take(), at.x, at.y, !manifest.grid, manifest.behind);
        }
        if (!old.used)
            pixels.fillUncovered(mAssembling.background ? 0xFF000000u | *mAssembling.background : 0u);
        return pixels.image();
    }

    // The pixels of owner's file, to go where tile's file would: the tile
    // itself, or a repeat of owner.
    QImage tilePixels(const TileFiles& files, const ManifestTile& owner, const ManifestTile& tile) const
    {
        const PixelRect& r = tile.held;
        const FileRead file = files.read(owner, int64_t(r.width) * r.height * kMostBytesPerPixel + kBytesBesidesPixels);
        const std::string path = files.pathOf(owner);
        if (mInto.is(file))
            throw Failure{"--into " + inQuotes(mAssembling.into) + " is the file of " + tileText(owner) + ", " +
                          inQuotes(path)};
        platform::Picture picture;
        try {
            picture = platform::DecodePicture(file.bytes, path, platform::Pixels::AsStored);
        } catch (const platform::RuntimeError& e) {
            throw Failure{tileText(owner) + ": " + e.description()};
        }
        if (picture.pixelWidth() != r.width || picture.pixelHeight() != r.height)
            throw Failure{tileText(owner) + ": " + inQuotes(path) + " is " +
                          sizeText(picture.pixelWidth(), picture.pixelHeight()) + " pixels, not the " +
                          sizeText(r.width, r.height) + " of " +
                          (&owner == &tile ? "its place" : "the place of " + tileText(tile)) + " in the sheet"};
        return picture.image();
    }

    void write(const QImage& sheet) const
    {
        const std::string& into = mAssembling.into;
        try {
            const QByteArray bytes = platform::EncodePicture(platform::Picture(sheet), into, mAssembling.format);
            const std::string_view view(bytes.constData(), size_t(bytes.size()));
            if (mAssembling.replace) {
                platform::ReplaceFile(into, view);
                return;
            }
            if (!platform::WriteNewFile(into, view))
                throw Failure{inQuotes(into) + " exists; --replace replaces it"};
            platform::FlushFiles(folderOf(into));
        } catch (const platform::RuntimeError& e) {
            throw Failure{e.description()};
        }
    }

    std::string sourceText(const Manifest& manifest, const Source& source) const
    {
        switch (source.from) {
        case From::File:
            return "from tile file";
        case From::Repeat:
            return "from repeat of " + std::to_string(manifest.tiles[source.tile].number);
        case From::Sheet:
            return "from the sheet";
        case From::Background:
            return "from the background";
        }
        return {};
    }

    std::string backgroundText(const Manifest& manifest, const OldSheet& old) const
    {
        if (old.used)
            return "from the sheet " + inQuotes(manifest.sheet);
        const std::string colour =
            mAssembling.background ? colourText(*mAssembling.background) + " (--background)" : "transparent";
        return colour + ", as the sheet " + inQuotes(manifest.sheet) +
               (old.unused.empty() ? " is gone" : " is not used");
    }

    static std::string countsText(const std::vector<Source>& sources)
    {
        size_t counts[4] = {};
        for (const Source& source : sources)
            ++counts[size_t(source.from)];
        return std::to_string(counts[size_t(From::File)]) + " tiles from their files, " +
               std::to_string(counts[size_t(From::Repeat)]) + " repeats, " +
               std::to_string(counts[size_t(From::Sheet)]) + " from the sheet, " +
               std::to_string(counts[size_t(From::Background)]) + " from the background";
    }

    const Assembling& mAssembling;
    std::ostream& mOut;
    std::ostream& mErr;
    Identity mInto;
};

} // namespace

int assemble(const Command& command, std::ostream& out, std::ostream& err)
{
    const Assembling& assembling = command.assembling;
    try {
        Assembly(assembling, out, err).run();
    } catch (const Failure& failure) {
        err << "quorvel: " << failure.what << "\n";
        return kExitFailure;
    } catch (const std::bad_alloc&) {
        err << "quorvel: out of memory while putting " << inQuotes(assembling.into) << " together\n";
        return kExitFailure;
    } catch (const std::system_error& e) {
        // The thread that reads the tiles could not be started.
        err << "quorvel: cannot put " << inQuotes(assembling.into) << " together: " << e.what() << "\n";
        return kExitFailure;
    }
    if (!out.flush()) {
        err << "quorvel: cannot write the standard output\n";
        return kExitFailure;
    }
    return kExitSuccess;
}

} // namespace cli
