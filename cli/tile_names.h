#pragma once
// The names tiles are saved under, from a template such as "{stem}_{n:auto}".

#include "tiles/grid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace cli {

// The default gives the window's names: the prefix and the tile's number.
inline const std::string kDefaultNameTemplate = "{prefix}{n}";

class NameTemplate {
public:
    // The template, or why it is none ("{size} is no field ...").
    static std::variant<NameTemplate, std::string> parse(const std::string& text);

    // The tile's name, without extension. An ":auto" width is that of the
    // largest such number of the sheet, which its last tile carries.
    std::string nameOf(const tiles::GridTile& tile, const tiles::GridTile& last, const std::string& stem,
                       const std::string& prefix) const;

private:
    enum class Field { Text, Number, Row, Column, Stem, Prefix };
    struct Part {
        Field field = Field::Text;
        std::string text;
        // Number fields: the least number of digits, zeros in front; kAutoWidth
        // for the width of the largest.
        int32_t width = 0;
    };
    static constexpr int32_t kAutoWidth = -1;
    // "auto", or a width of 1 to 255 digits; nothing for anything else.
    static std::optional<int32_t> widthOf(const std::string& text);
    std::vector<Part> mParts;
};

// The sheet's file name without its folder and its last extension.
std::string stemOf(const std::string& path);

// A manifest's or tileset's name with the sheet's stem for every "{stem}".
inline const std::string kStemField = "{stem}";
std::string withStem(const std::string& pattern, const std::string& stem);

} // namespace cli
