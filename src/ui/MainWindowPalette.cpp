// The tile palette: the list of the pack's tiles on the right, and the tile commands.

#include "document/Document.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "model/TileUsage.h"
#include "platform/Bitmap.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "ui/MainWindow.h"
#include "ui/ObjectNames.h"
#include "ui/TilePropertiesDialog.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace {
// The line under a tile that View > Tile Names adds.
constexpr int NameHeight = 16;

// Each item is the tile's image, unscaled, and with View > Tile Names its name below.
class TileItemDelegate : public QStyledItemDelegate {
public:
    explicit TileItemDelegate(MainWindow* form) : QStyledItemDelegate(form), Form(form) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        Form->drawTileItem(*painter, index.row(), option.rect,
                           option.state & QStyle::State_Selected);
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(48, Form->tileNamesShown() ? 49 + NameHeight : 49);
    }

private:
    MainWindow* Form;
};
} // namespace

void MainWindow::SetUpTileList() {
    tileList->setItemDelegate(new TileItemDelegate(this));
    tileList->setUniformItemSizes(true);
    tileList->setSelectionMode(QAbstractItemView::SingleSelection);
    tileList->setFrameShape(QFrame::Panel);
    tileList->setFrameShadow(QFrame::Sunken);
    tileList->installEventFilter(this);
    tileList->viewport()->installEventFilter(this);
}

bool MainWindow::TileListEvent(QObject* watched, QEvent* event) {
    if (watched == tileList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // The menu key and Shift+F10 open the popup for the selected item.
        if (key->key() == Qt::Key_Menu ||
            (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
            const QModelIndex current = tileList->currentIndex();
            const QPoint at =
                current.isValid() ? tileList->visualRect(current).center() : QPoint(0, 0);
            PopupTiles(QPoint(-1, -1), tileList->viewport()->mapToGlobal(at));
            return true;
        }
        // The arrows scroll the map and stop there: passed on, they would also move the
        // selection and so change the tile that painting writes.
        return scrollKey(key->key(), key->modifiers());
    }
    if (event->type() == QEvent::ContextMenu &&
        (watched == tileList || watched == tileList->viewport())) {
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        PopupTiles(menu->reason() == QContextMenuEvent::Keyboard ? QPoint(-1, -1) : menu->pos(),
                   menu->globalPos());
        return true;
    }
    if (event->type() == QEvent::ToolTip && watched == tileList->viewport()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = TileToolTip(tileList->indexAt(help->pos()).row());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, tileList->viewport());
        return true;
    }
    // A right click opens the popup without changing the selection.
    return watched == tileList->viewport() && event->type() == QEvent::MouseButtonPress &&
           static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
}

void MainWindow::PopupTiles(QPoint position, QPoint globalPosition) {
    PopupItem = paletteItemAt(position);
    // From the keyboard paletteItemAt leaves the entries as they were; they follow the selection.
    EnablePopupEntries(PopupItem);
    tilePopup->popup(globalPosition);
}

int MainWindow::SelectedTile() const {
    // Of several selected tiles the current one, which the last click chose, paints.
    const int current = tileList->currentRow();
    if (current >= 0 && tileList->item(current)->isSelected())
        return current;
    const std::vector<qint32> selected = SelectedTiles();
    return selected.empty() ? -1 : selected.front();
}

std::vector<qint32> MainWindow::SelectedTiles() const {
    std::vector<qint32> tiles;
    for (const QListWidgetItem* item : tileList->selectedItems())
        tiles.push_back(tileList->row(item));
    std::ranges::sort(tiles);
    return tiles;
}

bool MainWindow::tileNamesShown() const {
    return tileNamesAction->isChecked();
}

void MainWindow::updateTileList() {
    // Tiles edited in place keep the list and its selection; only their pictures are new.
    if (tileList->count() == Doc->Pack().Count()) {
        tileList->viewport()->update();
        return;
    }
    tileList->clear();
    for (qint32 i = 0; i < Doc->Pack().Count(); ++i)
        tileList->addItem(QString());
}

int MainWindow::paletteItemAt(QPoint position) {
    if (position == QPoint(-1, -1))
        return SelectedTile();
    const int index = tileList->indexAt(position).row();
    EnablePopupEntries(index);
    return index;
}

void MainWindow::EnablePopupEntries(int index) {
    for (QAction* entry :
         {popupDeleteTile, popupTileProperties, popupReplaceImage, popupMoveUp, popupMoveDown})
        entry->setEnabled(index >= 0);
}

void MainWindow::drawTileItem(QPainter& painter, int index, const QRect& rect, bool selected) {
    if (index < 0 || index >= Doc->Pack().Count())
        return;
    const QColor highlight = tileList->palette().color(QPalette::Highlight);
    if (selected)
        painter.fillRect(rect, highlight.lighter(170));
    // Each item shows its image in its own 49 pixels, however tall the image is.
    const QRect picture(rect.topLeft(), QSize(rect.width(), 49));
    painter.save();
    painter.setClipRect(picture, Qt::IntersectClip);
    painter.drawImage(QPoint((tileList->width() - 48) / 2, rect.top()),
                      Doc->Pack().At(index).Image->Picture());
    painter.restore();
    if (tileNamesShown()) {
        const QRect line(rect.left() + 2, rect.top() + 49, rect.width() - 4, NameHeight);
        const QString name = Cp1251::ToUnicode(Doc->Pack().At(index).Name);
        painter.setPen(tileList->palette().color(QPalette::Text));
        painter.drawText(line, Qt::AlignCenter,
                         painter.fontMetrics().elidedText(name, Qt::ElideRight, line.width()));
    }
    if (selected) {
        // A frame in the highlight colour around the item marks the chosen tiles.
        painter.setPen(QPen(highlight, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(1, 1, -1, -1));
    }
}

void MainWindow::addTile() {
    if (!UserDialogs.Execute(openPictureDialog))
        return;
    Doc->AddTile(openPictureDialog.FileName); // the palette is rebuilt when the pack has changed
}

void MainWindow::deleteSelectedTile() {
    const std::vector<qint32> selected = SelectedTiles();
    if (selected.size() > 1)
        DeleteTiles(selected);
    else
        DeleteTile(paletteItemAt(QPoint(-1, -1)));
}

void MainWindow::DeleteTile(int index) {
    DeleteTiles({index});
}

void MainWindow::DeleteTiles(const std::vector<qint32>& tiles) {
    const TilePack& pack = Doc->Pack();
    const bool known =
        std::ranges::all_of(tiles, [&](qint32 i) { return i >= 0 && i < pack.Count(); });
    QString which;
    if (known && tiles.size() == 1)
        which = QStringLiteral("Tile %1, \"%2\"")
                    .arg(tiles.front())
                    .arg(Msg::Clip(Cp1251::ToUnicode(pack.At(tiles.front()).Name)));
    else if (known)
        which = QStringLiteral("%1 tiles").arg(tiles.size());
    if (known && pack.Count() > qint32(tiles.size())) {
        qint64 cells = 0;
        for (qint32 tile : tiles)
            cells += TileUsageNow()[std::size_t(tile)];
        if (cells > 0)
            which += QStringLiteral("\n%1 cells of the map use %2; they become empty, and every "
                                    "other cell keeps its tile.")
                         .arg(cells)
                         .arg(tiles.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    }
    if (!UserDialogs.Confirm(QStringLiteral("Do you want Delete tile?"), QStringLiteral("Confirm"),
                             which))
        return;
    if (pack.Count() <= qint32(tiles.size())) {
        UserDialogs.ShowMessage(QStringLiteral("!!! There One Element !!!"));
        return;
    }
    Doc->DeleteTiles(tiles);
    Status->SetText(QString::number(tiles.front()));
}

void MainWindow::showTileProperties() {
    ShowProperty(paletteItemAt(QPoint(-1, -1)));
}

void MainWindow::ShowProperty(int index) {
    const bool known = index >= 0 && index < Doc->Pack().Count();
    tilePropertiesDialog->ShowTile(known ? index : -1,
                                   known ? Doc->Pack().At(index).Properties() : TileProperties());
    if (UserDialogs.ExecModal(*tilePropertiesDialog) == QDialog::Accepted && known)
        Doc->SetTileProperties(index, tilePropertiesDialog->Entered());
}

void MainWindow::BuildTileUpkeep() {
    auto action = [this](const QString& text, const char* name, const QKeySequence& keys = {}) {
        auto* a = new QAction(text, this);
        a->setObjectName(QLatin1StringView(name));
        a->setShortcut(keys);
        return a;
    };
    replaceImageAction = action(QStringLiteral("Replace Image…"), "replaceImageAction");
    moveTileUpAction = action(QStringLiteral("Move Tile Up"), "moveTileUpAction",
                              QKeySequence(Qt::CTRL | Qt::Key_Up));
    moveTileDownAction = action(QStringLiteral("Move Tile Down"), "moveTileDownAction",
                                QKeySequence(Qt::CTRL | Qt::Key_Down));
    unusedTilesAction = action(QStringLiteral("Unused Tiles"), "unusedTilesAction");
    findTileAction =
        action(QStringLiteral("Find Tile…"), "findTileAction", QKeySequence(Qt::CTRL | Qt::Key_F));
    tileNamesAction = action(QStringLiteral("Tile Names"), "tileNamesAction");
    tileNamesAction->setCheckable(true);
    tilesMenu->addAction(replaceImageAction);
    tilesMenu->addSeparator();
    tilesMenu->addActions({moveTileUpAction, moveTileDownAction});
    tilesMenu->addSeparator();
    tilesMenu->addActions({unusedTilesAction, findTileAction});
    viewMenu->addAction(tileNamesAction);
    popupReplaceImage = tilePopup->addAction(QStringLiteral("Replace Image…"));
    popupMoveUp = tilePopup->addAction(QStringLiteral("Move Up"));
    popupMoveDown = tilePopup->addAction(QStringLiteral("Move Down"));
    SetObjectNames({{popupReplaceImage, "popupReplaceImage"},
                    {popupMoveUp, "popupMoveUp"},
                    {popupMoveDown, "popupMoveDown"}});
    // The list lays its items out again when they change height.
    connect(tileNamesAction, &QAction::toggled, this, [this] { tileList->doItemsLayout(); });
    Command(replaceImageAction, &QAction::triggered, [this] { ReplaceImage(SelectedTile()); });
    Command(popupReplaceImage, &QAction::triggered, [this] { ReplaceImage(PopupItem); });
    Command(moveTileUpAction, &QAction::triggered, [this] { MoveSelectedTile(-1); });
    Command(moveTileDownAction, &QAction::triggered, [this] { MoveSelectedTile(1); });
    Command(popupMoveUp, &QAction::triggered, [this] {
        tileList->setCurrentRow(PopupItem);
        MoveSelectedTile(-1);
    });
    Command(popupMoveDown, &QAction::triggered, [this] {
        tileList->setCurrentRow(PopupItem);
        MoveSelectedTile(1);
    });
    Command(unusedTilesAction, &QAction::triggered, &MainWindow::SelectUnusedTiles);
    Command(findTileAction, &QAction::triggered, &MainWindow::FindTile);
    tileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void MainWindow::ReplaceImage(int index) {
    if (index < 0 || index >= Doc->Pack().Count() || !UserDialogs.Execute(openPictureDialog))
        return;
    Doc->ReplaceTileImage(index, openPictureDialog.FileName);
}

void MainWindow::MoveSelectedTile(int by) {
    const int from = SelectedTile();
    const int to = from + by;
    if (from < 0 || to < 0 || to >= Doc->Pack().Count())
        return;
    Doc->MoveTile(from, to);
    tileList->setCurrentRow(to); // the selection follows the tile
}

void MainWindow::SelectUnusedTiles() {
    const std::vector<qint64>& usage = TileUsageNow();
    tileList->clearSelection();
    int unused = 0;
    for (std::size_t i = 0; i < usage.size(); ++i)
        if (usage[i] == 0) {
            tileList->item(int(i))->setSelected(true);
            ++unused;
        }
    Status->SetText(unused == 0 ? QStringLiteral("Every tile is used in the map.")
                                : QStringLiteral("%1 unused tiles selected").arg(unused));
}

void MainWindow::FindTile() {
    if (!UserDialogs.AskText(QStringLiteral("Find Tile"), QStringLiteral("Name contains:"),
                             FindText))
        return;
    tileList->clearSelection();
    int found = 0;
    for (qint32 i = 0; i < Doc->Pack().Count(); ++i)
        if (Cp1251::ToUnicode(Doc->Pack().At(i).Name).contains(FindText, Qt::CaseInsensitive)) {
            if (found++ == 0)
                tileList->setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
            else
                tileList->item(i)->setSelected(true);
        }
    Status->SetText(found == 0 ? QStringLiteral("No tile's name contains \"%1\".").arg(FindText)
                               : QStringLiteral("%1 tiles found").arg(found));
}

const std::vector<qint64>& MainWindow::TileUsageNow() {
    const std::array<quint64, 2> now{Doc->Revision(DocumentPart::Map),
                                     Doc->Revision(DocumentPart::Pack)};
    if (now != UsageAt) {
        Usage = TileUsage(Doc->Map().Cells, Doc->Pack().Count());
        UsageAt = now;
    }
    return Usage;
}

QString MainWindow::TileToolTip(int index) {
    if (index < 0 || index >= Doc->Pack().Count())
        return QString();
    const qint64 cells = TileUsageNow()[std::size_t(index)];
    return QStringLiteral("Tile %1: %2\n%3")
        .arg(index)
        .arg(Msg::Clip(Cp1251::ToUnicode(Doc->Pack().At(index).Name)))
        .arg(cells == 0 ? QStringLiteral("not used in the map")
                        : QStringLiteral("%1 cells of the map").arg(cells));
}
