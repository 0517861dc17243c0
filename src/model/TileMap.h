#pragma once

#include "model/CellGrid.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What a map file holds (size, cells, texts, pack name), and the size of a cell in pixels,
// which the file leaves to the editor. Views of it are MapRenderer's.
class TileMap {
public:
    // The largest map the editor holds: 2^28 cells take 1 GiB.
    static constexpr qint64 MaxCells = qint64(1) << 28;

    // Throws ESizeError for a tile size below 1, which every view divides by.
    explicit TileMap(qint32 tileSize);

    qint32 TileSize;
    qint32 Width = 0;
    qint32 Height = 0;
    CellGrid Cells;
    // The four texts of the file, which it leaves unnamed; Text3 is the pack's file name.
    QByteArray Text1;
    QByteArray Text2;
    QByteArray PackName;
    QByteArray Text4;

    // Throws ESizeError, leaving the map unchanged, for a tile size below 1, a negative width
    // or height, or more than MaxCells cells.
    void New(qint32 width, qint32 height, qint32 tileSize);
    // Takes the grid as the map's cells, with its size as Width and Height.
    void SetCells(CellGrid cells);
    // Takes the texts and cells of another map, one just read from a file say, leaving it
    // without cells. TileSize stays.
    void TakeContent(TileMap& from);
    // Exchanges texts, cells and TileSize with another map, so swapping twice gives both maps
    // back exactly.
    void SwapContent(TileMap& other) noexcept;
    // Copies the texts and cells of another map, into the cells the map has when their size
    // is the same, so copying again and again takes no new memory. TileSize stays.
    void CopyContent(const TileMap& from);

    // Throws ESizeError, saying which value is wrong and what is allowed, for a size the map
    // cannot take.
    static void CheckSize(qint32 width, qint32 height, qint32 tileSize);
    // The one statement of the sizes a map can take, for New and the reader: what is wrong
    // with this one, without a full stop, or an empty string.
    static QString SizeProblem(qint32 width, qint32 height, qint32 tileSize);
};
