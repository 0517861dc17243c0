// The map drawn with the editor's own MapRenderer::Draw on a Canvas, in blocks of about
// 2048 × 2048 pixels, each block a view of its own that starts early enough to the left and
// above for every tile larger than a cell that reaches into it, so the blocks join without a
// seam. At a power-of-two scale the view is zoomed out to it and draws the tiles' reduced
// images, as the editor's view does; at any other scale each block is drawn at full size and
// then reduced, every image pixel the average of the map pixels it covers.

#include "render/MapImage.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "platform/Reduce.h"
#include "render/MapRenderer.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <algorithm>
#include <limits>
#include <new>

namespace {
// Pixels per block side: map pixels at full size, image pixels zoomed out.
constexpr qint64 BlockPixels = 2048;
} // namespace

bool MapImage::Fits(qint64 fullWidth, qint64 fullHeight, qint64 scale) {
    const qint64 width = (fullWidth + scale - 1) / scale;
    const qint64 height = (fullHeight + scale - 1) / scale;
    return width <= MaxSide && height <= MaxSide && width * height <= MaxPixels;
}

QString MapImage::SizeProblem(const TileMap& map, const QRect& region, qint32 scale) {
    const qint64 fullWidth = qint64(region.width()) * map.TileSize;
    const qint64 fullHeight = qint64(region.height()) * map.TileSize;
    const qint64 width = (fullWidth + scale - 1) / scale;
    const qint64 height = (fullHeight + scale - 1) / scale;
    if (!Fits(fullWidth, fullHeight, scale))
        return width > MaxSide || height > MaxSide
                   ? QStringLiteral("the image would be %1 x %2 pixels, wider or taller than the "
                                    "%3 x %3 pixels made at most")
                         .arg(width)
                         .arg(height)
                         .arg(MaxSide)
                   : QStringLiteral("the image would be %1 x %2 pixels, %3 pixels in all, more "
                                    "than the %4 made at most")
                         .arg(width)
                         .arg(height)
                         .arg(width * height)
                         .arg(MaxPixels);
    // The view's offsets, like the editor's, are 32-bit.
    if ((qint64(region.x()) + region.width()) * map.TileSize > std::numeric_limits<qint32>::max() ||
        (qint64(region.y()) + region.height()) * map.TileSize > std::numeric_limits<qint32>::max())
        return QStringLiteral("the region ends beyond the 2^31 pixels a view can scroll to");
    return QString();
}

namespace {
// How far tiles larger than a cell reach right and down into later blocks, in map pixels.
QSize Overhang(const TilePack& pack, qint32 tileSize) {
    QSize overhang(0, 0);
    for (const TileRef& tile : pack.Tiles)
        overhang = overhang.expandedTo(
            QSize(tile->Image->Width() - tileSize, tile->Image->Height() - tileSize));
    return overhang;
}

// The region's map pixels at full size, block by block, each block reduced into the image.
void DrawAtFullSize(MapRenderer& view, Canvas& canvas, const QRect& pixels, QSize overhang,
                    qint32 scale, QImage& image) {
    const qint64 left = pixels.x(), top = pixels.y();
    const qint64 block = std::max<qint64>(1, BlockPixels / scale) * scale;
    for (qint64 by = 0; by < pixels.height(); by += block) {
        for (qint64 bx = 0; bx < pixels.width(); bx += block) {
            const qint64 w = std::min(block, pixels.width() - bx);
            const qint64 h = std::min(block, pixels.height() - by);
            // The view starts where the first tile that reaches into the block is drawn, but
            // never before the region, which the editor's view would not show either.
            const qint64 viewX = std::max(left, left + bx - overhang.width());
            const qint64 viewY = std::max(top, top + by - overhang.height());
            const QSize area(int(left + bx + w - viewX), int(top + by + h - viewY));
            canvas.SetSize(area);
            view.SetViewSize(area.width(), area.height());
            view.OffsetX = qint32(viewX);
            view.OffsetY = qint32(viewY);
            canvas.FillRect(QRect(QPoint(0, 0), area));
            view.Draw(false);
            ReduceInto(canvas.Image(),
                       QRect(int(left + bx - viewX), int(top + by - viewY), int(w), int(h)),
                       int(scale), image, QPoint(int(bx / scale), int(by / scale)));
        }
    }
}

// The region as a view zoomed out to 1/scale draws it, block by block of image pixels, every
// tile as its reduced image (small cells too: the view's one colour a tile is no average).
void DrawZoomedOut(MapRenderer& view, Canvas& canvas, const QRect& pixels, QSize overhang,
                   qint32 scale, QImage& image) {
    view.Zoom = -qint32(qCountTrailingZeroBits(quint32(scale)));
    view.SmallCellsAsColours = false;
    // Overhangs in whole image pixels, so every block's view stays on the same pixel grid.
    const qint64 reachX = (overhang.width() + scale - 1) / scale;
    const qint64 reachY = (overhang.height() + scale - 1) / scale;
    for (qint64 by = 0; by < image.height(); by += BlockPixels) {
        for (qint64 bx = 0; bx < image.width(); bx += BlockPixels) {
            const qint64 w = std::min<qint64>(BlockPixels, image.width() - bx);
            const qint64 h = std::min<qint64>(BlockPixels, image.height() - by);
            const qint64 startX = std::max<qint64>(0, bx - reachX);
            const qint64 startY = std::max<qint64>(0, by - reachY);
            const QSize area(int(bx + w - startX), int(by + h - startY));
            canvas.SetSize(area);
            view.SetViewSize(area.width(), area.height());
            view.OffsetX = qint32(pixels.x() + startX * scale);
            view.OffsetY = qint32(pixels.y() + startY * scale);
            canvas.FillRect(QRect(QPoint(0, 0), area));
            view.Draw(false);
            const QImage& drawn = canvas.Image();
            for (qint64 y = 0; y < h; ++y)
                std::copy_n(
                    reinterpret_cast<const QRgb*>(drawn.constScanLine(int(by + y - startY))) +
                        (bx - startX),
                    w, reinterpret_cast<QRgb*>(image.scanLine(int(by + y))) + bx);
        }
    }
}
} // namespace

QImage MapImage::Draw(const TileMap& map, const TilePack& pack, const QRect& region, qint32 scale,
                      bool grid) {
    if (const QString problem = SizeProblem(map, region, scale); !problem.isEmpty())
        throw ESizeError(problem);
    const qint64 tileSize = map.TileSize;
    const QRect pixels(int(region.x() * tileSize), int(region.y() * tileSize),
                       int(region.width() * tileSize), int(region.height() * tileSize));
    QImage image(int((qint64(pixels.width()) + scale - 1) / scale),
                 int((qint64(pixels.height()) + scale - 1) / scale), QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    Canvas canvas;
    // Each block's view starts on a clean background, as a fresh window does, whatever Draw
    // leaves alone (it draws nothing for an empty pack).
    canvas.BrushColor = clBtnFace;
    MapRenderer view(map, pack, &canvas);
    view.ShowGrid = grid;
    const QSize overhang = Overhang(pack, map.TileSize);
    if (scale > 1 && (scale & (scale - 1)) == 0)
        DrawZoomedOut(view, canvas, pixels, overhang, scale, image);
    else
        DrawAtFullSize(view, canvas, pixels, overhang, scale, image);
    return image;
}

QByteArray MapImage::PngBytes(const QImage& image, const QString& fileName) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // zlib's fastest level, 1 (Qt maps a PNG quality q to level (100 - q) * 9 / 91): for a
    // large map image the default level 6 took more than twice as long, for a file only a
    // fifth smaller.
    writer.setQuality(80);
    if (!writer.write(image))
        throw Exception(QStringLiteral("The image for \"%1\" could not be encoded: %2")
                            .arg(QDir::toNativeSeparators(fileName), writer.errorString()));
    return png;
}
