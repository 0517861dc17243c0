#pragma once

#include "model/CellGrid.h"

#include <QRect>
#include <vector>

class CellSelection;

// A small grid of cells that the Brush paints and Paste places, its top-left cell where the
// pointer is; -1 leaves the map's cell as it is. A single tile is a stamp of one cell. Cells
// are kept column by column, as the map's.
class Stamp {
public:
    Stamp() = default;
    // cells: width × height values, column by column.
    Stamp(qint32 width, qint32 height, std::vector<TileIndex> cells);
    static Stamp OneTile(TileIndex tile) { return Stamp(1, 1, {tile}); }
    // The cells of the selection's box; the cells of the box not selected are -1.
    static Stamp Copy(const CellGrid& grid, const CellSelection& selection);
    // The cells of a rect, clipped to the grid.
    static Stamp Copy(const CellGrid& grid, const QRect& cells);

    qint32 Width() const { return Columns; }
    qint32 Height() const { return Rows; }
    bool Empty() const { return Cells.empty(); }
    qint64 Count() const { return qint64(Cells.size()); }
    TileIndex At(qint32 x, qint32 y) const {
        return Cells[std::size_t(x) * std::size_t(Rows) + std::size_t(y)];
    }
    // Column x's cells.
    const TileIndex* Column(qint32 x) const {
        return Cells.data() + std::size_t(x) * std::size_t(Rows);
    }
    const std::vector<TileIndex>& Values() const { return Cells; }

    // The layout of cells changes; the tiles' images never turn (the map has no bits for it).
    Stamp MirroredLeftRight() const;
    Stamp MirroredTopBottom() const;
    // A quarter turn clockwise: the left column becomes the top row.
    Stamp TurnedClockwise() const;

    bool operator==(const Stamp&) const = default;

private:
    qint32 Columns = 0;
    qint32 Rows = 0;
    std::vector<TileIndex> Cells;
};
