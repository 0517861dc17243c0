// The main window: start-up, painting strokes, scrolling, status texts, the view's picture and
// the error box.

#include "ScriptedDialogs.h"
#include "platform/Bitmap.h"

#include <QGroupBox>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTimer>
#include <QToolBar>

namespace {
QList<QPoint> CellsHolding(GuiFixture& f, TileIndex value) {
    QList<QPoint> cells;
    for (qint32 x = 0; x < f.TheMap().Width; ++x)
        for (qint32 y = 0; y < f.TheMap().Height; ++y)
            if (f.TheMap().Cells[x][std::size_t(y)] == value)
                cells << QPoint(x, y);
    return cells;
}

// A left-button stroke through the points; the button stays down when `release` is false.
void Drag(GuiFixture& f, QList<QPoint> points, bool release = true) {
    QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, points.constFirst());
    for (const QPoint& p : points.mid(1))
        QTest::mouseMove(&f.MapArea(), p);
    if (release)
        QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, points.constLast());
}

void Press(GuiFixture& f, Qt::Key key, int times, Qt::KeyboardModifiers modifiers = {}) {
    for (int i = 0; i < times; ++i)
        QTest::keyClick(&f.TileList(), key, modifiers);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startUpAndResize();
    void strokes();
    void strokesStayInsideTheView();
    void arrowsScrollToEveryEdgeAndLeaveTheSelection();
    void partialRedrawsShowWhatAFullOneShows_data();
    void partialRedrawsShowWhatAFullOneShows();
    void errorBoxAndExit();
    void messageBoxesShowTextAsItIs();
};

void TestMainWindow::startUpAndResize() {
    GuiFixture f;
    QCOMPARE(f.Window().windowHandle()->title(),
             "Map Editor(ver 0.3)");          // as the platform shows it
    QCOMPARE(CellsHolding(f, 0).size(), 196); // 14 x 14
    QCOMPARE(f.TheMap().TileSize, 48);
    // The view is the client area left of the palette and above the status bar.
    QCOMPARE(QSize(f.MainView().ViewWidth, f.MainView().ViewHeight), f.MapArea().size());
    QCOMPARE(f.ViewPixel(10, 10), Background); // an empty pack draws nothing
    f.UseTiles(2);
    QCOMPARE(f.ViewPixel(10, 10), TileColours[0]);
    QCOMPARE(f.ViewPixel(f.MainView().ViewWidth - 1, f.MainView().ViewHeight - 1), TileColours[0]);
    // A resize reports the sizes, and the view follows.
    f.Window().resize(900, 700);
    QTRY_COMPARE(f.MapArea().width(), 900 - 108);
    // The client area lies below the menu and the tool bar.
    const int clientHeight =
        700 - f.Window().menuBar()->height() - f.Find<QToolBar>("toolsBar").height();
    QCOMPARE(f.Status().Text(), QString("w= 900 h= %1 cl= 792").arg(clientHeight));
    QCOMPARE(QSize(f.MainView().ViewWidth, f.MainView().ViewHeight), f.MapArea().size());
    QCOMPARE(f.ViewImage().size(), f.MapArea().size());
    // One place lays the window out: with a wider palette the view, its canvas and the map's
    // view size follow at once, and the view scrolls until the map's last column is in it.
    f.Find<QGroupBox>("paletteBox").setFixedWidth(160);
    QCOMPARE(f.Window().mapViewWidth(), 900 - 160);
    QCOMPARE(f.MapArea().geometry(), QRect(0, 0, 900 - 160, f.MapArea().height()));
    QCOMPARE(f.Find<QGroupBox>("paletteBox").x(), 900 - 160);
    QCOMPARE(QSize(f.MainView().ViewWidth, f.MainView().ViewHeight), f.MapArea().size());
    QCOMPARE(f.ViewImage().size(), f.MapArea().size());
    f.TheMap().New(40, 10, 48);
    for (int i = 0; i < 300; ++i)
        QTest::keyClick(&f.Window(), Qt::Key_Right);
    QVERIFY(40 * 48 - f.MainView().OffsetX <= f.MapArea().width());
}

void TestMainWindow::strokes() {
    GuiFixture f;
    f.UseTiles(3);
    // Without a selection painting empties the cell, and the view shows that at once.
    QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(60, 60));
    QCOMPARE(CellsHolding(f, -1), QList<QPoint>{QPoint(1, 1)});
    QCOMPARE(f.ViewPixel(60, 60), Background);
    QCOMPARE(f.ViewPixel(10, 10), TileColours[0]);
    // Slow: every reported position in its own cell.
    f.TileList().setCurrentRow(1);
    Drag(f, {{10, 10}, {30, 10}, {50, 10}, {70, 10}, {90, 10}, {110, 10}});
    QCOMPARE(CellsHolding(f, 1), (QList<QPoint>{{0, 0}, {1, 0}, {2, 0}}));
    QCOMPARE(f.ViewPixel(100, 20), TileColours[1]);
    // Any button's release ends the stroke; the right button alone paints nothing.
    f.TheMap().New(14, 14, 48);
    f.TileList().setCurrentRow(1);
    Drag(f, {{10, 10}}, false);
    QTest::mouseClick(&f.MapArea(), Qt::RightButton, {}, QPoint(10, 10));
    QTest::mouseMove(&f.MapArea(), QPoint(200, 10));
    QTest::mouseClick(&f.MapArea(), Qt::RightButton, {}, QPoint(300, 300));
    QCOMPARE(CellsHolding(f, 1), QList<QPoint>{QPoint(0, 0)});
}

void TestMainWindow::strokesStayInsideTheView() {
    GuiFixture f;
    f.UseTiles(2);
    f.TheMap().New(40, 40, 48); // wider and taller than the view
    f.TileList().setCurrentRow(1);
    const QSize view = f.MapArea().size();
    // Off the left edge nothing is painted, not even column 0 by truncation; over the palette
    // the cells under it stay as they were.
    Drag(f, {{60, 20}, {-40, 20}}, false);
    QCOMPARE(CellsHolding(f, 1), (QList<QPoint>{{0, 0}, {1, 0}}));
    QTest::mouseMove(&f.MapArea(), QPoint(view.width() + 90, 20));
    QCOMPARE(f.TheMap().Cells[(view.width() - 1) / 48][0], 1);
    QCOMPARE(f.TheMap().Cells[(view.width() - 1) / 48 + 1][0], 0);
    // The stroke goes on when the pointer comes back with the button still down.
    f.TheMap().Cells[3][0] = 0;
    QTest::mouseMove(&f.MapArea(), QPoint(view.width() + 90, 150));
    QTest::mouseMove(&f.MapArea(), QPoint(150, 150));
    QCOMPARE(f.TheMap().Cells[3][3], 1);
    QCOMPARE(f.TheMap().Cells[3][0], 0);
    QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, QPoint(150, 150));
    // Nor below the visible area.
    Drag(f, {{20, view.height() - 2}, {20, view.height() + 60}});
    QCOMPARE(f.TheMap().Cells[0][std::size_t((view.height() - 1) / 48 + 1)], 0);
}

void TestMainWindow::arrowsScrollToEveryEdgeAndLeaveTheSelection() {
    GuiFixture f;
    f.UseTiles(3);
    // With the offsets at 0, Up does nothing at all and Left still reports.
    f.Status().SetText("before");
    Press(f, Qt::Key_Up, 1);
    QCOMPARE(f.Status().Text(), "before");
    Press(f, Qt::Key_Left, 1);
    QCOMPARE(f.Status().Text(), "x=0 y=0");

    f.TheMap().New(31, 27, 48);
    f.TileList().setCurrentRow(1);
    f.TileList().setFocus();
    Press(f, Qt::Key_Right, 1);
    Press(f, Qt::Key_Down, 1, Qt::ShiftModifier);
    QCOMPARE(f.Status().Text(), "x=4 y=4");
    QCOMPARE(QPoint(f.MainView().OffsetX, f.MainView().OffsetY), QPoint(4, 4));
    Press(f, Qt::Key_Right, 300);
    Press(f, Qt::Key_Down, 300);
    QCOMPARE(f.Status().Text(),
             QString("x=%1 y=%2").arg(f.MainView().OffsetX).arg(f.MainView().OffsetY));
    // The last column and row are inside the visible area, and drawn there.
    const QPoint corner((f.TheMap().Width - 1) * 48 - f.MainView().OffsetX,
                        (f.TheMap().Height - 1) * 48 - f.MainView().OffsetY);
    QVERIFY(corner.x() < f.MapArea().width() && corner.y() < f.MapArea().height());
    f.TheMap().Cells[f.TheMap().Width - 1][std::size_t(f.TheMap().Height - 1)] = 2;
    f.Window().RedrawMap();
    QCOMPARE(f.ViewPixel(corner.x() + 1, corner.y() + 1), TileColours[2]);
    Press(f, Qt::Key_Left, 300);
    Press(f, Qt::Key_Up, 300);
    QCOMPARE(QPoint(f.MainView().OffsetX, f.MainView().OffsetY), QPoint(0, 0));
    QCOMPARE(f.Window().SelectedTile(), 1);
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
    GuiFixture f;
    f.UseTiles(int(sides.size()));
    for (int i = 0; i < sides.size(); ++i)
        f.ThePack().At(i).Image->LoadFromBytes(
            TestSupport::SolidBmp(sides[i], sides[i], TileColours[i]));
    f.TheMap().New(16, 14, 48); // a little larger than the view
    f.MainView().ShowGrid = grid;
    QRandomGenerator random(20241206);
    for (qint32 x = 0; x < f.TheMap().Width; ++x)
        for (TileIndex& cell : f.TheMap().Cells[x])
            cell = TileIndex(random.bounded(-1, int(sides.size()) + 1)); // past the pack too
    f.Window().RedrawMap();
    const QSize view = f.MapArea().size();
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
        f.TileList().setCurrentRow(step.Tile);
        QList<QPoint> stroke = step.Stroke;
        QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, stroke.takeFirst());
        for (const QPoint& p : stroke) {
            QTest::mouseMove(&f.MapArea(), p);
            QCOMPARE(f.ViewImage(), f.ViewRedrawn());
            QCOMPARE(f.Presented(), f.ViewImage());
        }
        QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, stroke.constLast());
        for (const auto& [key, times] : step.Keys)
            for (int i = 0; i < times; ++i) {
                QTest::keyClick(&f.TileList(), key);
                QVERIFY2(f.ViewImage() == f.ViewRedrawn(),
                         qPrintable(QStringLiteral("at %1,%2")
                                        .arg(f.MainView().OffsetX)
                                        .arg(f.MainView().OffsetY)));
            }
        QCOMPARE(f.Presented(), f.ViewImage());
    }
}

void TestMainWindow::errorBoxAndExit() {
    GuiFixture f;
    f.UseTiles(2);
    f.Action("deleteTileAction").trigger(); // with nothing selected the pack refuses index -1
    QCOMPARE(f.Dialogs->Messages.size(), 2);
    const Message& box = f.Dialogs->Messages.last();
    QCOMPARE(box.Text, "List index out of bounds (-1)");
    QCOMPARE(box.Caption, "tst_mainwindow");
    QCOMPARE(box.Icon, Message::IconKind::Stop);
    QCOMPARE(f.ThePack().Count(), 2);
    // A full stop is added after any character whose code is above the full stop's.
    for (const QString text : {"ends in a dot.", "ends in a dash-", "bracket)"})
        QCOMPARE(Dialogs::ErrorText(text), text);
    QCOMPARE(Dialogs::ErrorText("value 1"), "value 1.");
    // The editor goes on, until Exit.
    QTest::keyClick(&f.Window(), Qt::Key_Right);
    QCOMPARE(f.Status().Text(), "x=4 y=0");
    f.Action("exitAction").trigger();
    QVERIFY(!f.Window().isVisible());
}

void TestMainWindow::messageBoxesShowTextAsItIs() {
    // Texts hold names from files: markup in them is shown, not obeyed.
    QtDialogs dialogs;
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
    const Message::Answer answer = dialogs.MessageBox({.Text = "<h1>Huge</h1>",
                                                       .Caption = "Confirm",
                                                       .Buttons = Message::ButtonSet::YesNo,
                                                       .Detail = "<b>bold</b>",
                                                       .Default = Message::No});
    QCOMPARE(answer, Message::Yes);
    QCOMPARE(shown, "<h1>Huge</h1>\n\n<b>bold</b>");
    QCOMPARE(format, Qt::PlainText);
    QVERIFY(defaultButton && defaultButton == no);
}

KORVANE_GUI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
