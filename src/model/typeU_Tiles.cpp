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
    Take(index);
}

TileRef tTilePack::Take(qint32 index) {
    Tile(index); // refuses an index outside the list before anything changes
    TileRef tile = std::move(Tiles[std::size_t(index)]);
    Tiles.erase(Tiles.begin() + index);
    return tile;
}

void tTilePack::Insert(qint32 index, TileRef&& tile) {
    if (index < 0 || index > Count())
        throw EListError(Msg::ListIndexOutOfBounds(index));
    Tiles.insert(Tiles.begin() + index, std::move(tile));
}

void tTilePack::Clear() {
    Tiles.clear();
}
