#include "cli/tile_names.h"

#include <algorithm>

namespace cli {

namespace {

// More digits than any file system takes in a name.
constexpr int32_t kWidestNumber = 255;

std::string digitsOf(int32_t number, int32_t width)
{
    const std::string digits = std::to_string(number);
    return std::string(size_t(std::max<int32_t>(0, width - int32_t(digits.size()))), '0') + digits;
}

} // namespace

std::optional<int32_t> NameTemplate::widthOf(const std::string& text)
{
    if (text == "auto")
        return kAutoWidth;
    const bool digits = !text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos;
    const int32_t width = digits ? std::stoi(text) : 0;
    return width >= 1 && width <= kWidestNumber ? std::optional<int32_t>(width) : std::nullopt;
}

std::variant<NameTemplate, std::string> NameTemplate::parse(const std::string& text)
{
    static const struct {
        const char* name;
        Field field;
    } kFields[] = {{"n", Field::Number}, {"row", Field::Row}, {"col", Field::Column},
                   {"stem", Field::Stem}, {"prefix", Field::Prefix}};
    NameTemplate result;
    std::string::size_type at = 0;
    while (at < text.size()) {
        const std::string::size_type open = text.find('{', at);
        if (open != at) {
            const std::string plain = text.substr(at, open - at);
            if (plain.find('/') != std::string::npos)
                return "a name holds no '/' (the folder is --output's)";
            result.mParts.push_back(Part{Field::Text, plain, 0});
            at = std::min(open, text.size());
            continue;
        }
        const std::string::size_type close = text.find('}', open);
        if (close == std::string::npos)
            return "'" + text.substr(open) + "' has no closing '}'";
        const std::string inside = text.substr(open + 1, close - open - 1);
        const std::string name = inside.substr(0, inside.find(':'));
        const auto known = std::find_if(std::begin(kFields), std::end(kFields),
                                        [&](const auto& f) { return name == f.name; });
        if (known == std::end(kFields))
            return "{" + inside + "} is no field; the fields are {n}, {row}, {col}, {stem} and {prefix}";
        Part part{known->field, {}, 0};
        if (name.size() < inside.size()) {
            if (part.field == Field::Stem || part.field == Field::Prefix)
                return "{" + inside + "}: only {n}, {row} and {col} take a width";
            const std::optional<int32_t> width = widthOf(inside.substr(name.size() + 1));
            if (!width)
                return "{" + inside + "}: a width is 'auto' or 1 to " + std::to_string(kWidestNumber) + " digits";
            part.width = *width;
        }
        result.mParts.push_back(part);
        at = close + 1;
    }
    return result;
}

std::string NameTemplate::nameOf(const tiles::GridTile& tile, const tiles::GridTile& last, const std::string& stem,
                                 const std::string& prefix) const
{
    std::string name;
    for (const Part& part : mParts) {
        const auto number = [&](int32_t value, int32_t largest) {
            return digitsOf(value, part.width == kAutoWidth ? int32_t(std::to_string(largest).size()) : part.width);
        };
        switch (part.field) {
        case Field::Text:
            name += part.text;
            break;
        case Field::Number:
            name += number(tile.number, last.number);
            break;
        case Field::Row:
            name += number(tile.row, last.row);
            break;
        case Field::Column:
            name += number(tile.column, last.column);
            break;
        case Field::Stem:
            name += stem;
            break;
        case Field::Prefix:
            name += prefix;
            break;
        }
    }
    return name;
}

std::string stemOf(const std::string& path)
{
    const std::string name = path.substr(path.rfind('/') + 1);
    const std::string::size_type dot = name.rfind('.');
    // A name that only starts with a dot has no extension.
    return dot == 0 || dot == std::string::npos ? name : name.substr(0, dot);
}

std::string withStem(const std::string& pattern, const std::string& stem)
{
    std::string name = pattern;
    for (auto at = name.find(kStemField); at != std::string::npos; at = name.find(kStemField, at + stem.size()))
        name.replace(at, kStemField.size(), stem);
    return name;
}

} // namespace cli
