#include "editing/Tools.h"

#include <algorithm>

namespace {
// A rect of one cell.
QRect CellRect(QPoint cell) {
    return {cell, QSize(1, 1)};
}
} // namespace

Tool::Tool(ToolContext& context, QString name) : Context(context), ToolName(std::move(name)) {}

Tool::~Tool() = default;

const QString& Tool::Name() const {
    return ToolName;
}

PaintTool::PaintTool(ToolContext& context, QString name, std::function<bool(QPoint)> write)
    : Tool(context, std::move(name)), WriteCell(std::move(write)) {}

void PaintTool::Press(QPoint cell) {
    // A press beside the map starts the stroke too: dragging onto the map then paints.
    Dragging = true;
    Write(cell);
}

void PaintTool::Move(QPoint cell) {
    if (Dragging)
        Write(cell);
}

void PaintTool::Release() {
    Dragging = false;
    Context.Doc.EndStroke();
}

void PaintTool::Write(QPoint cell) {
    if (WriteCell(cell))
        Context.CellsChanged(CellRect(cell));
}

BrushTool::BrushTool(ToolContext& context)
    : PaintTool(context, QStringLiteral("Brush"), [&context](QPoint cell) {
          return context.Doc.Paint(cell, context.SelectedTile());
      }) {}

EraserTool::EraserTool(ToolContext& context)
    : PaintTool(context, QStringLiteral("Eraser"),
                [&context](QPoint cell) { return context.Doc.Erase(cell); }) {}

RectangleTool::RectangleTool(ToolContext& context) : Tool(context, QStringLiteral("Rectangle")) {}

void RectangleTool::Press(QPoint cell) {
    Anchor.reset();
    if (!Context.Doc.Bounds().contains(cell))
        return;
    Anchor = cell;
    Corner = cell;
}

void RectangleTool::Move(QPoint cell) {
    Corner = cell;
}

void RectangleTool::Release() {
    const QRect cells = Outline();
    Anchor.reset();
    if (cells.isEmpty())
        return;
    const QRect changed = Context.Doc.FillRectangle(cells, Context.SelectedTile());
    if (!changed.isEmpty())
        Context.CellsChanged(changed);
}

QRect RectangleTool::Outline() const {
    if (!Anchor)
        return {};
    const QRect dragged(
        QPoint(std::min(Anchor->x(), Corner.x()), std::min(Anchor->y(), Corner.y())),
        QPoint(std::max(Anchor->x(), Corner.x()), std::max(Anchor->y(), Corner.y())));
    return dragged & Context.Doc.Bounds();
}

FillTool::FillTool(ToolContext& context) : Tool(context, QStringLiteral("Fill")) {}

void FillTool::Press(QPoint cell) {
    const QRect changed = Context.Doc.FillRegion(cell, Context.SelectedTile());
    if (!changed.isEmpty())
        Context.CellsChanged(changed);
}

PickerTool::PickerTool(ToolContext& context) : Tool(context, QStringLiteral("Picker")) {}

void PickerTool::Press(QPoint cell) {
    if (!Context.Doc.Bounds().contains(cell))
        return;
    const TileIndex tile = Context.Doc.Map().Cells[cell.x()][std::size_t(cell.y())];
    if (tile >= 0 && tile < Context.Doc.Pack().Count())
        Context.SelectTile(tile);
}
