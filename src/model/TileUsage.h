#pragma once

#include "model/CellGrid.h"

#include <span>
#include <vector>

// How many cells of the grid hold each tile of a pack of tileCount tiles: one pass over the
// cells. Cells that name no tile of the pack (-1, or an index the pack lacks) count nowhere.
std::vector<qint64> TileUsage(const CellGrid& grid, qint32 tileCount);

// Every cell that holds a tile of the pack (0 .. newIndex.size() - 1) takes that tile's new
// index, newIndex[tile]; other cells stay as they are. One pass over the cells, which takes no
// memory and cannot fail. Returns whether any cell changed.
bool RenumberCells(CellGrid& grid, std::span<const TileIndex> newIndex);

// The renumbering that moving or deleting one tile makes: the tiles First..Last move by Delta
// (1 or -1), and tile From becomes To (-1 when deleted).
struct TileShift {
    TileIndex First, Last, Delta, From, To;
    // The tile at from goes to to, the tiles between closing the gap.
    static TileShift Move(TileIndex from, TileIndex to);
    // The tile at index goes out of a pack of count tiles, the later ones moving down.
    static TileShift Delete(TileIndex index, qint32 count);
    // Back from Delete: the later tiles move up again; the deleted tile's cells stay -1.
    static TileShift Undelete(TileIndex index, qint32 count);
};
// RenumberCells for a TileShift, without a table: a few cells at a time where the compiler
// can. Returns whether any cell changed.
bool ShiftCells(CellGrid& grid, const TileShift& shift);
