#pragma once
// The settings store as the tests see it: the file under the temporary
// XDG_CONFIG_HOME, and what the window shows of the stored values.

#include "window/f_main.h"

#include <QByteArray>
#include <QString>
#include <ostream>
#include <string>

QString storeFolder();
QString storeFile();

// Writes the store with a later time stamp each time, so the store never takes
// it for the file it read before, even when two texts have the same length.
bool writeStore(const QByteArray& content);

// What the window shows of the eight stored values.
struct Shown {
    int16_t state;
    float left, top, width, height;
    std::string drive, dir, output;

    bool operator==(const Shown& o) const
    {
        return state == o.state && left == o.left && top == o.top && width == o.width && height == o.height &&
               drive == o.drive && dir == o.dir && output == o.output;
    }
};

std::ostream& operator<<(std::ostream& os, const Shown& s);

Shown shownBy(const f_Main& f);
