#include "model/Document.h"

#include "model/CellRegion.h"
#include "platform/TBitmap.h"

#include <algorithm>
#include <span>
#include <vector>

namespace {
// What a tile holds in memory, its image twice: as the file it came from and decoded.
qint64 TileBytes(const tTile& tile) {
    // The decoded image is one block, its QImageData another.
    return HeapBytes(sizeof(tTile)) + HeapBytes(sizeof(TBitmap)) + HeapBytes(tile.Name) +
           HeapBytes(tile.Bitmap->FileBytes()) + HeapBytes(tile.Bitmap->Picture().sizeInBytes()) +
           (tile.Bitmap->Picture().isNull() ? 0 : HeapBytes(128));
}

// One cell a stroke changed: its place in the grid, column by column, and both values.
struct TCellChange {
    quint32 Cell;
    TileIndex Before;
    TileIndex After;
};
static_assert(sizeof(TCellChange) == 12);
} // namespace

// The cells of one stroke, in the order it changed them. A cell painted over twice in one
// stroke (the tile changed under the pointer) has two changes, which undo in reverse.
class TPaintStep : public TStep {
public:
    TPaintStep(tMap& map, const QString& name) : TStep(name, TPart::Map), Map(map) {}

    void Undo() override {
        for (auto c = Changes.crbegin(); c != Changes.crend(); ++c)
            Write(c->Cell, c->Before);
    }
    void Redo() override {
        for (const TCellChange& c : Changes)
            Write(c.Cell, c.After);
    }
    qint64 Bytes() const override {
        return HeapBytes(sizeof(*this)) +
               HeapBytes(qint64(Changes.capacity() * sizeof(TCellChange)));
    }
    QRect Cells() const override { return Box; }

    std::vector<TCellChange> Changes;
    QRect Box; // of the cells changed

private:
    void Write(quint32 cell, TileIndex value) {
        // The grid is the one the stroke painted whenever the history is whole; the check
        // only keeps a grid replaced behind the document's back from being written past.
        if (cell < Map.Cells.Count())
            Map.Cells.data()[cell] = value;
    }

    tMap& Map;
};

namespace {
QRect CellsOf(const tMap& map) {
    return {0, 0, map.Cells.size(), map.Cells.Rows()};
}

// Whether the map's grid holds every cell of box. The grid is the one a step changed whenever
// the history is whole; the check only keeps a grid replaced behind the document's back from
// being written past.
bool GridHolds(const tMap& map, const QRect& box) {
    return CellsOf(map).contains(box);
}

// Fill: the region it changed, one bit a cell, and the value the region held before.
class TFillStep : public TStep {
public:
    TFillStep(tMap& map, TCellRegion region, TileIndex before, TileIndex after)
        : TStep(QStringLiteral("Fill"), TPart::Map), Map(map), Region(std::move(region)),
          Before(before), After(after) {}

    void Undo() override { Write(Before); }
    void Redo() override { Write(After); }
    qint64 Bytes() const override { return HeapBytes(sizeof(*this)) + Region.MemoryBytes(); }
    QRect Cells() const override { return Region.Box(); }

private:
    void Write(TileIndex value) {
        if (GridHolds(Map, Region.Box()))
            Region.Fill(Map.Cells, value);
    }

    tMap& Map;
    const TCellRegion Region;
    const TileIndex Before;
    const TileIndex After;
};

// Rectangle: a box of cells that all become one tile, and what each held before, column by
// column.
class TRectangleStep : public TStep {
public:
    TRectangleStep(tMap& map, const QRect& box, TileIndex after)
        : TStep(QStringLiteral("Rectangle"), TPart::Map), Map(map), Box(box), After(after),
          Before(std::size_t(box.width()) * std::size_t(box.height())) {
        auto before = Before.begin();
        for (qint32 x = Box.left(); x <= Box.right(); ++x) {
            const auto column = Map.Cells[x].subspan(std::size_t(Box.top()), Height());
            before = std::copy(column.begin(), column.end(), before);
        }
    }

    void Undo() override {
        if (!GridHolds(Map, Box))
            return;
        auto before = Before.cbegin();
        for (qint32 x = Box.left(); x <= Box.right(); ++x, before += qsizetype(Height()))
            std::copy_n(before, Height(), Column(x).begin());
    }
    void Redo() override {
        if (!GridHolds(Map, Box))
            return;
        for (qint32 x = Box.left(); x <= Box.right(); ++x)
            std::ranges::fill(Column(x), After);
    }
    QRect Cells() const override { return Box; }
    qint64 Bytes() const override {
        return HeapBytes(sizeof(*this)) + HeapBytes(qint64(Before.capacity() * sizeof(TileIndex)));
    }

private:
    std::size_t Height() const { return std::size_t(Box.height()); }
    std::span<TileIndex> Column(qint32 x) {
        return Map.Cells[x].subspan(std::size_t(Box.top()), Height());
    }

    tMap& Map;
    const QRect Box;
    const TileIndex After;
    std::vector<TileIndex> Before;
};

// Add Tile and Delete Tile: a tile that is in the pack at Index, or held here while not.
class TTileStep : public TStep {
public:
    TTileStep(tTilePack& pack, qint32 index, TileRef added)
        : TStep(QStringLiteral("Add Tile"), TPart::Pack), Pack(pack), Index(index),
          Out(std::move(added)), Adds(true) {}
    TTileStep(tTilePack& pack, qint32 index)
        : TStep(QStringLiteral("Delete Tile"), TPart::Pack), Pack(pack), Index(index), Adds(false) {
    }

    void Undo() override { Adds ? TakeOut() : PutBack(); }
    void Redo() override { Adds ? PutBack() : TakeOut(); }
    qint64 Bytes() const override { return HeapBytes(sizeof(*this)) + (Out ? TileBytes(*Out) : 0); }

private:
    void TakeOut() { Out = Pack.Take(Index); }
    void PutBack() { Pack.Insert(Index, std::move(Out)); }

    tTilePack& Pack;
    const qint32 Index;
    TileRef Out;
    const bool Adds;
};

// New Map: the other map's content and its file, swapped in and out. A new map has no file
// yet, so Save cannot replace the one the old map came from without asking.
class TMapStep : public TStep {
public:
    TMapStep(tMap& map, QString& mapFile, std::unique_ptr<tMap> other)
        : TStep(QStringLiteral("New Map"), TPart::Map), Map(map), MapFile(mapFile),
          Other(std::move(other)) {}

    void Undo() override { Swap(); }
    void Redo() override { Swap(); }
    qint64 Bytes() const override {
        return HeapBytes(sizeof(*this)) + HeapBytes(sizeof(tMap)) +
               HeapBytes(Other->Cells.Count() * qint64(sizeof(TileIndex))) +
               HeapBytes(Other->Text1) + HeapBytes(Other->Text2) + HeapBytes(Other->PackName) +
               HeapBytes(Other->Text4) + HeapBytes(FileName);
    }

private:
    void Swap() noexcept {
        Map.SwapContent(*Other);
        std::swap(MapFile, FileName);
    }

    tMap& Map;
    QString& MapFile;
    std::unique_ptr<tMap> Other;
    QString FileName;
};

// Load TilePack: the other tiles, the name the map gives its pack and the pack's file, swapped
// in and out.
class TPackStep : public TStep {
public:
    TPackStep(tTilePack& pack, tMap& map, QString& packFile, std::vector<TileRef> tiles,
              QByteArray packName, QString fileName)
        : TStep(QStringLiteral("Load TilePack"),
                map.PackName == packName ? TParts(TPart::Pack) : TPart::Pack | TPart::Map),
          Pack(pack), Map(map), PackFile(packFile), Tiles(std::move(tiles)),
          PackName(std::move(packName)), FileName(std::move(fileName)) {}

    void Undo() override { Swap(); }
    void Redo() override { Swap(); }
    qint64 Bytes() const override {
        qint64 bytes = HeapBytes(sizeof(*this)) +
                       HeapBytes(qint64(Tiles.capacity() * sizeof(TileRef))) + HeapBytes(PackName) +
                       HeapBytes(FileName);
        for (const TileRef& tile : Tiles)
            bytes += TileBytes(*tile);
        return bytes;
    }

private:
    void Swap() noexcept {
        std::swap(Pack.Tiles, Tiles);
        std::swap(Map.PackName, PackName);
        std::swap(PackFile, FileName);
    }

    tTilePack& Pack;
    tMap& Map;
    QString& PackFile;
    std::vector<TileRef> Tiles;
    QByteArray PackName;
    QString FileName;
};
} // namespace

TDocument::TDocument(qint32 tileSize) : TheMap(tileSize) {}

TDocument::~TDocument() = default;

void TDocument::CountChange(TParts parts) {
    if (parts.testFlag(TPart::Map))
        ++Revisions[0];
    if (parts.testFlag(TPart::Pack))
        ++Revisions[1];
}

QRect TDocument::Bounds() const {
    return CellsOf(TheMap);
}

bool TDocument::Paint(QPoint cell, TileIndex tile) {
    return StrokeCell(cell, tile, QStringLiteral("Paint"));
}

bool TDocument::Erase(QPoint cell) {
    return StrokeCell(cell, -1, QStringLiteral("Erase"));
}

bool TDocument::StrokeCell(QPoint cell, TileIndex tile, const QString& name) {
    if (!Bounds().contains(cell))
        return false;
    TileIndex& value = TheMap.Cells[cell.x()][std::size_t(cell.y())];
    if (value == tile)
        return false;
    if (Stroke && Stroke->Name != name)
        EndStroke();
    if (!Stroke)
        Stroke = std::make_unique<TPaintStep>(TheMap, name);
    // The grid holds at most 2^28 cells, so a place in it fits 32 bits.
    Stroke->Changes.push_back(
        {quint32(qint64(cell.x()) * TheMap.Cells.Rows() + cell.y()), value, tile});
    Stroke->Box |= QRect(cell, QSize(1, 1));
    value = tile;
    CountChange(TPart::Map);
    return true;
}

void TDocument::EndStroke() {
    if (!Stroke)
        return;
    std::unique_ptr<TStep> stroke = std::move(Stroke);
    static_cast<TPaintStep&>(*stroke).Changes.shrink_to_fit();
    const QRect cells = stroke->Cells();
    try {
        Steps.Push(std::move(stroke));
    } catch (...) {
        // The cells stay painted, but no step can take them back.
        Steps.MarkUnsaved(TPart::Map);
        emit Changed(TPart::Map, cells);
        throw;
    }
    emit Changed(TPart::Map, cells);
}

void TDocument::Do(std::unique_ptr<TStep>&& step, TParts savedAfter) {
    step->Redo();
    Record(std::move(step), savedAfter);
}

void TDocument::Record(std::unique_ptr<TStep>&& step, TParts savedAfter) {
    TStep& done = *step;
    // A step larger than the history's limit goes at once.
    const TParts parts = done.Parts;
    const QRect cells = done.Cells();
    try {
        Steps.Push(std::move(step));
    } catch (...) {
        done.Undo();
        throw;
    }
    Steps.MarkSaved(savedAfter);
    CountChange(parts);
    emit Changed(parts, cells);
}

QRect TDocument::FillRegion(QPoint cell, TileIndex tile) {
    EndStroke();
    if (!Bounds().contains(cell))
        return {};
    const TileIndex before = TheMap.Cells[cell.x()][std::size_t(cell.y())];
    // The flood fill changes the cells as it finds them, so the step is recorded done.
    TCellRegion region = FloodFill(TheMap.Cells, cell.x(), cell.y(), tile);
    if (region.Count() == 0)
        return {};
    const QRect box = region.Box();
    std::unique_ptr<TStep> step;
    try {
        // The region moves into the step only once its memory is there.
        step = std::make_unique<TFillStep>(TheMap, std::move(region), before, tile);
    } catch (...) {
        region.Fill(TheMap.Cells, before);
        throw;
    }
    Record(std::move(step));
    return box;
}

QRect TDocument::FillRectangle(const QRect& cells, TileIndex tile) {
    EndStroke();
    const QRect area = cells.normalized() & Bounds();
    // The step keeps only the box of the cells that change.
    qint32 left = area.right() + 1, right = area.left() - 1;
    qint32 top = area.bottom() + 1, bottom = area.top() - 1;
    for (qint32 x = area.left(); x <= area.right(); ++x) {
        const auto column = TheMap.Cells[x];
        for (qint32 y = area.top(); y <= area.bottom(); ++y)
            if (column[std::size_t(y)] != tile) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    if (left > right)
        return {};
    const QRect box(QPoint(left, top), QPoint(right, bottom));
    Do(std::make_unique<TRectangleStep>(TheMap, box, tile));
    return box;
}

void TDocument::AddTile(const QString& imageFile) {
    EndStroke();
    TileRef tile = ThePack.NewTile();
    tile->Name = tTile::NameOfFile(imageFile);
    tile->Bitmap->LoadFromFile(imageFile); // a tile whose image fails is never added
    Do(std::make_unique<TTileStep>(ThePack, ThePack.Count(), std::move(tile)));
}

void TDocument::DeleteTile(qint32 index) {
    EndStroke();
    Do(std::make_unique<TTileStep>(ThePack, index));
}

void TDocument::NewMap(qint32 width, qint32 height, qint32 tileSize) {
    EndStroke();
    auto map = std::make_unique<tMap>(tileSize);
    map->New(width, height, tileSize);
    Do(std::make_unique<TMapStep>(TheMap, MapFileName, std::move(map)));
}

void TDocument::LoadPack(const QString& fileName, const QByteArray& packName) {
    EndStroke();
    tTilePack pack;
    pack.LoadFromFile(fileName);
    Do(std::make_unique<TPackStep>(ThePack, TheMap, PackFileName, std::move(pack.Tiles), packName,
                                   fileName),
       TPart::Pack);
}

void TDocument::Open(tMap& map, tTilePack& pack, const QString& mapFile, const QString& packFile) {
    EndStroke();
    TheMap.TakeContent(map);
    ThePack.Tiles = std::move(pack.Tiles);
    MapFileName = mapFile;
    PackFileName = packFile;
    ResetHistory();
}

void TDocument::Restore(tMap& map, tTilePack& pack, const QString& mapFile, const QString& packFile,
                        TParts unsaved) {
    EndStroke();
    TheMap.SwapContent(map);
    ThePack.Tiles = std::move(pack.Tiles);
    MapFileName = mapFile;
    PackFileName = packFile;
    ResetHistory(unsaved);
}

void TDocument::ResetHistory(TParts unsaved) {
    Steps.Clear(unsaved);
    CountChange(TPart::Map | TPart::Pack);
    emit Changed(TPart::Map | TPart::Pack, QRect());
}

void TDocument::SaveMap(const QString& fileName) {
    EndStroke();
    TParts changed;
    if (TheMap.Text1 != "testing!!!") {
        TheMap.Text1 = "testing!!!";
        Steps.MarkUnsaved(TPart::Map);
        changed = TPart::Map;
        CountChange(changed);
    }
    try {
        TheMap.SaveToFile(fileName);
    } catch (...) {
        emit Changed(changed, QRect());
        throw;
    }
    MapFileName = fileName;
    Steps.MarkSaved(TPart::Map);
    emit Changed(changed, QRect());
}

void TDocument::SavePack(const QString& fileName, const QByteArray& packName) {
    EndStroke();
    ThePack.SaveToFile(fileName, true, QString());
    PackFileName = fileName;
    Steps.MarkSaved(TPart::Pack);
    TParts changed;
    if (TheMap.PackName != packName) {
        // The map's file names the old pack: no state in the history is that file any more.
        TheMap.PackName = packName;
        Steps.MarkUnsaved(TPart::Map);
        changed = TPart::Map;
        CountChange(changed);
    }
    emit Changed(changed, QRect());
}

void TDocument::Undo() {
    EndStroke();
    if (!Steps.CanUndo())
        return;
    const QRect cells = Steps.UndoCells();
    const TParts parts = Steps.Undo();
    CountChange(parts);
    emit Changed(parts, cells);
}

void TDocument::Redo() {
    EndStroke();
    if (!Steps.CanRedo())
        return;
    const QRect cells = Steps.RedoCells();
    const TParts parts = Steps.Redo();
    CountChange(parts);
    emit Changed(parts, cells);
}
