#pragma once
// The window paints at most once a frame: a repaint asked for soon after the
// last one is held for the next frame. Tests that look at what was painted
// let that frame come first.

#include <functional>

// Lets pending events and held repaints run until done() holds; false when it
// still does not after a few seconds.
bool waitForPaints(const std::function<bool()>& done);
