// The tile palette: the list of tiles, its popup menu and the tile commands.

#include "ScriptedDialogs.h"

#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "platform/Bitmap.h"
#include "platform/Cp1251.h"
#include "ui/TilePropertiesDialog.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QToolTip>

using namespace TestSupport;

class TestPalette : public QObject {
    Q_OBJECT
private slots:
    void addTile_data();
    void addTile();
    void deleteTileAsksAndKeepsTheMap();
    void popupFollowsTheItemUnderThePointer();
    void popupFromTheKeyboard_data();
    void popupFromTheKeyboard();
    void propertyDialogAnswers_data();
    void propertyDialogAnswers();
    void itemsShowTheTilesUnscaled();
    void tileUpkeep();
};

void TestPalette::addTile_data() {
    QTest::addColumn<QString>("fileName");   // empty: the dialog is cancelled
    QTest::addColumn<QByteArray>("content"); // "png": a PNG image; null: no file
    QTest::addColumn<QByteArray>("name");    // of the new tile
    QTest::addColumn<QString>("error");
    const QByteArray bmp = SolidBmp(48, 48, TileColours[3]);
    QTest::newRow("bmp") << "grass.bmp" << bmp << QByteArray("grass") << "";
    QTest::newRow("any four characters") << "water.bitmap" << bmp << QByteArray("water.bi") << "";
    QTest::newRow("short name kept whole") << "abc" << bmp << QByteArray("abc") << "";
    QTest::newRow("cyrillic") << "трава.bmp" << bmp << Cp1251::FromUnicode("трава") << "";
    QTest::newRow("cancelled") << "" << QByteArray() << QByteArray() << "";
    const QString invalid = "Bitmap image is not valid.";
    QTest::newRow("not an image") << "notes.bmp"
                                  << QByteArray("these are not the pixels you are looking for")
                                  << QByteArray() << invalid;
    QTest::newRow("a PNG") << "red.png" << QByteArray("png") << QByteArray() << invalid;
    QTest::newRow("missing") << "missing.bmp" << QByteArray() << QByteArray()
                             << "Cannot open file \"%1\". No such file or directory.";
}

void TestPalette::addTile() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, name);
    QFETCH(QString, error);
    GuiFixture f;
    f.UseTiles(1);
    f.TileList().setCurrentRow(0);
    if (content == "png")
        QImage(8, 8, QImage::Format_RGB32).save(f.Path(fileName), "PNG");
    else if (!content.isNull())
        QVERIFY(WriteFile(f.Path(fileName), content));
    f.Dialogs->Files << (fileName.isEmpty() ? std::nullopt : std::optional(f.Path(fileName)));
    f.Find<QToolButton>("addTileButton").click();

    QCOMPARE(f.Dialogs->FileDialogs.constFirst().Kind, FileDialog::DialogKind::Picture);
    QCOMPARE(f.Dialogs->Texts(), error.isEmpty()
                                     ? QStringList()
                                     : QStringList{error.replace("%1", Shown(f.Path(fileName)))});
    QCOMPARE(f.TileNames(),
             QByteArrayList{"tile0"} + (name.isNull() ? QByteArrayList() : QByteArrayList{name}));
    // The list is rebuilt after an Add, and only then: one item per tile, nothing selected.
    QCOMPARE(f.TileList().count(), f.ThePack().Count());
    QCOMPARE(f.Window().SelectedTile(), name.isNull() ? 0 : -1);
    if (!name.isNull()) {
        const Tile& tile = f.ThePack().At(1);
        QCOMPARE(tile.Image->FileBytes(), content);
        QCOMPARE(tile.Param1 + tile.Param2 + tile.Param4, 0);
    }
}

void TestPalette::deleteTileAsksAndKeepsTheMap() {
    GuiFixture f;
    f.UseTiles(5);
    f.TheMap().Cells[0][0] = 4;
    f.TheMap().Cells[1][0] = 2;
    f.TheMap().Cells[2][0] = 2;
    f.TileList().setCurrentRow(2);
    f.Dialogs->Answers << Message::No;
    f.Action("deleteTileAction").trigger();
    QCOMPARE(f.ThePack().Count(), 5);
    const Message& ask = f.Dialogs->Messages.constFirst();
    QCOMPARE(ask.Text, "Do you want Delete tile?");
    QCOMPARE(ask.Caption, "Confirm");
    QCOMPARE(ask.Buttons, Message::ButtonSet::YesNo);
    QCOMPARE(ask.Detail, "Tile 2, \"tile2\"\n2 cells of the map use it; they become empty, "
                         "and every other cell keeps its tile.");

    f.Find<QToolButton>("deleteTileButton").click(); // Yes
    QCOMPARE(f.TileNames(), (QByteArrayList{"tile0", "tile1", "tile3", "tile4"}));
    QCOMPARE(f.Status().Text(), "2");
    QCOMPARE(f.TileList().count(), 4);
    QCOMPARE(f.Window().SelectedTile(), -1);
    // Every cell keeps its tile: the last tile's cell follows it to its new index, and the
    // deleted tile's cells are empty.
    QCOMPARE(f.TheMap().Cells[0][0], 3);
    QCOMPARE(f.ViewPixel(5, 5), TileColours[4]);
    QCOMPARE(f.TheMap().Cells[1][0], -1);
    QCOMPARE(f.ViewPixel(48 + 5, 5), Background);
    QCOMPARE(f.Presented(), f.ViewRedrawn());

    // The last tile is never deleted, and the confirmation still comes first.
    f.UseTiles(1);
    f.TileList().setCurrentRow(0);
    f.Dialogs->Messages.clear();
    f.Action("deleteTileAction").trigger();
    QCOMPARE(f.Dialogs->Texts(),
             (QStringList{"Do you want Delete tile?", "!!! There One Element !!!"}));
    QCOMPARE(f.Dialogs->Messages[0].Detail, "Tile 0, \"tile0\"");
    QCOMPARE(f.Dialogs->Messages.last().Caption, "tst_palette");
    QCOMPARE(f.ThePack().Count(), 1);
}

void TestPalette::popupFollowsTheItemUnderThePointer() {
    GuiFixture f;
    f.UseTiles(3);
    QListWidget* list = &f.TileList();
    const QPoint third = list->visualItemRect(list->item(2)).center();
    auto enabled = [&f] {
        return QList<bool>{f.Action("popupDeleteTile").isEnabled(),
                           f.Action("popupTileProperties").isEnabled()};
    };
    const QList<bool> on = {true, true}, off = {false, false};
    QCOMPARE(enabled(), off);
    list->setCurrentRow(0);
    QCOMPARE(f.Window().paletteItemAt(third), 2);
    QCOMPARE(enabled(), on);
    // The keyboard's position gives the selection and leaves the entries as they are.
    QCOMPARE(f.Window().paletteItemAt(QPoint(-1, -1)), 0);
    QCOMPARE(enabled(), on);
    QCOMPARE(f.Window().paletteItemAt(QPoint(10, 3 * 49 + 20)), -1);
    QCOMPARE(enabled(), off);

    // A right click on another item opens the popup without moving the selection...
    QTest::mousePress(list->viewport(), Qt::RightButton, {}, third);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, third, list->viewport()->mapToGlobal(third));
    QApplication::sendEvent(list->viewport(), &menu);
    QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, third);
    QVERIFY(f.Find<QMenu>("tilePopup").isVisible());
    f.Find<QMenu>("tilePopup").hide();
    QCOMPARE(f.Window().SelectedTile(), 0);
    QCOMPARE(enabled(), on);
    // ...and its Property and Delete Tile act on the tile under the pointer, which the
    // confirmation names; the menu still acts on the selection.
    const auto& properties = f.Find<TilePropertiesDialog>("tilePropertiesDialog");
    f.Dialogs->OnModal = [&properties](QDialog&) { return properties.Tile; };
    f.Action("popupTileProperties").trigger();
    QCOMPARE(properties.Tile, 2);
    f.Action("tilePropertiesAction").trigger();
    QCOMPARE(properties.Tile, 0);
    f.Action("popupDeleteTile").trigger();
    QCOMPARE(f.Dialogs->Messages.constLast().Detail, "Tile 2, \"tile2\"");
    QCOMPARE(f.TileNames(), (QByteArrayList{"tile0", "tile1"}));
    QCOMPARE(f.Status().Text(), "2");
    list->setCurrentRow(1);
    f.Action("deleteTileAction").trigger();
    QCOMPARE(f.TileNames(), QByteArrayList{"tile0"});
}

void TestPalette::popupFromTheKeyboard_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("menu key") << int(Qt::Key_Menu) << Qt::KeyboardModifiers();
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << Qt::KeyboardModifiers(Qt::ShiftModifier);
}

void TestPalette::popupFromTheKeyboard() {
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    GuiFixture f;
    f.UseTiles(3);
    QListWidget* list = &f.TileList();
    list->setCurrentRow(1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key(key), modifiers);
    QVERIFY(f.Find<QMenu>("tilePopup").isVisible());
    f.Find<QMenu>("tilePopup").hide();
    QCOMPARE(f.Window().SelectedTile(), 1);
    // Opened from the keyboard, the popup acts on the selected tile.
    f.Action("popupDeleteTile").trigger();
    QCOMPARE(f.TileNames(), (QByteArrayList{"tile0", "tile2"}));
}

void TestPalette::propertyDialogAnswers_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << "OK" << int(QDialog::Accepted);
    QTest::newRow("Enter, for OK") << "Enter" << int(QDialog::Accepted);
    QTest::newRow("Cancel") << "Cancel" << int(QDialog::Rejected);
}

// The dialog opens centred on the screen, wherever the main window is, and each answer closes
// it with its result (the one the dialog starts with is Rejected, so closing is what Cancel
// shows).
void TestPalette::propertyDialogAnswers() {
    QFETCH(QString, answer);
    QFETCH(int, result);
    GuiFixture f;
    f.UseTiles(2);
    f.Window().move(0, 0);
    QPoint centre;
    bool closed = false;
    f.Dialogs->OnModal = [&](QDialog& dialog) {
        dialog.show();
        centre = dialog.frameGeometry().center();
        if (answer == "Enter")
            QTest::keyClick(&dialog, Qt::Key_Return);
        else
            QTest::mouseClick(
                &Child<QPushButton>(dialog, answer == "OK" ? "okButton" : "cancelButton"),
                Qt::LeftButton);
        closed = !dialog.isVisible();
        return dialog.result();
    };
    f.Find<QToolButton>("tilePropertiesButton").click();
    const QDialog& properties = f.Find<QDialog>("tilePropertiesDialog");
    QCOMPARE(f.Dialogs->ModalTitles, QStringList{"Object Property"});
    QVERIFY((centre - properties.screen()->availableGeometry().center()).manhattanLength() <= 2);
    QVERIFY(closed);
    QCOMPARE(properties.result(), result);
}

void TestPalette::itemsShowTheTilesUnscaled() {
    GuiFixture f;
    f.UseTiles(3);
    // A tile wider than the list is clipped, never scaled; items stay 49 pixels high, and a
    // tall image stays inside its own item, here over an item whose image is small.
    f.ThePack().At(1).Image->LoadFromBytes(SolidBmp(200, 64, TileColours[4]));
    f.ThePack().At(2).Image->LoadFromBytes(SolidBmp(8, 8, TileColours[2]));
    f.TileList().doItemsLayout();
    const QImage list = f.TileList().viewport()->grab().toImage();
    // The list is the group box less its frame, 104 pixels, so the images stand at 28.
    QCOMPARE(f.TileList().width(), 104);
    const int left = 28;
    QCOMPARE(list.pixel(left + 4, 2 * 49 + 4), TileColours[2]);
    QVERIFY(list.pixel(left + 30, 2 * 49 + 10) != TileColours[4]);
    QCOMPARE(list.pixel(left + 2, 5), TileColours[0]);
    QCOMPARE(list.pixel(left + 47, 47), TileColours[0]);
    QVERIFY(list.pixel(left - 2, 5) != TileColours[0] &&
            list.pixel(left + 49, 5) != TileColours[0]);
    QCOMPARE(list.pixel(left + 2, 49 + 2), TileColours[4]);
    QCOMPARE(list.pixel(list.width() - 1, 49 + 2), TileColours[4]);
}

// Properties, a new image, moving, finding, unused tiles and deleting them, through the
// window: each one step, the map looking the same after every reorder and delete, and undoing
// them all giving back the pack and map byte for byte.
void TestPalette::tileUpkeep() {
    GuiFixture f;
    f.UseTiles({"grass", "water", "sand", "stone"});
    for (qint32 x = 0; x < 6; ++x)
        f.TheMap().Cells[x][0] = x % 3; // stone is unused
    f.Window().RedrawMap();
    const QByteArray start = MapFile::Bytes(f.TheMap()) + PackFile::Bytes(f.ThePack());
    QListWidget& list = f.TileList();

    // Property: the fields show the tile; a refused name keeps the dialog open.
    list.setCurrentRow(1);
    QStringList shown;
    f.Dialogs->OnModal = [&](QDialog& dialog) {
        shown << Child<QLineEdit>(dialog, "nameEdit").text()
              << Child<QLineEdit>(dialog, "valueEdit3").text();
        Child<QLineEdit>(dialog, "nameEdit").setText("a\\b");
        QTest::mouseClick(&Child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
        Child<QLineEdit>(dialog, "nameEdit").setText(QStringLiteral("вода"));
        Child<QLineEdit>(dialog, "valueEdit3").setText("-7");
        QTest::mouseClick(&Child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
        return dialog.result();
    };
    f.Action("tilePropertiesAction").trigger();
    QCOMPARE(shown, (QStringList{"water", "31"}));
    QCOMPARE(f.Dialogs->Texts(), QStringList{"The name cannot hold a backslash (\\)."});
    QCOMPARE(f.ThePack().At(1).Name, Cp1251::FromUnicode(QStringLiteral("вода")));
    QCOMPARE(f.ThePack().At(1).Param3[0], -7);

    // Replace Image keeps the index and the name.
    QVERIFY(WriteFile(f.Path("new.bmp"), SolidBmp(48, 48, qRgb(1, 2, 3))));
    f.Dialogs->Files << f.Path("new.bmp");
    f.Action("replaceImageAction").trigger();
    QCOMPARE(f.ThePack().At(1).Image->Picture().pixel(0, 0), qRgb(1, 2, 3));
    QCOMPARE(f.ViewPixel(48 + 5, 5), qRgb(1, 2, 3));

    // Moving and deleting tiles leave the map looking as it did.
    const QImage drawn = f.Presented();
    list.setCurrentRow(0);
    f.Action("moveTileDownAction").trigger();
    QCOMPARE(f.TileNames().first(), Cp1251::FromUnicode(QStringLiteral("вода")));
    QCOMPARE(f.Window().SelectedTile(), 1);
    QCOMPARE(f.Presented(), drawn);
    f.Action("unusedTilesAction").trigger();
    QCOMPARE(f.Window().SelectedTile(), 3);
    f.Action("deleteTileAction").trigger();
    QCOMPARE(f.TileNames().size(), 3);
    QCOMPARE(f.Presented(), drawn);
    QCOMPARE(f.Presented(), f.ViewRedrawn());

    // Find Tile selects the tiles whose names hold the text; the tooltip names and counts.
    f.Dialogs->TextEntries << "SAN";
    f.Action("findTileAction").trigger();
    QCOMPARE(f.Window().SelectedTile(), 2);
    QHelpEvent help(QEvent::ToolTip, list.visualItemRect(list.item(2)).center(),
                    list.viewport()->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(list.viewport(), &help);
    QCOMPARE(QToolTip::text(), "Tile 2: sand\n2 cells of the map");

    const QStringList steps{"Delete Tile", "Move Tile", "Replace Image", "Tile Properties"};
    for (const QString& step : steps) {
        QCOMPARE(f.TheDocument().UndoHistory().UndoName(), step);
        f.Action("undoAction").trigger();
    }
    QCOMPARE(MapFile::Bytes(f.TheMap()) + PackFile::Bytes(f.ThePack()), start);
}

KORVANE_GUI_TEST_MAIN(TestPalette)
#include "tst_palette.moc"
