#include "document/Document.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "document/TileSteps.h"
#include "model/CellRegion.h"
#include "model/Stamp.h"
#include "model/TileUsage.h"
#include "platform/Bitmap.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <climits>
#include <span>
#include <vector>

namespace {
// One cell a stroke changed: its place in the grid, column by column, and both values.
struct CellChange {
    quint32 Cell;
    TileIndex Before;
    TileIndex After;
};
static_assert(sizeof(CellChange) == 12);

// A box of cells exchanged with the values held here: done, it holds what the box held
// before; undone, what it holds after. Swapping again and again takes no new memory.
struct BoxSwap {
    QRect Box;
    CellGrid Other; // the box's size

    // Other's cells are not set: whoever writes the box keeps each cell there as it goes, in
    // the same pass.
    explicit BoxSwap(const QRect& box) : Box(box), Other(box.width(), box.height()) {}
    void Swap(CellGrid& grid) {
        // The grid is the one the step changed whenever the history is whole; the check only
        // keeps a grid replaced behind the document's back from being written past.
        if (!QRect(0, 0, grid.size(), grid.Rows()).contains(Box))
            return;
        for (qint32 x = Box.left(); x <= Box.right(); ++x) {
            TileIndex* column = grid[x].data() + Box.top();
            std::swap_ranges(column, column + Box.height(), Other[x - Box.left()].data());
        }
    }
    qint64 Bytes() const { return HeapBytes(Other.Count() * qint64(sizeof(TileIndex))); }
};
} // namespace

// The cells of one stroke, in the order it changed them: single cells, or boxes where a stamp
// was placed (a stroke has one kind or the other). A cell painted over twice in one stroke
// (the tile changed under the pointer) has two changes, which undo in reverse. Delete and Cut
// are one box.
class PaintStep : public UndoStep {
public:
    PaintStep(TileMap& map, const QString& name) : UndoStep(name, DocumentPart::Map), Map(map) {}

    void Undo() override {
        for (auto swap = Swaps.rbegin(); swap != Swaps.rend(); ++swap)
            swap->Swap(Map.Cells);
        for (auto c = Changes.crbegin(); c != Changes.crend(); ++c)
            Write(c->Cell, c->Before);
    }
    void Redo() override {
        for (const CellChange& c : Changes)
            Write(c.Cell, c.After);
        for (BoxSwap& swap : Swaps)
            swap.Swap(Map.Cells);
    }
    qint64 Bytes() const override {
        qint64 bytes = HeapBytes(sizeof(*this)) +
                       HeapBytes(qint64(Changes.capacity() * sizeof(CellChange))) +
                       HeapBytes(qint64(Swaps.capacity() * sizeof(BoxSwap)));
        for (const BoxSwap& swap : Swaps)
            bytes += swap.Bytes();
        return bytes;
    }
    QRect Cells() const override { return Box; }

    std::vector<CellChange> Changes;
    std::vector<BoxSwap> Swaps;
    QRect Box; // of the cells changed

private:
    void Write(quint32 cell, TileIndex value) {
        if (cell < Map.Cells.Count())
            Map.Cells.data()[cell] = value;
    }

    TileMap& Map;
};

namespace {
QRect CellsOf(const TileMap& map) {
    return {0, 0, map.Cells.size(), map.Cells.Rows()};
}

// Whether the map's grid holds every cell of box. The grid is the one a step changed whenever
// the history is whole; the check only keeps a grid replaced behind the document's back from
// being written past.
bool GridHolds(const TileMap& map, const QRect& box) {
    return CellsOf(map).contains(box);
}

// Fill: the region it changed, one bit a cell, and the value the region held before.
class FillStep : public UndoStep {
public:
    FillStep(TileMap& map, CellRegion region, TileIndex before, TileIndex after,
             const QString& name = QStringLiteral("Fill"))
        : UndoStep(name, DocumentPart::Map), Map(map), Region(std::move(region)), Before(before),
          After(after) {}

    void Undo() override { Write(Before); }
    void Redo() override { Write(After); }
    qint64 Bytes() const override { return HeapBytes(sizeof(*this)) + Region.MemoryBytes(); }
    QRect Cells() const override { return Region.Box(); }

private:
    void Write(TileIndex value) {
        if (GridHolds(Map, Region.Box()))
            Region.Fill(Map.Cells, value);
    }

    TileMap& Map;
    const CellRegion Region;
    const TileIndex Before;
    const TileIndex After;
};

// Fill in Random Mode: the region, the value it held before, and each cell's value after, in
// the order of the region's spans.
class RandomFillStep : public UndoStep {
public:
    RandomFillStep(TileMap& map, CellRegion region, TileIndex before,
                   const std::function<TileIndex()>& draw)
        : UndoStep(QStringLiteral("Fill"), DocumentPart::Map), Map(map), Region(std::move(region)),
          Before(before), After(std::size_t(Region.Count())) {
        std::ranges::generate(After, draw);
    }

    void Undo() override {
        if (GridHolds(Map, Region.Box()))
            Region.Fill(Map.Cells, Before);
    }
    void Redo() override {
        if (!GridHolds(Map, Region.Box()))
            return;
        auto after = After.cbegin();
        Region.ForEachSpan([&](const CellSpan& span) {
            const auto count = std::ptrdiff_t(span.Y1 - span.Y0 + 1);
            std::copy_n(after, count, Map.Cells[span.X].begin() + span.Y0);
            after += count;
        });
    }
    qint64 Bytes() const override {
        return HeapBytes(sizeof(*this)) + Region.MemoryBytes() +
               HeapBytes(qint64(After.capacity() * sizeof(TileIndex)));
    }
    QRect Cells() const override { return Region.Box(); }

private:
    TileMap& Map;
    const CellRegion Region;
    const TileIndex Before;
    std::vector<TileIndex> After;
};

// Rectangle: a box of cells that all become one tile, and what each held before, column by
// column.
class RectangleStep : public UndoStep {
public:
    RectangleStep(TileMap& map, const QRect& box, TileIndex after)
        : UndoStep(QStringLiteral("Rectangle"), DocumentPart::Map), Map(map), Box(box),
          After(after), Before(std::size_t(box.width()) * std::size_t(box.height())) {
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

    TileMap& Map;
    const QRect Box;
    const TileIndex After;
    std::vector<TileIndex> Before;
};

// Add Tile: a tile that is in the pack at its end, or held here while not.
class AddTileStep : public UndoStep {
public:
    AddTileStep(TilePack& pack, TileRef added)
        : UndoStep(QStringLiteral("Add Tile"), DocumentPart::Pack), Pack(pack), Index(pack.Count()),
          Out(std::move(added)) {}

    void Undo() override { Out = Pack.Take(Index); }
    void Redo() override { Pack.Insert(Index, std::move(Out)); }
    qint64 Bytes() const override {
        return HeapBytes(sizeof(*this)) + (Out ? TileHeapBytes(*Out) : 0);
    }

private:
    TilePack& Pack;
    const qint32 Index;
    TileRef Out;
};

// New Map: the other map's content and its file, swapped in and out. A new map has no file
// yet, so Save cannot replace the one the old map came from without asking.
class MapStep : public UndoStep {
public:
    MapStep(TileMap& map, QString& mapFile, std::unique_ptr<TileMap> other)
        : UndoStep(QStringLiteral("New Map"), DocumentPart::Map), Map(map), MapFile(mapFile),
          Other(std::move(other)) {}

    void Undo() override { Swap(); }
    void Redo() override { Swap(); }
    qint64 Bytes() const override {
        return HeapBytes(sizeof(*this)) + HeapBytes(sizeof(TileMap)) +
               HeapBytes(Other->Cells.Count() * qint64(sizeof(TileIndex))) +
               HeapBytes(Other->Text1) + HeapBytes(Other->Text2) + HeapBytes(Other->PackName) +
               HeapBytes(Other->Text4) + HeapBytes(FileName);
    }

private:
    void Swap() noexcept {
        Map.SwapContent(*Other);
        std::swap(MapFile, FileName);
    }

    TileMap& Map;
    QString& MapFile;
    std::unique_ptr<TileMap> Other;
    QString FileName;
};

// Resize Map: the other grid, swapped in and out, so the step holds one grid and copies none.
// The texts and the file stay.
class ResizeStep : public UndoStep {
public:
    ResizeStep(TileMap& map, CellGrid other)
        : UndoStep(QStringLiteral("Resize Map"), DocumentPart::Map), Map(map),
          Other(std::move(other)) {}

    void Undo() override { Swap(); }
    void Redo() override { Swap(); }
    qint64 Bytes() const override {
        return HeapBytes(sizeof(*this)) + HeapBytes(Other.Count() * qint64(sizeof(TileIndex)));
    }

private:
    void Swap() noexcept {
        CellGrid cells = std::move(Map.Cells);
        Map.SetCells(std::move(Other));
        Other = std::move(cells);
    }

    TileMap& Map;
    CellGrid Other;
};

// The cells of from in a new grid of columns × rows, each moved by offset; cells no old one
// reaches are -1. Every new cell is written once, column by column as the grids keep them.
CellGrid MovedCells(const CellGrid& from, qint32 columns, qint32 rows, QPoint offset) {
    CellGrid to(columns, rows);
    // The rows old cells reach, the same in every column; 64 bits, as any offset may be asked.
    const qint64 top = std::clamp<qint64>(offset.y(), 0, rows);
    const qint64 bottom = std::clamp<qint64>(qint64(offset.y()) + from.Rows(), top, rows);
    for (qint32 x = 0; x < columns; ++x) {
        const std::span<TileIndex> column = to[x];
        const qint64 old = qint64(x) - offset.x();
        if (old < 0 || old >= from.size() || top == bottom) {
            std::ranges::fill(column, -1);
            continue;
        }
        const auto kept =
            from[qint32(old)].subspan(std::size_t(top - offset.y()), std::size_t(bottom - top));
        std::fill(column.begin(), column.begin() + top, -1);
        std::ranges::copy(kept, column.begin() + top);
        std::fill(column.begin() + bottom, column.end(), -1);
    }
    return to;
}

// Load TilePack: the other tiles, the name the map gives its pack and the pack's file, swapped
// in and out.
class PackStep : public UndoStep {
public:
    PackStep(TilePack& pack, TileMap& map, QString& packFile, std::vector<TileRef> tiles,
             QByteArray packName, QString fileName)
        : UndoStep(QStringLiteral("Load TilePack"), map.PackName == packName
                                                        ? DocumentParts(DocumentPart::Pack)
                                                        : DocumentPart::Pack | DocumentPart::Map),
          Pack(pack), Map(map), PackFile(packFile), Tiles(std::move(tiles)),
          PackName(std::move(packName)), FileName(std::move(fileName)) {}

    void Undo() override { Swap(); }
    void Redo() override { Swap(); }
    qint64 Bytes() const override {
        qint64 bytes = HeapBytes(sizeof(*this)) +
                       HeapBytes(qint64(Tiles.capacity() * sizeof(TileRef))) + HeapBytes(PackName) +
                       HeapBytes(FileName);
        for (const TileRef& tile : Tiles)
            bytes += TileHeapBytes(*tile);
        return bytes;
    }

private:
    void Swap() noexcept {
        std::swap(Pack.Tiles, Tiles);
        std::swap(Map.PackName, PackName);
        std::swap(PackFile, FileName);
    }

    TilePack& Pack;
    TileMap& Map;
    QString& PackFile;
    std::vector<TileRef> Tiles;
    QByteArray PackName;
    QString FileName;
};
} // namespace

Document::Document(qint32 tileSize) : TheMap(tileSize) {
    // First of all the receivers: the views find the selection fitting the map they draw.
    connect(this, &Document::Changed, this, &Document::FitSelection);
}

Document::~Document() = default;

void Document::CountChange(DocumentParts parts) {
    if (parts.testFlag(DocumentPart::Map))
        ++Revisions[0];
    if (parts.testFlag(DocumentPart::Pack))
        ++Revisions[1];
}

QRect Document::Bounds() const {
    return CellsOf(TheMap);
}

bool Document::Paint(QPoint cell, TileIndex tile) {
    return StrokeCell(cell, tile, QStringLiteral("Paint"));
}

bool Document::Erase(QPoint cell) {
    return StrokeCell(cell, -1, QStringLiteral("Erase"));
}

bool Document::StrokeCell(QPoint cell, TileIndex tile, const QString& name) {
    if (!Bounds().contains(cell) || !Writable(cell))
        return false;
    TileIndex& value = TheMap.Cells[cell.x()][std::size_t(cell.y())];
    if (value == tile)
        return false;
    if (Stroke && Stroke->Name != name)
        EndStroke();
    if (!Stroke)
        Stroke = std::make_unique<PaintStep>(TheMap, name);
    // The grid holds at most 2^28 cells, so a place in it fits 32 bits.
    Stroke->Changes.push_back(
        {quint32(qint64(cell.x()) * TheMap.Cells.Rows() + cell.y()), value, tile});
    Stroke->Box |= QRect(cell, QSize(1, 1));
    value = tile;
    CountChange(DocumentPart::Map);
    return true;
}

QRect Document::PaintStamp(QPoint topLeft, const Stamp& stamp) {
    const QRect box = QRect(topLeft, QSize(stamp.Width(), stamp.Height())) & Bounds();
    if (box.isEmpty())
        return {};
    const QString name = QStringLiteral("Stamp");
    if (Stroke && Stroke->Name != name)
        EndStroke();
    // What the box holds is kept first; then the stamp is written over it.
    BoxSwap swap(box);
    const bool anywhere = Selected.Empty();
    TileIndex changes = 0; // any bit set where a cell changed
    for (qint32 x = box.left(); x <= box.right(); ++x) {
        const TileIndex* from = stamp.Column(x - topLeft.x()) + (box.top() - topLeft.y());
        TileIndex* cell = TheMap.Cells[x].data() + box.top();
        TileIndex* kept = swap.Other[x - box.left()].data();
        if (anywhere) {
            // One pass, no branch a cell: the compiler vectorises it.
            for (qint32 i = 0; i < box.height(); ++i) {
                const TileIndex old = cell[i];
                const TileIndex placed = from[i] == -1 ? old : from[i];
                kept[i] = old;
                changes |= placed ^ old;
                cell[i] = placed;
            }
            continue;
        }
        std::copy_n(cell, box.height(), kept);
        for (qint32 y = box.top(); y <= box.bottom(); ++y, ++from, ++cell)
            if (*from != -1 && Selected.Contains(x, y)) {
                changes |= *from ^ *cell;
                *cell = *from;
            }
    }
    if (changes == 0)
        return {};
    try {
        if (!Stroke)
            Stroke = std::make_unique<PaintStep>(TheMap, name);
        Stroke->Swaps.push_back(std::move(swap));
    } catch (...) {
        swap.Swap(TheMap.Cells); // a stroke that cannot keep the box leaves the map as it was
        throw;
    }
    Stroke->Box |= box;
    CountChange(DocumentPart::Map);
    return box;
}

void Document::CancelStroke() {
    if (!Stroke)
        return;
    Stroke->Undo();
    const QRect cells = Stroke->Box;
    Stroke.reset();
    CountChange(DocumentPart::Map);
    emit Changed(DocumentPart::Map, cells);
}

void Document::EndStroke() {
    if (!Stroke)
        return;
    std::unique_ptr<UndoStep> stroke = std::move(Stroke);
    static_cast<PaintStep&>(*stroke).Changes.shrink_to_fit();
    static_cast<PaintStep&>(*stroke).Swaps.shrink_to_fit();
    const QRect cells = stroke->Cells();
    try {
        Steps.Push(std::move(stroke));
    } catch (...) {
        // The cells stay painted, but no step can take them back.
        Steps.MarkUnsaved(DocumentPart::Map);
        emit Changed(DocumentPart::Map, cells);
        throw;
    }
    emit Changed(DocumentPart::Map, cells);
}

void Document::Do(std::unique_ptr<UndoStep>&& step, DocumentParts savedAfter) {
    step->Redo();
    Record(std::move(step), savedAfter);
}

void Document::Record(std::unique_ptr<UndoStep>&& step, DocumentParts savedAfter) {
    UndoStep& done = *step;
    // A step larger than the history's limit goes at once.
    const DocumentParts parts = done.Parts;
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

QRect Document::FillRegion(QPoint cell, TileIndex tile) {
    EndStroke();
    if (!Bounds().contains(cell))
        return {};
    const TileIndex before = TheMap.Cells[cell.x()][std::size_t(cell.y())];
    if (!Selected.Empty()) {
        // Only the selected cells, found first: the flood fill below would cross the
        // selection's edge.
        CellRegion region = RegionAround(TheMap.Cells, cell.x(), cell.y(), &Selected);
        if (region.Count() == 0 || before == tile)
            return {};
        const QRect box = region.Box();
        Do(std::make_unique<FillStep>(TheMap, std::move(region), before, tile));
        return box;
    }
    // The flood fill changes the cells as it finds them, so the step is recorded done.
    CellRegion region = FloodFill(TheMap.Cells, cell.x(), cell.y(), tile);
    if (region.Count() == 0)
        return {};
    const QRect box = region.Box();
    std::unique_ptr<UndoStep> step;
    try {
        // The region moves into the step only once its memory is there.
        step = std::make_unique<FillStep>(TheMap, std::move(region), before, tile);
    } catch (...) {
        region.Fill(TheMap.Cells, before);
        throw;
    }
    Record(std::move(step));
    return box;
}

QRect Document::FillRegion(QPoint cell, const std::function<TileIndex()>& draw) {
    EndStroke();
    if (!Bounds().contains(cell))
        return {};
    const TileIndex before = TheMap.Cells[cell.x()][std::size_t(cell.y())];
    CellRegion region =
        RegionAround(TheMap.Cells, cell.x(), cell.y(), Selected.Empty() ? nullptr : &Selected);
    if (region.Count() == 0)
        return {};
    const QRect box = region.Box();
    Do(std::make_unique<RandomFillStep>(TheMap, std::move(region), before, draw));
    return box;
}

QRect Document::ClearSelected(const QString& name) {
    EndStroke();
    FitSelection(); // after changes of the map no step made
    const QRect box = Selected.Box();
    if (box.isEmpty())
        return {};
    auto step = std::make_unique<PaintStep>(TheMap, name);
    step->Swaps.emplace_back(box);
    step->Box = box;
    CellGrid& before = step->Swaps.back().Other;
    const bool whole = Selected.IsRectangle();
    bool changes = false;
    for (qint32 x = box.left(); x <= box.right(); ++x) {
        TileIndex* cell = TheMap.Cells[x].data() + box.top();
        TileIndex* kept = before[x - box.left()].data();
        if (whole) {
            TileIndex filled = -1; // all bits set while every cell was empty
            for (qint32 i = 0; i < box.height(); ++i) {
                kept[i] = cell[i];
                filled &= cell[i];
                cell[i] = -1;
            }
            changes = changes || filled != -1;
            continue;
        }
        std::copy_n(cell, box.height(), kept);
        for (qint32 y = box.top(); y <= box.bottom(); ++y, ++cell)
            if (Selected.Contains(x, y)) {
                changes = changes || *cell != -1;
                *cell = -1;
            }
    }
    if (!changes)
        return {}; // every selected cell was empty: nothing was written
    // Done already: the box holds what Redo would write, the step what Undo puts back.
    Record(std::move(step));
    return box;
}

qint64 Document::ReplaceTile(TileIndex from, TileIndex to, bool inSelection) {
    EndStroke();
    if (from == to || (inSelection && Selected.Empty()))
        return 0;
    CellRegion region =
        CellsHoldingTile(TheMap.Cells, from, inSelection ? Selected.Box() : Bounds(),
                         inSelection && !Selected.IsRectangle() ? &Selected : nullptr);
    const qint64 count = region.Count();
    if (count > 0)
        Do(std::make_unique<FillStep>(TheMap, std::move(region), from, to,
                                      QStringLiteral("Replace Tile")));
    return count;
}

void Document::Select(const QRect& cells, CellSelection::Combine how) {
    FitSelection(); // after changes of the map no step made
    Selected.Apply(cells, how);
    emit SelectionChanged();
}

void Document::SelectRegion(QPoint cell, CellSelection::Combine how) {
    FitSelection(); // after changes of the map no step made
    Selected.Apply(RegionAround(TheMap.Cells, cell.x(), cell.y()), how);
    emit SelectionChanged();
}

void Document::SelectTile(TileIndex tile, CellSelection::Combine how) {
    FitSelection(); // after changes of the map no step made
    Selected.Apply(CellsHoldingTile(TheMap.Cells, tile, Bounds()), how);
    emit SelectionChanged();
}

void Document::SelectAll() {
    FitSelection(); // after changes of the map no step made
    Selected.SelectAll();
    emit SelectionChanged();
}

void Document::SelectNone() {
    if (Selected.Empty())
        return;
    Selected.Clear();
    emit SelectionChanged();
}

void Document::FitSelection() {
    if (Selected.Width() == TheMap.Cells.size() && Selected.Height() == TheMap.Cells.Rows())
        return;
    const bool had = !Selected.Empty();
    Selected = CellSelection(TheMap.Cells.size(), TheMap.Cells.Rows());
    if (had)
        emit SelectionChanged();
}

QRect Document::FillRectangle(const QRect& cells, TileIndex tile) {
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
    Do(std::make_unique<RectangleStep>(TheMap, box, tile));
    return box;
}

void Document::AddTile(const QString& imageFile) {
    EndStroke();
    TileRef tile = std::make_unique<Tile>();
    tile->Name = Tile::NameOfFile(imageFile);
    tile->Image->LoadFromFile(imageFile); // a tile whose image fails is never added
    Do(std::make_unique<AddTileStep>(ThePack, std::move(tile)));
}

void Document::DeleteTile(qint32 index) {
    DeleteTiles({index});
}

void Document::DeleteTiles(std::vector<qint32> tiles) {
    EndStroke();
    std::ranges::sort(tiles);
    tiles.erase(std::unique(tiles.begin(), tiles.end()), tiles.end());
    if (tiles.empty())
        return;
    for (qint32 tile : {tiles.front(), tiles.back()})
        ThePack.At(tile); // refuses an index outside the pack before anything changes
    bool renumbers = false;
    std::vector<CellRegion> cells = CellsHolding(TheMap.Cells, ThePack.Count(), tiles, &renumbers);
    Do(std::make_unique<TileDeleteStep>(ThePack, TheMap, std::move(tiles), std::move(cells),
                                        renumbers ? DocumentPart::Pack | DocumentPart::Map
                                                  : DocumentParts(DocumentPart::Pack)));
}

void Document::MoveTile(qint32 from, qint32 to) {
    EndStroke();
    ThePack.At(from);
    ThePack.At(to);
    if (from == to)
        return;
    // Moved here, in one pass over the cells that also tells whether the map changed: when no
    // cell holds a tile that moves, the map's file still holds the map.
    ThePack.Insert(to, ThePack.Take(from));
    const bool renumbered = ShiftCells(TheMap.Cells, TileShift::Move(from, to));
    Record(std::make_unique<TileOrderStep>(ThePack, TheMap, from, to,
                                           renumbered ? DocumentPart::Pack | DocumentPart::Map
                                                      : DocumentParts(DocumentPart::Pack)));
}

void Document::SetTileProperties(qint32 index, const TileProperties& properties) {
    EndStroke();
    if (const QString problem = PackFile::NameProblem(Cp1251::ToUnicode(properties.Name));
        !problem.isEmpty())
        throw EFormatError(problem);
    if (ThePack.At(index).Properties() == properties)
        return;
    Do(std::make_unique<TilePropertiesStep>(ThePack, index, properties));
}

void Document::ReplaceTileImage(qint32 index, const QString& imageFile) {
    EndStroke();
    ThePack.At(index);
    auto image = std::make_unique<Bitmap>();
    image->LoadFromFile(imageFile); // an image that fails replaces nothing
    Do(std::make_unique<TileImageStep>(ThePack, index, std::move(image)));
}

void Document::NewMap(qint32 width, qint32 height, qint32 tileSize) {
    EndStroke();
    auto map = std::make_unique<TileMap>(tileSize);
    map->New(width, height, tileSize);
    Do(std::make_unique<MapStep>(TheMap, MapFileName, std::move(map)));
}

void Document::ResizeMap(qint32 width, qint32 height, QPoint offset) {
    EndStroke();
    TileMap::CheckSize(width, height, TheMap.TileSize);
    if (width == TheMap.Cells.size() && height == TheMap.Cells.Rows() && offset.isNull())
        return;
    Do(std::make_unique<ResizeStep>(TheMap, MovedCells(TheMap.Cells, width, height, offset)));
}

QPoint Document::AnchorOffset(QSize from, QSize to, MapAnchor anchor) {
    const int column = int(anchor) % 3, row = int(anchor) / 3;
    // 0 at the left or top, the whole difference at the right or bottom, and half of it in
    // the middle, shifted right by one bit so that it rounds down, toward the top and left.
    // Computed in 64 bits and kept within 32, whatever sizes are asked about.
    auto place = [](int where, qint64 difference) {
        const qint64 offset = where == 0 ? 0 : where == 2 ? difference : difference >> 1;
        return qint32(std::clamp<qint64>(offset, INT_MIN, INT_MAX));
    };
    return {place(column, qint64(to.width()) - from.width()),
            place(row, qint64(to.height()) - from.height())};
}

void Document::LoadPack(const QString& fileName, const QByteArray& packName) {
    EndStroke();
    TilePack pack;
    PackFile::Read(pack, fileName);
    Do(std::make_unique<PackStep>(ThePack, TheMap, PackFileName, std::move(pack.Tiles), packName,
                                  fileName),
       DocumentPart::Pack);
}

void Document::Open(TileMap& map, TilePack& pack, const QString& mapFile, const QString& packFile) {
    EndStroke();
    TheMap.TakeContent(map);
    ThePack.Tiles = std::move(pack.Tiles);
    MapFileName = mapFile;
    PackFileName = packFile;
    ResetHistory();
}

void Document::Restore(TileMap& map, TilePack& pack, const QString& mapFile,
                       const QString& packFile, DocumentParts unsaved) {
    EndStroke();
    TheMap.SwapContent(map);
    ThePack.Tiles = std::move(pack.Tiles);
    MapFileName = mapFile;
    PackFileName = packFile;
    ResetHistory(unsaved);
}

void Document::ResetHistory(DocumentParts unsaved) {
    Steps.Clear(unsaved);
    CountChange(DocumentPart::Map | DocumentPart::Pack);
    emit Changed(DocumentPart::Map | DocumentPart::Pack, QRect());
}

void Document::SaveMap(const QString& fileName) {
    EndStroke();
    DocumentParts changed;
    if (TheMap.Text1 != "testing!!!") {
        TheMap.Text1 = "testing!!!";
        Steps.MarkUnsaved(DocumentPart::Map);
        changed = DocumentPart::Map;
        CountChange(changed);
    }
    try {
        MapFile::Write(TheMap, fileName);
    } catch (...) {
        emit Changed(changed, QRect());
        throw;
    }
    MapFileName = fileName;
    Steps.MarkSaved(DocumentPart::Map);
    emit Changed(changed, QRect());
}

void Document::SavePack(const QString& fileName, const QByteArray& packName) {
    EndStroke();
    PackFile::Write(ThePack, fileName);
    PackFileName = fileName;
    Steps.MarkSaved(DocumentPart::Pack);
    DocumentParts changed;
    if (TheMap.PackName != packName) {
        // The map's file names the old pack: no state in the history is that file any more.
        TheMap.PackName = packName;
        Steps.MarkUnsaved(DocumentPart::Map);
        changed = DocumentPart::Map;
        CountChange(changed);
    }
    emit Changed(changed, QRect());
}

void Document::Undo() {
    EndStroke();
    if (!Steps.CanUndo())
        return;
    const QRect cells = Steps.UndoCells();
    const DocumentParts parts = Steps.Undo();
    CountChange(parts);
    emit Changed(parts, cells);
}

void Document::Redo() {
    EndStroke();
    if (!Steps.CanRedo())
        return;
    const QRect cells = Steps.RedoCells();
    const DocumentParts parts = Steps.Redo();
    CountChange(parts);
    emit Changed(parts, cells);
}
