#include "model/TileUsage.h"

std::vector<qint64> TileUsage(const CellGrid& grid, qint32 tileCount) {
    std::vector<qint64> usage(std::size_t(std::max(tileCount, 0)));
    const TileIndex* cell = grid.data();
    const TileIndex* const end = cell + grid.Count();
    for (; cell != end; ++cell)
        if (quint32(*cell) < quint32(tileCount))
            ++usage[std::size_t(*cell)];
    return usage;
}

void RenumberCells(CellGrid& grid, std::span<const TileIndex> newIndex) {
    const auto tiles = quint32(newIndex.size());
    TileIndex* cell = grid.data();
    TileIndex* const end = cell + grid.Count();
    for (; cell != end; ++cell)
        if (quint32(*cell) < tiles)
            *cell = newIndex[std::size_t(*cell)];
}
