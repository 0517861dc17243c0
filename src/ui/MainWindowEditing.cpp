// The editing verbs: the selection, cut, copy and paste, stamps, Random Mode, Replace Tile, and
// what the map view draws over the map for them (the selection's outline, the stamp's preview).

#include "formats/CellClipboard.h"
#include "model/CellSelection.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Exceptions.h"
#include "render/SelectionOutline.h"
#include "ui/MainWindow.h"
#include "ui/ObjectNames.h"
#include "ui/ReplaceTileDialog.h"

#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>

namespace {
// "W × H cells".
QString CellsText(QSize cells) {
    return QStringLiteral("%1 × %2 cells").arg(cells.width()).arg(cells.height());
}

// Black and white stripes fixed to the view's pixels: visible over any tile, and the same
// wherever a part of the view is painted again.
const QPen& OutlinePen() {
    static const QPen pen = [] {
        QImage stripes(8, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                stripes.setPixel(x, y, (x + y) / 4 % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        return QPen(QBrush(stripes), 1);
    }();
    return pen;
}
} // namespace

void MainWindow::BuildEditing() {
    auto action = [this](const QString& text, const QKeySequence& keys = {}) {
        auto* a = new QAction(text, this);
        a->setShortcut(keys);
        return a;
    };
    cutAction = action(QStringLiteral("Cut"), QKeySequence::Cut);
    copyAction = action(QStringLiteral("Copy"), QKeySequence::Copy);
    pasteAction = action(QStringLiteral("Paste"), QKeySequence::Paste);
    deleteAction = action(QStringLiteral("Delete"), QKeySequence(Qt::Key_Delete));
    selectAllAction = action(QStringLiteral("Select All"), QKeySequence(Qt::CTRL | Qt::Key_A));
    selectNoneAction =
        action(QStringLiteral("Select None"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    replaceTileAction = action(QStringLiteral("Replace Tile…"), QKeySequence(Qt::CTRL | Qt::Key_H));
    editMenu->addSeparator();
    editMenu->addActions({cutAction, copyAction, pasteAction, deleteAction});
    editMenu->addSeparator();
    editMenu->addActions({selectAllAction, selectNoneAction});
    editMenu->addSeparator();
    editMenu->addAction(replaceTileAction);

    randomModeAction = action(QStringLiteral("Random Mode"), QKeySequence(Qt::Key_D));
    randomModeAction->setCheckable(true);
    mirrorLeftRightAction =
        action(QStringLiteral("Mirror Stamp Left to Right"), QKeySequence(Qt::Key_X));
    mirrorTopBottomAction =
        action(QStringLiteral("Mirror Stamp Top to Bottom"), QKeySequence(Qt::Key_Y));
    turnStampAction = action(QStringLiteral("Turn Stamp Clockwise"), QKeySequence(Qt::Key_Z));
    toolsMenu->addSeparator();
    toolsMenu->addAction(randomModeAction);
    toolsMenu->addSeparator();
    toolsMenu->addActions({mirrorLeftRightAction, mirrorTopBottomAction, turnStampAction});
    // Esc ends what is going on: a drag, then a stamp, then the selection.
    cancelAction = action(QStringLiteral("Cancel"), QKeySequence(Qt::Key_Escape));
    addAction(cancelAction);

    Command(copyAction, &QAction::triggered, &MainWindow::copyCells);
    Command(cutAction, &QAction::triggered, &MainWindow::cutCells);
    Command(pasteAction, &QAction::triggered, &MainWindow::pasteCells);
    Command(deleteAction, &QAction::triggered,
            [this] { Doc->ClearSelected(deleteAction->text()); });
    Command(selectAllAction, &QAction::triggered, [this] { Doc->SelectAll(); });
    Command(selectNoneAction, &QAction::triggered, [this] { Doc->SelectNone(); });
    Command(replaceTileAction, &QAction::triggered, &MainWindow::replaceTile);
    Command(cancelAction, &QAction::triggered, &MainWindow::CancelEdit);
    connect(randomModeAction, &QAction::toggled, this, [this](bool on) {
        ToolsContext->RandomMode = on;
        UpdatePreview();
    });
    Command(mirrorLeftRightAction, &QAction::triggered,
            [this] { TurnStamp(&Stamp::MirroredLeftRight); });
    Command(mirrorTopBottomAction, &QAction::triggered,
            [this] { TurnStamp(&Stamp::MirroredTopBottom); });
    Command(turnStampAction, &QAction::triggered, [this] { TurnStamp(&Stamp::TurnedClockwise); });
}

void MainWindow::NameEditingParts() {
    SetObjectNames({{cutAction, "cutAction"},
                    {copyAction, "copyAction"},
                    {pasteAction, "pasteAction"},
                    {deleteAction, "deleteAction"},
                    {selectAllAction, "selectAllAction"},
                    {selectNoneAction, "selectNoneAction"},
                    {replaceTileAction, "replaceTileAction"},
                    {randomModeAction, "randomModeAction"},
                    {mirrorLeftRightAction, "mirrorLeftRightAction"},
                    {mirrorTopBottomAction, "mirrorTopBottomAction"},
                    {turnStampAction, "turnStampAction"},
                    {cancelAction, "cancelAction"},
                    {selectAction, "selectAction"},
                    {magicWandAction, "magicWandAction"},
                    {replaceTileDialog, "replaceTileDialog"}});
}

void MainWindow::SelectionChanged() {
    const bool selected = !Doc->Selection().Empty();
    for (QAction* a : {cutAction, copyAction, deleteAction, selectNoneAction})
        a->setEnabled(selected);
    // The outline may have been anywhere: presenting the view again costs one copy of it.
    mapView->update();
}

void MainWindow::copyCells() {
    const QSize cells = Doc->Selection().Box().size();
    if (cells.isEmpty()) {
        Status->SetText(QStringLiteral("Select cells to copy first."));
        return;
    }
    QGuiApplication::clipboard()->setMimeData(
        CellClipboard::MimeData(Doc->Map().Cells, Doc->Selection()).release());
    Status->SetText(QStringLiteral("Copied %1%2.")
                        .arg(CellsText(cells),
                             qint64(cells.width()) * cells.height() > CellClipboard::MaxTextCells
                                 ? QStringLiteral(", too many to copy as text as well")
                                 : QString()));
}

void MainWindow::cutCells() {
    copyCells();
    Doc->ClearSelected(cutAction->text());
}

void MainWindow::pasteCells() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    Stamp cells;
    try {
        cells = data ? CellClipboard::Read(*data) : Stamp();
    } catch (const EFormatError& error) {
        // Not cells: said where the user looks while pasting, and nothing changes.
        Status->SetText(error.Message());
        return;
    }
    if (cells.Empty()) {
        Status->SetText(QStringLiteral("The clipboard holds no cells to paste."));
        return;
    }
    // The stamp goes anywhere a click puts it, not only into the cells it was copied from.
    Doc->SelectNone();
    Status->SetText(QStringLiteral("Pasted %1: click to place them, Esc to stop.")
                        .arg(CellsText(QSize(cells.Width(), cells.Height()))));
    SetBrushStamp(std::move(cells));
}

void MainWindow::SetBrushStamp(Stamp cells) {
    StampHidesMap = std::none_of(cells.Values(), cells.Values() + cells.Count(),
                                 [](TileIndex tile) { return tile == -1; });
    ToolsContext->BrushStamp = std::move(cells);
    if (!brushAction->isChecked())
        brushAction->trigger();
    UpdatePreview();
}

void MainWindow::TurnStamp(Stamp (Stamp::*turn)() const) {
    Stamp& stamp = ToolsContext->BrushStamp;
    if (stamp.Empty()) {
        Status->SetText(QStringLiteral("Paste cells or drag the Picker over them for a stamp to "
                                       "turn; a single tile looks the same every way."));
        return;
    }
    stamp = (stamp.*turn)();
    UpdatePreview();
}

void MainWindow::CancelEdit() {
    if (Painting) {
        Painting = false;
        const QRect outlined = ToolOutline();
        ActiveTool->Cancel(); // a stroke taken back is drawn through the document's change
        mapView->update(outlined);
        return;
    }
    if (!ToolsContext->BrushStamp.Empty()) {
        ToolsContext->BrushStamp = Stamp();
        UpdatePreview();
        Status->SetText(QStringLiteral("The Brush paints the palette's tile again."));
        return;
    }
    Doc->SelectNone();
}

void MainWindow::replaceTile() {
    const TileIndex current = SelectedTile();
    replaceTileDialog->Offer(Doc->Pack(), ToolsContext->PickedTile.value_or(current), current,
                             !Doc->Selection().Empty());
    if (UserDialogs.ExecModal(*replaceTileDialog) != QDialog::Accepted)
        return;
    const qint64 changed = Doc->ReplaceTile(replaceTileDialog->From(), replaceTileDialog->To(),
                                            replaceTileDialog->InSelection());
    Status->SetText(changed == 1 ? QStringLiteral("Replace Tile: 1 cell changed.")
                                 : QStringLiteral("Replace Tile: %1 cells changed.").arg(changed));
}

QRect MainWindow::StampPreviewArea() const {
    const Stamp& stamp = ToolsContext->BrushStamp;
    if (stamp.Empty() || ToolsContext->RandomMode || !brushAction->isChecked() || !Pointer)
        return {};
    const ViewMapping mapping = View->Mapping();
    const QPoint corner = mapping.CellAt(*Pointer);
    const QSize cell(Doc->Map().TileSize, Doc->Map().TileSize);
    return (mapping.CellArea(corner, cell) |
            mapping.CellArea(corner + QPoint(stamp.Width() - 1, stamp.Height() - 1), cell)) &
           mapView->rect();
}

void MainWindow::UpdatePreview() {
    const QRect area = StampPreviewArea();
    if (area == PreviewShown)
        return;
    mapView->update(QRegion(PreviewShown) + area);
    PreviewShown = area;
}

QRect MainWindow::PreviewHidingMap() const {
    return StampHidesMap && View->Mapping().Look() != ViewMapping::TileLook::Colours ? PreviewShown
                                                                                     : QRect();
}

void MainWindow::PaintOverlay(QPainter& painter, const QRegion& region) {
    const ViewMapping mapping = View->Mapping();
    painter.setPen(OutlinePen());
    for (const QRect& area : region) {
        const std::vector<QLine> lines = SelectionOutline(Doc->Selection(), mapping, area);
        painter.drawLines(lines.data(), int(lines.size()));
    }
    if (PreviewShown.isEmpty() || !region.intersects(PreviewShown))
        return;
    // The stamp as it would be placed, and its box outlined.
    const Stamp& stamp = ToolsContext->BrushStamp;
    const QPoint corner = mapping.CellAt(*Pointer);
    const QSize cell(Doc->Map().TileSize, Doc->Map().TileSize);
    const QRect shown = region.boundingRect() & PreviewShown;
    painter.save();
    painter.setClipRegion(region);
    if (mapping.Look() == ViewMapping::TileLook::Colours) {
        // Cells of a few pixels: the stamp's place is what a preview can show.
        painter.setOpacity(0.7);
        painter.fillRect(shown, palette().highlight());
        painter.restore();
        return;
    }
    // Only the stamp's cells in the part painted.
    const QPoint first = mapping.CellAt(shown.topLeft()) - corner;
    const QPoint last = mapping.CellAt(shown.bottomRight()) - corner;
    const TilePack& pack = Doc->Pack();
    for (qint32 x = std::max(first.x(), 0); x <= std::min(last.x(), stamp.Width() - 1); ++x)
        for (qint32 y = std::max(first.y(), 0); y <= std::min(last.y(), stamp.Height() - 1); ++y) {
            const TileIndex tile = stamp.At(x, y);
            const QRect target = mapping.CellArea(corner + QPoint(x, y), cell);
            if (tile >= 0 && tile < pack.Count())
                painter.drawImage(target, pack.At(tile).Image->Picture());
            else if (tile != -1)
                painter.fillRect(target, clBtnFace); // a tile the pack lacks, as the map shows it
        }
    painter.restore();
    painter.drawRect(PreviewShown.adjusted(0, 0, -1, -1));
}
