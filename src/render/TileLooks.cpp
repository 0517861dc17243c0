#include "render/TileLooks.h"

#include "platform/Reduce.h"
#include "platform/TBitmap.h"

#include <algorithm>

TTileLooks::TLooks& TTileLooks::Of(const tTilePack& pack, qint32 index) {
    // Deleted tiles' looks go with them.
    Tiles.resize(std::size_t(pack.Count()));
    TLooks& looks = Tiles[std::size_t(index)];
    const quint64 serial = pack.Tile(index).Bitmap->Serial();
    if (looks.Serial != serial)
        looks = TLooks{serial, {}, {}};
    return looks;
}

const QImage& TTileLooks::Reduced(const tTilePack& pack, qint32 index, qint32 level) {
    QImage& reduced = Of(pack, index).Reduced[std::size_t(level - 1)];
    const TBitmap& bitmap = *pack.Tile(index).Bitmap;
    if (reduced.isNull() && !bitmap.Empty())
        reduced = ::Reduced(bitmap.Picture(), 1 << level);
    return reduced;
}

QRgb TTileLooks::Colour(const tTilePack& pack, qint32 index) {
    std::optional<QRgb>& colour = Of(pack, index).Colour;
    if (!colour) {
        const QImage& picture = pack.Tile(index).Bitmap->Picture();
        colour = picture.isNull()
                     ? QRgb(0)
                     : ::Reduced(picture, std::max(picture.width(), picture.height())).pixel(0, 0);
    }
    return *colour;
}
