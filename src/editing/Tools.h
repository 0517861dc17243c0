#pragma once

// The editing tools. The map view passes each press, drag and release to the current tool in
// map cells; the tool changes the document and says which cells to draw again.

#include "document/Document.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>

// What a tool works with: the document it changes and the palette it reads and sets.
struct ToolContext {
    Document& Doc;
    std::function<TileIndex()> SelectedTile;              // the palette's selection, -1 for none
    std::function<void(TileIndex)> SelectTile;            // the picker's choice
    std::function<void(const QRect& cells)> CellsChanged; // cells to draw again
};

class Tool {
public:
    Tool(ToolContext& context, QString name);
    virtual ~Tool();
    const QString& Name() const;
    // The left button went down over cell; then the pointer moved onto other cells; then a
    // button was released (any button; the right button ends a drag as it always has).
    // Cells may lie outside the map (left of it, beyond it, negative): each tool decides.
    virtual void Press(QPoint cell) = 0;
    virtual void Move(QPoint /*cell*/) {}
    virtual void Release() {}
    // The cells outlined while a drag is on (the rectangle being dragged, in cells, clipped to
    // the map); an empty rect when nothing is outlined.
    virtual QRect Outline() const { return {}; }

protected:
    ToolContext& Context;

private:
    const QString ToolName;
};

// A stroke: every cell the pointer passes while the button is down is written, and the
// release ends the stroke, one undo step. What a cell is written with is the tool's.
class PaintTool : public Tool {
public:
    void Press(QPoint cell) override;
    void Move(QPoint cell) override;
    void Release() override;

protected:
    // write changes one cell as part of the document's open stroke and says whether it did.
    PaintTool(ToolContext& context, QString name, std::function<bool(QPoint)> write);

private:
    void Write(QPoint cell);

    const std::function<bool(QPoint)> WriteCell;
    bool Dragging = false;
};

// "Brush": paints the palette's selection.
class BrushTool : public PaintTool {
public:
    explicit BrushTool(ToolContext& context);
};

// "Eraser": writes -1.
class EraserTool : public PaintTool {
public:
    explicit EraserTool(ToolContext& context);
};

// "Rectangle": the press anchors a corner, the drag moves the opposite one, and the release
// fills the rectangle with the palette's selection. A press outside the map anchors nothing.
class RectangleTool : public Tool {
public:
    explicit RectangleTool(ToolContext& context);
    void Press(QPoint cell) override;
    void Move(QPoint cell) override;
    void Release() override;
    QRect Outline() const override;

private:
    std::optional<QPoint> Anchor;
    QPoint Corner;
};

// "Fill": the region of equal cells around the one pressed becomes the palette's selection.
class FillTool : public Tool {
public:
    explicit FillTool(ToolContext& context);
    void Press(QPoint cell) override;
};

// "Picker": the tile of the cell pressed becomes the palette's selection, when the pack has it.
class PickerTool : public Tool {
public:
    explicit PickerTool(ToolContext& context);
    void Press(QPoint cell) override;
};
