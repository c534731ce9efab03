#include "cli/batch.h"

#include "platform/canvas.h"
#include "platform/colors.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "tiles/tile_rules.h"

#include <chrono>
#include <new>

using platform::Screen;

namespace cli {

namespace {

// A run worth watching shows how far it is, on a terminal only: from its first
// second on, and no more than a screen can follow.
class Progress {
public:
    Progress(std::ostream& stream, bool shown) : mStream(stream), mShown(shown) {}
    ~Progress()
    {
        if (mDrawn)
            mStream << "\r\033[K" << std::flush;
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(int done, int total)
    {
        const Clock::time_point now = Clock::now();
        if (!mShown || now - mStart < kQuiet || now - mDrawnAt < kRedraw)
            return;
        mStream << "\rquorvel: tile " << done << " of " << total << std::flush;
        mDrawnAt = now;
        mDrawn = true;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kQuiet{1};
    static constexpr std::chrono::milliseconds kRedraw{100};
    std::ostream& mStream;
    bool mShown;
    bool mDrawn = false;
    Clock::time_point mStart = Clock::now();
    Clock::time_point mDrawnAt;
};

// The strip as the window's Save all sees it once the image control holds it:
// its size in twips and what the tile rules make of it.
struct Strip {
    explicit Strip(const platform::Picture& picture)
        : picture(picture),
          heightTwips(picture.pixelHeight() * Screen.TwipsPerPixelY()),
          pixelWidth(tiles::pixelsOf(picture.pixelWidth() * Screen.TwipsPerPixelX(), Screen.TwipsPerPixelX())),
          pixelHeight(tiles::pixelsOf(heightTwips, Screen.TwipsPerPixelY())),
          baseWidth(tiles::baseTileWidth(pixelHeight)),
          passes(tiles::tileCount(pixelWidth, baseWidth)),
          tileWidth(tiles::tileWidth(passes, pixelWidth, baseWidth))
    {
    }
    platform::Picture picture;
    float heightTwips;
    int32_t pixelWidth;
    int32_t pixelHeight;
    int32_t baseWidth;
    int16_t passes;
    int32_t tileWidth;
};

// Pass i's tile, drawn the way the window's pick draws it into the preview box.
platform::Picture tileOf(const Strip& strip, int16_t i, platform::Canvas& canvas)
{
    const float tx = Screen.TwipsPerPixelX();
    const int16_t p = tiles::hitTest(tiles::pickX(i, strip.baseWidth, tx), tx, strip.tileWidth);
    const tiles::Rect outline = tiles::outlineRect(p, strip.tileWidth, 0, 0, strip.heightTwips, tx);
    const tiles::CopyRects copy = tiles::copyRects(p, strip.tileWidth, strip.pixelHeight, outline.Width,
                                                   outline.Height, tx, Screen.TwipsPerPixelY());
    canvas.Cls();
    canvas.setSize(outline.Width, outline.Height);
    canvas.PaintPicture(strip.picture, copy.destination.Left, copy.destination.Top, copy.destination.Width,
                        copy.destination.Height, copy.source.Left, copy.source.Top, copy.source.Width,
                        copy.source.Height);
    return canvas.Image();
}

// The tile rules' errors (6 for more tiles than a 16-bit number counts, 11 for
// a strip of no height) do not say which file they are about.
Strip stripOf(const std::string& fileName)
{
    const platform::Picture picture = platform::LoadPicture(fileName);
    try {
        return Strip(picture);
    } catch (const platform::RuntimeError& e) {
        throw platform::RuntimeError(e.number(), "cannot cut '" + fileName + "': " + e.description());
    }
}

} // namespace

int saveAll(const Command& command, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    int saved = 0;
    int skipped = 0;
    bool cutting = false;
    std::string failure;
    {
        Progress progress(err, errIsTerminal);
        try {
            const Strip strip = stripOf(command.name);
            cutting = true;
            platform::Canvas canvas(platform::kPreviewBackground);
            for (int16_t i = 0; i < strip.passes; ++i) {
                const std::string target = tiles::tileFileName(command.output, command.prefix, i);
                const bool written =
                    !platform::FileExists(target) && platform::SaveNewPicture(tileOf(strip, i, canvas), target);
                ++(written ? saved : skipped);
                progress.update(i + 1, strip.passes);
            }
        } catch (const platform::RuntimeError& e) {
            failure = e.description();
        } catch (const std::bad_alloc&) {
            failure = "out of memory while cutting '" + command.name + "'";
        }
    }
    if (!failure.empty())
        err << "quorvel: " << failure << "\n";
    // Also after a failure: the tiles written before it are complete, and worth knowing about.
    if (cutting)
        out << "saved " << saved << ", skipped " << skipped << " existing, in " << command.output << "\n";
    return failure.empty() ? kExitSuccess : kExitFailure;
}

} // namespace cli
