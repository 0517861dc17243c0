#include "model/Tools.h"

#include <algorithm>

namespace {
// A rect of one cell.
QRect CellRect(QPoint cell) {
    return {cell, QSize(1, 1)};
}
} // namespace

TTool::TTool(TToolContext& context, QString name) : Context(context), ToolName(std::move(name)) {}

TTool::~TTool() = default;

const QString& TTool::Name() const {
    return ToolName;
}

TPaintTool::TPaintTool(TToolContext& context, QString name, std::function<bool(QPoint)> write)
    : TTool(context, std::move(name)), WriteCell(std::move(write)) {}

void TPaintTool::Press(QPoint cell) {
    // A press beside the map starts the stroke too: dragging onto the map then paints.
    Dragging = true;
    Write(cell);
}

void TPaintTool::Move(QPoint cell) {
    if (Dragging)
        Write(cell);
}

void TPaintTool::Release() {
    Dragging = false;
    Context.Document.EndStroke();
}

void TPaintTool::Write(QPoint cell) {
    if (WriteCell(cell))
        Context.CellsChanged(CellRect(cell));
}

TBrushTool::TBrushTool(TToolContext& context)
    : TPaintTool(context, QStringLiteral("Brush"), [&context](QPoint cell) {
          return context.Document.Paint(cell, context.SelectedTile());
      }) {}

TEraserTool::TEraserTool(TToolContext& context)
    : TPaintTool(context, QStringLiteral("Eraser"),
                 [&context](QPoint cell) { return context.Document.Erase(cell); }) {}

TRectangleTool::TRectangleTool(TToolContext& context)
    : TTool(context, QStringLiteral("Rectangle")) {}

void TRectangleTool::Press(QPoint cell) {
    Anchor.reset();
    if (!Context.Document.Bounds().contains(cell))
        return;
    Anchor = cell;
    Corner = cell;
}

void TRectangleTool::Move(QPoint cell) {
    Corner = cell;
}

void TRectangleTool::Release() {
    const QRect cells = Outline();
    Anchor.reset();
    if (cells.isEmpty())
        return;
    const QRect changed = Context.Document.FillRectangle(cells, Context.SelectedTile());
    if (!changed.isEmpty())
        Context.CellsChanged(changed);
}

QRect TRectangleTool::Outline() const {
    if (!Anchor)
        return {};
    const QRect dragged(
        QPoint(std::min(Anchor->x(), Corner.x()), std::min(Anchor->y(), Corner.y())),
        QPoint(std::max(Anchor->x(), Corner.x()), std::max(Anchor->y(), Corner.y())));
    return dragged & Context.Document.Bounds();
}

TFillTool::TFillTool(TToolContext& context) : TTool(context, QStringLiteral("Fill")) {}

void TFillTool::Press(QPoint cell) {
    const QRect changed = Context.Document.FillRegion(cell, Context.SelectedTile());
    if (!changed.isEmpty())
        Context.CellsChanged(changed);
}

TPickerTool::TPickerTool(TToolContext& context) : TTool(context, QStringLiteral("Picker")) {}

void TPickerTool::Press(QPoint cell) {
    if (!Context.Document.Bounds().contains(cell))
        return;
    const TileIndex tile = Context.Document.Map().Cells[cell.x()][std::size_t(cell.y())];
    if (tile >= 0 && tile < Context.Document.Pack().Count())
        Context.SelectTile(tile);
}
