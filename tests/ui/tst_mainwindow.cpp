// The main window: start-up, painting strokes, scrolling, status texts, the view's picture and
// the error box.

#include "ScriptedDialogs.h"
#include "platform/TBitmap.h"

#include <QGroupBox>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QToolBar>

namespace {
QList<QPoint> CellsHolding(TileIndex value) {
    QList<QPoint> cells;
    for (qint32 x = 0; x < Map->Width; ++x)
        for (qint32 y = 0; y < Map->Height; ++y)
            if (Map->Cells[x][std::size_t(y)] == value)
                cells << QPoint(x, y);
    return cells;
}

// A left-button stroke through the points; the button stays down when `release` is false.
void Drag(QList<QPoint> points, bool release = true) {
    QTest::mousePress(mainWindow->mapView, Qt::LeftButton, {}, points.constFirst());
    for (const QPoint& p : points.mid(1))
        QTest::mouseMove(mainWindow->mapView, p);
    if (release)
        QTest::mouseRelease(mainWindow->mapView, Qt::LeftButton, {}, points.constLast());
}

void Press(Qt::Key key, int times, Qt::KeyboardModifiers modifiers = {}) {
    for (int i = 0; i < times; ++i)
        QTest::keyClick(mainWindow->tileList, key, modifiers);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startUpAndResize();
    void strokes();
    void strokesStayInsideTheView();
    void arrowsScrollToEveryEdgeAndLeaveTheSelection();
    void viewShowsTheCurrentMapAfterEveryChange();
    void partialRedrawsShowWhatAFullOneShows_data();
    void partialRedrawsShowWhatAFullOneShows();
    void errorBoxAndExit();
    void messageBoxesShowTextAsItIs();
};

void TestMainWindow::startUpAndResize() {
    TGuiFixture f;
    QCOMPARE(mainWindow->windowHandle()->title(),
             "Map Editor(ver 0.3)"); // as the platform shows it
    QCOMPARE(QSize(Map->Width, Map->Height), QSize(14, 14));
    QCOMPARE(Map->TileSize, 48);
    QCOMPARE(CellsHolding(0).size(), 196);
    // The view is the client area left of the palette and above the status bar.
    QCOMPARE(QSize(MainView().ViewWidth, MainView().ViewHeight), mainWindow->mapView->size());
    QCOMPARE(ViewPixel(10, 10), Background); // an empty pack draws nothing
    UseTiles(2);
    QCOMPARE(ViewPixel(10, 10), TileColours[0]);
    QCOMPARE(ViewPixel(MainView().ViewWidth - 1, MainView().ViewHeight - 1), TileColours[0]);
    // A resize reports the sizes, and the view follows.
    mainWindow->resize(900, 700);
    QTRY_COMPARE(mainWindow->mapView->width(), 900 - 108);
    // The client area lies below the menu and the tool bar.
    const int clientHeight = 700 - mainWindow->menuBar()->height() - mainWindow->toolsBar->height();
    QCOMPARE(mainWindow->Status->Text(), QString("w= 900 h= %1 cl= 792").arg(clientHeight));
    QCOMPARE(QSize(MainView().ViewWidth, MainView().ViewHeight), mainWindow->mapView->size());
    QCOMPARE(mainWindow->Canvas.Size(), mainWindow->mapView->size());
    // One place lays the window out: with a wider palette the view, its canvas and the map's
    // view size follow at once, and the view scrolls until the map's last column is in it.
    mainWindow->paletteBox->setFixedWidth(160);
    QCOMPARE(mainWindow->mapViewWidth(), 900 - 160);
    QCOMPARE(mainWindow->mapView->geometry(),
             QRect(0, 0, 900 - 160, mainWindow->mapView->height()));
    QCOMPARE(mainWindow->paletteBox->x(), 900 - 160);
    QCOMPARE(QSize(MainView().ViewWidth, MainView().ViewHeight), mainWindow->mapView->size());
    QCOMPARE(mainWindow->Canvas.Size(), mainWindow->mapView->size());
    Map->New(40, 10, 48);
    for (int i = 0; i < 300; ++i)
        QTest::keyClick(mainWindow, Qt::Key_Right);
    QVERIFY(40 * 48 - MainView().OffsetX <= mainWindow->mapView->width());
}

void TestMainWindow::strokes() {
    TGuiFixture f;
    UseTiles(3);
    // Without a selection painting empties the cell, and the view shows that at once.
    QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(60, 60));
    QCOMPARE(CellsHolding(-1), QList<QPoint>{QPoint(1, 1)});
    QCOMPARE(ViewPixel(60, 60), Background);
    QCOMPARE(ViewPixel(10, 10), TileColours[0]);
    // Slow: every reported position in its own cell.
    mainWindow->tileList->setCurrentRow(1);
    Drag({{10, 10}, {30, 10}, {50, 10}, {70, 10}, {90, 10}, {110, 10}});
    QCOMPARE(CellsHolding(1), (QList<QPoint>{{0, 0}, {1, 0}, {2, 0}}));
    QCOMPARE(ViewPixel(100, 20), TileColours[1]);
    // Fast: one move across the map still paints every column of the straight path.
    mainWindow->tileList->setCurrentRow(2);
    Drag({{5, 200}, {600, 500}});
    QSet<int> columns;
    for (const QPoint& cell : CellsHolding(2)) {
        columns << cell.x();
        QVERIFY(qAbs(cell.y() - (4 + cell.x() / 2)) <= 1);
    }
    QCOMPARE(columns.size(), 13);
    QVERIFY(CellsHolding(2).contains(QPoint(0, 4)) && CellsHolding(2).contains(QPoint(12, 10)));
    // Any button's release ends the stroke; the right button alone paints nothing.
    Map->New(14, 14, 48);
    mainWindow->tileList->setCurrentRow(1);
    Drag({{10, 10}}, false);
    QTest::mouseClick(mainWindow->mapView, Qt::RightButton, {}, QPoint(10, 10));
    QTest::mouseMove(mainWindow->mapView, QPoint(200, 10));
    QTest::mouseClick(mainWindow->mapView, Qt::RightButton, {}, QPoint(300, 300));
    QCOMPARE(CellsHolding(1), QList<QPoint>{QPoint(0, 0)});
}

void TestMainWindow::strokesStayInsideTheView() {
    TGuiFixture f;
    UseTiles(2);
    Map->New(40, 40, 48); // wider and taller than the view
    mainWindow->tileList->setCurrentRow(1);
    const QSize view = mainWindow->mapView->size();
    // Off the left edge nothing is painted, not even column 0 by truncation; over the palette
    // the cells under it stay as they were.
    Drag({{60, 20}, {-40, 20}}, false);
    QCOMPARE(CellsHolding(1), (QList<QPoint>{{0, 0}, {1, 0}}));
    QTest::mouseMove(mainWindow->mapView, QPoint(view.width() + 90, 20));
    QCOMPARE(Map->Cells[(view.width() - 1) / 48][0], 1);
    QCOMPARE(Map->Cells[(view.width() - 1) / 48 + 1][0], 0);
    // The stroke goes on when the pointer comes back with the button still down.
    Map->Cells[3][0] = 0;
    QTest::mouseMove(mainWindow->mapView, QPoint(view.width() + 90, 150));
    QTest::mouseMove(mainWindow->mapView, QPoint(150, 150));
    QCOMPARE(Map->Cells[3][3], 1);
    QCOMPARE(Map->Cells[3][0], 0);
    QTest::mouseRelease(mainWindow->mapView, Qt::LeftButton, {}, QPoint(150, 150));
    // Nor below the visible area.
    Drag({{20, view.height() - 2}, {20, view.height() + 60}});
    QCOMPARE(Map->Cells[0][std::size_t((view.height() - 1) / 48 + 1)], 0);
}

void TestMainWindow::arrowsScrollToEveryEdgeAndLeaveTheSelection() {
    TGuiFixture f;
    UseTiles(3);
    // With the offsets at 0, Up does nothing at all and Left still reports.
    mainWindow->Status->SetText("before");
    Press(Qt::Key_Up, 1);
    QCOMPARE(mainWindow->Status->Text(), "before");
    Press(Qt::Key_Left, 1);
    QCOMPARE(mainWindow->Status->Text(), "x=0 y=0");

    Map->New(31, 27, 48);
    mainWindow->tileList->setCurrentRow(1);
    mainWindow->tileList->setFocus();
    Press(Qt::Key_Right, 1);
    Press(Qt::Key_Down, 1, Qt::ShiftModifier);
    QCOMPARE(mainWindow->Status->Text(), "x=4 y=4");
    QCOMPARE(QPoint(MainView().OffsetX, MainView().OffsetY), QPoint(4, 4));
    Press(Qt::Key_Right, 300);
    Press(Qt::Key_Down, 300);
    QCOMPARE(mainWindow->Status->Text(),
             QString("x=%1 y=%2").arg(MainView().OffsetX).arg(MainView().OffsetY));
    // The last column and row are inside the visible area, and drawn there.
    const QPoint corner((Map->Width - 1) * 48 - MainView().OffsetX,
                        (Map->Height - 1) * 48 - MainView().OffsetY);
    QVERIFY(corner.x() < mainWindow->mapView->width() &&
            corner.y() < mainWindow->mapView->height());
    Map->Cells[Map->Width - 1][std::size_t(Map->Height - 1)] = 2;
    mainWindow->RedrawMap();
    QCOMPARE(ViewPixel(corner.x() + 1, corner.y() + 1), TileColours[2]);
    Press(Qt::Key_Left, 300);
    Press(Qt::Key_Up, 300);
    QCOMPARE(QPoint(MainView().OffsetX, MainView().OffsetY), QPoint(0, 0));
    QCOMPARE(mainWindow->SelectedTile(), 1);
}

void TestMainWindow::viewShowsTheCurrentMapAfterEveryChange() {
    TGuiFixture f;
    UseTiles(3);
    Map->Cells[2][0] = 2;
    mainWindow->RedrawMap();
    QCOMPARE(ViewPixel(2 * 48 + 5, 5), TileColours[2]);
    UseTiles(2); // the cell past the smaller pack's end shows the background
    QCOMPARE(ViewPixel(2 * 48 + 5, 5), Background);
    Map->New(2, 2, 48);
    mainWindow->RedrawMap();
    QCOMPARE(ViewPixel(5, 5), TileColours[0]);
    QCOMPARE(ViewPixel(3 * 48, 5), Background);
    // Scrolled by part of a cell, the bottom and right edges still show the map.
    Map->New(30, 30, 48);
    Press(Qt::Key_Down, 5);
    Press(Qt::Key_Right, 5);
    QCOMPARE(MainView().OffsetY, 20);
    QCOMPARE(ViewPixel(MainView().ViewWidth - 1, MainView().ViewHeight - 1), TileColours[0]);
    UseTiles(0);
    QCOMPARE(ViewPixel(5, 5), Background);
}

// Painting moves and scroll steps draw and present only what they change; the view and what
// the window presents must still be what a full redraw shows, after strokes that paint and
// erase up to the view's edges and scroll steps that leave cells cut at every edge.
void TestMainWindow::partialRedrawsShowWhatAFullOneShows_data() {
    QTest::addColumn<QList<int>>("sides"); // of the pack's square tiles
    QTest::addColumn<bool>("grid");
    QTest::newRow("tiles of the cell's size") << QList<int>{48, 48, 48} << false;
    QTest::newRow("larger and smaller tiles") << QList<int>{48, 70, 20} << false;
    QTest::newRow("with the grid") << QList<int>{48, 60, 48} << true;
}

void TestMainWindow::partialRedrawsShowWhatAFullOneShows() {
    QFETCH(QList<int>, sides);
    QFETCH(bool, grid);
    TGuiFixture f;
    UseTiles(int(sides.size()));
    for (int i = 0; i < sides.size(); ++i)
        TilePack->Tile(i).Bitmap->LoadFromBytes(
            TestSupport::SolidBmp(sides[i], sides[i], TileColours[i]));
    Map->New(16, 14, 48); // a little larger than the view
    MainView().ShowGrid = grid;
    QRandomGenerator random(20241206);
    for (qint32 x = 0; x < Map->Width; ++x)
        for (TileIndex& cell : Map->Cells[x])
            cell = TileIndex(random.bounded(-1, int(sides.size()) + 1)); // past the pack too
    mainWindow->RedrawMap();
    const QSize view = mainWindow->mapView->size();
    const QPoint corner(view.width() - 2, view.height() - 2);
    const struct {
        int Tile; // -1: nothing selected, which erases
        QList<QPoint> Stroke;
        QList<std::pair<Qt::Key, int>> Keys;
    } steps[] = {
        {1, {{70, 70}, {corner.x(), 70}, corner}, {{Qt::Key_Right, 3}, {Qt::Key_Down, 5}}},
        {-1, {{5, 5}, {120, 90}, {5, corner.y()}}, {{Qt::Key_Right, 1}, {Qt::Key_Left, 2}}},
        {2, {corner, {corner.x(), 3}, {3, 3}}, {{Qt::Key_Right, 40}, {Qt::Key_Down, 40}}},
        {0, {{3, 3}, corner}, {{Qt::Key_Up, 7}, {Qt::Key_Left, 9}}},
        {1, {{60, corner.y()}, {60, 2}}, {{Qt::Key_Left, 40}, {Qt::Key_Up, 40}}},
    };
    for (const auto& step : steps) {
        mainWindow->tileList->setCurrentRow(step.Tile);
        QList<QPoint> stroke = step.Stroke;
        QTest::mousePress(mainWindow->mapView, Qt::LeftButton, {}, stroke.takeFirst());
        for (const QPoint& p : stroke) {
            QTest::mouseMove(mainWindow->mapView, p);
            QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());
            QCOMPARE(Presented(), mainWindow->Canvas.Image());
        }
        QTest::mouseRelease(mainWindow->mapView, Qt::LeftButton, {}, stroke.constLast());
        for (const auto& [key, times] : step.Keys)
            for (int i = 0; i < times; ++i) {
                QTest::keyClick(mainWindow->tileList, key);
                QVERIFY2(mainWindow->Canvas.Image() == ViewRedrawn(),
                         qPrintable(QStringLiteral("at %1,%2")
                                        .arg(MainView().OffsetX)
                                        .arg(MainView().OffsetY)));
            }
        QCOMPARE(Presented(), mainWindow->Canvas.Image());
    }
}

void TestMainWindow::errorBoxAndExit() {
    TGuiFixture f;
    UseTiles(2);
    mainWindow->deleteTileAction->trigger(); // with nothing selected the pack refuses index -1
    QCOMPARE(f.Dialogs->Messages.size(), 2);
    const TMessage& box = f.Dialogs->Messages.last();
    QCOMPARE(box.Text, "List index out of bounds (-1)");
    QCOMPARE(box.Caption, "tst_mainwindow");
    QCOMPARE(box.Icon, TMessage::TIcon::Stop);
    QCOMPARE(TilePack->Count(), 2);
    // A full stop is added after any character whose code is above the full stop's.
    for (const QString text : {"ends in a dot.", "ends in a dash-", "bracket)"})
        QCOMPARE(TApplication::ErrorText(text), text);
    QCOMPARE(TApplication::ErrorText("value 1"), "value 1.");
    // The editor goes on, until Exit.
    QTest::keyClick(mainWindow, Qt::Key_Right);
    QCOMPARE(mainWindow->Status->Text(), "x=4 y=0");
    mainWindow->exitAction->trigger();
    QVERIFY(!mainWindow->isVisible());
}

void TestMainWindow::messageBoxesShowTextAsItIs() {
    // Texts hold names from files: markup in them is shown, not obeyed.
    TQtDialogs dialogs;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QAbstractButton* defaultButton = nullptr;
    QAbstractButton* no = nullptr;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        shown = box->text();
        format = box->textFormat();
        defaultButton = box->defaultButton();
        no = box->button(QMessageBox::No);
        box->button(QMessageBox::Yes)->click();
    });
    const TMessage::TAnswer answer = dialogs.MessageBox({.Text = "<h1>Huge</h1>",
                                                         .Caption = "Confirm",
                                                         .Buttons = TMessage::TButtons::YesNo,
                                                         .Detail = "<b>bold</b>",
                                                         .Default = TMessage::No});
    QCOMPARE(answer, TMessage::Yes);
    QCOMPARE(shown, "<h1>Huge</h1>\n\n<b>bold</b>");
    QCOMPARE(format, Qt::PlainText);
    QVERIFY(defaultButton && defaultButton == no);
}

KORVANE_GUI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
