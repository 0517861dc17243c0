// render: the map as the editor draws it, into a PNG image (MapImage, which the editor's PNG
// export shares).

#include "cli/Commands.h"
#include "cli/ToolSupport.h"
#include "formats/PackLocation.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/MemoryStream.h"
#include "render/MapImage.h"

#include <limits>

namespace Tool {
namespace {
using MapImage::Fits;
using MapImage::MaxPixels;
using MapImage::MaxScale;
using MapImage::MaxSide;
constexpr qint32 MaxTileSize = 4096;

// A rectangle of cells.
struct Region {
    qint64 X = 0, Y = 0, W = 0, H = 0;
};

Region ParseRegion(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    qint32 values[4] = {};
    bool ok = parts.size() == 4;
    for (int i = 0; ok && i < 4; ++i)
        values[i] = parts[i].trimmed().toInt(&ok);
    if (!ok || values[0] < 0 || values[1] < 0 || values[2] < 1 || values[3] < 1)
        throw EUsage(QStringLiteral("--region must be X,Y,W,H in cells, with X and Y 0 or more "
                                    "and W and H 1 or more, not \"%1\"")
                         .arg(Printable(text)));
    return {values[0], values[1], values[2], values[3]};
}
} // namespace

int Render(const QStringList& args) {
    CommandLine line(
        QStringLiteral("render MAP -o OUT.png [--tiles DIR]... [--scale N | --size N] "
                       "[--region X,Y,W,H] [--grid] [--tile-size N]"),
        QStringLiteral("Draws the map with its tile pack as the editor does, into a PNG image: "
                       "what the editor's view shows when it is as large as the region and "
                       "scrolled to its top-left cell. Images larger than %1 x %1 pixels, or "
                       "than %2 pixels in all, are refused; --scale or --region make them "
                       "smaller.")
            .arg(MaxSide)
            .arg(MaxPixels));
    line.AddOption(QCommandLineOption({QStringLiteral("o"), QStringLiteral("output")},
                                      QStringLiteral("The PNG file to write."),
                                      QStringLiteral("OUT.png")));
    line.AddOption(TilesOption());
    line.AddOption(QCommandLineOption(
        QStringLiteral("scale"),
        QStringLiteral("Draws at 1/N of the size, each pixel the average of N x N (1 to %1).")
            .arg(MaxScale),
        QStringLiteral("N")));
    line.AddOption(QCommandLineOption(
        QStringLiteral("region"), QStringLiteral("Only the W x H cells from column X, row Y on."),
        QStringLiteral("X,Y,W,H")));
    line.AddOption(QCommandLineOption(QStringLiteral("grid"),
                                      QStringLiteral("Draws the grid as the editor shows it.")));
    line.AddOption(QCommandLineOption(
        QStringLiteral("tile-size"),
        QStringLiteral("The cell size in pixels (48, the editor's at start-up; 1 to %1).")
            .arg(MaxTileSize),
        QStringLiteral("N")));
    line.AddOption(QCommandLineOption(
        QStringLiteral("size"),
        QStringLiteral("Scales the image down to fit N x N pixels, keeping its proportions (1 to "
                       "%1): a preview, as file managers show it.")
            .arg(MaxSide),
        QStringLiteral("N")));
    if (!line.Parse(args, 1, 1))
        return Success;
    const QString output = line.Value(QStringLiteral("output"));
    if (output.isEmpty())
        throw EUsage(QStringLiteral("render needs the image to write: -o OUT.png"));
    const qint32 fitSide = line.Number(QStringLiteral("size"), 0, 1, qint32(MaxSide));
    if (fitSide > 0 && line.IsSet(QStringLiteral("scale")))
        throw EUsage(QStringLiteral("--size chooses the scale itself: give --size or --scale, "
                                    "not both"));
    qint32 scale = line.Number(QStringLiteral("scale"), 1, 1, MaxScale);
    const qint32 tileSize = line.Number(QStringLiteral("tile-size"), 48, 1, MaxTileSize);
    const QString mapPath = line.Args[0];

    TileMap map(tileSize);
    TilePack pack;
    const QString packPath = LoadMapAndPack(map, pack, mapPath, PackPlaces(line));
    CheckOutput(output, {mapPath, packPath});
    const Region whole{0, 0, map.Cells.size(), map.Cells.Rows()};
    const Region region = line.IsSet(QStringLiteral("region"))
                              ? ParseRegion(line.Value(QStringLiteral("region")))
                              : whole;
    if (region.W < 1 || region.H < 1 || region.X + region.W > whole.W ||
        region.Y + region.H > whole.H)
        throw EUsage(QStringLiteral("The map \"%1\" has %2 x %3 cells, which hold no region %4,%5 "
                                    "of %6 x %7 cells.")
                         .arg(Native(mapPath))
                         .arg(whole.W)
                         .arg(whole.H)
                         .arg(region.X)
                         .arg(region.Y)
                         .arg(region.W)
                         .arg(region.H));
    const qint64 fullWidth = region.W * tileSize;
    const qint64 fullHeight = region.H * tileSize;
    // The averaging scale that comes closest to the size from above; a smooth reduction of
    // that image does the rest, so a preview costs little more than an image of its size.
    if (fitSide > 0)
        scale = qint32(std::clamp<qint64>(std::max(fullWidth, fullHeight) / fitSide, 1, MaxScale));
    const qint64 width = (fullWidth + scale - 1) / scale;
    const qint64 height = (fullHeight + scale - 1) / scale;
    if (!Fits(fullWidth, fullHeight, scale)) {
        const bool side = width > MaxSide || height > MaxSide;
        const QString limit =
            side ? QStringLiteral("wider or taller than the %1 x %1 pixels render makes at most")
                       .arg(MaxSide)
                 : QStringLiteral("%1 pixels in all, more than the %2 render makes at most")
                       .arg(width * height)
                       .arg(MaxPixels);
        qint32 fitting = scale + 1;
        while (fitting <= MaxScale && !Fits(fullWidth, fullHeight, fitting))
            ++fitting;
        const QString remedy =
            fitting <= MaxScale
                ? QStringLiteral("--scale %1 is the smallest scale that fits, or --region makes "
                                 "it smaller")
                      .arg(fitting)
                : QStringLiteral("no --scale up to %1 fits; --region makes it smaller")
                      .arg(MaxScale);
        throw Exception(QStringLiteral("The image of \"%1\" would be %2 x %3 pixels, %4. Nothing "
                                       "was written; %5.")
                            .arg(Native(mapPath))
                            .arg(width)
                            .arg(height)
                            .arg(limit, remedy));
    }

    // The view's offsets, like the editor's, are 32-bit.
    if ((region.X + region.W) * tileSize > std::numeric_limits<qint32>::max() ||
        (region.Y + region.H) * tileSize > std::numeric_limits<qint32>::max())
        throw EUsage(QStringLiteral("The region of \"%1\" ends beyond the 2^31 pixels a view can "
                                    "scroll to; choose a smaller --tile-size or --region.")
                         .arg(Native(mapPath)));

    QImage image =
        MapImage::Draw(map, pack, QRect(int(region.X), int(region.Y), int(region.W), int(region.H)),
                       scale, line.IsSet(QStringLiteral("grid")));
    if (fitSide > 0 && (image.width() > fitSide || image.height() > fitSide))
        image = image.scaled(fitSide, fitSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QByteArray png = MapImage::PngBytes(image, output);
    MemoryStream(png).SaveToFile(output);
    Print(QStringLiteral("wrote %1: %2 x %3 pixels")
              .arg(Native(output))
              .arg(image.width())
              .arg(image.height()));
    return Success;
}
} // namespace Tool
