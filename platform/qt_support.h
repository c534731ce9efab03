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

// &H00BBGGRR& to a Qt colour.
inline QColor qcolor(OLE_COLOR c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// Twips to the nearest whole pixel.
inline int toPixels(double twips, double twipsPerPixel)
{
    return static_cast<int>(std::nearbyint(twips / twipsPerPixel));
}

} // namespace platform
