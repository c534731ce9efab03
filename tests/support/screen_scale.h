#pragma once
// Other twips per pixel for a while; the screen's own come back afterwards.

#include "platform/screen.h"

class ScreenScale {
public:
    explicit ScreenScale(float twipsPerPixel)
        : mX(platform::Screen.TwipsPerPixelX()), mY(platform::Screen.TwipsPerPixelY())
    {
        platform::Screen.setTwipsPerPixel(twipsPerPixel, twipsPerPixel);
    }
    ~ScreenScale() { platform::Screen.setTwipsPerPixel(mX, mY); }
    ScreenScale(const ScreenScale&) = delete;
    ScreenScale& operator=(const ScreenScale&) = delete;

private:
    float mX;
    float mY;
};
