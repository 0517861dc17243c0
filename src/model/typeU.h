#pragma once

// The editor's model: tiles, the tile pack, the map, and the two file formats (tile pack .pac
// and map .map).

#include <QByteArray>
#include <QByteArrayView>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QtGlobal>
#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class TBitmap;
class TMemoryStream;
struct TMapHeader;

// Position of a tile in the pack; -1 marks an empty cell.
using TileIndex = qint32;

// ---------------------------------------------------------------------------------------------
// Tiles and the tile pack

class tTile {
public:
    tTile();
    ~tTile();

    qint32 Param1 = 0;
    qint32 Param2 = 0;
    std::array<qint32, 4> Param3{}; // Param3[1..4] of the file, in that order
    qint32 Param4 = 0;
    std::unique_ptr<TBitmap> Bitmap;
    QByteArray Name; // Windows-1251 bytes, as in the file

    // Appends one record: the desktop variant (name and BMP) when embed is set, otherwise the
    // mobile one (no name; the bytes of the file PngFile(imageDir), read now).
    void SaveToStream(TMemoryStream& stream, bool embed, const QString& imageDir) const;
    // Appends the mobile record with the bytes of the tile's PNG file as given.
    void SaveMobileToStream(TMemoryStream& stream, QByteArrayView png) const;
    // Reads one desktop record from the stream's position and leaves the position behind it,
    // all but its image, whose BMP bytes it returns for LoadImage. Throws EFormatError when the
    // record does not fit in what remains.
    QByteArray ReadRecord(TMemoryStream& stream);
    // Decodes the record's image into Bitmap. Throws EFormatError for a bad image.
    void LoadImage(const QByteArray& bmp);

    // The PNG file of the tile in the mobile pack: imageDir + Name + ".png", as written, so
    // imageDir ends with a separator.
    QString PngFile(const QString& imageDir) const;
    // Whether a file named after the tile stays in its directory: Name is a plain file name,
    // or empty (the PNG file is then ".png").
    bool NameIsFileName() const;
    // The bytes of PngFile(imageDir). Throws EFOpenError for a name that is no file name in
    // imageDir, or a file that cannot be read.
    QByteArray ReadPng(const QString& imageDir) const;
    // The name Add Tile gives a tile from an image file: the file name less its last four
    // characters (grass.bmp gives grass), in Windows-1251.
    static QByteArray NameOfFile(const QString& path);

private:
    // The one record layout of both variants; the name only in the desktop one.
    void WriteRecord(TMemoryStream& stream, bool withName, QByteArrayView image) const;
};

// The pack owns its tiles; a TileRef from NewTile is the caller's until it is added.
using TileRef = std::unique_ptr<tTile>;

class tTilePack {
public:
    tTilePack();
    ~tTilePack();

    tTile* RecentTileRef = nullptr; // the tile NewTile made last; not owned
    std::vector<TileRef> Tiles;

    TileRef NewTile();
    void Add(TileRef tile);
    // Throws EListError ("List index out of bounds (%d)") outside 0..Count()-1.
    void Delete(qint32 index);
    // Takes the tile at index out of the list, later tiles moving down, and hands it over.
    // Throws EListError outside 0..Count()-1.
    TileRef Take(qint32 index);
    // Puts a tile back at index, 0..Count(), later tiles moving up. Throws EListError
    // outside that range, leaving the tile with the caller.
    void Insert(qint32 index, TileRef&& tile);
    void Clear();
    qint32 Count() const { return qint32(Tiles.size()); }
    // Throws EListError outside 0..Count()-1.
    tTile& Tile(qint32 index) const;

    // Replaces the pack with the tiles of a desktop pack file, only when the whole file has
    // been read and every image decoded; on any error the pack is as it was.
    void LoadFromFile(const QString& fileName);
    // Desktop variant when embed is set, mobile otherwise. The file is replaced atomically.
    void SaveToFile(const QString& fileName, bool embed, const QString& imageDir) const;

    // LoadFromFile on the file's bytes; fileName is the file they came from, which errors name.
    void LoadFromBytes(const QByteArray& bytes, const QString& fileName);

    // The file image that SaveToFile writes and LoadFromFile reads, for callers that build
    // several files before writing any.
    QByteArray SaveToBytes(bool embed, const QString& imageDir) const;
    // The mobile variant with the PNG files' bytes as given, one for each tile in pack order.
    QByteArray SaveMobileToBytes(const std::vector<QByteArray>& pngs) const;
    // The tiles of a desktop pack from the stream's position. The records are read in file
    // order and their images decoded on all cores; the error reported is the one reading tile
    // after tile would meet first.
    static std::vector<TileRef> ReadTiles(TMemoryStream& stream);
};

// ---------------------------------------------------------------------------------------------
// The map

// Map cells in one contiguous block, column after column, indexed Cells[x][y].
class TCellGrid {
public:
    TCellGrid() = default;
    // Cell values are left unset; callers fill every one.
    TCellGrid(qint32 columns, qint32 rows);

    qint32 size() const { return Columns; }
    bool empty() const { return Columns == 0; }
    qint32 Rows() const { return RowCount; }
    std::span<TileIndex> operator[](qint32 x) {
        return {Data.get() + qsizetype(x) * RowCount, std::size_t(RowCount)};
    }
    std::span<const TileIndex> operator[](qint32 x) const {
        return {Data.get() + qsizetype(x) * RowCount, std::size_t(RowCount)};
    }
    TileIndex* data() { return Data.get(); }
    const TileIndex* data() const { return Data.get(); }
    // Columns × rows: the number of cells.
    qint64 Count() const { return qint64(Columns) * RowCount; }

private:
    qint32 Columns = 0;
    qint32 RowCount = 0;
    std::unique_ptr<TileIndex[]> Data;
};

// What a map file holds (size, cells, texts, pack name), and the size of a cell in pixels,
// which the file leaves to the editor. Views of it are TMapRenderer's.
class tMap {
public:
    // The largest map the editor holds: 2^28 cells take 1 GiB.
    static constexpr qint64 MaxCells = qint64(1) << 28;

    // Throws ESizeError for a tile size below 1, which every view divides by.
    explicit tMap(qint32 tileSize);

    qint32 TileSize;
    qint32 Width = 0;
    qint32 Height = 0;
    TCellGrid Cells;
    // The four texts of the file, which it leaves unnamed; Text3 is the pack's file name.
    QByteArray Text1;
    QByteArray Text2;
    QByteArray PackName;
    QByteArray Text4;

    // Throws ESizeError, leaving the map unchanged, for a tile size below 1, a negative width
    // or height, or more than MaxCells cells.
    void New(qint32 width, qint32 height, qint32 tileSize);
    void Clear();
    // Takes the texts and cells of another map, one just read from a file say, leaving it
    // without cells. TileSize stays.
    void TakeContent(tMap& from);
    // Exchanges texts, cells and TileSize with another map, so swapping twice gives both maps
    // back exactly.
    void SwapContent(tMap& other) noexcept;
    // Copies the texts and cells of another map, into the cells the map has when their size
    // is the same, so copying again and again takes no new memory. TileSize stays.
    void CopyContent(const tMap& from);

    // The file is replaced atomically.
    void SaveToFile(const QString& fileName) const;
    // Replaces texts, size and cells only when the whole file is valid; on any error the map
    // is as it was. TileSize stays.
    void LoadFromFile(const QString& fileName);
    // LoadFromFile on the file's bytes; fileName is the file they came from, which errors name.
    void LoadFromBytes(const QByteArray& bytes, const QString& fileName);
    // Throws ESizeError for a text too long for the format.
    QByteArray SaveToBytes() const;

    // Throws ESizeError, saying which value is wrong and what is allowed, for a size the map
    // cannot take.
    static void CheckSize(qint32 width, qint32 height, qint32 tileSize);
    // The one statement of the sizes a map can take, for New and the reader: what is wrong
    // with this one, without a full stop, or an empty string.
    static QString SizeProblem(qint32 width, qint32 height, qint32 tileSize);

private:
    // A grid of the given size with every cell 0; throws as New does.
    static TCellGrid ZeroCells(qint32 width, qint32 height, qint32 tileSize);
    // Takes the grid as the map's cells, with its size as Width and Height.
    void Adopt(TCellGrid cells, qint32 tileSize);
    // Takes a checked header's texts with its cells.
    void Take(TMapHeader& header, TCellGrid grid);
};
