#pragma once

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "render/ViewMapping.h"

#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QRgb>
#include <QSize>
#include <memory>
#include <optional>
#include <vector>

class Canvas;
class CellPyramid;
class TileLooks;

// One view of a map: where it shows the map (offsets, zoom, its size, the grid switch) and the
// drawing of the map's cells with a pack's tiles into a canvas. Several views may show the same
// map; each keeps its own place and draws only when asked.
class MapRenderer {
public:
    // The map and the pack must outlive the renderer. Sets the canvas's pen to not-xor, which
    // the grid relies on. Without a canvas the renderer only maps and navigates.
    MapRenderer(const TileMap& map, const TilePack& pack, Canvas* canvas);
    ~MapRenderer();

    const TileMap& Map() const { return TheMap; }
    const TilePack& Pack() const { return ThePack; }

    Canvas* const Surface;
    qint32 ViewWidth = 0;
    qint32 ViewHeight = 0;
    qint32 OffsetX = 0;
    qint32 OffsetY = 0;
    // The view shows the map at 2^Zoom, ViewMapping::MinZoom to MaxZoom.
    qint32 Zoom = 0;
    bool ShowGrid = false;
    // Cells under ViewMapping::SmallestCell pixels drawn one colour each, as the editor shows
    // them; off, they are drawn as their reduced images, as large images are made.
    bool SmallCellsAsColours = true;

    void SetViewSize(qint32 width, qint32 height);
    // Offsets, zoom and tile size: how view pixels and map pixels correspond.
    ViewMapping Mapping() const;
    // The column and row of the cell under a view pixel, if the map has one there.
    std::optional<QPoint> CellAt(qint32 pixelX, qint32 pixelY) const;

    // Drawing and scrolling take the map's size from its cells.
    void Draw(bool fillBackground);
    void DrawGrid();
    // 1 right, 2 left, 3 up, 4 down, by 4 view pixels (a map pixel at least) within the map's
    // bounds; then redraws.
    void Scroll(qint32 direction);

    // Navigation that goes straight to a place, for the wheel, a drag, Ctrl+Home and zooming.
    //
    // The largest offsets that still show map: the last pixel column and row just in view,
    // or 0 when the map fits the view.
    QPoint MaxOffset() const;
    // Moves the view to the offsets x and y, kept within 0 and MaxOffset, and zoomed out on
    // whole view pixels. A view that the arrow keys took beyond MaxOffset is never pulled back
    // by a move that goes further out. Any offsets may be asked for.
    void ScrollTo(qint64 x, qint64 y);
    // Zooms to zoom (kept within the limits) keeping the map pixel under the view pixel at
    // where it is, as far as the map's bounds allow.
    void ZoomAt(qint32 zoom, QPoint at);
    // The largest zoom at which the whole map fits the view.
    qint32 FitZoom() const;

    // Drawing only what changed. A view redrawn in full is the view filled with clBtnFace and
    // drawn with Draw(false); these keep it exactly so, drawing only what a change affects.
    //
    // Fills area with clBtnFace and draws there what Draw(false) draws: the tiles that reach
    // into it, in Draw's order, and the grid. Outside area nothing changes.
    void Redraw(const QRect& area);
    // The view pixels that the tile of a cell may cover: from the cell's top-left corner as far
    // right and down as the pack's largest tile, and at least the cell.
    QRect CellArea(QPoint cell) const;
    // Moves the view as Scroll does, without drawing.
    void Step(qint32 direction);
    // After the view moved by moved view pixels and the canvas's pixels with it (by -moved),
    // what must be redrawn: the strip the move uncovered, and where tiles larger than a cell
    // may reach in from the cells that came into view or went out of it on the left or top.
    QRegion Uncovered(QPoint moved) const;

    // Keeping what zoomed-out drawing samples of the map current. Whoever changes the map's
    // cells says so here, for every view that draws it (or for one of views sharing samples).
    //
    // The cells within cells (columns across, rows down) changed.
    void CellsChanged(const QRect& cells);
    // Any cell may have changed, or the map was replaced: the samples go until next needed.
    void MapReplaced();
    // Draws from the samples other keeps, so several views of one map keep them once.
    void ShareSamples(const MapRenderer& other);
    // The bytes the samples take now: nothing until cells are drawn smaller than a view pixel.
    qint64 SampleBytes() const;

private:
    // Draws the tiles of the cells Draw visits, rows from top to bottom, each from left to
    // right, from the cell at the view's top-left corner on; given an area, only those that
    // reach into it.
    void DrawTiles(const TilePack& pack, const std::optional<QRect>& area);
    // Cells too small for their images: each view pixel of area over the map takes the colour
    // of the tile in the cell under it, or, for cells smaller than a view pixel, in the sample
    // of the map nearest that cell.
    void DrawColours(const TilePack& pack, const QRect& area);
    // The same for cells smaller than a view pixel, over map, the part of the view that shows
    // the map, with shades[v] the colour of cell value v (the last entry for every value from
    // there on, and -1).
    void DrawSampledColours(const QRect& map, const std::vector<QRgb>& shades);
    // The look tiles take at mapping's zoom.
    ViewMapping::TileLook LookAt(const ViewMapping& mapping) const;
    // How far the pack's largest tile reaches from a cell's corner, in map pixels: the cell
    // itself at least.
    QSize Reach() const;
    // How far the tiles drawn may reach past a cell's own view pixels, right and down.
    QSize OverhangInView() const;

    const TileMap& TheMap;
    const TilePack& ThePack;
    std::unique_ptr<TileLooks> Looks; // made at the first zoomed-out drawing
    std::shared_ptr<CellPyramid> Samples;
};
