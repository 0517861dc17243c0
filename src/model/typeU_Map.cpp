#include "model/typeU.h"
#include "platform/Exceptions.h"
#include "platform/LargeBuffer.h"
#include "platform/TBitmap.h"
#include "platform/TCanvas.h"

#include <algorithm>
#include <limits>

TCellGrid::TCellGrid(qint32 columns, qint32 rows)
    : Columns(columns), RowCount(rows),
      Data(std::make_unique_for_overwrite<TileIndex[]>(std::size_t(qint64(columns) * rows))) {
    AdviseLargePages(Data.get(), std::size_t(qint64(columns) * rows) * sizeof(TileIndex));
}

tMap::tMap(qint32 tileSize, TCanvas* canvas) : Canvas(canvas), TileSize(tileSize) {
    CheckSize(0, 0, tileSize);
    if (Canvas)
        Canvas->PenMode = TCanvas::TPenMode::NotXor;
}

tMap::~tMap() = default;

QString tMap::SizeProblem(qint32 width, qint32 height, qint32 tileSize) {
    if (tileSize < 1)
        return QStringLiteral("Tile size %1 is not allowed: the tile size must be at least 1")
            .arg(tileSize);
    if (width < 0)
        return QStringLiteral("Width %1 is not allowed: the width must be 0 or more").arg(width);
    if (height < 0)
        return QStringLiteral("Height %1 is not allowed: the height must be 0 or more").arg(height);
    if (qint64(width) * height > MaxCells)
        return QStringLiteral("A map of %1 × %2 cells is too large: at most %3 cells (2^28) are "
                              "allowed in all")
            .arg(width)
            .arg(height)
            .arg(MaxCells);
    return QString();
}

void tMap::CheckSize(qint32 width, qint32 height, qint32 tileSize) {
    if (const QString problem = SizeProblem(width, height, tileSize); !problem.isEmpty())
        throw ESizeError(problem + QLatin1Char('.'));
}

void tMap::New(qint32 width, qint32 height, qint32 tileSize) {
    // The new cells are made first: a size refused or memory that runs out leaves the map as
    // it was, not cleared.
    TCellGrid cells = ZeroCells(width, height, tileSize);
    Clear();
    Adopt(std::move(cells), tileSize);
}

void tMap::Clear() {
    Cells = TCellGrid();
    OffsetX = 0;
    OffsetY = 0;
    Text1.clear();
    Text2.clear();
    PackName.clear();
    Text4.clear();
}

TCellGrid tMap::ZeroCells(qint32 width, qint32 height, qint32 tileSize) {
    CheckSize(width, height, tileSize);
    TCellGrid cells(width, height);
    std::fill_n(cells.data(), qint64(width) * height, 0);
    return cells;
}

void tMap::Adopt(TCellGrid cells, qint32 tileSize) {
    Width = cells.size();
    Height = cells.Rows();
    Cells = std::move(cells);
    TileSize = tileSize;
}

void tMap::SetSize(qint32 width, qint32 height, qint32 tileSize) {
    Adopt(ZeroCells(width, height, tileSize), tileSize);
}

void tMap::TakeContent(tMap& from) {
    Text1 = std::move(from.Text1);
    Text2 = std::move(from.Text2);
    PackName = std::move(from.PackName);
    Text4 = std::move(from.Text4);
    Adopt(std::move(from.Cells), TileSize);
}

void tMap::SwapContent(tMap& other) noexcept {
    std::swap(Text1, other.Text1);
    std::swap(Text2, other.Text2);
    std::swap(PackName, other.PackName);
    std::swap(Text4, other.Text4);
    std::swap(Cells, other.Cells);
    std::swap(Width, other.Width);
    std::swap(Height, other.Height);
    std::swap(TileSize, other.TileSize);
    std::swap(OffsetX, other.OffsetX);
    std::swap(OffsetY, other.OffsetY);
}

void tMap::CopyContent(const tMap& from) {
    if (Cells.size() != from.Cells.size() || Cells.Rows() != from.Cells.Rows())
        Cells = TCellGrid(from.Cells.size(), from.Cells.Rows());
    std::copy_n(from.Cells.data(), from.Cells.Count(), Cells.data());
    Width = Cells.size();
    Height = Cells.Rows();
    Text1 = from.Text1;
    Text2 = from.Text2;
    PackName = from.PackName;
    Text4 = from.Text4;
}

void tMap::SetViewSize(qint32 width, qint32 height) {
    ViewWidth = width;
    ViewHeight = height;
}

std::optional<QPoint> tMap::CellAt(qint32 pixelX, qint32 pixelY) const {
    // Division truncates toward zero, so the pixels just left of and above the view still fall
    // in column and row 0. The 64-bit sums keep offsets near the int limit from wrapping.
    const qint64 column = (qint64(OffsetX) + pixelX) / TileSize;
    const qint64 row = (qint64(OffsetY) + pixelY) / TileSize;
    // Checked against the cells that exist, which after Clear alone are none while Width and
    // Height still tell the old size.
    if (column >= 0 && row >= 0 && column < Cells.size() && row < Cells.Rows())
        return QPoint(qint32(column), qint32(row));
    return std::nullopt;
}

void tMap::SetCell(qint32 pixelX, qint32 pixelY, TileIndex tileIndex) {
    if (const std::optional<QPoint> cell = CellAt(pixelX, pixelY))
        Cells[cell->x()][std::size_t(cell->y())] = tileIndex;
}

const tTilePack* tMap::Pack() const {
    return TilePackRef ? TilePackRef->get() : nullptr;
}

void tMap::Draw(bool fillBackground) {
    const tTilePack* pack = Pack();
    if (Cells.empty() || !pack || pack->Count() == 0 || !Canvas)
        return;
    if (fillBackground) {
        Canvas->BrushColor = clBtnFace;
        Canvas->FillRect(QRect(0, 0, ViewWidth, ViewHeight));
    }
    // A view scrolled by part of a cell shows one more row at its bottom edge, which must be
    // drawn too.
    DrawTiles(*pack, {0, ViewWidth / TileSize + 1},
              {0, (ViewHeight + OffsetY % TileSize) / TileSize});
    DrawGrid();
}

void tMap::DrawTiles(const tTilePack& pack, std::pair<qint32, qint32> columns,
                     std::pair<qint32, qint32> rows) {
    const qint32 firstColumn = OffsetX / TileSize;
    const qint32 shiftX = OffsetX % TileSize;
    const qint32 firstRow = OffsetY / TileSize;
    const qint32 shiftY = OffsetY % TileSize;
    // Rows outside, columns inside: tiles larger than a cell are painted over by the cells to
    // their right and below, as the map is read. The bounds are the grid's own, so no cell
    // outside it is read whatever Width and Height say.
    for (qint32 r = rows.first; r <= rows.second; ++r) {
        const qint32 row = firstRow + r;
        if (row > Cells.Rows() - 1)
            break;
        for (qint32 c = columns.first; c <= columns.second; ++c) {
            const qint32 column = firstColumn + c;
            if (column > Cells.size() - 1)
                break;
            const TileIndex v = Cells[column][std::size_t(row)];
            if (v < 0 || v > pack.Count() - 1)
                continue;
            Canvas->Draw(c * TileSize - shiftX, r * TileSize - shiftY, *pack.Tiles[v]->Bitmap);
        }
    }
}

void tMap::DrawGrid() {
    if (!ShowGrid || !Canvas)
        return;
    const qint32 shiftX = OffsetX % TileSize;
    const qint32 shiftY = OffsetY % TileSize;
    // As with the rows of tiles, a partly scrolled view holds one more line at each far edge.
    for (qint32 i = 0; i <= (ViewHeight + shiftY) / TileSize; ++i) {
        const qint32 y = i * TileSize - shiftY;
        Canvas->MoveTo(0, y);
        Canvas->LineTo(ViewWidth, y);
    }
    for (qint32 j = 0; j <= (ViewWidth + shiftX) / TileSize; ++j) {
        const qint32 x = j * TileSize - shiftX;
        Canvas->MoveTo(x, 0);
        Canvas->LineTo(x, ViewHeight);
    }
}

namespace {
// Whether the view may move 4 pixels further right (down) over a map of `cells` columns (rows):
// while the view's whole cells end before the map does, as the editor has always scrolled,
// and also while the map's last pixel column (row) is not yet inside the view. The first rule
// alone can stop up to 3 pixels short of it: a whole cell when cells are 1 to 3 pixels.
bool MayStepOn(qint32 offset, qint32 view, qint32 cells, qint32 tileSize) {
    const qint64 next = qint64(offset) + 4;
    return next <= std::numeric_limits<qint32>::max() &&
           (next / tileSize + view / tileSize < cells ||
            qint64(offset) + view < qint64(cells) * tileSize);
}
} // namespace

void tMap::Scroll(qint32 direction) {
    DrawGrid();
    Step(direction);
    Draw(false);
}

QPoint tMap::Step(qint32 direction) {
    const QPoint before(OffsetX, OffsetY);
    switch (direction) {
    case 1:
        if (MayStepOn(OffsetX, ViewWidth, Cells.size(), TileSize))
            OffsetX += 4;
        break;
    case 2:
        if (OffsetX - 4 >= 0)
            OffsetX -= 4;
        break;
    case 3:
        if (OffsetY - 4 >= 0)
            OffsetY -= 4;
        break;
    case 4:
        if (MayStepOn(OffsetY, ViewHeight, Cells.Rows(), TileSize))
            OffsetY += 4;
        break;
    default:
        break;
    }
    return QPoint(OffsetX, OffsetY) - before;
}

namespace {
// Division rounding toward negative infinity, for pixel positions left of or above the view.
qint64 FloorDiv(qint64 a, qint64 b) {
    return a / b - (a % b < 0 ? 1 : 0);
}
} // namespace

void tMap::Redraw(const QRect& area) {
    if (!Canvas)
        return;
    TDeferredFill clear(*Canvas, area, clBtnFace);
    const tTilePack* pack = Pack();
    if (Cells.empty() || !pack || pack->Count() == 0 || area.isEmpty())
        return;
    TCanvasClip clip(*Canvas, area);
    // The view cells whose tiles reach into area, among those Draw visits: a tile covers from
    // its cell's corner to the overhang past the cell.
    const QSize overhang = Overhang();
    const qint64 shiftX = OffsetX % TileSize, shiftY = OffsetY % TileSize;
    auto first = [this](qint64 from, qint64 shift, qint64 reach) {
        return qint32(std::max<qint64>(0, FloorDiv(from + shift - TileSize - reach, TileSize) + 1));
    };
    auto last = [this](qint64 to, qint64 shift, qint64 limit) {
        return qint32(std::min<qint64>(limit, FloorDiv(to + shift, TileSize)));
    };
    DrawTiles(*pack,
              {first(area.left(), shiftX, overhang.width()),
               last(area.right(), shiftX, ViewWidth / TileSize + 1)},
              {first(area.top(), shiftY, overhang.height()),
               last(area.bottom(), shiftY, (ViewHeight + shiftY) / TileSize)});
    DrawGrid();
}

QSize tMap::Overhang() const {
    QSize largest(0, 0);
    if (const tTilePack* pack = Pack())
        for (const TileRef& tile : pack->Tiles)
            largest = largest.expandedTo(QSize(tile->Bitmap->Width(), tile->Bitmap->Height()));
    return (largest - QSize(TileSize, TileSize)).expandedTo(QSize(0, 0));
}

QRect tMap::CellArea(QPoint cell) const {
    // Cells far from the view lie far outside it; kept within what a rectangle can hold.
    constexpr qint64 Far = qint64(1) << 30;
    const QSize overhang = Overhang();
    return QRect(int(qBound(-Far, qint64(cell.x()) * TileSize - OffsetX, Far)),
                 int(qBound(-Far, qint64(cell.y()) * TileSize - OffsetY, Far)),
                 TileSize + overhang.width(), TileSize + overhang.height());
}

QRegion tMap::Uncovered(QPoint moved) const {
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
    const QSize overhang = Overhang();
    if (moved.x() != 0 && overhang.width() > 0)
        uncovered += QRect(0, 0, overhang.width() + qAbs(moved.x()), ViewHeight);
    if (moved.y() != 0 && overhang.height() > 0)
        uncovered += QRect(0, 0, ViewWidth, overhang.height() + qAbs(moved.y()));
    return uncovered & QRect(0, 0, ViewWidth, ViewHeight);
}
