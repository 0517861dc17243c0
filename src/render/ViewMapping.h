#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QtGlobal>
#include <optional>

// Where the view shows the map: the map pixel at the view's top-left corner and the zoom. The
// one place that converts between view pixels and map pixels; drawing, painting, picking,
// scrolling and zooming all go through it.
//
// Zooms are powers of two, 2^Zoom, so a view pixel is a whole block of map pixels when zoomed
// out and a map pixel a whole block of view pixels when zoomed in: conversions are exact, and
// a reduced tile image lines up with the unzoomed drawing reduced the same way.
struct ViewMapping {
    static constexpr qint32 MinZoom = -8; // 1/256: a 4096-cell side of 48-pixel tiles in 768
    static constexpr qint32 MaxZoom = 3;  // 8×
    // Cells smaller than this on screen are drawn one colour per tile, without the grid.
    static constexpr qint64 SmallestCell = 4;

    QPoint Offset; // the map pixel at the view's top-left corner
    qint32 Zoom = 0;
    qint32 TileSize = 1;

    // How the map's tiles appear at this zoom.
    enum class TileLook {
        Natural,   // at their size, as the editor has always drawn them
        Magnified, // each pixel a square of view pixels
        Reduced,   // tile images reduced by block averages
        Colours,   // one colour per tile, the cells being under SmallestCell pixels
    };
    TileLook Look() const;
    // Whether the grid is drawn: wherever cells are drawn as tiles.
    bool ShowsGrid() const { return Look() != TileLook::Colours; }

    // Map pixels per view pixel when zoomed out, else 1: offsets that move by whole units keep
    // every view pixel over the same block of map pixels.
    qint64 Unit() const { return Zoom < 0 ? qint64(1) << -Zoom : 1; }
    // View pixels per map pixel when zoomed in, else 1.
    qint64 Scale() const { return Zoom > 0 ? qint64(1) << Zoom : 1; }

    // The first map pixel a view pixel shows, on one axis given by the view's offset there.
    qint64 ToMap(qint64 view, qint64 offset) const;
    // The view pixel that shows a map pixel.
    qint64 ToView(qint64 map, qint64 offset) const;
    // The map pixel after the last one that view pixel shows.
    qint64 MapEnd(qint64 view, qint64 offset) const { return ToMap(view, offset) + Unit(); }
    // How many view pixels n map pixels take, rounded up: the size of a reduced image.
    qint64 ViewSpan(qint64 n) const;

    qint64 MapX(qint64 viewX) const { return ToMap(viewX, Offset.x()); }
    qint64 MapY(qint64 viewY) const { return ToMap(viewY, Offset.y()); }
    qint64 ViewX(qint64 mapX) const { return ToView(mapX, Offset.x()); }
    qint64 ViewY(qint64 mapY) const { return ToView(mapY, Offset.y()); }

    // The cell under a view pixel, which may lie outside the map.
    QPoint CellAt(QPoint view) const;
    // The cell that holds a map pixel.
    QPoint CellOf(qint64 mapX, qint64 mapY) const;
    // The view pixels that reach map pixels from the cell's corner cover: the cell itself for
    // a reach of TileSize, a tile's image drawn there for a reach as large as the image.
    QRect CellArea(QPoint cell, QSize reach) const;
    // How many map pixels a view of the given size shows, whole view pixels counted.
    QSize MapSize(QSize view) const;

    // The same map pixel under the same view pixel, as nearly as the new zoom allows.
    ViewMapping ZoomedAt(qint32 zoom, QPoint view) const;
    // How far every view pixel's content moves, in view pixels, when the view changes to
    // after: only when it moves as a whole, at the same zoom and tile size and by whole view
    // pixels.
    std::optional<QPoint> ShiftTo(const ViewMapping& after) const;

    // The zoom as the status bar shows it: "1/256" … "1/2", "100%" … "800%".
    static QString ZoomText(qint32 zoom);
};
