#pragma once
// The Screen object: how many twips make one pixel on each axis.

namespace platform {

constexpr double kTwipsPerInch = 1440;

class ScreenObject {
public:
    float TwipsPerPixelX() const { return mTwipsPerPixelX; }
    float TwipsPerPixelY() const { return mTwipsPerPixelY; }
    // Set from the screen's logical DPI at start (1440 / DPI); tests set others.
    void setTwipsPerPixel(float x, float y)
    {
        mTwipsPerPixelX = x;
        mTwipsPerPixelY = y;
    }

    // Brings a window's outer geometry onto the screens there are now: no larger
    // than the largest screen's free area, and placed so that its title bar is on
    // a screen. A geometry that already fits is left as it is.
    void FitWindow(float& left, float& top, float& width, float& height) const;

private:
    float mTwipsPerPixelX = 15;
    float mTwipsPerPixelY = 15;
};

extern ScreenObject Screen;

} // namespace platform
