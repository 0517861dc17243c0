#include "editing/Tools.h"

#include <algorithm>
#include <cstdlib>

namespace {
// A rect of one cell.
QRect CellRect(QPoint cell) {
    return {cell, QSize(1, 1)};
}

// How keys held at a press combine a new set of cells with the selection.
CellSelection::Combine CombineFor(Qt::KeyboardModifiers keys) {
    if (keys.testFlag(Qt::ControlModifier))
        return CellSelection::Combine::Subtract;
    if (keys.testFlag(Qt::ShiftModifier))
        return CellSelection::Combine::Add;
    return CellSelection::Combine::Replace;
}
} // namespace

std::vector<TileIndex> ToolContext::RandomTiles() const {
    return RandomMode ? SelectedTiles() : std::vector<TileIndex>();
}

TileIndex ToolContext::DrawFrom(const std::vector<TileIndex>& tiles) {
    return tiles[std::uniform_int_distribution<std::size_t>(0, tiles.size() - 1)(Random)];
}

TileIndex ToolContext::DrawTile() {
    const std::vector<TileIndex> tiles = RandomTiles();
    return tiles.empty() ? SelectedTile() : DrawFrom(tiles);
}

Tool::Tool(ToolContext& context, QString name) : Context(context), ToolName(std::move(name)) {}

Tool::~Tool() = default;

const QString& Tool::Name() const {
    return ToolName;
}

std::vector<QPoint> CellsOnLine(QPoint from, QPoint to) {
    // Bresenham's: the minor axis steps when the error passes half a cell.
    const int dx = std::abs(to.x() - from.x()), sx = from.x() < to.x() ? 1 : -1;
    const int dy = -std::abs(to.y() - from.y()), sy = from.y() < to.y() ? 1 : -1;
    std::vector<QPoint> cells;
    cells.reserve(std::size_t(std::max(dx, -dy)) + 1);
    int error = dx + dy;
    for (QPoint cell = from;;) {
        cells.push_back(cell);
        if (cell == to)
            return cells;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            cell.rx() += sx;
        }
        if (twice <= dx) {
            error += dx;
            cell.ry() += sy;
        }
    }
}

PaintTool::PaintTool(ToolContext& context, QString name, std::function<QRect(QPoint)> write)
    : Tool(context, std::move(name)), WriteCell(std::move(write)) {}

void PaintTool::Press(QPoint cell, Qt::KeyboardModifiers keys) {
    // A press beside the map starts the stroke too: dragging onto the map then paints.
    Dragging = true;
    if (keys.testFlag(Qt::ShiftModifier) && LastCell) {
        for (const QPoint& on : CellsOnLine(*LastCell, cell))
            Write(on);
        return;
    }
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

void PaintTool::Cancel() {
    Dragging = false;
    Context.Doc.CancelStroke();
}

void PaintTool::Write(QPoint cell) {
    LastCell = cell;
    if (const QRect changed = WriteCell(cell); !changed.isEmpty())
        Context.CellsChanged(changed);
}

BrushTool::BrushTool(ToolContext& context)
    : PaintTool(context, QStringLiteral("Brush"), [&context](QPoint cell) {
          if (!context.RandomMode && !context.BrushStamp.Empty())
              return context.Doc.PaintStamp(cell, context.BrushStamp);
          return context.Doc.Paint(cell, context.DrawTile()) ? CellRect(cell) : QRect();
      }) {}

EraserTool::EraserTool(ToolContext& context)
    : PaintTool(context, QStringLiteral("Eraser"), [&context](QPoint cell) {
          return context.Doc.Erase(cell) ? CellRect(cell) : QRect();
      }) {}

void DragRectangleTool::Press(QPoint cell, Qt::KeyboardModifiers keys) {
    Anchor = cell;
    Corner = cell;
    Keys = keys;
}

void DragRectangleTool::Move(QPoint cell) {
    Corner = cell;
}

void DragRectangleTool::Release() {
    if (!Anchor)
        return;
    const QRect cells = Dragged() & Context.Doc.Bounds();
    Anchor.reset();
    Finish(cells, Keys);
}

void DragRectangleTool::Cancel() {
    Anchor.reset();
}

QRect DragRectangleTool::Dragged() const {
    if (!Anchor)
        return {};
    return {QPoint(std::min(Anchor->x(), Corner.x()), std::min(Anchor->y(), Corner.y())),
            QPoint(std::max(Anchor->x(), Corner.x()), std::max(Anchor->y(), Corner.y()))};
}

QRect DragRectangleTool::Outline() const {
    return Dragged() & Context.Doc.Bounds();
}

RectangleTool::RectangleTool(ToolContext& context)
    : DragRectangleTool(context, QStringLiteral("Rectangle")) {}

void RectangleTool::Press(QPoint cell, Qt::KeyboardModifiers keys) {
    if (Context.Doc.Bounds().contains(cell))
        DragRectangleTool::Press(cell, keys);
}

void RectangleTool::Finish(const QRect& cells, Qt::KeyboardModifiers) {
    if (cells.isEmpty())
        return;
    const QRect changed = Context.Doc.FillRectangle(cells, Context.SelectedTile());
    if (!changed.isEmpty())
        Context.CellsChanged(changed);
}

FillTool::FillTool(ToolContext& context) : Tool(context, QStringLiteral("Fill")) {}

void FillTool::Press(QPoint cell, Qt::KeyboardModifiers) {
    // The palette is asked once, not for each of the region's cells.
    const std::vector<TileIndex> tiles = Context.RandomTiles();
    const QRect changed =
        tiles.empty() ? Context.Doc.FillRegion(cell, Context.SelectedTile())
                      : Context.Doc.FillRegion(cell, [&] { return Context.DrawFrom(tiles); });
    if (!changed.isEmpty())
        Context.CellsChanged(changed);
}

PickerTool::PickerTool(ToolContext& context)
    : DragRectangleTool(context, QStringLiteral("Picker")) {}

void PickerTool::Press(QPoint cell, Qt::KeyboardModifiers keys) {
    if (!Context.Doc.Bounds().contains(cell))
        return;
    DragRectangleTool::Press(cell, keys);
    const TileIndex tile = Context.Doc.Map().Cells[cell.x()][std::size_t(cell.y())];
    Context.PickedTile = tile;
    if (tile >= 0 && tile < Context.Doc.Pack().Count())
        Context.SelectTile(tile);
}

QRect PickerTool::Outline() const {
    // A click picks one tile, as it always has, with nothing outlined.
    const QRect cells = DragRectangleTool::Outline();
    return cells.width() * cells.height() > 1 ? cells : QRect();
}

void PickerTool::Finish(const QRect& cells, Qt::KeyboardModifiers) {
    if (cells.width() * cells.height() > 1)
        Context.TakeStamp(Stamp::Copy(Context.Doc.Map().Cells, cells));
}

SelectTool::SelectTool(ToolContext& context)
    : DragRectangleTool(context, QStringLiteral("Select")) {}

void SelectTool::Finish(const QRect& cells, Qt::KeyboardModifiers keys) {
    Context.Doc.Select(cells, CombineFor(keys));
}

MagicWandTool::MagicWandTool(ToolContext& context) : Tool(context, QStringLiteral("Magic Wand")) {}

void MagicWandTool::Press(QPoint cell, Qt::KeyboardModifiers keys) {
    const bool remove = keys.testFlag(Qt::ControlModifier);
    if (keys.testFlag(Qt::ShiftModifier)) {
        if (Context.Doc.Bounds().contains(cell))
            Context.Doc.SelectTile(Context.Doc.Map().Cells[cell.x()][std::size_t(cell.y())],
                                   remove ? CellSelection::Combine::Subtract
                                          : CellSelection::Combine::Add);
        return;
    }
    Context.Doc.SelectRegion(cell, remove ? CellSelection::Combine::Subtract
                                          : CellSelection::Combine::Replace);
}
