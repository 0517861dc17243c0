#include "render/MapRenderer.h"

#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "render/CellPyramid.h"
#include "render/TileLooks.h"

#include <algorithm>
#include <limits>
#include <vector>

MapRenderer::MapRenderer(const TileMap& map, const TilePack& pack, Canvas* canvas)
    : Surface(canvas), TheMap(map), ThePack(pack), Samples(std::make_shared<CellPyramid>(map)) {
    if (Surface)
        Surface->PenMode = Canvas::RasterOp::NotXor;
}

MapRenderer::~MapRenderer() = default;

void MapRenderer::SetViewSize(qint32 width, qint32 height) {
    ViewWidth = width;
    ViewHeight = height;
}

ViewMapping MapRenderer::Mapping() const {
    return {QPoint(OffsetX, OffsetY), Zoom, TheMap.TileSize};
}

std::optional<QPoint> MapRenderer::CellAt(qint32 pixelX, qint32 pixelY) const {
    // Division truncates toward zero, so the pixels just left of and above the view still fall
    // in column and row 0.
    const ViewMapping mapping = Mapping();
    const qint64 column = mapping.MapX(pixelX) / TheMap.TileSize;
    const qint64 row = mapping.MapY(pixelY) / TheMap.TileSize;
    // Checked against the cells that exist, which after Clear alone are none while Width and
    // Height still tell the old size.
    if (column >= 0 && row >= 0 && column < TheMap.Cells.size() && row < TheMap.Cells.Rows())
        return QPoint(qint32(column), qint32(row));
    return std::nullopt;
}

void MapRenderer::Draw(bool fillBackground) {
    if (TheMap.Cells.empty() || ThePack.Count() == 0 || !Surface)
        return;
    const QRect view(0, 0, ViewWidth, ViewHeight);
    if (fillBackground) {
        Surface->BrushColor = clBtnFace;
        Surface->FillRect(view);
    }
    DrawTiles(ThePack, std::nullopt);
    DrawGrid();
}

namespace {
// Division rounding toward negative infinity, for pixel positions left of or above the view.
qint64 FloorDiv(qint64 a, qint64 b) {
    return a / b - (a % b < 0 ? 1 : 0);
}
} // namespace

ViewMapping::TileLook MapRenderer::LookAt(const ViewMapping& mapping) const {
    const ViewMapping::TileLook look = mapping.Look();
    return look == ViewMapping::TileLook::Colours && !SmallCellsAsColours
               ? ViewMapping::TileLook::Reduced
               : look;
}

void MapRenderer::DrawTiles(const TilePack& pack, const std::optional<QRect>& area) {
    const ViewMapping mapping = Mapping();
    const ViewMapping::TileLook look = LookAt(mapping);
    if (look == ViewMapping::TileLook::Colours) {
        DrawColours(pack, area.value_or(QRect(0, 0, ViewWidth, ViewHeight)));
        return;
    }
    // The cells the view shows, from the one at its top-left corner: a tile of a cell left of
    // or above it is never drawn. One more column is drawn past the view's right edge and the
    // cell row starting at its bottom edge, as the editor always drew them. The bounds are the
    // grid's own, so no cell outside it is read whatever Width and Height say.
    const QSize shown = mapping.MapSize(QSize(ViewWidth, ViewHeight));
    qint64 firstColumn = std::max<qint64>(0, FloorDiv(OffsetX, TheMap.TileSize));
    qint64 firstRow = std::max<qint64>(0, FloorDiv(OffsetY, TheMap.TileSize));
    qint64 lastColumn =
        std::min<qint64>(TheMap.Cells.size() - 1,
                         FloorDiv(OffsetX, TheMap.TileSize) + shown.width() / TheMap.TileSize + 1);
    qint64 lastRow = std::min<qint64>(TheMap.Cells.Rows() - 1,
                                      FloorDiv(qint64(OffsetY) + shown.height(), TheMap.TileSize));
    if (area) {
        // Of those, the cells whose tiles reach into area, from their corner as far as the
        // largest tile.
        const QSize reach = Reach();
        const qint64 spanX = mapping.ViewSpan(reach.width()) + (Zoom < 0 ? 1 : 0);
        const qint64 spanY = mapping.ViewSpan(reach.height()) + (Zoom < 0 ? 1 : 0);
        firstColumn = std::max(firstColumn,
                               FloorDiv(mapping.MapX(area->left() - spanX + 1), TheMap.TileSize));
        firstRow =
            std::max(firstRow, FloorDiv(mapping.MapY(area->top() - spanY + 1), TheMap.TileSize));
        lastColumn = std::min(
            lastColumn, FloorDiv(mapping.MapEnd(area->right(), OffsetX) - 1, TheMap.TileSize));
        lastRow = std::min(lastRow,
                           FloorDiv(mapping.MapEnd(area->bottom(), OffsetY) - 1, TheMap.TileSize));
    }
    if (look != ViewMapping::TileLook::Natural && !Looks)
        Looks = std::make_unique<TileLooks>();
    // What each tile draws, looked up once a draw: cells are many, tiles few.
    std::vector<std::optional<Canvas::Pixels>> pixels(
        look == ViewMapping::TileLook::Magnified ? 0 : std::size_t(pack.Count()));
    // Rows outside, columns inside: tiles larger than a cell are painted over by the cells to
    // their right and below, as the map is read.
    // Where each column's cells start in the view, found once for all rows.
    std::vector<int> xs(std::size_t(std::max<qint64>(0, lastColumn - firstColumn + 1)));
    for (std::size_t i = 0; i < xs.size(); ++i)
        xs[i] = int(mapping.ViewX((firstColumn + qint64(i)) * TheMap.TileSize));
    const quint32 count = quint32(pack.Count());
    // The cells of a band of rows at a time, read down the grid's columns as it keeps them:
    // reading each row across the columns costs a cache miss a cell once many are in view.
    constexpr qint64 BandRows = 16;
    std::vector<TileIndex> band(std::size_t(BandRows) * xs.size());
    for (qint64 row = firstRow; row <= lastRow; ++row) {
        const qint64 inBand = (row - firstRow) % BandRows;
        if (inBand == 0) {
            const qint64 rows = std::min(BandRows, lastRow - row + 1);
            for (std::size_t i = 0; i < xs.size(); ++i) {
                const TileIndex* cells = TheMap.Cells[qint32(firstColumn + qint64(i))].data() + row;
                for (qint64 k = 0; k < rows; ++k)
                    band[std::size_t(k) * xs.size() + i] = cells[k];
            }
        }
        const TileIndex* cells = band.data() + std::size_t(inBand) * xs.size();
        const int y = int(mapping.ViewY(row * TheMap.TileSize));
        for (qint64 column = firstColumn; column <= lastColumn; ++column) {
            const TileIndex v = cells[column - firstColumn];
            if (quint32(v) >= count)
                continue;
            const int x = xs[std::size_t(column - firstColumn)];
            if (look == ViewMapping::TileLook::Magnified) {
                Surface->DrawMagnified(x, y, pack.Tiles[std::size_t(v)]->Image->Picture(), Zoom);
                continue;
            }
            std::optional<Canvas::Pixels>& tile = pixels[std::size_t(v)];
            if (!tile)
                tile = Canvas::Pixels::Of(look == ViewMapping::TileLook::Natural
                                              ? pack.Tiles[std::size_t(v)]->Image->Picture()
                                              : Looks->Reduced(pack, v, -Zoom));
            Surface->Draw(x, y, *tile);
        }
    }
}

void MapRenderer::DrawColours(const TilePack& pack, const QRect& area) {
    if (!Looks)
        Looks = std::make_unique<TileLooks>();
    const ViewMapping mapping = Mapping();
    // Only the view pixels whose first map pixel is on the map are written; the rest stays
    // as the caller left it.
    const QRect map(
        QPoint(int(std::max<qint64>(area.left(), mapping.ViewX(0))),
               int(std::max<qint64>(area.top(), mapping.ViewY(0)))),
        QPoint(
            int(std::min<qint64>(area.right(),
                                 mapping.ViewX(qint64(TheMap.Cells.size()) * TheMap.TileSize - 1))),
            int(std::min<qint64>(
                area.bottom(), mapping.ViewY(qint64(TheMap.Cells.Rows()) * TheMap.TileSize - 1)))));
    if (map.isEmpty())
        return;
    // What each cell value shows: its tile's colour, or the background for a tile without
    // pixels and, in the last entry, for every value the pack has no tile for.
    const quint32 count = quint32(pack.Count());
    std::vector<QRgb> shades(count + 1, clBtnFace.rgb());
    for (quint32 i = 0; i < count; ++i)
        if (const QRgb colour = Looks->Colour(pack, qint32(i)))
            shades[i] = colour;
    // Cells smaller than a view pixel: reading as below, down the grid's columns, would read
    // a cell of almost every column in view for each view row.
    if (mapping.Unit() > TheMap.TileSize) {
        DrawSampledColours(map, shades);
        return;
    }
    // The cell column under each view pixel of a row; the cell rows the view's rows show, and
    // which of them each view row shows.
    std::vector<qint64> columnOf(std::size_t(map.width()));
    for (int i = 0; i < map.width(); ++i)
        columnOf[std::size_t(i)] = mapping.MapX(map.left() + i) / TheMap.TileSize;
    std::vector<qint64> rows;
    std::vector<std::size_t> rowOf(std::size_t(map.height()));
    for (int i = 0; i < map.height(); ++i) {
        const qint64 row = mapping.MapY(map.top() + i) / TheMap.TileSize;
        if (rows.empty() || rows.back() != row)
            rows.push_back(row);
        rowOf[std::size_t(i)] = rows.size() - 1;
    }
    auto colourOf = [&](TileIndex v) { return shades[std::min(quint32(v), count)]; };
    // A strip of view columns at a time: the cells of each column are read down the column,
    // as the grid keeps them, into a block of the strip's rows, which are then copied into the
    // view. Reading across the columns instead costs a cache miss for almost every cell once
    // cells are smaller than view pixels.
    constexpr int Strip = 64;
    std::vector<QRgb> block(rows.size() * Strip);
    for (int left = 0; left < map.width(); left += Strip) {
        const int width = std::min(Strip, map.width() - left);
        for (int i = left; i < left + width;) {
            // The view columns showing one cell column.
            int end = i + 1;
            while (end < left + width && columnOf[std::size_t(end)] == columnOf[std::size_t(i)])
                ++end;
            const TileIndex* cells = TheMap.Cells[qint32(columnOf[std::size_t(i)])].data();
            QRgb* to = block.data() + (i - left);
            for (std::size_t k = 0; k < rows.size(); ++k, to += Strip)
                std::fill(to, to + (end - i), colourOf(cells[rows[k]]));
            i = end;
        }
        const int stripLeft = map.left() + left;
        Surface->WriteRows(QRect(stripLeft, map.top(), width, map.height()),
                           [&](int y, int x, std::span<QRgb> pixels) {
                               std::copy_n(block.data() +
                                               rowOf[std::size_t(y - map.top())] * Strip +
                                               (x - stripLeft),
                                           pixels.size(), pixels.data());
                           });
    }
}

void MapRenderer::DrawSampledColours(const QRect& map, const std::vector<QRgb>& shades) {
    // The rows come from the samples kept of the map, taken every 2^k cells, 2^k as close as
    // the cells of neighbouring view pixels or closer (every other cell at least). Each view
    // pixel shows the sample nearest the cell under it.
    const ViewMapping mapping = Mapping();
    qint32 level = 1;
    while ((qint64(TheMap.TileSize) << (level + 1)) <= mapping.Unit())
        ++level;
    const CellPyramid::Level samples = Samples->At(level);
    const qint64 half = qint64(1) << (level - 1);
    auto sampleOf = [&](qint64 mapPixel, qint32 count) {
        return std::min<qint64>((mapPixel / TheMap.TileSize + half) >> level, count - 1);
    };
    std::vector<qint32> columnOf(std::size_t(map.width()));
    for (int i = 0; i < map.width(); ++i)
        columnOf[std::size_t(i)] = qint32(sampleOf(mapping.MapX(map.left() + i), samples.Width));
    const quint32 last = quint32(shades.size() - 1);
    // A view row showing the same samples as the one above it is a copy of that one.
    std::span<QRgb> previous;
    qint64 previousRow = -1;
    Surface->WriteRows(map, [&](int y, int x, std::span<QRgb> pixels) {
        const qint64 row = sampleOf(mapping.MapY(y), samples.Height);
        if (row == previousRow) {
            std::copy(previous.begin(), previous.end(), pixels.begin());
            return;
        }
        const TileIndex* cells = samples.Cells + row * samples.Width;
        const qint32* columns = columnOf.data() + (x - map.left());
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = shades[std::min(quint32(cells[columns[i]]), last)];
        previous = pixels;
        previousRow = row;
    });
}

void MapRenderer::CellsChanged(const QRect& cells) {
    Samples->CellsChanged(cells);
}

void MapRenderer::MapReplaced() {
    Samples->Drop();
}

void MapRenderer::ShareSamples(const MapRenderer& other) {
    Samples = other.Samples;
}

qint64 MapRenderer::SampleBytes() const {
    return Samples->Bytes();
}

void MapRenderer::DrawGrid() {
    const ViewMapping mapping = Mapping();
    if (!ShowGrid || !Surface || !mapping.ShowsGrid())
        return;
    // A line at the top (left) edge of each cell from the view's first on, as far as the view
    // reaches; a partly scrolled view holds one more line at each far edge.
    for (qint64 row = FloorDiv(OffsetY, TheMap.TileSize);; ++row) {
        const qint64 y = mapping.ViewY(row * TheMap.TileSize);
        if (y > ViewHeight)
            break;
        Surface->MoveTo(0, int(y));
        Surface->LineTo(ViewWidth, int(y));
    }
    for (qint64 column = FloorDiv(OffsetX, TheMap.TileSize);; ++column) {
        const qint64 x = mapping.ViewX(column * TheMap.TileSize);
        if (x > ViewWidth)
            break;
        Surface->MoveTo(int(x), 0);
        Surface->LineTo(int(x), ViewHeight);
    }
}

namespace {
// Whether the view may move step pixels further right (down) over a map of `cells` columns
// (rows), view being what the view shows of it in map pixels: while the view's whole cells
// end before the map does, as the editor has always scrolled, and also while the map's last
// pixel column (row) is not yet inside the view. The first rule alone can stop up to 3 pixels
// short of it: a whole cell when cells are 1 to 3 pixels.
bool MayStepOn(qint32 offset, qint32 step, qint64 view, qint32 cells, qint32 tileSize) {
    const qint64 next = qint64(offset) + step;
    return next <= std::numeric_limits<qint32>::max() &&
           (next / tileSize + view / tileSize < cells ||
            qint64(offset) + view < qint64(cells) * tileSize);
}
} // namespace

void MapRenderer::Scroll(qint32 direction) {
    DrawGrid();
    Step(direction);
    Draw(false);
}

void MapRenderer::Step(qint32 direction) {
    const ViewMapping mapping = Mapping();
    // 4 view pixels: 4 map pixels unzoomed as always; a map pixel at least when zoomed in.
    const qint32 step = qint32(std::max<qint64>(1, 4 * mapping.Unit() / mapping.Scale()));
    const QSize view = mapping.MapSize(QSize(ViewWidth, ViewHeight));
    switch (direction) {
    case 1:
        if (MayStepOn(OffsetX, step, view.width(), TheMap.Cells.size(), TheMap.TileSize))
            OffsetX += step;
        break;
    case 2:
        if (OffsetX - step >= 0)
            OffsetX -= step;
        break;
    case 3:
        if (OffsetY - step >= 0)
            OffsetY -= step;
        break;
    case 4:
        if (MayStepOn(OffsetY, step, view.height(), TheMap.Cells.Rows(), TheMap.TileSize))
            OffsetY += step;
        break;
    default:
        break;
    }
}

QPoint MapRenderer::MaxOffset() const {
    const ViewMapping mapping = Mapping();
    const qint64 unit = mapping.Unit();
    auto limit = [&](qint32 cells, qint32 viewPixels) {
        // Zoomed in, only the map pixels the view shows whole count, so the last one can be
        // seen whole; zoomed out, every view pixel shows a whole unit of them.
        const qint64 shown = qint64(viewPixels) * unit / mapping.Scale();
        const qint64 beyond = std::max<qint64>(0, qint64(cells) * TheMap.TileSize - shown);
        // Zoomed out, a whole view pixel more, so the last map pixel is in view.
        return qint32(std::min<qint64>((beyond + unit - 1) / unit * unit,
                                       std::numeric_limits<qint32>::max() / unit * unit));
    };
    return QPoint(limit(TheMap.Cells.size(), ViewWidth), limit(TheMap.Cells.Rows(), ViewHeight));
}

void MapRenderer::ScrollTo(qint64 x, qint64 y) {
    const QPoint limit = MaxOffset();
    const qint64 unit = Mapping().Unit();
    auto to = [unit](qint32 old, qint64 target, qint32 max) {
        qint64 o = target;
        if (o > old)
            o = std::min<qint64>(o, std::max(old, max));
        o = std::max<qint64>(o, 0);
        // Whole view pixels, moving no further than asked; the bounds themselves are reached
        // from anywhere.
        return qint32(o == 0 || o == max ? o : old + (o - old) / unit * unit);
    };
    OffsetX = to(OffsetX, x, limit.x());
    OffsetY = to(OffsetY, y, limit.y());
}

void MapRenderer::ZoomAt(qint32 zoom, QPoint at) {
    const ViewMapping zoomed = Mapping().ZoomedAt(zoom, at);
    Zoom = zoomed.Zoom;
    const QPoint limit = MaxOffset();
    OffsetX = std::clamp(zoomed.Offset.x(), 0, limit.x());
    OffsetY = std::clamp(zoomed.Offset.y(), 0, limit.y());
}

qint32 MapRenderer::FitZoom() const {
    const qint64 width = qint64(TheMap.Cells.size()) * TheMap.TileSize,
                 height = qint64(TheMap.Cells.Rows()) * TheMap.TileSize;
    for (qint32 zoom = ViewMapping::MaxZoom; zoom > ViewMapping::MinZoom; --zoom) {
        const ViewMapping mapping{QPoint(0, 0), zoom, TheMap.TileSize};
        if (mapping.ViewSpan(width) <= ViewWidth && mapping.ViewSpan(height) <= ViewHeight)
            return zoom;
    }
    return ViewMapping::MinZoom;
}

void MapRenderer::Redraw(const QRect& area) {
    if (!Surface)
        return;
    DeferredFill clear(*Surface, area, clBtnFace);
    if (TheMap.Cells.empty() || ThePack.Count() == 0 || area.isEmpty())
        return;
    CanvasClip clip(*Surface, area);
    DrawTiles(ThePack, area);
    DrawGrid();
}

QSize MapRenderer::Reach() const {
    QSize largest(TheMap.TileSize, TheMap.TileSize);
    for (const TileRef& tile : ThePack.Tiles)
        largest = largest.expandedTo(QSize(tile->Image->Width(), tile->Image->Height()));
    return largest;
}

QSize MapRenderer::OverhangInView() const {
    const ViewMapping mapping = Mapping();
    if (LookAt(mapping) == ViewMapping::TileLook::Colours)
        return QSize(0, 0);
    // A reduced image is rounded up, and the cells it lies in down, to whole view pixels.
    const QSize reach = Reach();
    const qint64 rounding = Zoom < 0 ? 1 : 0;
    return QSize(int(mapping.ViewSpan(reach.width() - TheMap.TileSize) + rounding),
                 int(mapping.ViewSpan(reach.height() - TheMap.TileSize) + rounding));
}

QRect MapRenderer::CellArea(QPoint cell) const {
    return Mapping().CellArea(cell, Reach());
}

QRegion MapRenderer::Uncovered(QPoint moved) const {
    QRegion uncovered;
    if (moved.x() > 0)
        uncovered += QRect(ViewWidth - moved.x(), 0, moved.x(), ViewHeight);
    else if (moved.x() < 0)
        uncovered += QRect(0, 0, -moved.x(), ViewHeight);
    if (moved.y() > 0)
        uncovered += QRect(0, ViewHeight - moved.y(), ViewWidth, moved.y());
    else if (moved.y() < 0)
        uncovered += QRect(0, 0, ViewWidth, -moved.y());
    // The cells that enter or leave the view on the left (top) reach at most the overhang
    // plus the move into it.
    const QSize overhang = OverhangInView();
    if (moved.x() != 0 && overhang.width() > 0)
        uncovered += QRect(0, 0, overhang.width() + qAbs(moved.x()), ViewHeight);
    if (moved.y() != 0 && overhang.height() > 0)
        uncovered += QRect(0, 0, ViewWidth, overhang.height() + qAbs(moved.y()));
    return uncovered & QRect(0, 0, ViewWidth, ViewHeight);
}
