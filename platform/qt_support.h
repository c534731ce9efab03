#pragma once
// Small conversions between the runtime's vocabulary and Qt's, for platform/ only.

#include "platform/control.h"

#include <QColor>
#include <QString>
#include <cmath>
#include <string>

namespace platform {

inline QString qstr(const std::string& s) { return QString::fromStdString(s); }
inline std::string str(const QString& s) { return s.toStdString(); }

// A file or folder name as error messages show it: 'name'.
inline std::string quoted(const std::string& name) { return "'" + name + "'"; }

// &H00BBGGRR& to a Qt colour.
inline QColor qcolor(OLE_COLOR c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// No widget edge lies further out than this many pixels (Qt's largest widget
// size), so differences of edges still fit an int.
constexpr double kFarthestPixel = 16777215;

// Twips to a picture's pixels, for the rectangles PaintPicture copies: the
// nearest whole pixel, in double precision, since a rectangle may lie far
// outside any picture.
inline double toPicturePixels(double twips, double twipsPerPixel) { return std::nearbyint(twips / twipsPerPixel); }

// Twips to where a widget's edge goes on screen: the nearest whole pixel, as
// for pictures, but absurd geometry (a hand-edited setting of 1E+30 twips)
// stays within the reach of a widget instead of overflowing an int.
inline int toWidgetPixels(double twips, double twipsPerPixel)
{
    const double pixels = toPicturePixels(twips, twipsPerPixel);
    return static_cast<int>(std::fmax(-kFarthestPixel, std::fmin(kFarthestPixel, pixels)));
}

} // namespace platform
