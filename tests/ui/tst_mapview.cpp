// The map view through the window: the wheel, dragging with the middle button, Ctrl+Home, the
// View menu, the grid, the status bar's place, and the tools at several zooms.

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include <QActionGroup>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWheelEvent>

namespace {
void Wheel(GuiFixture& f, QPoint at, QPoint angle, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent event(at, f.MapArea().mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&f.MapArea(), &event);
}

QPoint Offsets(GuiFixture& f) {
    return {f.MainView().OffsetX, f.MainView().OffsetY};
}

void MiddleDrag(GuiFixture& f, QPoint from, QPoint to) {
    QTest::mousePress(&f.MapArea(), Qt::MiddleButton, {}, from);
    QTest::mouseMove(&f.MapArea(), to);
    QTest::mouseRelease(&f.MapArea(), Qt::MiddleButton, {}, to);
}

// A map of width × height cells, all holding 0, on a pack of three tiles.
void LargeMap(GuiFixture& f, qint32 width, qint32 height) {
    f.UseTiles(3);
    f.TheDocument().NewMap(width, height, 48);
    f.Window().RedrawMap();
}

void LeftDrag(GuiFixture& f, const QList<QPoint>& points) {
    QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, points.constFirst());
    for (const QPoint& p : points.mid(1))
        QTest::mouseMove(&f.MapArea(), p);
    QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, points.constLast());
}

QList<QPoint> CellsHolding(GuiFixture& f, TileIndex value) {
    QList<QPoint> cells;
    for (qint32 x = 0; x < f.TheMap().Cells.size(); ++x)
        for (qint32 y = 0; y < f.TheMap().Cells.Rows(); ++y)
            if (f.TheMap().Cells[x][std::size_t(y)] == value)
                cells << QPoint(x, y);
    return cells;
}
} // namespace

class TestMapView : public QObject {
    Q_OBJECT
private slots:
    void wheelScrollsWithinTheMap() {
        GuiFixture f;
        LargeMap(f, 200, 150);
        const QPoint at(100, 100);
        // A notch down moves three cells; Shift turns it sideways; a notch up moves back.
        Wheel(f, at, QPoint(0, -120));
        QCOMPARE(Offsets(f), QPoint(0, 144));
        Wheel(f, at, QPoint(0, -120), Qt::ShiftModifier);
        QCOMPARE(Offsets(f), QPoint(144, 144));
        Wheel(f, at, QPoint(-120, 0)); // a tilting wheel's sideways turn
        QCOMPARE(Offsets(f), QPoint(288, 144));
        // Fine wheels act once their turns make up a notch.
        Wheel(f, at, QPoint(0, 60));
        QCOMPARE(Offsets(f), QPoint(288, 144));
        Wheel(f, at, QPoint(0, 60));
        QCOMPARE(Offsets(f), QPoint(288, 0));
        QCOMPARE(f.Status().Text(), "x=288 y=0");
        // Never before the first pixel, and as far as the last one, every row and column.
        Wheel(f, at, QPoint(0, 1200));
        QCOMPARE(Offsets(f), QPoint(288, 0));
        for (int i = 0; i < 100; ++i) {
            Wheel(f, at, QPoint(0, -120));
            Wheel(f, at, QPoint(0, -120), Qt::ShiftModifier);
        }
        QCOMPARE(Offsets(f), f.MainView().MaxOffset()); // whose bounds tst_zoom pins
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
        // Zoomed far out a notch moves 48 view pixels, many cells.
        f.Action("topLeftAction").trigger();
        f.MainView().Zoom = -3;
        Wheel(f, at, QPoint(0, -120));
        QCOMPARE(Offsets(f), QPoint(0, 48 * 8));
    }

    void ctrlWheelZoomsAroundThePointer() {
        GuiFixture f;
        LargeMap(f, 200, 150);
        f.MainView().OffsetX = 480;
        f.MainView().OffsetY = 960;
        const QPoint at(200, 150);
        const qint64 mapX = f.MainView().Mapping().MapX(at.x()),
                     mapY = f.MainView().Mapping().MapY(at.y());
        for (const int zoom : {1, 2, 3, 3, 2, 1, 0, -1}) {
            Wheel(f, at, QPoint(0, zoom > f.MainView().Zoom || zoom == 3 ? 120 : -120),
                  Qt::ControlModifier);
            QCOMPARE(f.MainView().Zoom, zoom);
            const ViewMapping mapping = f.MainView().Mapping();
            // The same map pixel under the pointer, to within a view pixel.
            QVERIFY(mapping.MapX(at.x()) <= mapX &&
                    mapX < mapping.MapEnd(at.x(), f.MainView().OffsetX));
            QVERIFY(mapping.MapY(at.y()) <= mapY &&
                    mapY < mapping.MapEnd(at.y(), f.MainView().OffsetY));
            QCOMPARE(f.ViewImage(), f.ViewRedrawn());
        }
        QCOMPARE(f.Status().Place(), "Zoom 1/2   Cell 14, 23   Tile 0");
        // Further out the map's left edge stops the view: it cannot stay under the pointer.
        Wheel(f, at, QPoint(0, -120), Qt::ControlModifier);
        QCOMPARE(f.MainView().Zoom, -2);
        QCOMPARE(f.MainView().OffsetX, 0);
    }

    void middleButtonDragsTheMap() {
        GuiFixture f;
        LargeMap(f, 200, 150);
        MiddleDrag(f, QPoint(300, 300), QPoint(200, 250));
        QCOMPARE(Offsets(f), QPoint(100, 50));
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
        QCOMPARE(f.Presented(), f.ViewImage());
        f.MainView().Zoom = -2; // a view pixel is 4 map pixels
        MiddleDrag(f, QPoint(300, 300), QPoint(290, 295));
        QCOMPARE(Offsets(f), QPoint(140, 70));
        MiddleDrag(f, QPoint(10, 10), QPoint(300, 300));
        QCOMPARE(Offsets(f), QPoint(0, 0));
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
        // Released, the pointer moves without dragging, and the left button paints.
        QTest::mouseMove(&f.MapArea(), QPoint(100, 100));
        QCOMPARE(Offsets(f), QPoint(0, 0));
    }

    // Home is the palette's own (its first tile); Ctrl+Home takes the view to the top-left.
    void ctrlHomeGoesToTheTopLeft() {
        GuiFixture f;
        LargeMap(f, 200, 150);
        f.Window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.Window()));
        f.TileList().setFocus();
        f.TileList().setCurrentRow(2);
        f.MainView().OffsetX = 400;
        f.MainView().OffsetY = 800;
        f.Window().RedrawMap();
        QTest::keyClick(&f.TileList(), Qt::Key_Home);
        QCOMPARE(f.Window().SelectedTile(), 0);
        QCOMPARE(Offsets(f), QPoint(400, 800));
        f.TileList().setCurrentRow(2);
        QTest::keyClick(&f.TileList(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(Offsets(f), QPoint(0, 0));
        QCOMPARE(f.Window().SelectedTile(), 2); // the key went no further
        QCOMPARE(f.Status().Text(), "x=0 y=0");
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
    }

    void viewMenu() {
        GuiFixture f;
        LargeMap(f, 40, 30);
        QCOMPARE(f.Find<QMenu>("viewMenu").title(), "View");
        QStringList entries;
        for (QAction* a : f.Find<QMenu>("viewMenu").actions())
            entries << a->text() + ' ' + a->shortcut().toString();
        QCOMPARE(entries,
                 (QStringList{"Zoom In Ctrl+=", "Zoom Out Ctrl+-", "Actual Size Ctrl+0", "Fit Map ",
                              "Top-Left Corner Ctrl+Home", " ", "Show Grid Ctrl+G", "Tile Names ",
                              " ", "Overview Ctrl+Shift+O"}));
        for (int i = 0; i < 5; ++i)
            f.Action("zoomInAction").trigger();
        QCOMPARE(f.MainView().Zoom, ViewMapping::MaxZoom);
        QCOMPARE(f.Status().Place(), "Zoom 800%");
        f.Action("actualSizeAction").trigger();
        QCOMPARE(f.MainView().Zoom, 0);
        QCOMPARE(f.Status().Place(), "Zoom 100%");
        f.Action("zoomOutAction").trigger();
        QCOMPARE(f.Status().Place(), "Zoom 1/2");
        for (int i = 0; i < 12; ++i)
            f.Action("zoomOutAction").trigger();
        QCOMPARE(f.MainView().Zoom, ViewMapping::MinZoom);
        QCOMPARE(f.Status().Place(), "Zoom 1/256");
        f.Action("fitMapAction").trigger();
        QCOMPARE(f.MainView().Zoom, -2); // 1920 x 1440 pixels in a view of about 640 x 540
        QCOMPARE(Offsets(f), QPoint(0, 0));
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
    }

    // The grid: switched from the menu, exact after every kind of redraw.
    void showGrid() {
        GuiFixture f;
        LargeMap(f, 60, 50);
        f.TileList().setCurrentRow(1);
        f.Action("showGridAction").trigger();
        QVERIFY(f.MainView().ShowGrid && f.Action("showGridAction").isChecked());
        auto exact = [&f](const char* after) {
            QVERIFY2(f.ViewImage() == f.ViewRedrawn(), after);
            QVERIFY2(f.Presented() == f.ViewImage(), after);
        };
        exact("switched on");
        LeftDrag(f, {QPoint(30, 30), QPoint(200, 90)});
        exact("painting");
        QTest::keyClick(&f.TileList(), Qt::Key_Right);
        QTest::keyClick(&f.TileList(), Qt::Key_Down);
        exact("arrows");
        Wheel(f, QPoint(100, 100), QPoint(0, -120));
        MiddleDrag(f, QPoint(300, 300), QPoint(250, 320));
        exact("wheel and drag");
        for (const int steps : {1, 1, -2, -1, -1}) {
            f.Window().ZoomBy(steps, QPoint(123, 77));
            f.Window().RedrawMap();
            exact("zoom");
            LeftDrag(f, {QPoint(60, 60), QPoint(90, 200)});
            Wheel(f, QPoint(100, 100), QPoint(0, -120), Qt::ShiftModifier);
            exact("zoomed painting and scrolling");
        }
        f.Window().resize(f.Window().width() - 37, f.Window().height() + 21);
        QTRY_COMPARE(f.MainView().ViewWidth, f.MapArea().width());
        exact("resize");
        // The rectangle's outline stays visible where it runs along grid lines.
        f.Action("rectangleAction").trigger();
        QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseMove(&f.MapArea(), QPoint(150, 120));
        const QRect outline = f.Window().ToolOutline();
        const QImage shown = f.Presented();
        QList<QPoint> edges; // the top and left edges, which lie on grid lines
        for (int x = outline.left(); x <= outline.right(); ++x)
            edges << QPoint(x, outline.top());
        for (int y = outline.top(); y <= outline.bottom(); ++y)
            edges << QPoint(outline.left(), y);
        for (const QPoint p : edges) {
            const QRgb pixel = shown.pixel(p) & RGB_MASK;
            QVERIFY2(pixel == 0 || pixel == RGB_MASK,
                     qPrintable(QString("%1, %2: %3").arg(p.x()).arg(p.y()).arg(pixel, 0, 16)));
        }
        QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, QPoint(150, 120));
        exact("rectangle");
        f.Action("showGridAction").trigger();
        QVERIFY(!f.MainView().ShowGrid);
        exact("switched off");
    }

    void placeInTheStatusBar() {
        GuiFixture f;
        QCOMPARE(f.Status().Place(), "Zoom 100%");
        LargeMap(f, 20, 20);
        f.TheMap().Cells[2][1] = 2;
        f.TheMap().Cells[3][1] = -1;
        // Pointer moves show their place within a moment.
        QTest::mouseMove(&f.MapArea(), QPoint(100, 50));
        QTRY_COMPARE(f.Status().Place(), "Zoom 100%   Cell 2, 1   Tile 2");
        QTest::mouseMove(&f.MapArea(), QPoint(150, 50));
        QTRY_COMPARE(f.Status().Place(), "Zoom 100%   Cell 3, 1   Tile -1");
        // A tool's change shows in the tile index.
        f.TileList().setCurrentRow(0);
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(150, 50));
        QTRY_COMPARE(f.Status().Place(), "Zoom 100%   Cell 3, 1   Tile 0");
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&f.MapArea(), &leave);
        QCOMPARE(f.Status().Place(), "Zoom 100%");
    }

    void toolsMenuAndBar() {
        GuiFixture f;
        QStringList entries;
        const QList<QAction*> tools = f.Find<QMenu>("toolsMenu").actions().first(7);
        for (QAction* a : tools)
            entries << a->text() + ' ' + a->shortcut().toString();
        QCOMPARE(entries, (QStringList{"Brush B", "Eraser E", "Rectangle R", "Fill F", "Picker I",
                                       "Select M", "Magic Wand W"}));
        QCOMPARE(f.Find<QToolBar>("toolsBar").actions(), tools);
        // The tool bar lies below the map: the view keeps its place right under the menu.
        QCOMPARE(f.MapArea().mapTo(&f.Window(), QPoint(0, 0)),
                 QPoint(0, f.Window().menuBar()->height()));
        QCOMPARE(f.Find<QToolBar>("toolsBar").y(),
                 f.MapArea().mapTo(&f.Window(), QPoint(0, f.MapArea().height())).y());
        QVERIFY(f.Action("brushAction").isChecked());
        QCOMPARE(f.Window().CurrentTool().Name(), "Brush");
        // The letters reach the tools even while the palette has the focus.
        f.Window().activateWindow();
        f.TileList().setFocus();
        QTest::keyClick(&f.TileList(), Qt::Key_E);
        QCOMPARE(f.Window().CurrentTool().Name(), "Eraser");
        QVERIFY(f.Action("eraserAction").isChecked() && !f.Action("brushAction").isChecked());
        f.Action("pickerAction").trigger();
        QCOMPARE(f.Window().CurrentTool().Name(), "Picker");
    }

    // Each tool through the mouse, on the cell under the pointer at several zooms, one undo
    // step each.
    void toolsInTheView_data() {
        QTest::addColumn<int>("zoom");
        QTest::newRow("actual size") << 0;
        QTest::newRow("2x") << 1;
        QTest::newRow("1/4") << -2;
        QTest::newRow("1/16, one colour a tile") << -4;
    }
    void toolsInTheView() {
        QFETCH(int, zoom);
        GuiFixture f;
        LargeMap(f, 300, 200);
        f.MainView().Zoom = zoom;
        f.Window().RedrawMap();
        const auto steps = f.TheDocument().UndoHistory().Count();
        const ViewMapping mapping = f.MainView().Mapping();
        auto cell = [&](QPoint p) { return mapping.CellAt(p); };
        f.TileList().setCurrentRow(1);

        // Brush: a click paints the cell under the pointer.
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(101, 53));
        QCOMPARE(CellsHolding(f, 1), QList<QPoint>{cell(QPoint(101, 53))});

        // Rectangle: outlined while dragged, filled on release.
        f.Action("rectangleAction").trigger();
        f.TileList().setCurrentRow(2);
        QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, QPoint(300, 200));
        QTest::mouseMove(&f.MapArea(), QPoint(250, 260));
        const QRect dragged = QRect(cell(QPoint(250, 200)), cell(QPoint(300, 260)));
        QCOMPARE(f.Window().CurrentTool().Outline(), dragged);
        QVERIFY(f.Presented() != f.ViewImage()); // the outline shows over the map
        QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, QPoint(250, 260));
        QCOMPARE(CellsHolding(f, 2).size(), dragged.width() * dragged.height());
        QCOMPARE(f.Presented(), f.ViewImage()); // the outline is gone

        // Fill: the press reaches the fill (its region is proven in tst_fill).
        f.Action("fillAction").trigger();
        f.TileList().setCurrentRow(1);
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(CellsHolding(f, 0), QList<QPoint>{});

        // Picker: the tile under the pointer becomes the selection; -1 selects nothing.
        f.Action("pickerAction").trigger();
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(270, 230));
        QCOMPARE(f.Window().SelectedTile(), 2);

        // Eraser: a drag empties every cell on its way, without gaps at any zoom.
        f.Action("eraserAction").trigger();
        LeftDrag(f, {QPoint(10, 300), QPoint(400, 320)});
        const QList<QPoint> erased = CellsHolding(f, -1);
        QVERIFY(erased.contains(cell(QPoint(10, 300))) && erased.contains(cell(QPoint(400, 320))));
        for (int i = 1; i < erased.size(); ++i)
            QVERIFY(qAbs(erased[i].x() - erased[i - 1].x()) <= 1);
        f.Action("pickerAction").trigger();
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(10, 300));
        QCOMPARE(f.Window().SelectedTile(), 2);
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());

        // Each mouse gesture was one step.
        QCOMPARE(f.TheDocument().UndoHistory().Count(), steps + 4);
    }

    // Below 1/16 the view draws cells smaller than a pixel from samples it keeps of the map:
    // after painting, a rectangle, a fill, undo, redo, a tile deleted and loading a map of the
    // same size, it shows what a drawing from scratch shows.
    void zoomedOutViewFollowsEveryChange_data() {
        QTest::addColumn<int>("zoom");
        for (int zoom = -5; zoom >= ViewMapping::MinZoom; --zoom)
            QTest::addRow("1/%d", 1 << -zoom) << zoom;
    }
    void zoomedOutViewFollowsEveryChange() {
        QFETCH(int, zoom);
        GuiFixture f;
        f.UseTiles(5);
        // Random cells, so that a stale sample shows.
        auto randomCells = [](TileMap& map, quint32 seed) {
            QRandomGenerator random(seed);
            for (qint32 x = 0; x < map.Cells.size(); ++x)
                for (TileIndex& cell : map.Cells[x])
                    cell = TileIndex(random.bounded(-1, 5));
        };
        TileMap other(48);
        other.New(1500, 1200, 48);
        randomCells(other, 2);
        other.PackName = "p.pac";
        QDir().mkpath(f.Path("game/tiles"));
        MapFile::Write(other, f.Path("game/other.map"));
        PackFile::Write(f.ThePack(), f.Path("game/tiles/p.pac"));
        f.TheDocument().NewMap(1500, 1200, 48);
        randomCells(f.TheMap(), 1);
        f.TheDocument().ResetHistory();
        f.MainView().Zoom = zoom;
        f.Window().RedrawMap();
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
        QImage before = f.ViewImage();
        auto drawnAfresh = [&](const char* what) {
            QVERIFY2(f.ViewImage() == f.ViewRedrawn(), what);
            QVERIFY2(f.ViewImage() != before, what); // the change shows
            before = f.ViewImage();
        };

        f.TileList().setCurrentRow(4);
        LeftDrag(f, {QPoint(3, 3), QPoint(200, 3), QPoint(200, 40), QPoint(3, 40)});
        drawnAfresh("painted");
        f.Action("rectangleAction").trigger();
        f.TileList().setCurrentRow(2);
        LeftDrag(f, {QPoint(20, 60), QPoint(150, 130)});
        drawnAfresh("a rectangle");
        f.Action("fillAction").trigger();
        f.TileList().setCurrentRow(3);
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(80, 100));
        drawnAfresh("filled");
        for (const char* action : {"undoAction", "undoAction", "redoAction", "undoAction"}) {
            f.Action(action).trigger();
            drawnAfresh(action);
        }
        f.TheDocument().DeleteTile(1); // cells change in place, all of them at once
        drawnAfresh("a tile deleted");
        f.TheDocument().ResetHistory(); // nothing to ask about before the load
        f.Window().OpenFiles({f.Path("game/other.map")});
        QCOMPARE(f.TheDocument().MapPath(), f.Path("game/other.map"));
        f.MainView().Zoom = zoom;
        f.Window().RedrawMap();
        drawnAfresh("loaded");
    }

    // The right button ends a drag whatever the tool, as it always ended a stroke.
    void rightButtonEndsADrag() {
        GuiFixture f;
        LargeMap(f, 20, 20);
        f.TileList().setCurrentRow(1);
        f.Action("rectangleAction").trigger();
        QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(&f.MapArea(), QPoint(100, 100));
        QTest::mouseClick(&f.MapArea(), Qt::RightButton, {}, QPoint(100, 100));
        QCOMPARE(CellsHolding(f, 1).size(), 9);
        QTest::mouseMove(&f.MapArea(), QPoint(300, 300));
        QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, QPoint(300, 300));
        QCOMPARE(CellsHolding(f, 1).size(), 9);
    }
};

KORVANE_GUI_TEST_MAIN(TestMapView)
#include "tst_mapview.moc"
