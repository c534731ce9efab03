#pragma once
// A picture object: one image, shared cheaply between controls, like the
// runtime's StdPicture. Empty until something is loaded into it.

#include <memory>
#include <string>

class QImage;

namespace platform {

class Picture {
public:
    Picture();
    explicit Picture(const QImage& image);

    bool isEmpty() const;
    int pixelWidth() const;
    int pixelHeight() const;
    const QImage& image() const;

private:
    std::shared_ptr<const QImage> mImage;
};

// Reads a BMP or GIF file (the first frame of an animated GIF). Errors: 53 when
// the file is gone, 75 when it cannot be read, 481 when it is no readable
// picture, 7 when it is too large to hold.
Picture LoadPicture(const std::string& fileName);

// Writes exactly the picture's pixels as a 24-bit BMP, whatever the name's
// extension, replacing an existing file only once the new one is complete.
void SavePicture(const Picture& picture, const std::string& fileName);

} // namespace platform
