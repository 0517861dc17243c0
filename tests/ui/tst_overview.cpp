// View > Overview: a second view of the same map, which follows every change, outlines what the
// map view shows, and moves it when clicked.

#include "MapScene.h"
#include "ScriptedDialogs.h"

#include "ui/OverviewPanel.h"

#include <QDockWidget>
#include <QListWidget>
#include <QMouseEvent>

namespace {
OverviewPanel& Overview() {
    return *mainWindow->overview;
}

// A map of width × height cells holding 0, on a pack of three tiles, with the overview shown.
void MapWithOverview(qint32 width, qint32 height) {
    UseTiles(3);
    Document->NewMap(width, height, 48);
    mainWindow->RedrawMap();
    mainWindow->overviewDock->toggleViewAction()->trigger();
    QTRY_VERIFY(Overview().isVisible() && Overview().width() > 0);
}

// The map as the main view's renderer draws it at the overview's zoom and size: what the
// overview must show.
QImage MainDrawnAsOverview() {
    TMapRenderer main(*Map, *TilePack, nullptr);
    main.SetViewSize(Overview().width(), Overview().height());
    main.Zoom = Overview().Renderer().Zoom;
    return TestSupport::FullRedraw(main, Overview().size());
}

// The overview's pixel over the middle of a cell.
QRgb OverviewPixel(QPoint cell) {
    const TViewMapping mapping = Overview().Renderer().Mapping();
    return Overview().Image().pixel(int(mapping.ViewX(cell.x() * 48 + 24)),
                                    int(mapping.ViewY(cell.y() * 48 + 24)));
}

// The map pixel at the centre of the main view.
QPoint MainCentre() {
    const TViewMapping mapping = MainView().Mapping();
    const QPoint centre = mainWindow->mapView->rect().center();
    return {int(mapping.MapX(centre.x())), int(mapping.MapY(centre.y()))};
}
} // namespace

class TestOverview : public QObject {
    Q_OBJECT
private slots:
    void offAtFirstThenTheWholeMap() {
        TGuiFixture f;
        QVERIFY(!mainWindow->overviewDock->isVisible());
        QCOMPARE(mainWindow->mapView->size(), QSize(639, 561)); // as the editor always opened
        MapWithOverview(60, 40);
        // The largest zoom that shows the whole map.
        const TMapRenderer& view = Overview().Renderer();
        const TViewMapping mapping = view.Mapping();
        QVERIFY(mapping.ViewSpan(60 * 48) <= Overview().width());
        QVERIFY(mapping.ViewSpan(40 * 48) <= Overview().height());
        const TViewMapping closer{QPoint(), view.Zoom + 1, 48};
        QVERIFY(closer.ViewSpan(60 * 48) > Overview().width() ||
                closer.ViewSpan(40 * 48) > Overview().height());
        QCOMPARE(Overview().Image(), MainDrawnAsOverview());
    }

    // Painting, undo and a new pack reach the overview, drawn once the event is done.
    void followsEveryChange() {
        TGuiFixture f;
        MapWithOverview(60, 40);
        mainWindow->tileList->setCurrentRow(1);
        mainWindow->rectangleAction->trigger();
        QTest::mousePress(mainWindow->mapView, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(mainWindow->mapView, QPoint(400, 300));
        QTest::mouseRelease(mainWindow->mapView, Qt::LeftButton, {}, QPoint(400, 300));
        QTRY_COMPARE(OverviewPixel({4, 3}), TileColours[1]);
        QCOMPARE(ViewPixel(4 * 48 + 24, 3 * 48 + 24), TileColours[1]); // both views
        QCOMPARE(Overview().Image(), MainDrawnAsOverview());
        mainWindow->brushAction->trigger();
        mainWindow->tileList->setCurrentRow(2);
        QTest::mouseClick(mainWindow->mapView, Qt::LeftButton, {}, QPoint(5 * 48 + 5, 5));
        QTRY_COMPARE(OverviewPixel({5, 0}), TileColours[2]);
        mainWindow->undoAction->trigger();
        mainWindow->undoAction->trigger();
        QTRY_COMPARE(OverviewPixel({4, 3}), TileColours[0]);
        QCOMPARE(Overview().Image(), MainDrawnAsOverview());
        UseTiles(5); // the pack replaced
        mainWindow->RedrawMap();
        QTRY_COMPARE(Overview().Image(), MainDrawnAsOverview());
    }

    // The outline covers what the map view shows, after scrolling and zooming.
    void outlineFollowsTheMapView() {
        TGuiFixture f;
        MapWithOverview(80, 60);
        for (const auto& move : std::initializer_list<std::function<void()>>{
                 [] {},
                 [] { QTest::keyClick(mainWindow->tileList, Qt::Key_Right); },
                 [] { mainWindow->ZoomBy(1, QPoint(300, 200)); },
                 [] { mainWindow->ZoomBy(-3, QPoint(100, 100)); },
                 [] { mainWindow->topLeftAction->trigger(); },
             }) {
            move();
            const QRect outline = Overview().Outline();
            const TViewMapping overview = Overview().Renderer().Mapping();
            const TViewMapping main = MainView().Mapping();
            const QSize view = mainWindow->mapView->size();
            // Its corners are the overview's pixels over the view's first and last map pixels.
            auto covers = [](const TViewMapping& m, QPoint at, qint64 x, qint64 y) {
                return m.MapX(at.x()) <= x && x < m.MapEnd(at.x(), m.Offset.x()) &&
                       m.MapY(at.y()) <= y && y < m.MapEnd(at.y(), m.Offset.y());
            };
            QVERIFY(covers(overview, outline.topLeft(), main.MapX(0), main.MapY(0)));
            const qint64 right =
                std::min<qint64>(main.MapEnd(view.width() - 1, main.Offset.x()), 80 * 48) - 1;
            const qint64 bottom =
                std::min<qint64>(main.MapEnd(view.height() - 1, main.Offset.y()), 60 * 48) - 1;
            QVERIFY(covers(overview, outline.bottomRight(), right, bottom));
        }
    }

    // A click centres the map view on the map pixel under it; a drag keeps doing so.
    void clickAndDragMoveTheMapView() {
        TGuiFixture f;
        MapWithOverview(80, 60);
        const TViewMapping overview = Overview().Renderer().Mapping();
        const QPoint at(int(overview.ViewSpan(80 * 48) / 2), int(overview.ViewSpan(60 * 48) / 3));
        QTest::mouseClick(&Overview(), Qt::LeftButton, {}, at);
        const QPoint target(int(overview.MapX(at.x())), int(overview.MapY(at.y())));
        QVERIFY((MainCentre() - target).manhattanLength() <= 2);
        QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());
        QTest::mousePress(&Overview(), Qt::LeftButton, {}, at);
        QMouseEvent drag(QEvent::MouseMove, QPointF(0, 0), Overview().mapToGlobal(QPointF(0, 0)),
                         Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&Overview(), &drag);
        QTest::mouseRelease(&Overview(), Qt::LeftButton, {}, QPoint(0, 0));
        QCOMPARE(QPoint(MainView().OffsetX, MainView().OffsetY), QPoint(0, 0));
        QCOMPARE(mainWindow->Canvas.Image(), ViewRedrawn());
    }
};

KORVANE_GUI_TEST_MAIN(TestOverview)
#include "tst_overview.moc"
