#include "platform/canvas.h"

#include "platform/qt_support.h"
#include "platform/screen.h"

#include <QImage>
#include <QPainter>
#include <algorithm>

namespace platform {

namespace {

constexpr double kMetersPerInch = 0.0254;

// A twips rectangle in pixels. Position and size are converted each on its
// own, so equal sizes in twips stay equal in pixels and a copy between them is
// one to one wherever the rectangles lie.
QRectF pixelRect(double x, double y, double width, double height)
{
    const double tx = Screen.TwipsPerPixelX();
    const double ty = Screen.TwipsPerPixelY();
    return QRectF(toPicturePixels(x, tx), toPicturePixels(y, ty), toPicturePixels(width, tx),
                  toPicturePixels(height, ty));
}

// A surface of this size filled with the background, at the resolution of
// the screen it stands for, which a saved BMP records: Qt would take the
// display's, or 100 DPI with none.
QImage blankSurface(const QSize& size, OLE_COLOR background)
{
    QImage surface(size, QImage::Format_RGB32);
    surface.setDotsPerMeterX(qRound(kTwipsPerInch / Screen.TwipsPerPixelX() / kMetersPerInch));
    surface.setDotsPerMeterY(qRound(kTwipsPerInch / Screen.TwipsPerPixelY() / kMetersPerInch));
    surface.fill(qcolor(background));
    return surface;
}

// Drawn over what is there, so transparent pixels of a GIF leave the background.
void drawOver(QImage& surface, const QRectF& target, const QImage& source, const QRectF& from)
{
    QPainter painter(&surface);
    painter.drawImage(target, source, from);
}

} // namespace

Picture ComposeTile(const Picture& source, int x, int y, int width, int height, OLE_COLOR background)
{
    QImage surface = blankSurface(QSize(width, height), background);
    const QRectF tile(x, y, width, height);
    const QRectF inside = tile.intersected(QRectF(source.image().rect()));
    if (!surface.isNull() && !inside.isEmpty())
        drawOver(surface, inside.translated(-x, -y), source.image(), inside);
    return Picture(surface);
}

Canvas::Canvas(OLE_COLOR background) : mSurface(std::make_unique<QImage>()), mBackColor(background) {}

Canvas::~Canvas() = default;

void Canvas::setSize(float width, float height)
{
    const QSize size(std::max(0, toWidgetPixels(width, Screen.TwipsPerPixelX())),
                     std::max(0, toWidgetPixels(height, Screen.TwipsPerPixelY())));
    if (mSurface->size() == size)
        return;
    QImage resized = blankSurface(size, mBackColor);
    if (!resized.isNull() && !mSurface->isNull())
        QPainter(&resized).drawImage(0, 0, *mSurface);
    *mSurface = resized;
}

void Canvas::Cls() { mSurface->fill(qcolor(mBackColor)); }

void Canvas::PaintPicture(const Picture& source, float destX, float destY, float destWidth, float destHeight,
                          float srcX, float srcY, float srcWidth, float srcHeight)
{
    const QRectF src = pixelRect(srcX, srcY, srcWidth, srcHeight);
    const QRectF dest = pixelRect(destX, destY, destWidth, destHeight);
    // Only pixels inside the picture are read; the rest of the destination keeps
    // what it had (the background after Cls). An empty picture draws nothing.
    // A rectangle of no or negative size draws nothing (no mirroring).
    const QRectF inside = src.intersected(QRectF(source.image().rect()));
    if (src.isEmpty() || dest.isEmpty() || inside.isEmpty() || mSurface->isNull())
        return;
    const double scaleX = dest.width() / src.width();
    const double scaleY = dest.height() / src.height();
    const QRectF target(dest.x() + (inside.x() - src.x()) * scaleX, dest.y() + (inside.y() - src.y()) * scaleY,
                        inside.width() * scaleX, inside.height() * scaleY);
    drawOver(*mSurface, target, source.image(), inside);
}

Picture Canvas::Image() const { return Picture(*mSurface); }

} // namespace platform
