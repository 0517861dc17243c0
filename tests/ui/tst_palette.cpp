// The tile palette: the list of tiles, its popup menu and the tile commands.

#include "ScriptedDialogs.h"
#include "TestSupport.h"

#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/TBitmap.h"
#include "ui/propertyU.h"

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

using namespace TestSupport;

namespace {
const QRgb Colours[] = {qRgb(200, 40, 40), qRgb(40, 160, 40), qRgb(40, 40, 200), qRgb(220, 200, 0),
                        qRgb(0, 200, 200)};

void UseTiles(int count, int size = 48) {
    TilePack->Clear();
    for (int i = 0; i < count; ++i) {
        TileRef tile = TilePack->NewTile();
        tile->Name = QByteArray("tile") + QByteArray::number(i);
        tile->Bitmap->LoadFromBytes(SolidBmp(size, size, Colours[i]));
        TilePack->Add(std::move(tile));
    }
    Form1->UpdateTileListBox();
}

QByteArrayList Names() {
    QByteArrayList names;
    for (qint32 i = 0; i < TilePack->Count(); ++i)
        names << TilePack->Tile(i).Name;
    return names;
}

QPoint ItemCentre(int row) {
    return Form1->TileList_lb->visualItemRect(Form1->TileList_lb->item(row)).center();
}
} // namespace

class TestPalette : public QObject {
    Q_OBJECT
private slots:
    void addTileTakesNameAndImageFromTheFile_data();
    void addTileTakesNameAndImageFromTheFile();
    void addTileRefusesWhatIsNotABitmap();
    void deleteTileAsksAndKeepsTheMap();
    void deleteNeverRemovesTheLastTile();
    void popupFollowsTheItemUnderThePointer();
    void propertyDialogChangesNothing();
    void itemsShowTheTilesUnscaled();
};

void TestPalette::addTileTakesNameAndImageFromTheFile_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("bmp") << "grass.bmp" << QByteArray("grass");
    QTest::newRow("any four characters") << "water.bitmap" << QByteArray("water.bi");
    QTest::newRow("short name kept whole") << "abc" << QByteArray("abc");
    QTest::newRow("cyrillic") << QStringLiteral("трава.bmp")
                              << Cp1251::FromUnicode(QStringLiteral("трава"));
}

void TestPalette::addTileTakesNameAndImageFromTheFile() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, name);
    TGuiFixture f;
    UseTiles(1);
    Form1->TileList_lb->setCurrentRow(0);
    const QByteArray bmp = SolidBmp(48, 48, Colours[3]);
    QVERIFY(WriteFile(f.Path(fileName), bmp));
    f.Dialogs->Files << f.Path(fileName);
    Form1->SpeedButton1->click();

    QCOMPARE(f.Dialogs->FileDialogs.constFirst().Kind, TFileDialog::TKind::Picture);
    QCOMPARE(TilePack->Count(), 2);
    const tTile& tile = TilePack->Tile(1);
    QCOMPARE(tile.Name, name);
    QCOMPARE(tile.Bitmap->FileBytes(), bmp);
    QCOMPARE(tile.Param1 + tile.Param2 + tile.Param4, 0);
    QVERIFY(!NewTileRef);
    // The list is rebuilt: one item per tile, nothing selected.
    QCOMPARE(Form1->TileList_lb->count(), 2);
    QCOMPARE(Form1->SelectedTile(), -1);
}

void TestPalette::addTileRefusesWhatIsNotABitmap() {
    TGuiFixture f;
    UseTiles(2);
    QVERIFY(WriteFile(f.Path("notes.bmp"), "these are not the pixels you are looking for"));
    QImage png(8, 8, QImage::Format_RGB32);
    png.fill(Qt::red);
    QVERIFY(png.save(f.Path("red.png"), "PNG"));
    f.Dialogs->Files << f.Path("notes.bmp") << f.Path("red.png") << f.Path("missing.bmp")
                     << std::nullopt;
    for (int i = 0; i < 4; ++i)
        Form1->Add_tile_act->trigger();

    QCOMPARE(f.Dialogs->Texts(),
             (QStringList{QStringLiteral("Bitmap image is not valid."),
                          QStringLiteral("Bitmap image is not valid."),
                          QStringLiteral("Cannot open file \"%1\". No such file or directory.")
                              .arg(Shown(f.Path("missing.bmp")))}));
    QCOMPARE(TilePack->Count(), 2);
    QCOMPARE(Form1->TileList_lb->count(), 2);
    QVERIFY(!NewTileRef);
}

void TestPalette::deleteTileAsksAndKeepsTheMap() {
    TGuiFixture f;
    UseTiles(5);
    Map->Cells[0][0] = 4;
    Form1->TileList_lb->setCurrentRow(2);

    f.Dialogs->Answers << TMessage::No;
    Form1->Del_Tile_act->trigger();
    QCOMPARE(TilePack->Count(), 5);
    const TMessage& ask = f.Dialogs->Messages.constFirst();
    QCOMPARE(ask.Text, QStringLiteral("Do you want Delete tile?"));
    QCOMPARE(ask.Caption, QStringLiteral("Confirm"));
    QCOMPARE(ask.Buttons, TMessage::TButtons::YesNo);

    Form1->SpeedButton2->click(); // Yes
    QCOMPARE(Names(), (QByteArrayList{"tile0", "tile1", "tile3", "tile4"}));
    QCOMPARE(Form1->Status->Text(), QStringLiteral("2"));
    QCOMPARE(Form1->TileList_lb->count(), 4);
    QCOMPARE(Form1->SelectedTile(), -1);
    // Cells keep their indices: the cell that showed the last tile now names nothing.
    QCOMPARE(Map->Cells[0][0], 4);
    QCOMPARE(Form1->Canvas.Image().pixel(5, 5) | 0xff000000, clBtnFace.rgb());
}

void TestPalette::deleteNeverRemovesTheLastTile() {
    TGuiFixture f;
    UseTiles(1);
    Form1->TileList_lb->setCurrentRow(0);
    Form1->Del_Tile_act->trigger();
    QCOMPARE(f.Dialogs->Texts(), (QStringList{QStringLiteral("Do you want Delete tile?"),
                                              QStringLiteral("!!! There One Element !!!")}));
    QCOMPARE(f.Dialogs->Messages.last().Caption, QStringLiteral("tst_palette"));
    QCOMPARE(TilePack->Count(), 1);
}

void TestPalette::popupFollowsTheItemUnderThePointer() {
    TGuiFixture f;
    UseTiles(3);
    QVERIFY(!Form1->PopupDelete->isEnabled());
    QVERIFY(!Form1->PopupProperty->isEnabled());
    Form1->TileList_lb->setCurrentRow(0);

    QCOMPARE(Form1->Cur_item(ItemCentre(2)), 2);
    QVERIFY(Form1->PopupDelete->isEnabled());
    QVERIFY(Form1->PopupProperty->isEnabled());
    // The keyboard's position gives the selection and leaves the entries as they are.
    QCOMPARE(Form1->Cur_item(QPoint(-1, -1)), 0);
    QVERIFY(Form1->PopupDelete->isEnabled());
    QCOMPARE(Form1->Cur_item(QPoint(10, 3 * 49 + 20)), -1);
    QVERIFY(!Form1->PopupDelete->isEnabled());
    QVERIFY(!Form1->PopupProperty->isEnabled());

    // A right click on another item opens the popup without moving the selection...
    QWidget* viewport = Form1->TileList_lb->viewport();
    QTest::mousePress(viewport, Qt::RightButton, {}, ItemCentre(2));
    QContextMenuEvent menu(QContextMenuEvent::Mouse, ItemCentre(2),
                           viewport->mapToGlobal(ItemCentre(2)));
    QApplication::sendEvent(viewport, &menu);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, ItemCentre(2));
    QVERIFY(Form1->PopupTileList->isVisible());
    Form1->PopupTileList->hide();
    QCOMPARE(Form1->SelectedTile(), 0);
    QVERIFY(Form1->PopupDelete->isEnabled());
    // ...and its Delete Tile removes the selected tile, not the one under the pointer.
    Form1->PopupDelete->trigger();
    QCOMPARE(Names(), (QByteArrayList{"tile1", "tile2"}));
}

void TestPalette::propertyDialogChangesNothing() {
    TGuiFixture f;
    UseTiles(2);
    const QByteArray before = TilePack->SaveToBytes(true, QString());
    f.Dialogs->OnModal = [](QDialog& dialog) {
        auto* property = dynamic_cast<TpropertyF*>(&dialog);
        if (!property)
            return -1;
        property->show();
        QTest::mouseClick(property->OkButton, Qt::LeftButton);
        return dialog.result();
    };
    Form1->SpeedButton3->click();
    QCOMPARE(f.Dialogs->ModalTitles, QStringList{QStringLiteral("Object Property")});
    QCOMPARE(propertyF->size(), QSize(444, 179));
    QCOMPARE(propertyF->result(), int(QDialog::Accepted));
    QCOMPARE(TilePack->SaveToBytes(true, QString()), before);
}

void TestPalette::itemsShowTheTilesUnscaled() {
    TGuiFixture f;
    UseTiles(2);
    // A tile wider than the list is clipped, never scaled; items stay 49 pixels high.
    TilePack->Tile(1).Bitmap->LoadFromBytes(SolidBmp(200, 64, Colours[4]));
    Form1->TileList_lb->doItemsLayout();
    const QImage list = Form1->TileList_lb->viewport()->grab().toImage();
    const int left = (Form1->TileList_lb->width() - 48) / 2;
    QCOMPARE(list.pixel(left + 2, 5), Colours[0]);
    QCOMPARE(list.pixel(left + 47, 47), Colours[0]);
    QVERIFY(list.pixel(left - 2, 5) != Colours[0]);
    QVERIFY(list.pixel(left + 49, 5) != Colours[0]);
    QCOMPARE(list.pixel(left + 2, 49 + 2), Colours[4]);
    QCOMPARE(list.pixel(list.width() - 1, 49 + 2), Colours[4]);
}

KORVANE_GUI_TEST_MAIN(TestPalette)
#include "tst_palette.moc"
