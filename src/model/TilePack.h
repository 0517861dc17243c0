#pragma once

#include "model/Tile.h"

#include <vector>

// The tiles of a pack in their order; a map's cells are indices into it.
class TilePack {
public:
    TilePack();
    ~TilePack();
    TilePack(TilePack&&) noexcept;
    TilePack& operator=(TilePack&&) noexcept;

    std::vector<TileRef> Tiles;

    void Add(TileRef tile);
    // Takes the tile at index out of the list, later tiles moving down, and hands it over.
    // Throws EListError ("List index out of bounds (%d)") outside 0..Count()-1.
    TileRef Take(qint32 index);
    // Puts a tile back at index, 0..Count(), later tiles moving up. Throws EListError
    // outside that range, leaving the tile with the caller.
    void Insert(qint32 index, TileRef&& tile);
    qint32 Count() const { return qint32(Tiles.size()); }
    // Throws EListError outside 0..Count()-1.
    Tile& At(qint32 index) const;
};
