// The tile palette: the list of the pack's tiles on the right, and the tile commands.

#include "model/Document.h"
#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/TBitmap.h"
#include "ui/MainU.h"
#include "ui/propertyU.h"

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {
// Each item is the tile's image, unscaled; the list paints nothing else.
class TTileItemDelegate : public QStyledItemDelegate {
public:
    explicit TTileItemDelegate(TForm1* form) : QStyledItemDelegate(form), Form(form) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        Form->TileList_lbDrawItem(*painter, index.row(), option.rect,
                                  option.state & QStyle::State_Selected);
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(48, 49);
    }

private:
    TForm1* Form;
};
} // namespace

void TForm1::SetUpTileList() {
    TileList_lb->setItemDelegate(new TTileItemDelegate(this));
    TileList_lb->setUniformItemSizes(true);
    TileList_lb->setSelectionMode(QAbstractItemView::SingleSelection);
    TileList_lb->setFrameShape(QFrame::Panel);
    TileList_lb->setFrameShadow(QFrame::Sunken);
    TileList_lb->installEventFilter(this);
    TileList_lb->viewport()->installEventFilter(this);
}

bool TForm1::TileListEvent(QObject* watched, QEvent* event) {
    if (watched == TileList_lb && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // The menu key and Shift+F10 open the popup for the selected item.
        if (key->key() == Qt::Key_Menu ||
            (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
            const QModelIndex current = TileList_lb->currentIndex();
            const QPoint at =
                current.isValid() ? TileList_lb->visualRect(current).center() : QPoint(0, 0);
            PopupTiles(QPoint(-1, -1), TileList_lb->viewport()->mapToGlobal(at));
            return true;
        }
        // The arrows scroll the map and stop there: passed on, they would also move the
        // selection and so change the tile that painting writes.
        return FormKeyDown(key->key(), key->modifiers());
    }
    if (event->type() == QEvent::ContextMenu &&
        (watched == TileList_lb || watched == TileList_lb->viewport())) {
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        PopupTiles(menu->reason() == QContextMenuEvent::Keyboard ? QPoint(-1, -1) : menu->pos(),
                   menu->globalPos());
        return true;
    }
    // A right click opens the popup without changing the selection.
    return watched == TileList_lb->viewport() && event->type() == QEvent::MouseButtonPress &&
           static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
}

void TForm1::PopupTiles(QPoint position, QPoint globalPosition) {
    PopupItem = Cur_item(position);
    // From the keyboard Cur_item leaves the entries as they were; they follow the selection.
    EnablePopupEntries(PopupItem);
    PopupTileList->popup(globalPosition);
}

int TForm1::SelectedTile() const {
    const QList<QListWidgetItem*> selected = TileList_lb->selectedItems();
    return selected.isEmpty() ? -1 : TileList_lb->row(selected.constFirst());
}

void TForm1::UpdateTileListBox() {
    TileList_lb->clear();
    for (qint32 i = 0; i < TilePack->Count(); ++i)
        TileList_lb->addItem(QString());
}

int TForm1::Cur_item(QPoint position) {
    if (position == QPoint(-1, -1))
        return SelectedTile();
    const int index = TileList_lb->indexAt(position).row();
    EnablePopupEntries(index);
    return index;
}

void TForm1::EnablePopupEntries(int index) {
    PopupDelete->setEnabled(index >= 0);
    PopupProperty->setEnabled(index >= 0);
}

void TForm1::TileList_lbDrawItem(QPainter& painter, int index, const QRect& rect, bool selected) {
    if (index < 0 || index >= TilePack->Count())
        return;
    // Each item shows its image in its own 49 pixels, however tall the image is.
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawImage(QPoint((TileList_lb->width() - 48) / 2, rect.top()),
                      TilePack->Tile(index).Bitmap->Picture());
    painter.restore();
    if (selected) {
        // A dotted frame around the item is the only mark of the chosen tile.
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

void TForm1::Add_tile_actExecute() {
    if (!Dialogs().Execute(OpenTile))
        return;
    Document->AddTile(OpenTile.FileName); // the palette is rebuilt when the pack has changed
}

void TForm1::Del_Tile_actExecute() {
    DeleteTile(Cur_item(QPoint(-1, -1)));
}

void TForm1::DeleteTile(int index) {
    const QString which = index >= 0 && index < TilePack->Count()
                              ? QStringLiteral("Tile %1, \"%2\"")
                                    .arg(index)
                                    .arg(Msg::Clip(Cp1251::ToUnicode(TilePack->Tile(index).Name)))
                              : QString();
    if (!Dialogs().Confirm(QStringLiteral("Do you want Delete tile?"), QStringLiteral("Confirm"),
                           which))
        return;
    if (TilePack->Count() == 1) {
        Dialogs().ShowMessage(QStringLiteral("!!! There One Element !!!"));
        return;
    }
    Document->DeleteTile(index);
    Status->SetText(QString::number(index));
}

void TForm1::Prop_Tile_actExecute() {
    ShowProperty(Cur_item(QPoint(-1, -1)));
}

void TForm1::ShowProperty(int index) {
    propertyF->Tile = index;
    Dialogs().ExecModal(*propertyF);
}
