#pragma once

// The document: the one way the map and the tile pack change. Every change is a step of its
// undo history; the windows read the model freely, ask the document for changes, and follow
// its Changed signal.

#include "document/History.h"
#include "model/CellSelection.h"
#include "model/TileMap.h"
#include "model/TilePack.h"

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class PaintStep;
class Stamp;

// Where Resize Map puts the old cells in the new map: one of nine places, row by row.
enum class MapAnchor {
    TopLeft,
    Top,
    TopRight,
    Left,
    Centre,
    Right,
    BottomLeft,
    Bottom,
    BottomRight
};

class Document : public QObject {
    Q_OBJECT
public:
    // An empty map of cells tileSize pixels wide and an empty pack, both the document's own.
    explicit Document(qint32 tileSize = 48);
    ~Document() override;

    const TileMap& Map() const { return TheMap; }
    const TilePack& Pack() const { return ThePack; }
    // The map and the pack themselves, for setting them up before work starts (the window's
    // first map, a test's scene): what is changed here is no step and is not signalled.
    TileMap& MutableMap() { return TheMap; }
    TilePack& MutablePack() { return ThePack; }
    // The files the map and the pack were last opened from or saved to; empty for none.
    const QString& MapPath() const { return MapFileName; }
    const QString& PackPath() const { return PackFileName; }
    // The map's cells as a rect of cells: columns across, rows down, from (0, 0).
    QRect Bounds() const;

    // The cells the editing verbs work on. Selecting is no step of the history; a map of
    // another size (a new map, a load, a resize, their undo) starts with nothing selected.
    // Where cells are selected, Paint, Erase, PaintStamp and FillRegion change only those.
    const CellSelection& Selection() const { return Selected; }
    // The Select tool: the cells of a rect, clipped to the map.
    void Select(const QRect& cells, CellSelection::Combine how);
    // The Magic Wand: the region of equal cells around cell, as Fill finds it.
    void SelectRegion(QPoint cell, CellSelection::Combine how);
    // Every cell of the map that holds tile.
    void SelectTile(TileIndex tile, CellSelection::Combine how);
    void SelectAll();
    void SelectNone();

    // Writes tile into a map cell (column, row) as part of the open stroke, which the first
    // change opens. A cell outside the map changes nothing. Returns whether the cell changed.
    bool Paint(QPoint cell, TileIndex tile);
    // The cells of stamp other than -1, its top-left cell at topLeft, as part of the open
    // stroke, "Stamp". Returns the box of the cells changed; empty when none did.
    QRect PaintStamp(QPoint topLeft, const Stamp& stamp);
    // Paint with -1, as a stroke of its own kind, "Erase".
    bool Erase(QPoint cell);
    // Closes the open stroke: every cell it changed is one step, "Paint" or "Erase". Every
    // other change, and a stroke of the other kind, closes it first.
    void EndStroke();
    bool StrokeOpen() const { return Stroke != nullptr; }
    // Puts back every cell the open stroke changed; no step.
    void CancelStroke();

    // "Delete" or "Cut" (name): every selected cell becomes -1. Returns the box of the cells
    // changed; an empty rect, and no step, when none did.
    QRect ClearSelected(const QString& name);
    // "Replace Tile": every cell holding from, of the selection when inSelection, becomes to.
    // Returns how many cells changed; no step when none did.
    qint64 ReplaceTile(TileIndex from, TileIndex to, bool inSelection);

    // "Fill": the 4-connected region of cells equal to cell becomes tile. Returns the bounding
    // box of the cells changed; an empty rect, and no step, when cell lies outside the map or
    // already holds tile.
    QRect FillRegion(QPoint cell, TileIndex tile);
    // Fill in Random Mode: each cell of the region takes a tile draw() gives.
    QRect FillRegion(QPoint cell, const std::function<TileIndex()>& draw);
    // "Rectangle": the cells of the rectangle, normalized and clipped to the map, become tile.
    // Returns the bounding box of the cells changed; an empty rect, and no step, when none is.
    // (A rect between two corner cells given in any order is QRect(min corner, max corner):
    // QRect(corner, otherCorner).normalized() loses a column and row when they are reversed.)
    QRect FillRectangle(const QRect& cells, TileIndex tile);

    // "Add Tile": a tile named after the image file, with its image, at the end of the pack.
    void AddTile(const QString& imageFile);
    // "Delete Tile": the tile goes; the map's cells that held it become -1 and those of later
    // tiles take their new indices, so every other cell keeps its tile. Throws EListError for
    // an index outside the pack.
    void DeleteTile(qint32 index);
    // "Delete Tiles": DeleteTile for several tiles at once, one step.
    void DeleteTiles(std::vector<qint32> tiles);
    // "Move Tile": the tile at from goes to to, the tiles between moving by one; the map's
    // cells follow their tiles. Throws EListError for an index outside the pack.
    void MoveTile(qint32 from, qint32 to);
    // "Tile Properties": the tile's name and values. Throws EFormatError for a name the pack
    // file cannot hold (PackFile::NameProblem), EListError for an index outside the pack; no
    // step when nothing changes.
    void SetTileProperties(qint32 index, const TileProperties& properties);
    // "Replace Image": the tile's picture from an image file; its index, name and values stay.
    // Throws the image's errors, changing nothing.
    void ReplaceTileImage(qint32 index, const QString& imageFile);
    // "New Map": empty texts and width × height cells of 0, and no file: the map is saved
    // where the user says.
    void NewMap(qint32 width, qint32 height, qint32 tileSize);
    // "Resize Map": the map becomes width × height cells; the old cell (x, y) goes to
    // (x + offset.x, y + offset.y) where that lies inside, and the other cells are -1. The texts
    // and the file stay. Throws ESizeError for a size New Map refuses, changing nothing; no
    // step when the size stays and the offset is none.
    void ResizeMap(qint32 width, qint32 height, QPoint offset);
    // The offset that puts a map of from cells at anchor in a map of to cells. Centred, it
    // rounds toward the top and left.
    static QPoint AnchorOffset(QSize from, QSize to, MapAnchor anchor);
    // "Load TilePack": the tiles of a pack file replace the pack's, and the map names
    // packName. The pack then counts as saved.
    void LoadPack(const QString& fileName, const QByteArray& packName);
    // Open Map: the texts and cells of map and the tiles of pack, both just read from their
    // files, replace the document's, which starts a fresh history. The tile size stays.
    void Open(TileMap& map, TilePack& pack, const QString& mapFile, const QString& packFile);
    // Work restored from a recovery copy (or imported): as Open, but the map takes map's tile
    // size too, and the parts in unsaved count as differing from their files.
    void Restore(TileMap& map, TilePack& pack, const QString& mapFile, const QString& packFile,
                 DocumentParts unsaved);

    // Save: the map's first text becomes "testing!!!", as every save of the editor has done,
    // then the map is written. Throws the writer's errors; the text stays changed then.
    void SaveMap(const QString& fileName);
    // Save Tile Pack: the desktop pack is written, then the map names packName.
    void SavePack(const QString& fileName, const QByteArray& packName);

    void Undo();
    void Redo();
    const History& UndoHistory() const { return Steps; }
    void SetHistoryLimit(qint64 bytes) { Steps.SetLimit(bytes); }
    // The parts that differ from their files.
    DocumentParts Unsaved() const { return Steps.Unsaved(); }
    // Forgets every step; the parts not in unsaved count as saved from now on.
    void ResetHistory(DocumentParts unsaved = {});
    // Counts the changes of a part's content, strokes' cells included.
    quint64 Revision(DocumentPart part) const {
        return Revisions[part == DocumentPart::Map ? 0 : 1];
    }

signals:
    // After every change the document makes. content names the parts whose content changed;
    // it is empty when only the history or what counts as saved did. cells is the box of map
    // cells (columns across, rows down) when the change touched those alone, and empty when it
    // touched none or may have touched any (a new map, a load, undo of either).
    void Changed(DocumentParts content, const QRect& cells);
    // After the selection changed.
    void SelectionChanged();

private:
    // Does a step, adds it to the history, and says so.
    void Do(std::unique_ptr<UndoStep>&& step, DocumentParts savedAfter = {});
    // Adds a step already done to the history, and says so; undoes it if it cannot be added.
    void Record(std::unique_ptr<UndoStep>&& step, DocumentParts savedAfter = {});
    // Paint and Erase: a cell of the open stroke named name.
    bool StrokeCell(QPoint cell, TileIndex tile, const QString& name);
    // Moves the revisions of the parts on.
    void CountChange(DocumentParts parts);
    // Whether a change may write cell: any, when nothing is selected.
    bool Writable(QPoint cell) const { return Selected.Empty() || Selected.Contains(cell); }
    // A selection of the map's size: the old one when the size is the same, else none.
    void FitSelection();

    // First, so that the steps, which refer to them, go before them.
    TileMap TheMap;
    TilePack ThePack;
    History Steps;
    std::unique_ptr<PaintStep> Stroke;
    QString MapFileName;
    QString PackFileName;
    std::array<quint64, 2> Revisions{};
    CellSelection Selected;
};
