#pragma once

// The undo steps that change tiles of the pack: their properties, their pictures, their order,
// and deleting them. Reordering and deleting renumber the map's cells so every cell keeps
// showing its tile.

#include "document/History.h"
#include "model/CellRegion.h"
#include "model/TileMap.h"
#include "model/TilePack.h"

#include <memory>
#include <vector>

class Bitmap;

// What a tile holds in memory, its image twice: as the file it came from and decoded.
qint64 TileHeapBytes(const Tile& tile);

// "Tile Properties": a tile's name and values, swapped with the other ones.
class TilePropertiesStep : public UndoStep {
public:
    TilePropertiesStep(TilePack& pack, qint32 index, TileProperties properties);
    void Undo() override { Swap(); }
    void Redo() override { Swap(); }
    qint64 Bytes() const override;

private:
    void Swap();

    TilePack& Pack;
    const qint32 Index;
    TileProperties Other;
};

// "Replace Image": a tile's picture swapped with another; index, name and values stay.
class TileImageStep : public UndoStep {
public:
    TileImageStep(TilePack& pack, qint32 index, std::unique_ptr<Bitmap> image);
    ~TileImageStep() override;
    void Undo() override { Swap(); }
    void Redo() override { Swap(); }
    qint64 Bytes() const override;

private:
    void Swap();

    TilePack& Pack;
    const qint32 Index;
    std::unique_ptr<Bitmap> Other;
};

// "Move Tile": a tile moves from one place of the pack to another, the tiles between moving
// up or down by one, and the map's cells follow their tiles.
class TileOrderStep : public UndoStep {
public:
    // parts: Pack, and Map too when a cell of the map holds a tile that moves. The step is
    // made done: the document moves the tile and its cells first, which tells it the parts.
    TileOrderStep(TilePack& pack, TileMap& map, qint32 from, qint32 to, DocumentParts parts);
    void Undo() override { Move(To, From); }
    void Redo() override { Move(From, To); }
    qint64 Bytes() const override { return HeapBytes(sizeof(*this)); }

private:
    void Move(qint32 from, qint32 to);

    TilePack& Pack;
    TileMap& Map;
    const qint32 From;
    const qint32 To;
};

// "Delete Tile" (or "Delete Tiles"): tiles go out of the pack; the map's cells that held them
// become -1 and the cells of later tiles take their new indices, so each keeps its tile.
class TileDeleteStep : public UndoStep {
public:
    // tiles: ascending indices of the pack, each once; cells: the cells that hold each
    // (CellsHolding); parts: Pack, and Map when deleting them renumbers any cell.
    TileDeleteStep(TilePack& pack, TileMap& map, std::vector<qint32> tiles,
                   std::vector<CellRegion> cells, DocumentParts parts);
    ~TileDeleteStep() override;
    void Undo() override;
    void Redo() override;
    qint64 Bytes() const override;

private:
    TilePack& Pack;
    TileMap& Map;
    const std::vector<qint32> Tiles;
    const std::vector<CellRegion> Cells; // of each deleted tile
    std::vector<TileRef> Out;            // the deleted tiles while out of the pack
};

// The new index of every tile of a pack of count tiles once tiles (ascending) are deleted;
// -1 for the deleted ones.
std::vector<TileIndex> IndicesAfterDeleting(qint32 count, const std::vector<qint32>& tiles);
