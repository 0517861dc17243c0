// The map view through the window: the wheel, dragging with the middle button, Ctrl+Home, the
// View menu, the grid, the status bar's place, and the tools at several zooms.

#include "ScriptedDialogs.h"

#include <QActionGroup>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWheelEvent>

namespace {
void Wheel(QPoint at, QPoint angle, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent event(at, mainWindow->mapView->mapToGlobal(at), QPoint(), angle, Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(mainWindow->mapView, &event);
}

QPoint Offsets() {
    return {MainView().OffsetX, MainView().OffsetY};
}

void MiddleDrag(QPoint from, QPoint to) {
    QTest::mousePress(mainWindow->mapView, Qt::MiddleButton, {}, from);
    QTest::mouseMove(mainWindow->mapView, to);
    QTest::mouseRelease(mainWindow->mapView, Qt::MiddleButton, {}, to);
}

// A map of width × height cells, all holding 0, on a pack of three tiles.
void LargeMap(qint32 width, qint32 height) {
    UseTiles(3);
    Document->NewMap(width, height, 48);
    mainWindow->RedrawMap();
}

void LeftDrag(const QList<QPoint>& points) {
    QTest::mousePress(mainWindow->mapView, Qt::LeftButton, {}, points.constFirst());
    for (const QPoint& p : points.mid(1))
        QTest::mouseMove(mainWindow->mapView, p);
    QTest::mouseRelease(mainWindow->mapView, Qt::LeftButton, {}, points.constLast());
}

QList<QPoint> CellsHolding(TileIndex value) {
    QList<QPoint> cells;
    for (qint32 x = 0; x < Map->Cells.size(); ++x)
        for (qint32 y = 0; y < Map->Cells.Rows(); ++y)
            if (Map->Cells[x][std::size_t(y)] == value)
                cells << QPoint(x, y);
    return cells;
}
} // namespace

class TestMapView : public QObject {
    Q_OBJECT
private slots:
    void wheelScrollsWithinTheMap() {
        TGuiFixture f;
        LargeMap(200, 150);
        const QPoint at(100, 100);
        // A notch down moves three cells; Shift turns it sideways; a notch up moves back.
        Wheel(at, QPoint(0, -120));
        QCOMPARE(Offsets(), QPoint(0, 144));
        Wheel(at, QPoint(0, -120), Qt::ShiftModifier);
        QCOMPARE(Offsets(), QPoint(144, 144));
        Wheel(at, QPoint(-120, 0)); // a tilting wheel's sideways turn
        QCOMPARE(Offsets(), QPoint(288, 144));
        // Fine wheels act once their turns make up a notch.
        Wheel(at, QPoint(0, 60));
        QCOMPARE(Offsets(), QPoint(288, 144));
        Wheel(at, QPoint(0, 60));
        QCOMPARE(Offsets(), QPoint(288, 0));
        QCOMPARE(mainWindow->Status->Text(), "x=288 y=0");
        // Never before the first pixel, and as far as the last one, every row and column.
        Wheel(at, QPoint(0, 1200));
        QCOMPARE(Offsets(), QPoint(288, 0));
        for (int i = 0; i < 100; ++i) {
            Wheel(at, QPoint(0, -120));
            Wheel(at, QPoint(0, -120), Qt::ShiftModifier);
        }
        QCOMPARE(Offsets(), MainView().MaxOffset());
        QCOMPARE(MainView().OffsetX + MainView().ViewWidth, 200 * 48);
        QCOMPARE(MainView().OffsetY + MainView().ViewHeight, 150 * 48);
        QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());
        // Zoomed far out a notch moves 48 view pixels, many cells.
        mainWindow->topLeftAction->trigger();
        MainView().Zoom = -3;
        Wheel(at, QPoint(0, -120));
        QCOMPARE(Offsets(), QPoint(0, 48 * 8));
    }

    void ctrlWheelZoomsAroundThePointer() {
        TGuiFixture f;
        LargeMap(200, 150);
        MainView().OffsetX = 480;
        MainView().OffsetY = 960;
        const QPoint at(200, 150);
        const qint64 mapX = MainView().Mapping().MapX(at.x()),
                     mapY = MainView().Mapping().MapY(at.y());
        for (const int zoom : {1, 2, 3, 3, 2, 1, 0, -1}) {
            Wheel(at, QPoint(0, zoom > MainView().Zoom || zoom == 3 ? 120 : -120),
                  Qt::ControlModifier);
            QCOMPARE(MainView().Zoom, zoom);
            const TViewMapping mapping = MainView().Mapping();
            // The same map pixel under the pointer, to within a view pixel.
            QVERIFY(mapping.MapX(at.x()) <= mapX &&
                    mapX < mapping.MapEnd(at.x(), MainView().OffsetX));
            QVERIFY(mapping.MapY(at.y()) <= mapY &&
                    mapY < mapping.MapEnd(at.y(), MainView().OffsetY));
            QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());
        }
        QCOMPARE(mainWindow->Status->Place(), "Zoom 1/2   Cell 14, 23   Tile 0");
        // Further out the map's left edge stops the view: it cannot stay under the pointer.
        Wheel(at, QPoint(0, -120), Qt::ControlModifier);
        QCOMPARE(MainView().Zoom, -2);
        QCOMPARE(MainView().OffsetX, 0);
    }

    void middleButtonDragsTheMap() {
        TGuiFixture f;
        LargeMap(200, 150);
        MiddleDrag(QPoint(300, 300), QPoint(200, 250));
        QCOMPARE(Offsets(), QPoint(100, 50));
        QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());
        QCOMPARE(Presented(), mainWindow->Canvas.Image());
        MainView().Zoom = -2; // a view pixel is 4 map pixels
        MiddleDrag(QPoint(300, 300), QPoint(290, 295));
        QCOMPARE(Offsets(), QPoint(140, 70));
        MiddleDrag(QPoint(10, 10), QPoint(300, 300));
        QCOMPARE(Offsets(), QPoint(0, 0));
        QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());
        // Released, the pointer moves without dragging, and the left button paints.
        QTest::mouseMove(mainWindow->mapView, QPoint(100, 100));
        QCOMPARE(Offsets(), QPoint(0, 0));
    }

    // Home is the palette's own (its first tile); Ctrl+Home takes the view to the top-left.
    void ctrlHomeGoesToTheTopLeft() {
        TGuiFixture f;
        LargeMap(200, 150);
        mainWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(mainWindow));
        mainWindow->tileList->setFocus();
        mainWindow->tileList->setCurrentRow(2);
        MainView().OffsetX = 400;
        MainView().OffsetY = 800;
        mainWindow->RedrawMap();
        QTest::keyClick(mainWindow->tileList, Qt::Key_Home);
        QCOMPARE(mainWindow->SelectedTile(), 0);
        QCOMPARE(Offsets(), QPoint(400, 800));
        mainWindow->tileList->setCurrentRow(2);
        QTest::keyClick(mainWindow->tileList, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(Offsets(), QPoint(0, 0));
        QCOMPARE(mainWindow->SelectedTile(), 2); // the key went no further
        QCOMPARE(mainWindow->Status->Text(), "x=0 y=0");
        QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());
    }

    // Zoomed in, the last column and row can be scrolled wholly into view, whatever the
    // view's size in map pixels.
    void lastPixelInViewAtEveryZoomIn() {
        TGuiFixture f;
        LargeMap(40, 30);
        for (const QSize view : {QSize(1001, 603), QSize(1004, 606), QSize(1000, 600)}) {
            mainWindow->resize(view + mainWindow->size() - mainWindow->mapView->size());
            QTRY_COMPARE(mainWindow->mapView->size(), view);
            for (qint32 zoom = 1; zoom <= TViewMapping::MaxZoom; ++zoom) {
                MainView().Zoom = zoom;
                MainView().ScrollTo(0, 0);
                MainView().ScrollTo(1 << 30, 1 << 30);
                const TViewMapping mapping = MainView().Mapping();
                QVERIFY(mapping.ViewX(40 * 48) <= view.width());
                QVERIFY(mapping.ViewY(30 * 48) <= view.height());
                QVERIFY(mapping.ViewX(40 * 48) > view.width() - mapping.Scale());
            }
        }
    }
    void viewMenu() {
        TGuiFixture f;
        LargeMap(40, 30);
        QCOMPARE(mainWindow->viewMenu->title(), "View");
        QStringList entries;
        for (QAction* a : mainWindow->viewMenu->actions())
            entries << a->text() + ' ' + a->shortcut().toString();
        QCOMPARE(entries, (QStringList{"Zoom In Ctrl+=", "Zoom Out Ctrl+-", "Actual Size Ctrl+0",
                                       "Fit Map ", "Top-Left Corner Ctrl+Home", " ",
                                       "Show Grid Ctrl+G", " ", "Overview Ctrl+Shift+O"}));
        for (int i = 0; i < 5; ++i)
            mainWindow->zoomInAction->trigger();
        QCOMPARE(MainView().Zoom, TViewMapping::MaxZoom);
        QCOMPARE(mainWindow->Status->Place(), "Zoom 800%");
        mainWindow->actualSizeAction->trigger();
        QCOMPARE(MainView().Zoom, 0);
        QCOMPARE(mainWindow->Status->Place(), "Zoom 100%");
        mainWindow->zoomOutAction->trigger();
        QCOMPARE(mainWindow->Status->Place(), "Zoom 1/2");
        for (int i = 0; i < 12; ++i)
            mainWindow->zoomOutAction->trigger();
        QCOMPARE(MainView().Zoom, TViewMapping::MinZoom);
        QCOMPARE(mainWindow->Status->Place(), "Zoom 1/256");
        mainWindow->fitMapAction->trigger();
        QCOMPARE(MainView().Zoom, -2); // 1920 x 1440 pixels in a view of about 640 x 540
        QCOMPARE(Offsets(), QPoint(0, 0));
        QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());
    }

    // The grid: switched from the menu, exact after every kind of redraw.
    void showGrid() {
        TGuiFixture f;
        LargeMap(60, 50);
        mainWindow->tileList->setCurrentRow(1);
        mainWindow->showGridAction->trigger();
        QVERIFY(MainView().ShowGrid && mainWindow->showGridAction->isChecked());
        auto exact = [](const char* after) {
            QVERIFY2(mainWindow->Canvas.Image() == ViewRedrawn(), after);
            QVERIFY2(Presented() == mainWindow->Canvas.Image(), after);
        };
        exact("switched on");
        LeftDrag({QPoint(30, 30), QPoint(200, 90)});
        exact("painting");
        QTest::keyClick(mainWindow->tileList, Qt::Key_Right);
        QTest::keyClick(mainWindow->tileList, Qt::Key_Down);
        exact("arrows");
        Wheel(QPoint(100, 100), QPoint(0, -120));
        MiddleDrag(QPoint(300, 300), QPoint(250, 320));
        exact("wheel and drag");
        for (const int steps : {1, 1, -2, -1, -1}) {
            mainWindow->ZoomBy(steps, QPoint(123, 77));
            mainWindow->RedrawMap();
            exact("zoom");
            LeftDrag({QPoint(60, 60), QPoint(90, 200)});
            Wheel(QPoint(100, 100), QPoint(0, -120), Qt::ShiftModifier);
            exact("zoomed painting and scrolling");
        }
        mainWindow->resize(mainWindow->width() - 37, mainWindow->height() + 21);
        QTRY_COMPARE(MainView().ViewWidth, mainWindow->mapView->width());
        exact("resize");
        // The rectangle's outline stays visible where it runs along grid lines.
        mainWindow->rectangleAction->trigger();
        QTest::mousePress(mainWindow->mapView, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseMove(mainWindow->mapView, QPoint(150, 120));
        const QRect outline = mainWindow->ToolOutline();
        const QImage shown = Presented();
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
        QTest::mouseRelease(mainWindow->mapView, Qt::LeftButton, {}, QPoint(150, 120));
        exact("rectangle");
        mainWindow->showGridAction->trigger();
        QVERIFY(!MainView().ShowGrid);
        exact("switched off");
    }

    void placeInTheStatusBar() {
        TGuiFixture f;
        QCOMPARE(mainWindow->Status->Place(), "Zoom 100%");
        LargeMap(20, 20);
        Map->Cells[2][1] = 2;
        Map->Cells[3][1] = -1;
        // Pointer moves show their place within a moment.
        QTest::mouseMove(mainWindow->mapView, QPoint(100, 50));
        QTRY_COMPARE(mainWindow->Status->Place(), "Zoom 100%   Cell 2, 1   Tile 2");
        QTest::mouseMove(mainWindow->mapView, QPoint(150, 50));
        QTRY_COMPARE(mainWindow->Status->Place(), "Zoom 100%   Cell 3, 1   Tile -1");
        // A tool's change shows in the tile index.
        mainWindow->tileList->setCurrentRow(0);
        QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(150, 50));
        QTRY_COMPARE(mainWindow->Status->Place(), "Zoom 100%   Cell 3, 1   Tile 0");
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(mainWindow->mapView, &leave);
        QCOMPARE(mainWindow->Status->Place(), "Zoom 100%");
    }

    void toolsMenuAndBar() {
        TGuiFixture f;
        QStringList entries;
        for (QAction* a : mainWindow->toolsMenu->actions())
            entries << a->text() + ' ' + a->shortcut().toString();
        QCOMPARE(entries,
                 (QStringList{"Brush B", "Eraser E", "Rectangle R", "Fill F", "Picker I"}));
        QCOMPARE(mainWindow->toolsBar->actions(), mainWindow->toolsMenu->actions());
        // The tool bar lies below the map: the view keeps its place right under the menu.
        QCOMPARE(mainWindow->mapView->mapTo(mainWindow, QPoint(0, 0)),
                 QPoint(0, mainWindow->menuBar()->height()));
        QCOMPARE(
            mainWindow->toolsBar->y(),
            mainWindow->mapView->mapTo(mainWindow, QPoint(0, mainWindow->mapView->height())).y());
        QVERIFY(mainWindow->brushAction->isChecked());
        QCOMPARE(mainWindow->CurrentTool().Name(), "Brush");
        // The letters reach the tools even while the palette has the focus.
        mainWindow->activateWindow();
        mainWindow->tileList->setFocus();
        QTest::keyClick(mainWindow->tileList, Qt::Key_E);
        QCOMPARE(mainWindow->CurrentTool().Name(), "Eraser");
        QVERIFY(mainWindow->eraserAction->isChecked() && !mainWindow->brushAction->isChecked());
        mainWindow->pickerAction->trigger();
        QCOMPARE(mainWindow->CurrentTool().Name(), "Picker");
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
        TGuiFixture f;
        LargeMap(300, 200);
        MainView().Zoom = zoom;
        mainWindow->RedrawMap();
        const TViewMapping mapping = MainView().Mapping();
        auto cell = [&](QPoint p) { return mapping.CellAt(p); };
        mainWindow->tileList->setCurrentRow(1);

        // Brush: a click paints the cell under the pointer.
        QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(101, 53));
        QCOMPARE(CellsHolding(1), QList<QPoint>{cell(QPoint(101, 53))});

        // Rectangle: outlined while dragged, filled on release.
        mainWindow->rectangleAction->trigger();
        mainWindow->tileList->setCurrentRow(2);
        QTest::mousePress(mainWindow->mapView, Qt::LeftButton, {}, QPoint(300, 200));
        QTest::mouseMove(mainWindow->mapView, QPoint(250, 260));
        const QRect dragged = QRect(cell(QPoint(250, 200)), cell(QPoint(300, 260)));
        QCOMPARE(mainWindow->CurrentTool().Outline(), dragged);
        QVERIFY(Presented() != mainWindow->Canvas.Image()); // the outline shows over the map
        QTest::mouseRelease(mainWindow->mapView, Qt::LeftButton, {}, QPoint(250, 260));
        QCOMPARE(CellsHolding(2).size(), dragged.width() * dragged.height());
        QCOMPARE(mainWindow->undoAction->text(), "Undo Rectangle");
        QCOMPARE(Presented(), mainWindow->Canvas.Image()); // the outline is gone

        // Fill: the region of 0 around the pressed cell, as far as the map's edges.
        mainWindow->fillAction->trigger();
        mainWindow->tileList->setCurrentRow(0);
        QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(5, 5)); // already 0
        QCOMPARE(mainWindow->undoAction->text(), "Undo Rectangle");
        mainWindow->tileList->setCurrentRow(1);
        QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(mainWindow->undoAction->text(), "Undo Fill");
        QCOMPARE(CellsHolding(0), QList<QPoint>{});
        QCOMPARE(CellsHolding(2).size(), dragged.width() * dragged.height());

        // Picker: the tile under the pointer becomes the selection; -1 selects nothing.
        mainWindow->pickerAction->trigger();
        QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(270, 230));
        QCOMPARE(mainWindow->SelectedTile(), 2);

        // Eraser: a drag empties every cell on its way, without gaps at any zoom.
        mainWindow->eraserAction->trigger();
        LeftDrag({QPoint(10, 300), QPoint(400, 320)});
        const QList<QPoint> erased = CellsHolding(-1);
        QVERIFY(erased.contains(cell(QPoint(10, 300))) && erased.contains(cell(QPoint(400, 320))));
        for (int i = 1; i < erased.size(); ++i)
            QVERIFY(qAbs(erased[i].x() - erased[i - 1].x()) <= 1);
        QCOMPARE(mainWindow->undoAction->text(), "Undo Erase");
        mainWindow->pickerAction->trigger();
        QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(10, 300));
        QCOMPARE(mainWindow->SelectedTile(), 2);
        QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());

        // Each change was one step.
        for (const char* step : {"Erase", "Fill", "Rectangle", "Paint"}) {
            QCOMPARE(mainWindow->undoAction->text(), QString("Undo ") + step);
            mainWindow->undoAction->trigger();
        }
        QCOMPARE(CellsHolding(0).size(), 300 * 200);
    }

    // The right button ends a drag whatever the tool, as it always ended a stroke.
    void rightButtonEndsADrag() {
        TGuiFixture f;
        LargeMap(20, 20);
        mainWindow->tileList->setCurrentRow(1);
        mainWindow->rectangleAction->trigger();
        QTest::mousePress(mainWindow->mapView, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(mainWindow->mapView, QPoint(100, 100));
        QTest::mouseClick(mainWindow->mapView, Qt::RightButton, {}, QPoint(100, 100));
        QCOMPARE(CellsHolding(1).size(), 9);
        QTest::mouseMove(mainWindow->mapView, QPoint(300, 300));
        QTest::mouseRelease(mainWindow->mapView, Qt::LeftButton, {}, QPoint(300, 300));
        QCOMPARE(CellsHolding(1).size(), 9);
    }
};

KORVANE_GUI_TEST_MAIN(TestMapView)
#include "tst_mapview.moc"
