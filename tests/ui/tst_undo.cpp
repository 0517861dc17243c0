// The Edit menu: every edit through the windows undone and redone, the palette and the view
// following, the menu's texts and keys, and the title's mark of unsaved work.

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include <QListWidget>
#include <QMenuBar>
#include <QToolButton>

using namespace TestSupport;

namespace {
QStringList EditMenu(GuiFixture& f) {
    return {
        QString("%1 %2").arg(f.Action("undoAction").text()).arg(f.Action("undoAction").isEnabled()),
        QString("%1 %2")
            .arg(f.Action("redoAction").text())
            .arg(f.Action("redoAction").isEnabled())};
}

QString Title(GuiFixture& f) {
    return f.Window().windowHandle()->title();
}

QByteArray State(GuiFixture& f) {
    return MapFile::Bytes(f.TheMap()) + PackFile::Bytes(f.ThePack()) +
           Int32s({f.TheMap().TileSize, f.TileList().count()});
}

void Key(GuiFixture& f, QKeySequence keys) {
    QTest::keySequence(&f.Window(), keys);
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
    GuiFixture f;
    QStringList menus;
    for (QAction* menu : f.Window().menuBar()->actions())
        menus << menu->text();
    QCOMPARE(menus,
             (QStringList{"File", "Edit", "View", "Map", "Tiles", "Tools", "ToolZ", "Exit"}));
    QCOMPARE(f.Find<QMenu>("editMenu").actions().first(2),
             (QList<QAction*>{&f.Action("undoAction"), &f.Action("redoAction")}));
    QCOMPARE(EditMenu(f), (QStringList{"Undo 0", "Redo 0"}));
    QCOMPARE(Title(f), "Map Editor(ver 0.3)");
    // Undo with nothing to undo does nothing, not even a redraw's worth of harm.
    const QByteArray before = State(f);
    f.Action("undoAction").trigger();
    Key(f, QKeySequence("Ctrl+Z"));
    QCOMPARE(State(f), before);
}

void TestUndo::strokeIsOneStep() {
    GuiFixture f;
    f.UseTiles(3);
    const QByteArray before = State(f);
    f.TileList().setCurrentRow(2);
    QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, QPoint(10, 10));
    for (int x = 20; x < 300; x += 15)
        QTest::mouseMove(&f.MapArea(), QPoint(x, 10 + x / 3));
    // Nothing is a step, nor unsaved, until the button comes up.
    QCOMPARE(EditMenu(f), (QStringList{"Undo 0", "Redo 0"}));
    QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, QPoint(300, 110));
    const QByteArray painted = State(f);
    QVERIFY(painted != before);
    QCOMPARE(EditMenu(f), (QStringList{"Undo Paint 1", "Redo 0"}));
    QVERIFY(f.Window().isWindowModified());
    QCOMPARE(Title(f), "Map Editor(ver 0.3)*");
    QCOMPARE(f.ViewPixel(100, 45), TileColours[2]);

    Key(f, QKeySequence("Ctrl+Z"));
    QCOMPARE(State(f), before);
    QCOMPARE(EditMenu(f), (QStringList{"Undo 0", "Redo Paint 1"}));
    QCOMPARE(f.ViewPixel(100, 45), TileColours[0]);
    QCOMPARE(Title(f), "Map Editor(ver 0.3)");
    QCOMPARE(f.Window().SelectedTile(), 2); // the palette stays as it was
    Key(f, QKeySequence("Ctrl+Shift+Z"));
    QCOMPARE(State(f), painted);
    QCOMPARE(f.ViewPixel(100, 45), TileColours[2]);
    f.Action("undoAction").trigger();
    Key(f, QKeySequence("Ctrl+Y"));
    QCOMPARE(State(f), painted);
    // The right button ends a stroke too; the next press starts another step.
    QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseClick(&f.MapArea(), Qt::RightButton, {}, QPoint(400, 300));
    QTest::mouseMove(&f.MapArea(), QPoint(500, 300));
    QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(500, 400));
    QCOMPARE(f.TheDocument().UndoHistory().Count(), 3);
}

void TestUndo::tileCommandsUndoWithTheirTiles() {
    GuiFixture f;
    f.UseTiles(5);
    const QByteArray before = State(f);
    f.TileList().setCurrentRow(2);
    f.Find<QToolButton>("deleteTileButton").click(); // Delete Tile, confirmed
    QCOMPARE(f.TileNames(), (QByteArrayList{"tile0", "tile1", "tile3", "tile4"}));
    QCOMPARE(EditMenu(f), (QStringList{"Undo Delete Tile 1", "Redo 0"}));
    f.Action("undoAction").trigger();
    // Back in its place with its image, name and values (the pack's bytes); the palette shows
    // it.
    QCOMPARE(State(f), before);
    QCOMPARE(EditMenu(f), (QStringList{"Undo 0", "Redo Delete Tile 1"}));
    f.Action("redoAction").trigger();
    QCOMPARE(f.TileNames(), (QByteArrayList{"tile0", "tile1", "tile3", "tile4"}));

    QVERIFY(WriteFile(f.Path("grass.bmp"), SolidBmp(48, 48, TileColours[4])));
    f.Dialogs->Files << f.Path("grass.bmp");
    f.Action("addTileAction").trigger();
    QCOMPARE(EditMenu(f), (QStringList{"Undo Add Tile 1", "Redo 0"}));
    QCOMPARE(f.TileNames().last(), QByteArray("grass"));
    f.Action("undoAction").trigger();
    f.Action("undoAction").trigger();
    QCOMPARE(State(f), before);
    QCOMPARE(Title(f), "Map Editor(ver 0.3)");
    // Property changes no tile, so it is no step.
    f.Action("tilePropertiesAction").trigger();
    QCOMPARE(EditMenu(f), (QStringList{"Undo 0", "Redo Delete Tile 1"}));
}

void TestUndo::newMapAndLoadTilePackUndo() {
    GuiFixture f;
    f.UseTiles(3);
    PackFile::Write(f.ThePack(), f.Path("tiles/two.pac"));
    f.UseTiles(2);
    f.TheMap().PackName = "mine.pac";
    QTest::keyClick(&f.Window(), Qt::Key_Right);
    const QByteArray before = State(f);
    f.AnswerNewMap("5", "4", "16", "small");
    f.Action("newMapAction").trigger();
    const QByteArray made = State(f);
    QCOMPARE(f.ViewPixel(600, 5), Background);
    QCOMPARE(f.MainView().OffsetX, 0);
    QCOMPARE(EditMenu(f), (QStringList{"Undo New Map 1", "Redo 0"}));
    f.Dialogs->Files << f.Path("tiles/two.pac");
    f.Find<QToolButton>("loadTilePackButton").click(); // Load TilePack
    QCOMPARE(f.ThePack().Count(), 3);
    QCOMPARE(f.TheMap().PackName, QByteArray("two.pac"));
    QCOMPARE(EditMenu(f), (QStringList{"Undo Load TilePack 1", "Redo 0"}));
    f.Action("undoAction").trigger();
    QCOMPARE(State(f), made); // the palette's count with it
    f.Action("undoAction").trigger();
    // The old map as it was, drawn in full.
    QCOMPARE(State(f), before);
    QCOMPARE(f.ViewPixel(600, 5), TileColours[0]);
    f.Action("redoAction").trigger();
    f.Action("redoAction").trigger();
    QCOMPARE(f.ThePack().Count(), 3);
    QCOMPARE(f.TheMap().Width, 5);
}

void TestUndo::openMapStartsAfresh() {
    GuiFixture f;
    f.UseTiles(2);
    PackFile::Write(f.ThePack(), f.Path("tiles/p.pac"));
    QVERIFY(WriteFile(f.Path("m.map"), MapFileBytes({"", "", "p.pac", ""}, 2, 2, {1, 0, 1, 0})));
    f.TileList().setCurrentRow(1);
    QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(10, 10));
    f.Action("saveMapAction").trigger(); // names no pack: refused, so the map stays unsaved
    f.Dialogs->Answers << Message::Discard;
    f.Dialogs->Files << f.Path("m.map");
    f.Action("openMapAction").trigger();
    QCOMPARE(f.TheMap().Width, 2);
    QCOMPARE(EditMenu(f), (QStringList{"Undo 0", "Redo 0"}));
    QCOMPARE(Title(f), "Map Editor(ver 0.3)");
    QCOMPARE(f.TheDocument().MapPath(), f.Path("m.map"));
    QCOMPARE(f.TheDocument().PackPath(), QDir(f.Dir.path()).filePath("tiles/p.pac"));
}

KORVANE_GUI_TEST_MAIN(TestUndo)
#include "tst_undo.moc"
