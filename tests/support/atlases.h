#pragma once
// Atlases read back the way the engines read them, for round trips: where
// each frame lies in the sheet and where it goes in its untrimmed tile.

#include "cli/atlas.h"

#include <QImage>
#include <QString>
#include <vector>

struct AtlasFrame {
    // The key or filename (JSON), AtlasTexture id (Godot), region name and
    // "#index" (libGDX).
    QString name;
    QRect region;
    // Where the region goes in the untrimmed tile, and that tile's size.
    QPoint offset;
    QSize size;
};

struct ReadAtlas {
    // The sheet as the atlas names it.
    QString image;
    // Aseprite's by their number, TexturePacker's hash by name, others as written.
    std::vector<AtlasFrame> frames;
    // Why the file could not be read; "" when it was.
    QString problem;
};

ReadAtlas readAtlas(cli::AtlasFormat format, const QByteArray& data);

// The untrimmed tile a frame makes of the sheet, on transparent pixels, ARGB32.
QImage drawnFrame(const QImage& sheet, const AtlasFrame& frame);
