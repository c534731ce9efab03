#pragma once
// Atlases read back the way the engines read them, for round trips: where
// each frame lies in the sheet and where it goes in its untrimmed tile.

#include "cli/atlas.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

struct AtlasFrame {
    // The frame's key or filename (JSON), AtlasTexture id (Godot), region name (libGDX).
    QString name;
    QRect region;
    // Where the region's top-left goes in the untrimmed tile, and its size.
    QPoint offset;
    QSize size;
};

struct ReadAtlas {
    // The sheet as the atlas names it.
    QString image;
    // In the order an engine numbers them: JSON keys of Aseprite by number,
    // of TexturePacker by name; the others in the file's order.
    std::vector<AtlasFrame> frames;
    // Why the file could not be read; "" when it was.
    QString problem;
};

ReadAtlas readAtlas(cli::AtlasFormat format, const QByteArray& data);

// The untrimmed tile the frame makes of the sheet: its region drawn at its
// offset on transparent pixels, as ARGB32.
QImage drawnFrame(const QImage& sheet, const AtlasFrame& frame);
