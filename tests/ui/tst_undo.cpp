// The Edit menu: every edit through the windows undone and redone, the palette and the view
// following, the menu's texts and keys, and the title's mark of unsaved work.

#include "ScriptedDialogs.h"

#include "platform/TBitmap.h"
#include "ui/NewMapDialog.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

using namespace TestSupport;

namespace {
QStringList EditMenu() {
    return {QString("%1 %2")
                .arg(mainWindow->undoAction->text())
                .arg(mainWindow->undoAction->isEnabled()),
            QString("%1 %2")
                .arg(mainWindow->redoAction->text())
                .arg(mainWindow->redoAction->isEnabled())};
}

QString Title() {
    return mainWindow->windowHandle()->title();
}

QByteArray State() {
    return Map->SaveToBytes() + TilePack->SaveToBytes(true, QString()) +
           Int32s({Map->TileSize, mainWindow->tileList->count()});
}

void Key(QKeySequence keys) {
    QTest::keySequence(mainWindow, keys);
}
} // namespace

class TestUndo : public QObject {
    Q_OBJECT
private slots:
    void editMenuAfterFile();
    void strokeIsOneStep();
    void tileCommandsUndoWithTheirTiles();
    void newMapAndLoadTilePackUndo();
    void openMapStartsAfresh();
};

void TestUndo::editMenuAfterFile() {
    TGuiFixture f;
    QStringList menus;
    for (QAction* menu : mainWindow->menuBar()->actions())
        menus << menu->text();
    QCOMPARE(menus, (QStringList{"File", "Edit", "View", "Tiles", "Tools", "ToolZ", "Exit"}));
    QCOMPARE(mainWindow->editMenu->actions(),
             (QList<QAction*>{mainWindow->undoAction, mainWindow->redoAction}));
    QCOMPARE(mainWindow->undoAction->shortcuts(), QList<QKeySequence>{QKeySequence("Ctrl+Z")});
    QCOMPARE(mainWindow->redoAction->shortcuts(),
             (QList<QKeySequence>{QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")}));
    QCOMPARE(EditMenu(), (QStringList{"Undo 0", "Redo 0"}));
    QCOMPARE(Title(), "Map Editor(ver 0.3)");
    // Undo with nothing to undo does nothing, not even a redraw's worth of harm.
    const QByteArray before = State();
    mainWindow->undoAction->trigger();
    Key(QKeySequence("Ctrl+Z"));
    QCOMPARE(State(), before);
}

void TestUndo::strokeIsOneStep() {
    TGuiFixture f;
    UseTiles(3);
    const QByteArray before = State();
    mainWindow->tileList->setCurrentRow(2);
    QTest::mousePress(mainWindow->mapView, Qt::LeftButton, {}, QPoint(10, 10));
    for (int x = 20; x < 300; x += 15)
        QTest::mouseMove(mainWindow->mapView, QPoint(x, 10 + x / 3));
    // Nothing is a step, nor unsaved, until the button comes up.
    QCOMPARE(EditMenu(), (QStringList{"Undo 0", "Redo 0"}));
    QTest::mouseRelease(mainWindow->mapView, Qt::LeftButton, {}, QPoint(300, 110));
    const QByteArray painted = State();
    QVERIFY(painted != before);
    QCOMPARE(EditMenu(), (QStringList{"Undo Paint 1", "Redo 0"}));
    QVERIFY(mainWindow->isWindowModified());
    QCOMPARE(Title(), "Map Editor(ver 0.3)*");
    QCOMPARE(ViewPixel(100, 45), TileColours[2]);

    Key(QKeySequence("Ctrl+Z"));
    QCOMPARE(State(), before);
    QCOMPARE(EditMenu(), (QStringList{"Undo 0", "Redo Paint 1"}));
    QCOMPARE(ViewPixel(100, 45), TileColours[0]);
    QCOMPARE(Title(), "Map Editor(ver 0.3)");
    QCOMPARE(mainWindow->SelectedTile(), 2); // the palette stays as it was
    Key(QKeySequence("Ctrl+Shift+Z"));
    QCOMPARE(State(), painted);
    QCOMPARE(ViewPixel(100, 45), TileColours[2]);
    mainWindow->undoAction->trigger();
    Key(QKeySequence("Ctrl+Y"));
    QCOMPARE(State(), painted);
    // The right button ends a stroke too; the next press starts another step.
    QTest::mousePress(mainWindow->mapView, Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseClick(mainWindow->mapView, Qt::RightButton, {}, QPoint(400, 300));
    QTest::mouseMove(mainWindow->mapView, QPoint(500, 300));
    QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(500, 400));
    QCOMPARE(Document->History().Count(), 3);
}

void TestUndo::tileCommandsUndoWithTheirTiles() {
    TGuiFixture f;
    UseTiles(5);
    const QByteArray before = State();
    const QByteArray image = TilePack->Tile(2).Bitmap->FileBytes();
    mainWindow->tileList->setCurrentRow(2);
    mainWindow->deleteTileButton->click(); // Delete Tile, confirmed
    QCOMPARE(TileNames(), (QByteArrayList{"tile0", "tile1", "tile3", "tile4"}));
    QCOMPARE(EditMenu(), (QStringList{"Undo Delete Tile 1", "Redo 0"}));
    mainWindow->undoAction->trigger();
    // Back in its place with its image, name and values; the palette shows it.
    QCOMPARE(State(), before);
    QCOMPARE(TilePack->Tile(2).Bitmap->FileBytes(), image);
    QCOMPARE(TilePack->Tile(2).Param3[3], 62);
    QCOMPARE(mainWindow->tileList->count(), 5);
    QCOMPARE(EditMenu(), (QStringList{"Undo 0", "Redo Delete Tile 1"}));
    mainWindow->redoAction->trigger();
    QCOMPARE(TileNames(), (QByteArrayList{"tile0", "tile1", "tile3", "tile4"}));

    QVERIFY(WriteFile(f.Path("grass.bmp"), SolidBmp(48, 48, TileColours[4])));
    f.Dialogs->Files << f.Path("grass.bmp");
    mainWindow->addTileAction->trigger();
    QCOMPARE(EditMenu(), (QStringList{"Undo Add Tile 1", "Redo 0"}));
    QCOMPARE(TileNames().last(), QByteArray("grass"));
    mainWindow->undoAction->trigger();
    mainWindow->undoAction->trigger();
    QCOMPARE(State(), before);
    QCOMPARE(Title(), "Map Editor(ver 0.3)");
    // Property changes no tile, so it is no step.
    mainWindow->tilePropertiesAction->trigger();
    QCOMPARE(EditMenu(), (QStringList{"Undo 0", "Redo Delete Tile 1"}));
}

void TestUndo::newMapAndLoadTilePackUndo() {
    TGuiFixture f;
    UseTiles(3);
    TilePack->SaveToFile(f.Path("tiles/two.pac"), true, QString());
    UseTiles(2);
    Map->PackName = "mine.pac";
    QTest::keyClick(mainWindow, Qt::Key_Right);
    const QByteArray before = State();
    f.Dialogs->OnModal = [](QDialog&) {
        newMapDialog->widthEdit->setText("5");
        newMapDialog->heightEdit->setText("4");
        newMapDialog->tileSizeEdit->setText("16");
        newMapDialog->descriptionEdit->setPlainText("small");
        newMapDialog->okButton->click();
        return newMapDialog->result();
    };
    mainWindow->newMapAction->trigger();
    const QByteArray made = State();
    QCOMPARE(ViewPixel(600, 5), Background);
    QCOMPARE(QList<int>({Map->Width, Map->Height, Map->TileSize, MainView().OffsetX}),
             QList<int>({5, 4, 16, 0}));
    QCOMPARE(EditMenu(), (QStringList{"Undo New Map 1", "Redo 0"}));
    f.Dialogs->Files << f.Path("tiles/two.pac");
    mainWindow->loadTilePackButton->click(); // Load TilePack
    QCOMPARE(TilePack->Count(), 3);
    QCOMPARE(Map->PackName, QByteArray("two.pac"));
    QCOMPARE(EditMenu(), (QStringList{"Undo Load TilePack 1", "Redo 0"}));
    mainWindow->undoAction->trigger();
    QCOMPARE(State(), made);
    QCOMPARE(mainWindow->tileList->count(), 2);
    mainWindow->undoAction->trigger();
    // The old map as it was, drawn in full.
    QCOMPARE(State(), before);
    QCOMPARE(ViewPixel(600, 5), TileColours[0]);
    mainWindow->redoAction->trigger();
    mainWindow->redoAction->trigger();
    QCOMPARE(TilePack->Count(), 3);
    QCOMPARE(Map->Width, 5);
}

void TestUndo::openMapStartsAfresh() {
    TGuiFixture f;
    UseTiles(2);
    TilePack->SaveToFile(f.Path("tiles/p.pac"), true, QString());
    QVERIFY(WriteFile(f.Path("m.map"), MapFile({"", "", "p.pac", ""}, 2, 2, {1, 0, 1, 0})));
    mainWindow->tileList->setCurrentRow(1);
    QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(10, 10));
    mainWindow->saveMapAction->trigger(); // names no pack: refused, so the map stays unsaved
    f.Dialogs->Answers << TMessage::Discard;
    f.Dialogs->Files << f.Path("m.map");
    mainWindow->openMapAction->trigger();
    QCOMPARE(Map->Width, 2);
    QCOMPARE(EditMenu(), (QStringList{"Undo 0", "Redo 0"}));
    QCOMPARE(Title(), "Map Editor(ver 0.3)");
    QCOMPARE(Document->MapFile(), f.Path("m.map"));
    QCOMPARE(Document->PackFile(), QDir(f.Dir.path()).filePath("tiles/p.pac"));
}

KORVANE_GUI_TEST_MAIN(TestUndo)
#include "tst_undo.moc"
