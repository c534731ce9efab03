#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace platform {

ScreenObject Screen;

namespace {

// How much of the title bar must stay on a screen for the user to grab it, in pixels.
constexpr double kTitleBarGrip = 100;

struct Area {
    double left, top, right, bottom;
    double width() const { return right - left; }
    double height() const { return bottom - top; }
};

} // namespace

void ScreenObject::FitWindow(float& left, float& top, float& width, float& height) const
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return;
    std::vector<Area> areas;
    for (const QScreen* screen : screens) {
        const QRect free = screen->availableGeometry();
        areas.push_back({free.left() * double(mTwipsPerPixelX), free.top() * double(mTwipsPerPixelY),
                         (free.right() + 1) * double(mTwipsPerPixelX), (free.bottom() + 1) * double(mTwipsPerPixelY)});
    }
    const Area& largest = *std::max_element(areas.begin(), areas.end(), [](const Area& a, const Area& b) {
        return a.width() * a.height() < b.width() * b.height();
    });
    width = float(std::min<double>(width, largest.width()));
    height = float(std::min<double>(height, largest.height()));
    const double gripX = std::min<double>(width, kTitleBarGrip * mTwipsPerPixelX);
    const double gripY = kTitleBarGrip * mTwipsPerPixelY;
    const auto titleBarOn = [&](const Area& a) {
        return top >= a.top && top <= a.bottom - gripY && left + width >= a.left + gripX && left <= a.right - gripX;
    };
    if (std::any_of(areas.begin(), areas.end(), titleBarOn))
        return;
    // Elsewhere the whole window goes onto the primary screen, as near as it can be to where it was.
    const Area& first = areas.front();
    left = float(std::clamp<double>(left, first.left, std::max(first.left, first.right - width)));
    top = float(std::clamp<double>(top, first.top, std::max(first.top, first.bottom - height)));
}

} // namespace platform
