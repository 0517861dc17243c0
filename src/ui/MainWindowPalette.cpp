// The tile palette: the list of the pack's tiles on the right, and the tile commands.

#include "document/Document.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "ui/MainWindow.h"
#include "ui/TilePropertiesDialog.h"

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {
// Each item is the tile's image, unscaled; the list paints nothing else.
class TileItemDelegate : public QStyledItemDelegate {
public:
    explicit TileItemDelegate(MainWindow* form) : QStyledItemDelegate(form), Form(form) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        Form->drawTileItem(*painter, index.row(), option.rect,
                           option.state & QStyle::State_Selected);
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(48, 49);
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
    const QList<QListWidgetItem*> selected = tileList->selectedItems();
    return selected.isEmpty() ? -1 : tileList->row(selected.constFirst());
}

void MainWindow::updateTileList() {
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
    popupDeleteTile->setEnabled(index >= 0);
    popupTileProperties->setEnabled(index >= 0);
}

void MainWindow::drawTileItem(QPainter& painter, int index, const QRect& rect, bool selected) {
    if (index < 0 || index >= Doc->Pack().Count())
        return;
    // Each item shows its image in its own 49 pixels, however tall the image is.
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawImage(QPoint((tileList->width() - 48) / 2, rect.top()),
                      Doc->Pack().At(index).Image->Picture());
    painter.restore();
    if (selected) {
        // A dotted frame around the item is the only mark of the chosen tile.
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

void MainWindow::addTile() {
    if (!UserDialogs.Execute(openPictureDialog))
        return;
    Doc->AddTile(openPictureDialog.FileName); // the palette is rebuilt when the pack has changed
}

void MainWindow::deleteSelectedTile() {
    DeleteTile(paletteItemAt(QPoint(-1, -1)));
}

void MainWindow::DeleteTile(int index) {
    const QString which = index >= 0 && index < Doc->Pack().Count()
                              ? QStringLiteral("Tile %1, \"%2\"")
                                    .arg(index)
                                    .arg(Msg::Clip(Cp1251::ToUnicode(Doc->Pack().At(index).Name)))
                              : QString();
    if (!UserDialogs.Confirm(QStringLiteral("Do you want Delete tile?"), QStringLiteral("Confirm"),
                             which))
        return;
    if (Doc->Pack().Count() == 1) {
        UserDialogs.ShowMessage(QStringLiteral("!!! There One Element !!!"));
        return;
    }
    Doc->DeleteTile(index);
    Status->SetText(QString::number(index));
}

void MainWindow::showTileProperties() {
    ShowProperty(paletteItemAt(QPoint(-1, -1)));
}

void MainWindow::ShowProperty(int index) {
    tilePropertiesDialog->Tile = index;
    UserDialogs.ExecModal(*tilePropertiesDialog);
}
