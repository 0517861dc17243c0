#pragma once

// The editing tools. The map view passes each press, drag and release to the current tool in
// map cells; the tool changes the document and says which cells to draw again.

#include "document/Document.h"
#include "model/Stamp.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>
#include <random>
#include <vector>

// What a tool works with: the document it changes and the palette it reads and sets.
struct ToolContext {
    Document& Doc;
    std::function<TileIndex()> SelectedTile;              // the palette's current tile, -1 for none
    std::function<void(TileIndex)> SelectTile;            // the picker's choice
    std::function<void(const QRect& cells)> CellsChanged; // cells to draw again
    // Cells the picker dragged over, to become what the Brush paints.
    std::function<void(Stamp)> TakeStamp = [](const Stamp&) {};
    // The palette's selected tiles, which Random Mode draws from.
    std::function<std::vector<TileIndex>()> SelectedTiles = [] { return std::vector<TileIndex>(); };

    // What the Brush paints when it is more than one cell (pasted, or taken with the picker);
    // empty for the palette's tile.
    Stamp BrushStamp{};
    // Random Mode: the Brush and Fill put in each cell a tile drawn from the palette's
    // selected tiles.
    bool RandomMode = false;
    std::mt19937 Random{std::random_device()()};
    // The tile of the cell the picker last pressed, -1 for an empty one; Replace Tile offers it.
    std::optional<TileIndex> PickedTile{};

    // The tiles Random Mode draws from: the palette's selected ones; none while it is off.
    std::vector<TileIndex> RandomTiles() const;
    // A tile drawn at random from tiles, which are not empty.
    TileIndex DrawFrom(const std::vector<TileIndex>& tiles);
    // A tile drawn from RandomTiles(), or the palette's current tile when there are none.
    TileIndex DrawTile();
};

class Tool {
public:
    Tool(ToolContext& context, QString name);
    virtual ~Tool();
    const QString& Name() const;
    // The left button went down over cell, with the keys held then (Shift, Ctrl); then the
    // pointer moved onto other cells; then a button was released (any button; the right
    // button ends a drag as it always has). Cells may lie outside the map (left of it,
    // beyond it, negative): each tool decides.
    virtual void Press(QPoint cell, Qt::KeyboardModifiers keys) = 0;
    void Press(QPoint cell) { Press(cell, {}); }
    virtual void Move(QPoint /*cell*/) {}
    virtual void Release() {}
    // Esc during a drag: the drag ends and the map is as it was before it.
    virtual void Cancel() {}
    // The cells outlined while a drag is on (the rectangle being dragged, in cells, clipped to
    // the map); an empty rect when nothing is outlined.
    virtual QRect Outline() const { return {}; }

protected:
    ToolContext& Context;

private:
    const QString ToolName;
};

// The cells of a straight line between two cells, both included, each a step of one cell
// along the longer axis from the last.
std::vector<QPoint> CellsOnLine(QPoint from, QPoint to);

// A stroke: every cell the pointer passes while the button is down is written, and the
// release ends the stroke, one undo step. Shift+click writes a straight line from the last
// cell written to the one clicked. What a cell is written with is the tool's.
class PaintTool : public Tool {
public:
    using Tool::Press;
    void Press(QPoint cell, Qt::KeyboardModifiers keys) override;
    void Move(QPoint cell) override;
    void Release() override;
    void Cancel() override;

protected:
    // write changes the cells at one cell as part of the document's open stroke and returns
    // the box of those it changed.
    PaintTool(ToolContext& context, QString name, std::function<QRect(QPoint)> write);

private:
    void Write(QPoint cell);

    const std::function<QRect(QPoint)> WriteCell;
    bool Dragging = false;
    std::optional<QPoint> LastCell; // of the last stroke, where a line starts
};

// "Brush": paints the palette's tile, the stamp, or in Random Mode a tile drawn at random.
class BrushTool : public PaintTool {
public:
    explicit BrushTool(ToolContext& context);
};

// "Eraser": writes -1.
class EraserTool : public PaintTool {
public:
    explicit EraserTool(ToolContext& context);
};

// A rectangle dragged from the cell pressed to the one under the pointer, for the tool to use
// when the button is released.
class DragRectangleTool : public Tool {
public:
    using Tool::Press;
    void Press(QPoint cell, Qt::KeyboardModifiers keys) override;
    void Move(QPoint cell) override;
    void Release() override;
    void Cancel() override;
    QRect Outline() const override;

protected:
    using Tool::Tool;
    // The rect dragged (clipped to the map, maybe empty) with the keys of the press.
    virtual void Finish(const QRect& cells, Qt::KeyboardModifiers keys) = 0;
    // The rect as dragged so far, not clipped; empty when no drag is on.
    QRect Dragged() const;

private:
    std::optional<QPoint> Anchor;
    QPoint Corner;
    Qt::KeyboardModifiers Keys;
};

// "Rectangle": the release fills the rectangle with the palette's tile. A press outside the
// map anchors nothing.
class RectangleTool : public DragRectangleTool {
public:
    explicit RectangleTool(ToolContext& context);
    using Tool::Press;
    void Press(QPoint cell, Qt::KeyboardModifiers keys) override;

protected:
    void Finish(const QRect& cells, Qt::KeyboardModifiers keys) override;
};

// "Fill": the region of equal cells around the one pressed becomes the palette's tile, or in
// Random Mode tiles drawn at random.
class FillTool : public Tool {
public:
    explicit FillTool(ToolContext& context);
    using Tool::Press;
    void Press(QPoint cell, Qt::KeyboardModifiers keys) override;
};

// "Picker": the tile of the cell pressed becomes the palette's tile, when the pack has it; a
// drag over several cells takes them as the Brush's stamp.
class PickerTool : public DragRectangleTool {
public:
    explicit PickerTool(ToolContext& context);
    using Tool::Press;
    void Press(QPoint cell, Qt::KeyboardModifiers keys) override;
    QRect Outline() const override;

protected:
    void Finish(const QRect& cells, Qt::KeyboardModifiers keys) override;
};

// "Select": the rectangle dragged becomes the selection; with Shift it is added to it, with
// Ctrl taken from it. A click outside the map selects nothing.
class SelectTool : public DragRectangleTool {
public:
    explicit SelectTool(ToolContext& context);

protected:
    void Finish(const QRect& cells, Qt::KeyboardModifiers keys) override;
};

// "Magic Wand": the region of equal cells around the one clicked becomes the selection;
// Shift+click adds every cell of the map holding that tile; Ctrl takes away instead.
class MagicWandTool : public Tool {
public:
    explicit MagicWandTool(ToolContext& context);
    using Tool::Press;
    void Press(QPoint cell, Qt::KeyboardModifiers keys) override;
};
