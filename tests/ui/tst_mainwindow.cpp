// The main window: start-up, painting strokes, scrolling, status texts, the view's picture and
// the error box.

#include "ScriptedDialogs.h"
#include "TestSupport.h"

#include "model/typeU.h"
#include "platform/TBitmap.h"

#include <QGroupBox>
#include <QListWidget>
#include <QMenuBar>

using namespace TestSupport;

namespace {
const QRgb Colours[] = {qRgb(200, 40, 40), qRgb(40, 160, 40), qRgb(40, 40, 200), qRgb(220, 200, 0)};

// A pack of solid tiles, one per colour, shown in the palette.
void UseSolidTiles(int count, int size = 48) {
    TilePack->Clear();
    for (int i = 0; i < count; ++i) {
        TileRef tile = TilePack->NewTile();
        tile->Bitmap->LoadFromBytes(SolidBmp(size, size, Colours[i]));
        TilePack->Add(std::move(tile));
    }
    Form1->UpdateTileListBox();
    Form1->RedrawMap();
}

QList<QPoint> CellsHolding(TileIndex value) {
    QList<QPoint> cells;
    for (qint32 x = 0; x < Map->Width; ++x)
        for (qint32 y = 0; y < Map->Height; ++y)
            if (Map->Cells[x][std::size_t(y)] == value)
                cells << QPoint(x, y);
    return cells;
}

QRgb ViewPixel(int x, int y) {
    return Form1->Canvas.Image().pixel(x, y) | 0xff000000;
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startUp();
    void slowAndFastStrokes();
    void strokeStaysInsideTheView();
    void anyButtonUpEndsTheStroke();
    void paintingWithoutSelectionEmptiesCells();
    void arrowsScrollToEveryEdgeWithoutMovingTheSelection();
    void upArrowAtTheTopDoesNothing();
    void viewShowsTheCurrentMapAfterEveryChange();
    void resizeReportsSizesAndFollowsTheView();
    void errorBoxShowsTitleStopIconAndFullStop();
    void exitClosesTheWindow();
};

void TestMainWindow::startUp() {
    TGuiFixture f;
    QCOMPARE(Form1->windowTitle(), QStringLiteral("Map Editor(ver 0.3)"));
    QCOMPARE(Map->Width, 14);
    QCOMPARE(Map->Height, 14);
    QCOMPARE(Map->TileSize, 48);
    QCOMPARE(CellsHolding(0).size(), 196);
    QCOMPARE(TilePack->Count(), 0);
    QCOMPARE(Map->TilePackRef, &TilePack);
    // The map view is the client area left of the palette and above the status bar.
    QCOMPARE(Map->ViewWidth, Form1->getclWidth());
    QCOMPARE(Map->ViewWidth, Form1->MapView->width());
    QCOMPARE(Map->ViewHeight, Form1->MapView->height());
    QCOMPARE(Form1->TileBox_gb->width(), 108);
    QCOMPARE(Form1->Status->height(), 19);
    // An empty pack draws nothing: the view is the window's background.
    QCOMPARE(ViewPixel(10, 10), clBtnFace.rgb());
    // With tiles, tile 0 fills every cell.
    UseSolidTiles(2);
    QCOMPARE(ViewPixel(10, 10), Colours[0]);
    QCOMPARE(ViewPixel(Form1->MapView->width() - 1, Form1->MapView->height() - 1), Colours[0]);
}

void TestMainWindow::slowAndFastStrokes() {
    TGuiFixture f;
    UseSolidTiles(3);
    Form1->TileList_lb->setCurrentRow(1);
    QWidget* view = Form1->MapView;

    // Slow: every reported position in its own cell.
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(10, 10));
    for (int x = 10; x <= 110; x += 20)
        QTest::mouseMove(view, QPoint(x, 10));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(110, 10));
    QCOMPARE(CellsHolding(1), (QList<QPoint>{{0, 0}, {1, 0}, {2, 0}}));
    QCOMPARE(ViewPixel(100, 20), Colours[1]);

    // Fast: one move across the map still paints a gapless path.
    Form1->TileList_lb->setCurrentRow(2);
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(5, 200));
    QTest::mouseMove(view, QPoint(600, 500));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(600, 500));
    const QList<QPoint> path = CellsHolding(2);
    QVERIFY(path.contains(QPoint(0, 4)));
    QVERIFY(path.contains(QPoint(12, 10)));
    for (int column = 0; column <= 12; ++column) {
        int inColumn = 0;
        for (const QPoint& cell : path)
            inColumn += cell.x() == column;
        QVERIFY2(inColumn >= 1, qPrintable(QStringLiteral("column %1 skipped").arg(column)));
    }
    for (const QPoint& cell : path) // nothing far from the straight line
        QVERIFY(qAbs(cell.y() - (4 + (cell.x() * 6) / 12)) <= 1);
}

void TestMainWindow::strokeStaysInsideTheView() {
    TGuiFixture f;
    UseSolidTiles(2);
    Map->New(40, 40, 48); // wider and taller than the view
    Form1->TileList_lb->setCurrentRow(1);
    QWidget* view = Form1->MapView;
    const int right = view->width();

    // Off the left edge: the part outside paints nothing, not even column 0 by truncation.
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(60, 20));
    QTest::mouseMove(view, QPoint(-40, 20));
    QCOMPARE(CellsHolding(1), (QList<QPoint>{{0, 0}, {1, 0}}));
    // Over the palette and back: cells under the palette stay as they were.
    QTest::mouseMove(view, QPoint(right + 90, 20));
    const int lastVisible = (right - 1) / 48;
    QCOMPARE(Map->Cells[lastVisible + 1][0], 0);
    QCOMPARE(Map->Cells[lastVisible][0], 1);
    Map->Cells[3][0] = 0;
    // The stroke goes on when the pointer comes back with the button still down.
    QTest::mouseMove(view, QPoint(right + 90, 150));
    QTest::mouseMove(view, QPoint(150, 150));
    QCOMPARE(Map->Cells[3][3], 1);
    QCOMPARE(Map->Cells[3][0], 0);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(150, 150));
    // Below the visible area nothing is painted either.
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(20, view->height() - 2));
    QTest::mouseMove(view, QPoint(20, view->height() + 60));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(20, view->height() + 60));
    QCOMPARE(Map->Cells[0][std::size_t((view->height() - 1) / 48 + 1)], 0);
}

void TestMainWindow::anyButtonUpEndsTheStroke() {
    TGuiFixture f;
    UseSolidTiles(2);
    Form1->TileList_lb->setCurrentRow(1);
    QWidget* view = Form1->MapView;
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mousePress(view, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(view, Qt::RightButton, {}, QPoint(10, 10));
    QTest::mouseMove(view, QPoint(200, 10));
    QCOMPARE(CellsHolding(1), (QList<QPoint>{{0, 0}}));
    // The right button alone paints nothing.
    QTest::mouseClick(view, Qt::RightButton, {}, QPoint(300, 300));
    QCOMPARE(CellsHolding(1).size(), 1);
}

void TestMainWindow::paintingWithoutSelectionEmptiesCells() {
    TGuiFixture f;
    UseSolidTiles(2);
    QCOMPARE(Form1->SelectedTile(), -1);
    QTest::mouseClick(Form1->MapView, Qt::LeftButton, {}, QPoint(60, 60));
    QCOMPARE(Map->Cells[1][1], -1);
    // The emptied cell shows the background at once, not the old tile.
    QCOMPARE(ViewPixel(60, 60), clBtnFace.rgb());
    QCOMPARE(ViewPixel(10, 10), Colours[0]);
}

void TestMainWindow::arrowsScrollToEveryEdgeWithoutMovingTheSelection() {
    TGuiFixture f;
    UseSolidTiles(3);
    Map->New(31, 27, 48);
    Form1->TileList_lb->setCurrentRow(1);
    Form1->TileList_lb->setFocus();
    auto press = [](Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(Form1->TileList_lb, key, mods);
    };
    press(Qt::Key_Right);
    press(Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(Map->OffsetX, 4);
    QCOMPARE(Map->OffsetY, 4);
    QCOMPARE(Form1->Status->Text(), QStringLiteral("x=4 y=4"));
    QCOMPARE(Form1->SelectedTile(), 1);

    for (int i = 0; i < 2000; ++i) {
        press(Qt::Key_Right);
        press(Qt::Key_Down);
    }
    QCOMPARE(Form1->SelectedTile(), 1);
    // The last column and the last row are inside the visible map area.
    const QWidget* view = Form1->MapView;
    QVERIFY((Map->Width - 1) * 48 - Map->OffsetX < view->width());
    QVERIFY((Map->Height - 1) * 48 - Map->OffsetY < view->height());
    QCOMPARE(Form1->Status->Text(),
             QStringLiteral("x=%1 y=%2").arg(Map->OffsetX).arg(Map->OffsetY));
    // And the view shows them: the cell in the bottom-right corner is drawn.
    Map->Cells[Map->Width - 1][std::size_t(Map->Height - 1)] = 2;
    Form1->RedrawMap();
    QCOMPARE(ViewPixel((Map->Width - 1) * 48 - Map->OffsetX + 1,
                       (Map->Height - 1) * 48 - Map->OffsetY + 1),
             Colours[2]);

    for (int i = 0; i < 2000; ++i) {
        press(Qt::Key_Left);
        press(Qt::Key_Up);
    }
    QCOMPARE(Map->OffsetX, 0);
    QCOMPARE(Map->OffsetY, 0);
    QCOMPARE(Form1->SelectedTile(), 1);
}

void TestMainWindow::upArrowAtTheTopDoesNothing() {
    TGuiFixture f;
    Form1->Status->SetText(QStringLiteral("before"));
    QTest::keyClick(Form1, Qt::Key_Up);
    QCOMPARE(Form1->Status->Text(), QStringLiteral("before"));
    QTest::keyClick(Form1, Qt::Key_Left);
    QCOMPARE(Form1->Status->Text(), QStringLiteral("x=0 y=0"));
}

void TestMainWindow::viewShowsTheCurrentMapAfterEveryChange() {
    TGuiFixture f;
    UseSolidTiles(3);
    Map->Cells[2][0] = 2;
    Form1->RedrawMap();
    QCOMPARE(ViewPixel(2 * 48 + 5, 5), Colours[2]);
    // A smaller pack: the cell past its end shows the background, not the old tile.
    UseSolidTiles(2);
    QCOMPARE(ViewPixel(2 * 48 + 5, 5), clBtnFace.rgb());
    // A smaller map: the area beyond it is background.
    Map->New(2, 2, 48);
    Form1->RedrawMap();
    QCOMPARE(ViewPixel(5, 5), Colours[0]);
    QCOMPARE(ViewPixel(3 * 48, 5), clBtnFace.rgb());
    // Scrolled by part of a cell, the view's bottom and right edges still show the map.
    Map->New(30, 30, 48);
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(Form1, Qt::Key_Down);
        QTest::keyClick(Form1, Qt::Key_Right);
    }
    QCOMPARE(Map->OffsetY, 20);
    const QSize view = Form1->MapView->size();
    QCOMPARE(ViewPixel(view.width() - 1, view.height() - 1), Colours[0]);
    // An empty pack leaves nothing of the old picture.
    TilePack->Clear();
    Form1->UpdateTileListBox();
    Form1->RedrawMap();
    QCOMPARE(ViewPixel(5, 5), clBtnFace.rgb());
}

void TestMainWindow::resizeReportsSizesAndFollowsTheView() {
    TGuiFixture f;
    Form1->resize(900, 700);
    QTRY_COMPARE(Form1->MapView->width(), 900 - 108);
    const int clientHeight = 700 - Form1->menuBar()->height();
    QCOMPARE(Form1->Status->Text(), QStringLiteral("w= 900 h= %1 cl= 792").arg(clientHeight));
    QCOMPARE(Map->ViewWidth, 792);
    QCOMPARE(Map->ViewHeight, Form1->MapView->height());
    QCOMPARE(Form1->Canvas.Size(), Form1->MapView->size());
}

void TestMainWindow::errorBoxShowsTitleStopIconAndFullStop() {
    TGuiFixture f;
    UseSolidTiles(2);
    // Delete Tile with nothing selected: the pack refuses index -1.
    Form1->Del_Tile_act->trigger();
    QCOMPARE(f.Dialogs->Messages.size(), 2);
    const TMessage& box = f.Dialogs->Messages.last();
    // A closing bracket sorts below the full stop, so none is added.
    QCOMPARE(box.Text, QStringLiteral("List index out of bounds (-1)"));
    QCOMPARE(box.Caption, QStringLiteral("tst_mainwindow"));
    QCOMPARE(box.Icon, TMessage::TIcon::Stop);
    QCOMPARE(TilePack->Count(), 2);
    // The editor goes on.
    QTest::keyClick(Form1, Qt::Key_Right);
    QCOMPARE(Form1->Status->Text(), QStringLiteral("x=4 y=0"));

    QCOMPARE(TApplication::ErrorText(QStringLiteral("ends in a dot.")),
             QStringLiteral("ends in a dot."));
    QCOMPARE(TApplication::ErrorText(QStringLiteral("ends in a dash-")),
             QStringLiteral("ends in a dash-"));
    QCOMPARE(TApplication::ErrorText(QStringLiteral("bracket)")), QStringLiteral("bracket)"));
    QCOMPARE(TApplication::ErrorText(QStringLiteral("value 1")), QStringLiteral("value 1."));
}

void TestMainWindow::exitClosesTheWindow() {
    TGuiFixture f;
    Form1->Exit1->trigger();
    QVERIFY(!Form1->isVisible());
}

KORVANE_GUI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
