#include "model/Stamp.h"

#include "model/CellSelection.h"
#include "platform/Exceptions.h"

#include <algorithm>

Stamp::Stamp(qint32 width, qint32 height, std::vector<TileIndex> cells)
    : Columns(width), Rows(height), Cells(std::move(cells)) {
    if (width < 0 || height < 0 || qint64(Cells.size()) != qint64(width) * height)
        throw ESizeError(QStringLiteral("A stamp of %1 × %2 cells cannot hold %3 cells")
                             .arg(width)
                             .arg(height)
                             .arg(Cells.size()));
    if (Cells.empty())
        Columns = Rows = 0;
}

Stamp Stamp::Copy(const CellGrid& grid, const QRect& cells) {
    const QRect box = cells.normalized() & QRect(0, 0, grid.size(), grid.Rows());
    if (box.isEmpty())
        return {};
    std::vector<TileIndex> values(std::size_t(box.width()) * std::size_t(box.height()));
    auto out = values.begin();
    for (qint32 x = box.left(); x <= box.right(); ++x) {
        const auto column = grid[x].subspan(std::size_t(box.top()), std::size_t(box.height()));
        out = std::copy(column.begin(), column.end(), out);
    }
    return Stamp(box.width(), box.height(), std::move(values));
}

Stamp Stamp::Copy(const CellGrid& grid, const CellSelection& selection) {
    Stamp stamp = Copy(grid, selection.Box());
    if (stamp.Empty() || selection.IsRectangle())
        return stamp;
    const QRect box = selection.Box();
    auto cell = stamp.Cells.begin();
    for (qint32 x = box.left(); x <= box.right(); ++x)
        for (qint32 y = box.top(); y <= box.bottom(); ++y, ++cell)
            if (!selection.Contains(x, y))
                *cell = -1;
    return stamp;
}

Stamp Stamp::MirroredLeftRight() const {
    Stamp mirrored = *this;
    for (qint32 x = 0; x < Columns; ++x)
        std::copy_n(Column(Columns - 1 - x), Rows,
                    mirrored.Cells.begin() + std::ptrdiff_t(x) * Rows);
    return mirrored;
}

Stamp Stamp::MirroredTopBottom() const {
    Stamp mirrored = *this;
    for (qint32 x = 0; x < Columns; ++x) {
        auto column = mirrored.Cells.begin() + std::ptrdiff_t(x) * Rows;
        std::reverse(column, column + Rows);
    }
    return mirrored;
}

Stamp Stamp::TurnedClockwise() const {
    // Cell (x, y) of a w × h stamp goes to (h - 1 - y, x) of the h × w one.
    std::vector<TileIndex> turned(Cells.size());
    for (qint32 x = 0; x < Columns; ++x)
        for (qint32 y = 0; y < Rows; ++y)
            turned[std::size_t(Rows - 1 - y) * std::size_t(Columns) + std::size_t(x)] = At(x, y);
    return Stamp(Rows, Columns, std::move(turned));
}
