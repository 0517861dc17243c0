// The map drawn with the editor's own MapRenderer::Draw on a Canvas, in blocks of about
// 2048 × 2048 map pixels, each block a view of its own that starts early enough to the left and
// above for every tile larger than a cell that reaches into it, so the blocks join without a
// seam; at 1/scale each block is then reduced, every image pixel the average of the map pixels
// it covers.

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
// Map pixels per block side, before scaling.
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

QImage MapImage::Draw(const TileMap& map, const TilePack& pack, const QRect& region, qint32 scale,
                      bool grid) {
    if (const QString problem = SizeProblem(map, region, scale); !problem.isEmpty())
        throw ESizeError(problem);
    const qint64 tileSize = map.TileSize;
    const qint64 fullWidth = region.width() * tileSize;
    const qint64 fullHeight = region.height() * tileSize;
    QImage image(int((fullWidth + scale - 1) / scale), int((fullHeight + scale - 1) / scale),
                 QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    Canvas canvas;
    MapRenderer view(map, pack, &canvas);
    view.ShowGrid = grid;
    // Tiles larger than a cell reach right and down into later blocks.
    qint64 reachX = 0, reachY = 0;
    for (const TileRef& tile : pack.Tiles) {
        reachX = std::max<qint64>(reachX, tile->Image->Width() - tileSize);
        reachY = std::max<qint64>(reachY, tile->Image->Height() - tileSize);
    }
    const qint64 left = region.x() * tileSize, top = region.y() * tileSize;
    const qint64 block = std::max<qint64>(1, BlockPixels / scale) * scale;
    for (qint64 by = 0; by < fullHeight; by += block) {
        for (qint64 bx = 0; bx < fullWidth; bx += block) {
            const qint64 w = std::min(block, fullWidth - bx), h = std::min(block, fullHeight - by);
            // The view starts where the first tile that reaches into the block is drawn, but
            // never before the region, which the editor's view would not show either.
            const qint64 viewX = std::max(left, left + bx - reachX);
            const qint64 viewY = std::max(top, top + by - reachY);
            const QSize area(int(left + bx + w - viewX), int(top + by + h - viewY));
            canvas.SetSize(area);
            // A view starts on a clean background, as a fresh window does, whatever Draw
            // leaves alone (it draws nothing for an empty pack).
            canvas.BrushColor = clBtnFace;
            canvas.FillRect(QRect(QPoint(0, 0), area));
            view.SetViewSize(area.width(), area.height());
            view.OffsetX = qint32(viewX);
            view.OffsetY = qint32(viewY);
            view.Draw(true);
            ReduceInto(canvas.Image(),
                       QRect(int(left + bx - viewX), int(top + by - viewY), int(w), int(h)),
                       int(scale), image, QPoint(int(bx / scale), int(by / scale)));
        }
    }
    return image;
}

QByteArray MapImage::PngBytes(const QImage& image, const QString& fileName) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        throw Exception(QStringLiteral("The image for \"%1\" could not be encoded: %2")
                            .arg(QDir::toNativeSeparators(fileName), writer.errorString()));
    return png;
}
