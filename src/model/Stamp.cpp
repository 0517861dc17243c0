#include "model/Stamp.h"

#include "model/CellSelection.h"
#include "platform/Exceptions.h"

#include <algorithm>

namespace {
CellGrid CopyOf(const CellGrid& cells) {
    CellGrid copy(cells.size(), cells.Rows());
    std::copy_n(cells.data(), cells.Count(), copy.data());
    return copy;
}
} // namespace

Stamp::Stamp(qint32 width, qint32 height, const std::vector<TileIndex>& cells) {
    if (width < 0 || height < 0 || qint64(cells.size()) != qint64(width) * height)
        throw ESizeError(QStringLiteral("A stamp of %1 × %2 cells cannot hold %3 cells")
                             .arg(width)
                             .arg(height)
                             .arg(cells.size()));
    if (cells.empty())
        return;
    Cells = CellGrid(width, height);
    std::ranges::copy(cells, Cells.data());
}

Stamp::Stamp(CellGrid cells) : Cells(cells.Count() ? std::move(cells) : CellGrid()) {}

Stamp::Stamp(const Stamp& other) : Cells(CopyOf(other.Cells)) {}

Stamp& Stamp::operator=(const Stamp& other) {
    if (this != &other)
        Cells = CopyOf(other.Cells);
    return *this;
}

bool Stamp::operator==(const Stamp& other) const {
    return Width() == other.Width() && Height() == other.Height() &&
           std::equal(Values(), Values() + Count(), other.Values());
}

Stamp Stamp::Copy(const CellGrid& grid, const QRect& cells) {
    const QRect box = cells.normalized() & QRect(0, 0, grid.size(), grid.Rows());
    if (box.isEmpty())
        return {};
    CellGrid copy(box.width(), box.height());
    for (qint32 x = box.left(); x <= box.right(); ++x)
        std::copy_n(grid[x].data() + box.top(), box.height(), copy[x - box.left()].data());
    return Stamp(std::move(copy));
}

Stamp Stamp::Copy(const CellGrid& grid, const CellSelection& selection) {
    Stamp stamp = Copy(grid, selection.Box());
    if (stamp.Empty() || selection.IsRectangle())
        return stamp;
    const QRect box = selection.Box();
    for (qint32 x = box.left(); x <= box.right(); ++x) {
        const auto column = stamp.Cells[x - box.left()];
        for (qint32 y = box.top(); y <= box.bottom(); ++y)
            if (!selection.Contains(x, y))
                column[std::size_t(y - box.top())] = -1;
    }
    return stamp;
}

Stamp Stamp::MirroredLeftRight() const {
    CellGrid mirrored(Width(), Height());
    for (qint32 x = 0; x < Width(); ++x)
        std::copy_n(Column(Width() - 1 - x), Height(), mirrored[x].data());
    return Stamp(std::move(mirrored));
}

Stamp Stamp::MirroredTopBottom() const {
    CellGrid mirrored(Width(), Height());
    for (qint32 x = 0; x < Width(); ++x)
        std::reverse_copy(Column(x), Column(x) + Height(), mirrored[x].data());
    return Stamp(std::move(mirrored));
}

Stamp Stamp::TurnedClockwise() const {
    // Cell (x, y) of a w × h stamp goes to (h - 1 - y, x) of the h × w one.
    CellGrid turned(Height(), Width());
    for (qint32 x = 0; x < Width(); ++x)
        for (qint32 y = 0; y < Height(); ++y)
            turned[Height() - 1 - y][std::size_t(x)] = At(x, y);
    return Stamp(std::move(turned));
}
