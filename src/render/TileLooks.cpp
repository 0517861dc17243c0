#include "render/TileLooks.h"

#include "platform/Bitmap.h"
#include "platform/Reduce.h"

#include <algorithm>

TileLooks::Looks& TileLooks::Of(const TilePack& pack, qint32 index) {
    // Deleted tiles' looks go with them.
    Tiles.resize(std::size_t(pack.Count()));
    Looks& looks = Tiles[std::size_t(index)];
    const qint64 key = pack.At(index).Image->PictureKey();
    if (looks.PictureKey != key)
        looks = Looks{key, {}, {}};
    return looks;
}

const QImage& TileLooks::Reduced(const TilePack& pack, qint32 index, qint32 level) {
    QImage& reduced = Of(pack, index).Reduced[std::size_t(level - 1)];
    const Bitmap& bitmap = *pack.At(index).Image;
    if (reduced.isNull() && !bitmap.Empty())
        reduced = ::Reduced(bitmap.Picture(), 1 << level);
    return reduced;
}

QRgb TileLooks::Colour(const TilePack& pack, qint32 index) {
    std::optional<QRgb>& colour = Of(pack, index).Colour;
    if (!colour) {
        const QImage& picture = pack.At(index).Image->Picture();
        colour = picture.isNull()
                     ? QRgb(0)
                     : ::Reduced(picture, std::max(picture.width(), picture.height())).pixel(0, 0);
    }
    return *colour;
}
