#pragma once
// Atlases: the cut told as regions of the sheet itself, in the files game
// engines load beside it, so that an engine needs the sheet and one data file
// and no converter: TexturePacker's JSON (Phaser, PixiJS), Aseprite's JSON,
// a Godot SpriteFrames resource and a libGDX texture atlas.
//
// Every writer reads the SheetReport alone: any rectangles in any order, each
// tile's shown part when trimmed, and its fate. A tile left out as empty is
// no frame; the others are, repeats and existing files included, since the
// sheet holds their pixels whatever became of their files.

#include "cli/sheet_report.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class AtlasFormat { JsonHash, JsonArray, Aseprite, Godot, Libgdx };

// The format's name on the command line, and the format of a name.
const char* atlasFormatName(AtlasFormat format);
std::optional<AtlasFormat> atlasFormatNamed(const std::string& name);
// "json-hash, json-array, aseprite, godot and libgdx", for messages.
std::string atlasFormatNames();

struct AtlasRequest {
    AtlasFormat format = AtlasFormat::JsonHash;
    // "{stem}" stands for the sheet's.
    std::string file;
};

// One animation: the tiles from the one numbered from to the one numbered to,
// in the cut's order.
struct AnimationTag {
    std::string name;
    int32_t from = 0;
    int32_t to = 0;
};

// Aseprite's default of 100 ms a frame.
constexpr int32_t kDefaultFps = 10;

struct Animations {
    std::vector<AnimationTag> tags;
    int32_t fps = kDefaultFps;
};

// Why the tags do not fit the cut (a number that is no tile's, an end before
// the start), or "". Asked before anything is written.
std::string tagProblem(const SheetReport& report, const std::vector<AnimationTag>& tags);

// Why the format cannot hold this cut's names or the sheet's path as seen
// from atlasPath, or "". Asked before anything is written.
std::string atlasProblem(AtlasFormat format, const SheetReport& report, const std::string& atlasPath);

// The tags none of whose tiles is a frame (all left out as empty): every
// atlas leaves them out.
std::vector<std::string> tagsWithoutFrames(const SheetReport& report, const std::vector<AnimationTag>& tags);

// The atlas to be written at atlasPath, handed to write in pieces so that no
// document of every frame is held. The sheet is named by a path relative to
// the atlas's folder, which is where every engine here looks for it.
void writeAtlas(AtlasFormat format, const SheetReport& report, const Animations& animations,
                const std::string& atlasPath, const std::function<void(std::string_view)>& write);

} // namespace cli
