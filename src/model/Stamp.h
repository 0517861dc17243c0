#pragma once

#include "model/CellGrid.h"

#include <QRect>
#include <vector>

class CellSelection;

// A grid of cells that the Brush paints and Paste places, its top-left cell where the pointer
// is; -1 leaves the map's cell as it is. A single tile is a stamp of one cell. Cells are kept
// column by column, as the map's.
class Stamp {
public:
    Stamp() = default;
    // cells: width × height values, column by column.
    Stamp(qint32 width, qint32 height, const std::vector<TileIndex>& cells);
    // Takes the grid's cells.
    explicit Stamp(CellGrid cells);
    Stamp(const Stamp& other);
    Stamp& operator=(const Stamp& other);
    Stamp(Stamp&&) noexcept = default;
    Stamp& operator=(Stamp&&) noexcept = default;
    ~Stamp() = default;
    // The cells of the selection's box; the cells of the box not selected are -1.
    static Stamp Copy(const CellGrid& grid, const CellSelection& selection);
    // The cells of a rect, clipped to the grid.
    static Stamp Copy(const CellGrid& grid, const QRect& cells);

    qint32 Width() const { return Cells.size(); }
    qint32 Height() const { return Cells.Rows(); }
    bool Empty() const { return Cells.Count() == 0; }
    qint64 Count() const { return Cells.Count(); }
    TileIndex At(qint32 x, qint32 y) const { return Cells[x][std::size_t(y)]; }
    // Column x's cells.
    const TileIndex* Column(qint32 x) const { return Cells[x].data(); }
    // Every cell, column by column.
    const TileIndex* Values() const { return Cells.data(); }
    const CellGrid& Grid() const { return Cells; }

    // The layout of cells changes; the tiles' images never turn (the map has no bits for it).
    Stamp MirroredLeftRight() const;
    Stamp MirroredTopBottom() const;
    // A quarter turn clockwise: the left column becomes the top row.
    Stamp TurnedClockwise() const;

    bool operator==(const Stamp& other) const;

private:
    // Cells of a large stamp are not set before they are written: a whole map copied is
    // 64 MiB, and zeroing it first would cost as much as the copy.
    CellGrid Cells;
};
