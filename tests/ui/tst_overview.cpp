// View > Overview: a second view of the same map, which follows every change, outlines what the
// map view shows, and moves it when clicked.

#include "MapScene.h"
#include "ScriptedDialogs.h"

#include "ui/OverviewPanel.h"

#include <QDockWidget>
#include <QListWidget>
#include <QMouseEvent>

namespace {
OverviewPanel& Overview(GuiFixture& f) {
    return f.Find<OverviewPanel>("overview");
}

// A map of width × height cells holding 0, on a pack of three tiles, with the overview shown.
void MapWithOverview(GuiFixture& f, qint32 width, qint32 height) {
    f.UseTiles(3);
    f.TheDocument().NewMap(width, height, 48);
    f.Window().RedrawMap();
    f.Find<QDockWidget>("overviewDock").toggleViewAction()->trigger();
    QTRY_VERIFY(Overview(f).isVisible() && Overview(f).width() > 0);
}

// The map as the main view's renderer draws it at the overview's zoom and size: what the
// overview must show.
QImage MainDrawnAsOverview(GuiFixture& f) {
    MapRenderer main(f.TheMap(), f.ThePack(), nullptr);
    main.SetViewSize(Overview(f).width(), Overview(f).height());
    main.Zoom = Overview(f).Renderer().Zoom;
    return TestSupport::FullRedraw(main, Overview(f).size());
}

// The overview's pixel over the middle of a cell.
QRgb OverviewPixel(GuiFixture& f, QPoint cell) {
    const ViewMapping mapping = Overview(f).Renderer().Mapping();
    return Overview(f).Image().pixel(int(mapping.ViewX(cell.x() * 48 + 24)),
                                     int(mapping.ViewY(cell.y() * 48 + 24)));
}

// The map pixel at the centre of the main view.
QPoint MainCentre(GuiFixture& f) {
    const ViewMapping mapping = f.MainView().Mapping();
    const QPoint centre = f.MapArea().rect().center();
    return {int(mapping.MapX(centre.x())), int(mapping.MapY(centre.y()))};
}
} // namespace

class TestOverview : public QObject {
    Q_OBJECT
private slots:
    void offAtFirstThenTheWholeMap() {
        GuiFixture f;
        QVERIFY(!f.Find<QDockWidget>("overviewDock").isVisible());
        QCOMPARE(f.MapArea().size(), QSize(639, 561)); // as the editor always opened
        MapWithOverview(f, 60, 40);
        // The largest zoom that shows the whole map.
        const MapRenderer& view = Overview(f).Renderer();
        const ViewMapping mapping = view.Mapping();
        QVERIFY(mapping.ViewSpan(60 * 48) <= Overview(f).width());
        QVERIFY(mapping.ViewSpan(40 * 48) <= Overview(f).height());
        const ViewMapping closer{QPoint(), view.Zoom + 1, 48};
        QVERIFY(closer.ViewSpan(60 * 48) > Overview(f).width() ||
                closer.ViewSpan(40 * 48) > Overview(f).height());
        QCOMPARE(Overview(f).Image(), MainDrawnAsOverview(f));
    }

    // Painting, undo and a new pack reach the overview, drawn once the event is done.
    void followsEveryChange() {
        GuiFixture f;
        MapWithOverview(f, 60, 40);
        f.TileList().setCurrentRow(1);
        f.Action("rectangleAction").trigger();
        QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(&f.MapArea(), QPoint(400, 300));
        QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, QPoint(400, 300));
        QTRY_COMPARE(OverviewPixel(f, {4, 3}), TileColours[1]);
        QCOMPARE(f.ViewPixel(4 * 48 + 24, 3 * 48 + 24), TileColours[1]); // both views
        QCOMPARE(Overview(f).Image(), MainDrawnAsOverview(f));
        f.Action("brushAction").trigger();
        f.TileList().setCurrentRow(2);
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(5 * 48 + 5, 5));
        QTRY_COMPARE(OverviewPixel(f, {5, 0}), TileColours[2]);
        f.Action("undoAction").trigger();
        f.Action("undoAction").trigger();
        QTRY_COMPARE(OverviewPixel(f, {4, 3}), TileColours[0]);
        QCOMPARE(Overview(f).Image(), MainDrawnAsOverview(f));
        f.UseTiles(5); // the pack replaced
        f.Window().RedrawMap();
        QTRY_COMPARE(Overview(f).Image(), MainDrawnAsOverview(f));
    }

    // The outline covers what the map view shows, after scrolling and zooming.
    void outlineFollowsTheMapView() {
        GuiFixture f;
        MapWithOverview(f, 80, 60);
        for (const auto& move : std::initializer_list<std::function<void()>>{
                 [] {},
                 [&f] { QTest::keyClick(&f.TileList(), Qt::Key_Right); },
                 [&f] { f.Window().ZoomBy(1, QPoint(300, 200)); },
                 [&f] { f.Window().ZoomBy(-3, QPoint(100, 100)); },
                 [&f] { f.Action("topLeftAction").trigger(); },
             }) {
            move();
            const QRect outline = Overview(f).Outline();
            const ViewMapping overview = Overview(f).Renderer().Mapping();
            const ViewMapping main = f.MainView().Mapping();
            const QSize view = f.MapArea().size();
            // Its corners are the overview's pixels over the view's first and last map pixels.
            auto covers = [](const ViewMapping& m, QPoint at, qint64 x, qint64 y) {
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
        GuiFixture f;
        MapWithOverview(f, 80, 60);
        const ViewMapping overview = Overview(f).Renderer().Mapping();
        const QPoint at(int(overview.ViewSpan(80 * 48) / 2), int(overview.ViewSpan(60 * 48) / 3));
        QTest::mouseClick(&Overview(f), Qt::LeftButton, {}, at);
        const QPoint target(int(overview.MapX(at.x())), int(overview.MapY(at.y())));
        QVERIFY((MainCentre(f) - target).manhattanLength() <= 2);
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
        QTest::mousePress(&Overview(f), Qt::LeftButton, {}, at);
        QMouseEvent drag(QEvent::MouseMove, QPointF(0, 0), Overview(f).mapToGlobal(QPointF(0, 0)),
                         Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&Overview(f), &drag);
        QTest::mouseRelease(&Overview(f), Qt::LeftButton, {}, QPoint(0, 0));
        QCOMPARE(QPoint(f.MainView().OffsetX, f.MainView().OffsetY), QPoint(0, 0));
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
    }
};

KORVANE_GUI_TEST_MAIN(TestOverview)
#include "tst_overview.moc"
