#pragma once

#include "model/TileMap.h"
#include "model/TilePack.h"

#include <QImage>
#include <QRgb>
#include <array>
#include <optional>
#include <vector>

// What a zoomed-out view draws of each tile instead of its image: the image reduced by a power
// of two, or one colour where cells are smaller than a few pixels. Each is made the first time
// it is needed and kept while the tile's picture stays the same, so zooming and scrolling never
// scale an image a second time.
class TileLooks {
public:
    // The tile at index in pack, reduced by 2^level, level 1 to 8.
    const QImage& Reduced(const TilePack& pack, qint32 index, qint32 level);
    // The tile at index in pack as one colour, the average of its picture; 0, which no opaque
    // colour is, for a tile without pixels.
    QRgb Colour(const TilePack& pack, qint32 index);

    static constexpr qint32 Levels = 8;

private:
    struct Looks {
        qint64 PictureKey = 0; // of the picture they were made from
        std::array<QImage, Levels> Reduced;
        std::optional<QRgb> Colour;
    };
    // The looks of the tile at index, emptied when its picture changed.
    Looks& Of(const TilePack& pack, qint32 index);

    std::vector<Looks> Tiles;
};
