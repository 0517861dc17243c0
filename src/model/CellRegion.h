#pragma once

#include "model/typeU.h"

#include <QRect>
#include <vector>

// A set of cells within a bounding box, one bit each: what a fill changed, kept by its undo
// step. A fill of a whole 4096 × 4096 map takes 2 MiB, an eighth of a byte a cell.
class TCellRegion {
public:
    TCellRegion() = default;
    explicit TCellRegion(const QRect& box);

    const QRect& Box() const { return Bounds; }
    qint64 Count() const { return Cells; }
    bool Contains(qint32 x, qint32 y) const;
    // Adds the cells y0..y1 of column x, which lie in the box.
    void AddSpan(qint32 x, qint32 y0, qint32 y1);
    // Writes value into every cell of the region.
    void Fill(TCellGrid& grid, TileIndex value) const;
    qint64 MemoryBytes() const { return qint64(Bits.capacity()) * sizeof(quint64); }

private:
    qint64 BitIndex(qint32 x, qint32 y) const {
        return qint64(x - Bounds.left()) * Bounds.height() + (y - Bounds.top());
    }

    QRect Bounds;
    qint64 Cells = 0;
    std::vector<quint64> Bits;
};

// The 4-connected region of cells that hold the same value as cell (x, y), which is then
// filled with value; returns the cells that changed. Nothing changes, and the region is
// empty, when (x, y) lies outside the grid or already holds value. Out of memory it throws
// std::bad_alloc with the grid as it was.
TCellRegion FloodFill(TCellGrid& grid, qint32 x, qint32 y, TileIndex value);
