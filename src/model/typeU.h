#pragma once

// The editor's model: tiles, the tile pack, the map with its drawing, and the two file
// formats (tile pack .pac and map .map).

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

#include "model/ViewMapping.h"

class TBitmap;
class TCanvas;
class TTileLooks;
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

class tMap {
public:
    // The largest map the editor holds: 2^28 cells take 1 GiB.
    static constexpr qint64 MaxCells = qint64(1) << 28;

    // Sets the canvas's pen to not-xor, which the grid relies on. Throws ESizeError for a tile
    // size below 1, which every drawing and scrolling step divides by.
    tMap(qint32 tileSize, TCanvas* canvas);
    ~tMap();

    TCanvas* const Canvas;
    qint32 ViewWidth = 0;
    qint32 ViewHeight = 0;
    qint32 TileSize;
    std::unique_ptr<tTilePack>* TilePackRef = nullptr; // the TilePack variable, not the pack
    qint32 Width = 0;
    qint32 Height = 0;
    TCellGrid Cells;
    qint32 OffsetX = 0;
    qint32 OffsetY = 0;
    // The view shows the map at 2^Zoom, TViewMapping::MinZoom to MaxZoom.
    qint32 Zoom = 0;
    bool ShowGrid = false;
    QByteArray Text1;
    QByteArray Text2;
    QByteArray PackName;
    QByteArray Text4;

    // Throws ESizeError, leaving the map unchanged, for a tile size below 1, a negative width
    // or height, or more than MaxCells cells.
    void New(qint32 width, qint32 height, qint32 tileSize);
    void Clear();
    // Throws ESizeError as New does. Offsets and texts stay; every cell becomes 0.
    void SetSize(qint32 width, qint32 height, qint32 tileSize);
    // Takes the texts and cells of another map, one just read from a file say, leaving it
    // without cells. TileSize, offsets and view stay.
    void TakeContent(tMap& from);
    // Exchanges texts, cells, TileSize and offsets with another map: what a map holds and
    // where it is viewed, so swapping twice gives both maps back exactly. Canvas, view size,
    // grid switch and pack stay with each map.
    void SwapContent(tMap& other) noexcept;
    // Copies the texts and cells of another map, into the cells the map has when their size
    // is the same, so copying again and again takes no new memory. TileSize, offsets and view
    // stay.
    void CopyContent(const tMap& from);
    void SetViewSize(qint32 width, qint32 height);
    // Offsets, zoom and tile size: how view pixels and map pixels correspond.
    TViewMapping Mapping() const;
    void SetTilePackRef(std::unique_ptr<tTilePack>* ref) { TilePackRef = ref; }
    // Writes tileIndex into the cell under a view pixel; pixels outside the map are ignored.
    void SetCell(qint32 pixelX, qint32 pixelY, TileIndex tileIndex);
    // The column and row of the cell under a view pixel, if the map has one there.
    std::optional<QPoint> CellAt(qint32 pixelX, qint32 pixelY) const;

    // Drawing, scrolling and the writer take the map's size from Cells: Width and Height only
    // report it, and after Clear alone still tell the old size.
    void Draw(bool fillBackground);
    void DrawGrid();
    // 1 right, 2 left, 3 up, 4 down, by 4 view pixels (a map pixel at least) within the map's
    // bounds; then redraws.
    void Scroll(qint32 direction);

    // Navigation that goes straight to a place, for the wheel, a drag, Home and zooming.
    //
    // The largest offsets that still show map: the last pixel column and row just in view,
    // or 0 when the map fits the view.
    QPoint MaxOffset() const;
    // Moves the view to the offsets x and y, kept within 0 and MaxOffset, and zoomed out on
    // whole view pixels. A view that the arrow keys took beyond MaxOffset is never pulled back
    // by a move that goes further out. Any offsets may be asked for.
    void ScrollTo(qint64 x, qint64 y);
    // Zooms to zoom (kept within the limits) keeping the map pixel under the view pixel at
    // where it is, as far as the map's bounds allow.
    void ZoomAt(qint32 zoom, QPoint at);
    // The largest zoom at which the whole map fits the view.
    qint32 FitZoom() const;

    // Drawing only what changed. A view redrawn in full is the view filled with clBtnFace and
    // drawn with Draw(false); these keep it exactly so, drawing only what a change affects.
    //
    // Fills area with clBtnFace and draws there what Draw(false) draws: the tiles that reach
    // into it, in Draw's order, and the grid. Outside area nothing changes.
    void Redraw(const QRect& area);
    // The view pixels that the tile of a cell may cover: from the cell's top-left corner as far
    // right and down as the pack's largest tile, and at least the cell.
    QRect CellArea(QPoint cell) const;
    // Moves the view as Scroll does, without drawing.
    void Step(qint32 direction);
    // After the view moved by moved view pixels and the canvas's pixels with it (by -moved),
    // what must be redrawn: the strip the move uncovered, and where tiles larger than a cell
    // may reach in from the cells that came into view or went out of it on the left or top.
    QRegion Uncovered(QPoint moved) const;

    // The file is replaced atomically.
    void SaveToFile(const QString& fileName) const;
    // Replaces texts, size and cells only when the whole file is valid; on any error the map
    // is as it was. TileSize, offsets and view stay.
    void LoadFromFile(const QString& fileName);
    // LoadFromFile on the file's bytes; fileName is the file they came from, which errors name.
    void LoadFromBytes(const QByteArray& bytes, const QString& fileName);
    // Throws ESizeError for a text too long for the format.
    QByteArray SaveToBytes() const;

    // Throws ESizeError, saying which value is wrong and what is allowed, for a size the map
    // cannot take.
    static void CheckSize(qint32 width, qint32 height, qint32 tileSize);
    // The one statement of the sizes a map can take, for New, SetSize and the reader: what is
    // wrong with this one, without a full stop, or an empty string.
    static QString SizeProblem(qint32 width, qint32 height, qint32 tileSize);

private:
    // Draws the tiles of the cells Draw visits, rows from top to bottom, each from left to
    // right, from the cell at the view's top-left corner on; given an area, only those that
    // reach into it.
    void DrawTiles(const tTilePack& pack, const std::optional<QRect>& area);
    // Cells too small for their images: each view pixel of area over the map takes the colour
    // of the tile in the cell under it.
    void DrawColours(const tTilePack& pack, const QRect& area);
    // How far the pack's largest tile reaches from a cell's corner, in map pixels: the cell
    // itself at least.
    QSize Reach() const;
    // How far the tiles drawn may reach past a cell's own view pixels, right and down.
    QSize OverhangInView() const;
    // A grid of the given size with every cell 0; throws as New does.
    static TCellGrid ZeroCells(qint32 width, qint32 height, qint32 tileSize);
    // Takes the grid as the map's cells, with its size as Width and Height.
    void Adopt(TCellGrid cells, qint32 tileSize);
    // Takes a checked header's texts with its cells.
    void Take(TMapHeader& header, TCellGrid grid);
    const tTilePack* Pack() const;

    std::unique_ptr<TTileLooks> Looks; // made at the first zoomed-out drawing
};

// ---------------------------------------------------------------------------------------------
// The unit's globals, shared by every window.

extern std::unique_ptr<tTilePack> TilePack;
extern std::unique_ptr<tMap> Map;
extern QString AppDir; // the executable's directory, without a trailing separator
