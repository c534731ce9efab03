#pragma once
// A picture object: one image, shared cheaply between controls, like the
// runtime's StdPicture. Empty until something is loaded into it.

#include <memory>
#include <string>

class QByteArray;
class QImage;

namespace platform {

class Picture {
public:
    Picture();
    explicit Picture(const QImage& image);

    bool isEmpty() const;
    int pixelWidth() const;
    int pixelHeight() const;
    // What the picture holds, to draw: an empty picture draws nothing.
    const QImage& image() const;
    // What the picture holds, to be saved or examined pixel by pixel. Error 7
    // when it holds nothing: whatever is saved or examined is a tile or the
    // preview, at least a pixel each way, so an empty one is memory that could
    // not be had (Qt's images have no 0x0 size other than null). The
    // description names the file being written, when there is one.
    const QImage& checkedImage(const std::string& fileName = {}) const;
    // The pixels of a rectangle inside the picture, as they are held; empty
    // when they cannot be allocated.
    Picture part(int x, int y, int width, int height) const;

private:
    std::shared_ptr<const QImage> mImage;
};

// How a loaded picture holds its pixels.
enum class Pixels {
    // As the window draws them: a BMP as opaque 32-bit pixels; a GIF or PNG as
    // 32-bit pixels, with alpha when it has transparency.
    AsDrawn,
    // As the file stores them, to be written again unchanged: a PNG in the
    // kind of pixels it holds (formats/png.h), a GIF as palette pixels
    // (formats/gif.h), a BMP as for AsDrawn.
    AsStored,
};

// Reads a BMP, GIF or PNG file, whatever its name (the first frame of an
// animated GIF). Errors: 53 when the file is gone, 75 when it cannot be read,
// 481 when it is no readable picture, 7 when it is too large to hold.
Picture LoadPicture(const std::string& fileName, Pixels pixels);
Picture LoadPicture(const std::string& fileName);

// LoadPicture for a file's bytes read by the caller, which opens the file its
// own way; fileName names it in the errors (481 and 7 as for LoadPicture).
Picture DecodePicture(const QByteArray& bytes, const std::string& fileName, Pixels pixels);

// What the file is by its first bytes, whatever its name: "bmp", "gif" or
// "png"; "" for none of them, or a file that cannot be read.
std::string PictureFileKind(const std::string& fileName);

// Writes exactly the picture's pixels as a 24-bit BMP, whatever the name's
// extension, replacing an existing file only once the new one is complete: a
// failed write leaves the old file as it was. A name that is a link keeps the
// link; the file it points to gets the picture. Errors: 75 when the file cannot
// be written, 76 when its folder does not exist, 7 (nothing written) for an
// empty picture; the description names the file and the cause.
void SavePicture(const Picture& picture, const std::string& fileName);

enum class FileFormat { Bmp, Png };

// The file's bytes for the picture: a 24-bit BMP as SavePicture writes it, or
// a PNG of the picture's pixels and alpha in the kind of pixels it holds
// (formats/png.h). Error 7 when the picture is empty (see checkedImage), 75
// when it is too large to encode; the description names the file.
QByteArray EncodePicture(const Picture& picture, const std::string& fileName, FileFormat format);

// SavePicture for a file that must not exist yet: returns false and writes
// nothing when the name exists in any form (a file, a folder, a link, even one
// that points nowhere, a pipe), also one that appears while the picture is
// written. No scratch file is ever left behind. The bytes are EncodePicture's,
// encoded whole before the file is begun.
bool SaveNewPicture(const Picture& picture, const std::string& fileName, FileFormat format = FileFormat::Bmp);

} // namespace platform
