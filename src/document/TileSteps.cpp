#include "document/TileSteps.h"

#include "model/TileUsage.h"
#include "platform/Bitmap.h"

qint64 TileHeapBytes(const Tile& tile) {
    // The decoded image is one block, its QImageData another.
    return HeapBytes(sizeof(Tile)) + HeapBytes(sizeof(Bitmap)) + HeapBytes(tile.Name) +
           HeapBytes(tile.Image->FileBytes()) + HeapBytes(tile.Image->Picture().sizeInBytes()) +
           (tile.Image->Picture().isNull() ? 0 : HeapBytes(128));
}

TilePropertiesStep::TilePropertiesStep(TilePack& pack, qint32 index, TileProperties properties)
    : UndoStep(QStringLiteral("Tile Properties"), DocumentPart::Pack), Pack(pack), Index(index),
      Other(std::move(properties)) {}

qint64 TilePropertiesStep::Bytes() const {
    return HeapBytes(sizeof(*this)) + HeapBytes(Other.Name);
}

void TilePropertiesStep::Swap() {
    Tile& tile = Pack.At(Index);
    TileProperties now = tile.Properties();
    tile.SetProperties(Other);
    Other = std::move(now);
}

TileImageStep::TileImageStep(TilePack& pack, qint32 index, std::unique_ptr<Bitmap> image)
    : UndoStep(QStringLiteral("Replace Image"), DocumentPart::Pack), Pack(pack), Index(index),
      Other(std::move(image)) {}

TileImageStep::~TileImageStep() = default;

qint64 TileImageStep::Bytes() const {
    return HeapBytes(sizeof(*this)) + HeapBytes(sizeof(Bitmap)) + HeapBytes(Other->FileBytes()) +
           HeapBytes(Other->Picture().sizeInBytes());
}

void TileImageStep::Swap() {
    std::swap(Pack.At(Index).Image, Other);
}

TileOrderStep::TileOrderStep(TilePack& pack, TileMap& map, qint32 from, qint32 to,
                             DocumentParts parts)
    : UndoStep(QStringLiteral("Move Tile"), parts), Pack(pack), Map(map), From(from), To(to) {}

void TileOrderStep::Move(qint32 from, qint32 to) {
    Pack.Insert(to, Pack.Take(from));
    if (Parts.testFlag(DocumentPart::Map))
        ShiftCells(Map.Cells, TileShift::Move(from, to));
}

std::vector<TileIndex> IndicesAfterDeleting(qint32 count, const std::vector<qint32>& tiles) {
    std::vector<TileIndex> newIndex(static_cast<std::size_t>(count));
    TileIndex next = 0;
    auto deleted = tiles.begin();
    for (qint32 i = 0; i < count; ++i) {
        if (deleted != tiles.end() && *deleted == i) {
            newIndex[std::size_t(i)] = -1;
            ++deleted;
        } else {
            newIndex[std::size_t(i)] = next++;
        }
    }
    return newIndex;
}

TileDeleteStep::TileDeleteStep(TilePack& pack, TileMap& map, std::vector<qint32> tiles,
                               std::vector<CellRegion> cells, DocumentParts parts)
    : UndoStep(tiles.size() == 1 ? QStringLiteral("Delete Tile") : QStringLiteral("Delete Tiles"),
               parts),
      Pack(pack), Map(map), Tiles(std::move(tiles)), Cells(std::move(cells)) {}

TileDeleteStep::~TileDeleteStep() = default;

void TileDeleteStep::Redo() {
    const qint32 count = Pack.Count();
    for (auto tile = Tiles.rbegin(); tile != Tiles.rend(); ++tile)
        Out.push_back(Pack.Take(*tile));
    if (!Parts.testFlag(DocumentPart::Map))
        return;
    if (Tiles.size() == 1)
        ShiftCells(Map.Cells, TileShift::Delete(Tiles.front(), count));
    else
        RenumberCells(Map.Cells, IndicesAfterDeleting(count, Tiles));
}

void TileDeleteStep::Undo() {
    const qint32 count = Pack.Count() + qint32(Tiles.size());
    if (Parts.testFlag(DocumentPart::Map) && Tiles.size() == 1) {
        ShiftCells(Map.Cells, TileShift::Undelete(Tiles.front(), count));
        Cells.front().Fill(Map.Cells, Tiles.front());
    } else if (Parts.testFlag(DocumentPart::Map)) {
        // Back from the new indices to the old, then the deleted tiles' cells.
        const std::vector<TileIndex> newIndex = IndicesAfterDeleting(count, Tiles);
        std::vector<TileIndex> oldIndex(std::size_t(Pack.Count()));
        for (qint32 i = 0; i < count; ++i)
            if (newIndex[std::size_t(i)] >= 0)
                oldIndex[std::size_t(newIndex[std::size_t(i)])] = i;
        RenumberCells(Map.Cells, oldIndex);
        for (std::size_t i = 0; i < Tiles.size(); ++i)
            Cells[i].Fill(Map.Cells, Tiles[i]);
    }
    for (qint32 tile : Tiles) {
        Pack.Insert(tile, std::move(Out.back()));
        Out.pop_back();
    }
}

qint64 TileDeleteStep::Bytes() const {
    qint64 bytes = HeapBytes(sizeof(*this)) + HeapBytes(qint64(Tiles.capacity() * sizeof(qint32))) +
                   HeapBytes(qint64(Cells.capacity() * sizeof(CellRegion))) +
                   HeapBytes(qint64(Out.capacity() * sizeof(TileRef)));
    for (const CellRegion& region : Cells)
        bytes += region.MemoryBytes();
    for (const TileRef& tile : Out)
        bytes += TileHeapBytes(*tile);
    return bytes;
}
