#pragma once

// The map as the editor draws it, as one image: what korvane-tool render and the PNG export
// make. The image is what the editor's view shows when it is as large as the region and
// scrolled to the region's top-left cell.

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

class TileMap;
class TilePack;

namespace MapImage {
// The largest image made: each side, and pixels in all (256 MiB at four bytes each).
constexpr qint64 MaxSide = 16384;
constexpr qint64 MaxPixels = qint64(1) << 26;
constexpr qint32 MaxScale = 256;

// Whether the image of fullWidth × fullHeight map pixels, drawn at 1/scale, is within both
// limits.
bool Fits(qint64 fullWidth, qint64 fullHeight, qint64 scale);
// Why the image of the cells of region at 1/scale cannot be made (too large for the limits, or
// ending beyond the 2^31 pixels a view scrolls to), without a full stop, or an empty string.
QString SizeProblem(const TileMap& map, const QRect& region, qint32 scale);
// Draws the cells of region (within the map's cells) at 1/scale, with the grid if asked. At a
// power-of-two scale, as the editor's view zoomed out to it shows them but with every tile as
// its reduced image (each pixel the average of a scale × scale block of the tile): that is the
// average of the map pixels where the scale divides the tile size and every tile is as large
// as a cell; elsewhere a pixel shows the last tile drawn over it, and the grid is drawn as the
// view draws it, where cells are 4 pixels or more. At any other scale every image pixel is the
// average of the scale × scale map pixels it covers. Throws ESizeError with SizeProblem's
// reason.
QImage Draw(const TileMap& map, const TilePack& pack, const QRect& region, qint32 scale, bool grid);
// The image as a PNG file; throws an Exception naming fileName when it cannot be encoded.
QByteArray PngBytes(const QImage& image, const QString& fileName);
} // namespace MapImage
