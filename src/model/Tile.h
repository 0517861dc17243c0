#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>
#include <memory>

class Bitmap;

// What a tile says besides its picture: the name and the values the game reads, as the pack
// file holds them.
struct TileProperties {
    QByteArray Name; // Windows-1251 bytes, as in the file
    qint32 Param1 = 0;
    qint32 Param2 = 0;
    std::array<qint32, 4> Param3{};
    qint32 Param4 = 0;
    bool operator==(const TileProperties&) const = default;
};

// One tile of a pack: its picture, its name and the values the game reads for it.
class Tile {
public:
    Tile();
    ~Tile();

    // The pack file's four unnamed values, in file order around the name.
    qint32 Param1 = 0;
    qint32 Param2 = 0;
    std::array<qint32, 4> Param3{}; // Param3[1..4] of the file, in that order
    qint32 Param4 = 0;
    std::unique_ptr<Bitmap> Image;
    QByteArray Name; // Windows-1251 bytes, as in the file

    TileProperties Properties() const { return {Name, Param1, Param2, Param3, Param4}; }
    void SetProperties(const TileProperties& properties);

    // The name Add Tile gives a tile from an image file: the file name less its last four
    // characters (grass.bmp gives grass), in Windows-1251.
    static QByteArray NameOfFile(const QString& path);
};

// The seven values of a Tile or TileProperties in the pack file's order (Param1, Param2,
// Param3[1] to Param3[4], Param4): pointers to them, const for a const one.
template <class T> auto ValuesOf(T& tile) {
    return std::array{&tile.Param1,    &tile.Param2,    &tile.Param3[0], &tile.Param3[1],
                      &tile.Param3[2], &tile.Param3[3], &tile.Param4};
}

// The pack owns its tiles; a TileRef made for it is the caller's until it is added.
using TileRef = std::unique_ptr<Tile>;
