#include "model/TilePack.h"
#include "platform/Exceptions.h"

TilePack::TilePack() = default;
TilePack::~TilePack() = default;
TilePack::TilePack(TilePack&&) noexcept = default;
TilePack& TilePack::operator=(TilePack&&) noexcept = default;

void TilePack::Add(TileRef tile) {
    Tiles.push_back(std::move(tile));
}

Tile& TilePack::At(qint32 index) const {
    if (index < 0 || index >= Count())
        throw EListError(Msg::ListIndexOutOfBounds(index));
    return *Tiles[std::size_t(index)];
}

TileRef TilePack::Take(qint32 index) {
    At(index); // refuses an index outside the list before anything changes
    TileRef tile = std::move(Tiles[std::size_t(index)]);
    Tiles.erase(Tiles.begin() + index);
    return tile;
}

void TilePack::Insert(qint32 index, TileRef&& tile) {
    if (index < 0 || index > Count())
        throw EListError(Msg::ListIndexOutOfBounds(index));
    Tiles.insert(Tiles.begin() + index, std::move(tile));
}
