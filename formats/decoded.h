#pragma once
// What a decoder of ours gives for a whole file: the picture, or why there is none.

#include <QImage>
#include <QtGlobal>

#include <string>

namespace formats {

struct DecodedPicture {
    enum Outcome { Picture, TooLarge, Invalid };
    Outcome outcome = Invalid;
    // Picture: every pixel set from the file; the pixel format is the decoder's to say.
    QImage image;
    // Invalid: what is wrong, worded to follow the file's name: "is cut short (its palette ends early)".
    std::string cause;
    // TooLarge: the size the header gives.
    qint64 width = 0;
    qint64 height = 0;

    static DecodedPicture tooLarge(qint64 width, qint64 height)
    {
        DecodedPicture result;
        result.outcome = TooLarge;
        result.width = width;
        result.height = height;
        return result;
    }
    static DecodedPicture invalid(const std::string& cause)
    {
        DecodedPicture result;
        result.cause = cause;
        return result;
    }
};

} // namespace formats
