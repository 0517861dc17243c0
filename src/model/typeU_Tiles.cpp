#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/TBitmap.h"

#include <QFileInfo>

tTile::tTile() : Bitmap(std::make_unique<TBitmap>()) {}

tTile::~tTile() = default;

QByteArray tTile::NameOfFile(const QString& path) {
    const QString fileName = QFileInfo(path).fileName();
    return Cp1251::FromUnicode(fileName.size() > 3 ? fileName.chopped(4) : fileName);
}

tTilePack::tTilePack() = default;

tTilePack::~tTilePack() = default;

TileRef tTilePack::NewTile() {
    auto tile = std::make_unique<tTile>();
    RecentTileRef = tile.get();
    return tile;
}

void tTilePack::Add(TileRef tile) {
    Tiles.push_back(std::move(tile));
}

tTile& tTilePack::Tile(qint32 index) const {
    if (index < 0 || index >= Count())
        throw EListError(Msg::ListIndexOutOfBounds(index));
    return *Tiles[std::size_t(index)];
}

void tTilePack::Delete(qint32 index) {
    Tile(index); // refuses an index outside the list before anything changes
    Tiles.erase(Tiles.begin() + index);
}

void tTilePack::Clear() {
    Tiles.clear();
}
