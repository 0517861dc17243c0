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
    QWheelEvent event(at, Form1->MapView->mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(Form1->MapView, &event);
}

QPoint Offsets() {
    return {Map->OffsetX, Map->OffsetY};
}

void MiddleDrag(QPoint from, QPoint to) {
    QTest::mousePress(Form1->MapView, Qt::MiddleButton, {}, from);
    QTest::mouseMove(Form1->MapView, to);
    QTest::mouseRelease(Form1->MapView, Qt::MiddleButton, {}, to);
}

// A map of width × height cells, all holding 0, on a pack of three tiles.
void LargeMap(qint32 width, qint32 height) {
    UseTiles(3);
    Document->NewMap(width, height, 48);
    Form1->RedrawMap();
}

void LeftDrag(const QList<QPoint>& points) {
    QTest::mousePress(Form1->MapView, Qt::LeftButton, {}, points.constFirst());
    for (const QPoint& p : points.mid(1))
        QTest::mouseMove(Form1->MapView, p);
    QTest::mouseRelease(Form1->MapView, Qt::LeftButton, {}, points.constLast());
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
        QCOMPARE(Form1->Status->Text(), "x=288 y=0");
        // Never before the first pixel, and as far as the last one, every row and column.
        Wheel(at, QPoint(0, 1200));
        QCOMPARE(Offsets(), QPoint(288, 0));
        for (int i = 0; i < 100; ++i) {
            Wheel(at, QPoint(0, -120));
            Wheel(at, QPoint(0, -120), Qt::ShiftModifier);
        }
        QCOMPARE(Offsets(), Map->MaxOffset());
        QCOMPARE(Map->OffsetX + Map->ViewWidth, 200 * 48);
        QCOMPARE(Map->OffsetY + Map->ViewHeight, 150 * 48);
        QCOMPARE(Form1->Canvas.Image(), ViewRedrawn());
        // Zoomed far out a notch moves 48 view pixels, many cells.
        Form1->TopLeft_act->trigger();
        Map->Zoom = -3;
        Wheel(at, QPoint(0, -120));
        QCOMPARE(Offsets(), QPoint(0, 48 * 8));
    }

    void ctrlWheelZoomsAroundThePointer() {
        TGuiFixture f;
        LargeMap(200, 150);
        Map->OffsetX = 480;
        Map->OffsetY = 960;
        const QPoint at(200, 150);
        const qint64 mapX = Map->Mapping().MapX(at.x()), mapY = Map->Mapping().MapY(at.y());
        for (const int zoom : {1, 2, 3, 3, 2, 1, 0, -1}) {
            Wheel(at, QPoint(0, zoom > Map->Zoom || zoom == 3 ? 120 : -120), Qt::ControlModifier);
            QCOMPARE(Map->Zoom, zoom);
            const TViewMapping mapping = Map->Mapping();
            // The same map pixel under the pointer, to within a view pixel.
            QVERIFY(mapping.MapX(at.x()) <= mapX && mapX < mapping.MapEnd(at.x(), Map->OffsetX));
            QVERIFY(mapping.MapY(at.y()) <= mapY && mapY < mapping.MapEnd(at.y(), Map->OffsetY));
            QCOMPARE(Form1->Canvas.Image(), ViewRedrawn());
        }
        QCOMPARE(Form1->Status->Place(), "Zoom 1/2   Cell 14, 23   Tile 0");
        // Further out the map's left edge stops the view: it cannot stay under the pointer.
        Wheel(at, QPoint(0, -120), Qt::ControlModifier);
        QCOMPARE(Map->Zoom, -2);
        QCOMPARE(Map->OffsetX, 0);
    }

    void middleButtonDragsTheMap() {
        TGuiFixture f;
        LargeMap(200, 150);
        MiddleDrag(QPoint(300, 300), QPoint(200, 250));
        QCOMPARE(Offsets(), QPoint(100, 50));
        QCOMPARE(Form1->Canvas.Image(), ViewRedrawn());
        QCOMPARE(Presented(), Form1->Canvas.Image());
        Map->Zoom = -2; // a view pixel is 4 map pixels
        MiddleDrag(QPoint(300, 300), QPoint(290, 295));
        QCOMPARE(Offsets(), QPoint(140, 70));
        MiddleDrag(QPoint(10, 10), QPoint(300, 300));
        QCOMPARE(Offsets(), QPoint(0, 0));
        QCOMPARE(Form1->Canvas.Image(), ViewRedrawn());
        // Released, the pointer moves without dragging, and the left button paints.
        QTest::mouseMove(Form1->MapView, QPoint(100, 100));
        QCOMPARE(Offsets(), QPoint(0, 0));
    }

    // Home is the palette's own (its first tile); Ctrl+Home takes the view to the top-left.
    void ctrlHomeGoesToTheTopLeft() {
        TGuiFixture f;
        LargeMap(200, 150);
        Form1->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        Form1->TileList_lb->setFocus();
        Form1->TileList_lb->setCurrentRow(2);
        Map->OffsetX = 400;
        Map->OffsetY = 800;
        Form1->RedrawMap();
        QTest::keyClick(Form1->TileList_lb, Qt::Key_Home);
        QCOMPARE(Form1->SelectedTile(), 0);
        QCOMPARE(Offsets(), QPoint(400, 800));
        Form1->TileList_lb->setCurrentRow(2);
        QTest::keyClick(Form1->TileList_lb, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(Offsets(), QPoint(0, 0));
        QCOMPARE(Form1->SelectedTile(), 2); // the key went no further
        QCOMPARE(Form1->Status->Text(), "x=0 y=0");
        QCOMPARE(Form1->Canvas.Image(), ViewRedrawn());
    }

    // Zoomed in, the last column and row can be scrolled wholly into view, whatever the
    // view's size in map pixels.
    void lastPixelInViewAtEveryZoomIn() {
        TGuiFixture f;
        LargeMap(40, 30);
        for (const QSize view : {QSize(1001, 603), QSize(1004, 606), QSize(1000, 600)}) {
            Form1->resize(view + Form1->size() - Form1->MapView->size());
            QTRY_COMPARE(Form1->MapView->size(), view);
            for (qint32 zoom = 1; zoom <= TViewMapping::MaxZoom; ++zoom) {
                Map->Zoom = zoom;
                Map->ScrollTo(0, 0);
                Map->ScrollTo(1 << 30, 1 << 30);
                const TViewMapping mapping = Map->Mapping();
                QVERIFY(mapping.ViewX(40 * 48) <= view.width());
                QVERIFY(mapping.ViewY(30 * 48) <= view.height());
                QVERIFY(mapping.ViewX(40 * 48) > view.width() - mapping.Scale());
            }
        }
    }
    void viewMenu() {
        TGuiFixture f;
        LargeMap(40, 30);
        QCOMPARE(Form1->View_menu->title(), "View");
        QStringList entries;
        for (QAction* a : Form1->View_menu->actions())
            entries << a->text() + ' ' + a->shortcut().toString();
        QCOMPARE(entries,
                 (QStringList{"Zoom In Ctrl+=", "Zoom Out Ctrl+-", "Actual Size Ctrl+0", "Fit Map ",
                              "Top-Left Corner Ctrl+Home", " ", "Show Grid Ctrl+G"}));
        for (int i = 0; i < 5; ++i)
            Form1->ZoomIn_act->trigger();
        QCOMPARE(Map->Zoom, TViewMapping::MaxZoom);
        QCOMPARE(Form1->Status->Place(), "Zoom 800%");
        Form1->ActualSize_act->trigger();
        QCOMPARE(Map->Zoom, 0);
        QCOMPARE(Form1->Status->Place(), "Zoom 100%");
        Form1->ZoomOut_act->trigger();
        QCOMPARE(Form1->Status->Place(), "Zoom 1/2");
        for (int i = 0; i < 12; ++i)
            Form1->ZoomOut_act->trigger();
        QCOMPARE(Map->Zoom, TViewMapping::MinZoom);
        QCOMPARE(Form1->Status->Place(), "Zoom 1/256");
        Form1->FitMap_act->trigger();
        QCOMPARE(Map->Zoom, -2); // 1920 x 1440 pixels in a view of about 640 x 540
        QCOMPARE(Offsets(), QPoint(0, 0));
        QCOMPARE(Form1->Canvas.Image(), ViewRedrawn());
    }

    // The grid: switched from the menu, exact after every kind of redraw.
    void showGrid() {
        TGuiFixture f;
        LargeMap(60, 50);
        Form1->TileList_lb->setCurrentRow(1);
        Form1->ShowGrid_act->trigger();
        QVERIFY(Map->ShowGrid && Form1->ShowGrid_act->isChecked());
        auto exact = [](const char* after) {
            QVERIFY2(Form1->Canvas.Image() == ViewRedrawn(), after);
            QVERIFY2(Presented() == Form1->Canvas.Image(), after);
        };
        exact("switched on");
        LeftDrag({QPoint(30, 30), QPoint(200, 90)});
        exact("painting");
        QTest::keyClick(Form1->TileList_lb, Qt::Key_Right);
        QTest::keyClick(Form1->TileList_lb, Qt::Key_Down);
        exact("arrows");
        Wheel(QPoint(100, 100), QPoint(0, -120));
        MiddleDrag(QPoint(300, 300), QPoint(250, 320));
        exact("wheel and drag");
        for (const int steps : {1, 1, -2, -1, -1}) {
            Form1->ZoomBy(steps, QPoint(123, 77));
            Form1->RedrawMap();
            exact("zoom");
            LeftDrag({QPoint(60, 60), QPoint(90, 200)});
            Wheel(QPoint(100, 100), QPoint(0, -120), Qt::ShiftModifier);
            exact("zoomed painting and scrolling");
        }
        Form1->resize(Form1->width() - 37, Form1->height() + 21);
        QTRY_COMPARE(Map->ViewWidth, Form1->MapView->width());
        exact("resize");
        // The rectangle's outline stays visible where it runs along grid lines.
        Form1->Rectangle_act->trigger();
        QTest::mousePress(Form1->MapView, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseMove(Form1->MapView, QPoint(150, 120));
        const QRect outline = Form1->ToolOutline();
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
        QTest::mouseRelease(Form1->MapView, Qt::LeftButton, {}, QPoint(150, 120));
        exact("rectangle");
        Form1->ShowGrid_act->trigger();
        QVERIFY(!Map->ShowGrid);
        exact("switched off");
    }

    void placeInTheStatusBar() {
        TGuiFixture f;
        QCOMPARE(Form1->Status->Place(), "Zoom 100%");
        LargeMap(20, 20);
        Map->Cells[2][1] = 2;
        Map->Cells[3][1] = -1;
        // Pointer moves show their place within a moment.
        QTest::mouseMove(Form1->MapView, QPoint(100, 50));
        QTRY_COMPARE(Form1->Status->Place(), "Zoom 100%   Cell 2, 1   Tile 2");
        QTest::mouseMove(Form1->MapView, QPoint(150, 50));
        QTRY_COMPARE(Form1->Status->Place(), "Zoom 100%   Cell 3, 1   Tile -1");
        // A tool's change shows in the tile index.
        Form1->TileList_lb->setCurrentRow(0);
        QTest::mouseClick(Form1->MapView, Qt::LeftButton, {}, QPoint(150, 50));
        QTRY_COMPARE(Form1->Status->Place(), "Zoom 100%   Cell 3, 1   Tile 0");
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(Form1->MapView, &leave);
        QCOMPARE(Form1->Status->Place(), "Zoom 100%");
    }

    void toolsMenuAndBar() {
        TGuiFixture f;
        QStringList entries;
        for (QAction* a : Form1->Tools_menu->actions())
            entries << a->text() + ' ' + a->shortcut().toString();
        QCOMPARE(entries,
                 (QStringList{"Brush B", "Eraser E", "Rectangle R", "Fill F", "Picker I"}));
        QCOMPARE(Form1->Tools_bar->actions(), Form1->Tools_menu->actions());
        // The tool bar lies below the map: the view keeps its place right under the menu.
        QCOMPARE(Form1->MapView->mapTo(Form1, QPoint(0, 0)), QPoint(0, Form1->menuBar()->height()));
        QCOMPARE(Form1->Tools_bar->y(),
                 Form1->MapView->mapTo(Form1, QPoint(0, Form1->MapView->height())).y());
        QVERIFY(Form1->Brush_act->isChecked());
        QCOMPARE(Form1->CurrentTool().Name(), "Brush");
        // The letters reach the tools even while the palette has the focus.
        Form1->activateWindow();
        Form1->TileList_lb->setFocus();
        QTest::keyClick(Form1->TileList_lb, Qt::Key_E);
        QCOMPARE(Form1->CurrentTool().Name(), "Eraser");
        QVERIFY(Form1->Eraser_act->isChecked() && !Form1->Brush_act->isChecked());
        Form1->Picker_act->trigger();
        QCOMPARE(Form1->CurrentTool().Name(), "Picker");
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
        Map->Zoom = zoom;
        Form1->RedrawMap();
        const TViewMapping mapping = Map->Mapping();
        auto cell = [&](QPoint p) { return mapping.CellAt(p); };
        Form1->TileList_lb->setCurrentRow(1);

        // Brush: a click paints the cell under the pointer.
        QTest::mouseClick(Form1->MapView, Qt::LeftButton, {}, QPoint(101, 53));
        QCOMPARE(CellsHolding(1), QList<QPoint>{cell(QPoint(101, 53))});

        // Rectangle: outlined while dragged, filled on release.
        Form1->Rectangle_act->trigger();
        Form1->TileList_lb->setCurrentRow(2);
        QTest::mousePress(Form1->MapView, Qt::LeftButton, {}, QPoint(300, 200));
        QTest::mouseMove(Form1->MapView, QPoint(250, 260));
        const QRect dragged = QRect(cell(QPoint(250, 200)), cell(QPoint(300, 260)));
        QCOMPARE(Form1->CurrentTool().Outline(), dragged);
        QVERIFY(Presented() != Form1->Canvas.Image()); // the outline shows over the map
        QTest::mouseRelease(Form1->MapView, Qt::LeftButton, {}, QPoint(250, 260));
        QCOMPARE(CellsHolding(2).size(), dragged.width() * dragged.height());
        QCOMPARE(Form1->Undo_act->text(), "Undo Rectangle");
        QCOMPARE(Presented(), Form1->Canvas.Image()); // the outline is gone

        // Fill: the region of 0 around the pressed cell, as far as the map's edges.
        Form1->Fill_act->trigger();
        Form1->TileList_lb->setCurrentRow(0);
        QTest::mouseClick(Form1->MapView, Qt::LeftButton, {}, QPoint(5, 5)); // already 0
        QCOMPARE(Form1->Undo_act->text(), "Undo Rectangle");
        Form1->TileList_lb->setCurrentRow(1);
        QTest::mouseClick(Form1->MapView, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(Form1->Undo_act->text(), "Undo Fill");
        QCOMPARE(CellsHolding(0), QList<QPoint>{});
        QCOMPARE(CellsHolding(2).size(), dragged.width() * dragged.height());

        // Picker: the tile under the pointer becomes the selection; -1 selects nothing.
        Form1->Picker_act->trigger();
        QTest::mouseClick(Form1->MapView, Qt::LeftButton, {}, QPoint(270, 230));
        QCOMPARE(Form1->SelectedTile(), 2);

        // Eraser: a drag empties every cell on its way, without gaps at any zoom.
        Form1->Eraser_act->trigger();
        LeftDrag({QPoint(10, 300), QPoint(400, 320)});
        const QList<QPoint> erased = CellsHolding(-1);
        QVERIFY(erased.contains(cell(QPoint(10, 300))) && erased.contains(cell(QPoint(400, 320))));
        for (int i = 1; i < erased.size(); ++i)
            QVERIFY(qAbs(erased[i].x() - erased[i - 1].x()) <= 1);
        QCOMPARE(Form1->Undo_act->text(), "Undo Erase");
        Form1->Picker_act->trigger();
        QTest::mouseClick(Form1->MapView, Qt::LeftButton, {}, QPoint(10, 300));
        QCOMPARE(Form1->SelectedTile(), 2);
        QCOMPARE(Form1->Canvas.Image(), ViewRedrawn());

        // Each change was one step.
        for (const char* step : {"Erase", "Fill", "Rectangle", "Paint"}) {
            QCOMPARE(Form1->Undo_act->text(), QString("Undo ") + step);
            Form1->Undo_act->trigger();
        }
        QCOMPARE(CellsHolding(0).size(), 300 * 200);
    }

    // The right button ends a drag whatever the tool, as it always ended a stroke.
    void rightButtonEndsADrag() {
        TGuiFixture f;
        LargeMap(20, 20);
        Form1->TileList_lb->setCurrentRow(1);
        Form1->Rectangle_act->trigger();
        QTest::mousePress(Form1->MapView, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(Form1->MapView, QPoint(100, 100));
        QTest::mouseClick(Form1->MapView, Qt::RightButton, {}, QPoint(100, 100));
        QCOMPARE(CellsHolding(1).size(), 9);
        QTest::mouseMove(Form1->MapView, QPoint(300, 300));
        QTest::mouseRelease(Form1->MapView, Qt::LeftButton, {}, QPoint(300, 300));
        QCOMPARE(CellsHolding(1).size(), 9);
    }
};

KORVANE_GUI_TEST_MAIN(TestMapView)
#include "tst_mapview.moc"
