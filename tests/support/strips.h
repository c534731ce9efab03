#pragma once
// Test pictures and folders: strips whose every pixel tells where it came from.

#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <string>

// A strip in which each pixel's colour encodes its column and row, so any
// misplaced copy shows.
QImage makeStrip(int width, int height);

// Writes the strip as a BMP (or GIF when the name ends in .gif) and returns the path.
std::string writeStrip(const QTemporaryDir& dir, const QString& name, int width, int height);

// A folder to open in the window: strip.bmp (160x16), tall.gif (48x32),
// notes.txt, broken.bmp (cut short) and the folder sub. Returns the folder's
// canonical path.
QString writeFolderToOpen(const QTemporaryDir& dir);

// The pixels of a region as the strip holds them, for comparing with a preview.
QImage tileOf(const QImage& strip, int x, int width);
