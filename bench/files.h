#pragma once
// The files a benchmark run reads and writes: generated strips, the check of
// what a run wrote, and the plain-system-call yardstick for writing a file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// Writes a strip of the given size as the program writes pictures (24-bit BMP),
// each pixel coloured by its column and row so that no two tiles are alike.
void writeStrip(const std::filesystem::path& file, int width, int height);

// Writes a sheet of sprites as an RGBA PNG: on a transparent ground, one small
// figure in each cell of cell x cell pixels, mirrored left to right as sprites
// are, in a few shades of one colour with a dark outline; some cells empty
// unless emptyCells is false. Every figure is made from a fixed seed, so each
// run cuts the same sheet.
void writeSpriteSheet(const std::filesystem::path& file, int width, int height, int cell, bool emptyCells = true);

// Writes up to count sprites of minSize to maxSize pixels a side as an RGBA
// PNG, packed in shelves on a transparent ground at least 2 pixels apart, as
// atlas packers leave them; each sprite one island (its pixels all touch, and
// there are more than four). Returns how many it planted (fewer when the sheet
// is full), 0 when the file cannot be written.
int writeIslandSheet(const std::filesystem::path& file, int width, int height, int count, int minSize, int maxSize);

// Writes an RGBA PNG of tile x tile tiles from the top left corner, each an
// opaque ground with a sprite on it, and a transparent 1-pixel gutter after
// every tile, so the tiles' grid can be found from the gutters.
bool writeGutterSheet(const std::filesystem::path& file, int width, int height, int tile);

// Why the two pictures do not hold the same pixels and alpha; empty when they do.
std::string checkSamePixels(const std::filesystem::path& picture, const std::filesystem::path& reference);

// Why the folder does not hold exactly prefix1.png .. prefix<count>.png with
// the pixels of the sheet's cells of cell x cell, row by row; empty when it
// does. With pixels false, only the names and that no file is empty.
std::string checkSheetTiles(const std::filesystem::path& folder, const std::string& prefix,
                            const std::filesystem::path& sheet, int cell, bool pixels);

// The number of regular files in the folder and the folders below it, and their bytes.
std::uintmax_t filesBelow(const std::filesystem::path& folder, std::uintmax_t* bytes = nullptr);

// The size of the file the program writes for one tile of width x height.
std::uintmax_t tileFileSize(const std::filesystem::path& scratchFolder, int width, int height);

// Why the folder does not hold exactly prefix1.bmp .. prefix<count>.bmp of
// fileSize bytes each; empty when it does.
std::string checkTiles(const std::filesystem::path& folder, const std::string& prefix, int count,
                       std::uintmax_t fileSize);

// Creates count new files of fileSize bytes in the (empty) folder with open,
// write and close, and returns the milliseconds taken; negative on failure.
double writePlainFiles(const std::filesystem::path& folder, int count, std::uintmax_t fileSize);

// Fills the (empty) folder with count small strips named by a letter from a to z
// in turn and their number; false when a file cannot be written.
bool writeFolderOfStrips(const std::filesystem::path& folder, int count);

// A plain scan of the folder as a program without a window would make it:
// readdir, the ordinary visible files whose names match one of the patterns
// in any case, counted in matched. Returns the milliseconds taken; negative
// when the folder cannot be read.
double scanFolder(const std::filesystem::path& folder, const std::vector<std::string>& patterns, int& matched);

// A fresh empty folder, removing what an earlier run left there, with the
// file system's pending writes done, so that the next timed run does not pay
// for the one before.
void makeEmptyFolder(const std::filesystem::path& folder);

} // namespace bench
