#pragma once

#include "model/CellGrid.h"

#include <span>
#include <vector>

// How many cells of the grid hold each tile of a pack of tileCount tiles: one pass over the
// cells. Cells that name no tile of the pack (-1, or an index the pack lacks) count nowhere.
std::vector<qint64> TileUsage(const CellGrid& grid, qint32 tileCount);

// Every cell that holds a tile of the pack (0 .. newIndex.size() - 1) takes that tile's new
// index, newIndex[tile]; other cells stay as they are. One pass over the cells.
void RenumberCells(CellGrid& grid, std::span<const TileIndex> newIndex);
