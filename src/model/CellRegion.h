#pragma once

#include "document/HeapBytes.h"
#include "model/TileMap.h"
#include "model/TilePack.h"

#include <QRect>
#include <span>
#include <vector>

class CellSelection;

// A run of cells down one column: rows Y0 to Y1 of column X.
struct CellSpan {
    qint32 X, Y0, Y1;
};

// A set of cells: what a fill changed, kept by its undo step. It is held as its spans down the
// columns, or as one bit a cell of its bounding box where that takes less memory, so it never
// takes more than an eighth of a byte a cell of the box: a fill of a whole 4096 × 4096 map of
// one tile keeps 4096 spans (48 KiB), one of a ragged region at most 2 MiB.
class CellRegion {
public:
    CellRegion() = default;
    // Spans that do not overlap, all within box.
    CellRegion(const QRect& box, const std::vector<CellSpan>& spans);

    const QRect& Box() const { return Bounds; }
    qint64 Count() const { return Cells; }
    bool Contains(qint32 x, qint32 y) const;
    // Writes value into every cell of the region.
    void Fill(CellGrid& grid, TileIndex value) const;
    // Calls visit(span) for each run of the region's cells down a column, column by column.
    template <class Visit> void ForEachSpan(Visit&& visit) const {
        for (const CellSpan& span : Spans)
            visit(span);
        if (Bits.empty())
            return;
        for (qint32 x = Bounds.left(); x <= Bounds.right(); ++x)
            for (qint32 y = Bounds.top(); y <= Bounds.bottom();) {
                if (!Contains(x, y)) {
                    ++y;
                    continue;
                }
                qint32 end = y;
                while (end < Bounds.bottom() && Contains(x, end + 1))
                    ++end;
                visit(CellSpan{x, y, end});
                y = end + 1;
            }
    }
    qint64 MemoryBytes() const {
        return HeapBytes(qint64(Spans.capacity() * sizeof(CellSpan))) +
               HeapBytes(qint64(Bits.capacity() * sizeof(quint64)));
    }

private:
    qint64 BitIndex(qint32 x, qint32 y) const {
        return qint64(x - Bounds.left()) * Bounds.height() + (y - Bounds.top());
    }

    QRect Bounds;
    qint64 Cells = 0;
    std::vector<CellSpan> Spans; // by column, then row; empty when Bits holds the region
    std::vector<quint64> Bits;
};

// The 4-connected region of cells that hold the same value as cell (x, y), which is then
// filled with value; returns the cells that changed. Nothing changes, and the region is
// empty, when (x, y) lies outside the grid or already holds value.
CellRegion FloodFill(CellGrid& grid, qint32 x, qint32 y, TileIndex value);

// For each tile of tiles (ascending indices of a pack of tileCount tiles, each once), the cells
// that hold it: one pass over the cells, whatever the number of tiles. holdsLater, when given,
// tells whether a cell holds the first of tiles or any tile after it: whether deleting them
// renumbers any cell.
std::vector<CellRegion> CellsHolding(const CellGrid& grid, qint32 tileCount,
                                     std::span<const TileIndex> tiles, bool* holdsLater = nullptr);

// The 4-connected region of cells that hold what cell (x, y) holds, found as the fill finds it
// but without changing them; when within is given, only selected cells, connected through
// selected cells. Empty for a cell outside the grid, or outside within.
CellRegion RegionAround(const CellGrid& grid, qint32 x, qint32 y,
                        const CellSelection* within = nullptr);

// The cells of area (clipped to the grid) that hold tile and, when within is given, are
// selected.
CellRegion CellsHoldingTile(const CellGrid& grid, TileIndex tile, const QRect& area,
                            const CellSelection* within = nullptr);
