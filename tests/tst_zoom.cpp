// Zoom: the mapping between view and map pixels, zoomed drawing against the unzoomed drawing
// scaled the same way, and navigation within the map's bounds at every zoom.

#include "MapScene.h"
#include "platform/Reduce.h"
#include "render/MapImage.h"
#include "render/ViewMapping.h"

#include <QtTest>

using namespace TestSupport;

namespace {
// Tiles with a pattern, so that a pixel drawn in the wrong place shows, in cells chosen at
// random among them, -1 and one the pack lacks.
void AddPattern(Scene& scene, const QList<int>& sides) {
    for (int i = 0; i < sides.size(); ++i)
        scene.AddTile(PatternBmp(sides[i], sides[i], quint32(i + 1)));
    QRandomGenerator random(7);
    for (qint32 x = 0; x < scene.Map.Cells.size(); ++x)
        for (TileIndex& cell : scene.Map.Cells[x])
            cell = TileIndex(random.bounded(-1, int(sides.size()) + 1));
}

// The map's view drawn afresh, as the window does it.
QImage Redrawn(Scene& scene) {
    scene.View.Redraw(QRect(0, 0, scene.View.ViewWidth, scene.View.ViewHeight));
    return scene.Surface.Image().copy();
}

// The average of a picture's pixels, each channel rounded to the nearest.
QRgb Average(const QImage& picture) {
    qint64 r = 0, g = 0, b = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            r += qRed(p), g += qGreen(p), b += qBlue(p);
        }
    const qint64 n = qint64(picture.width()) * picture.height();
    return qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n));
}
} // namespace

class tst_zoom : public QObject {
    Q_OBJECT

private slots:
    void cellUnderAViewPixel_data() {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<QPoint>("cell");
        // Tile size 48 throughout.
        QTest::newRow("actual size") << 0 << QPoint(0, 0) << QPoint(47, 48) << QPoint(0, 1);
        QTest::newRow("actual size, scrolled")
            << 0 << QPoint(4, 8) << QPoint(44, 39) << QPoint(1, 0);
        QTest::newRow("2x") << 1 << QPoint(0, 0) << QPoint(95, 96) << QPoint(0, 1);
        QTest::newRow("8x, scrolled") << 3 << QPoint(40, 0) << QPoint(63, 0) << QPoint(0, 0);
        QTest::newRow("8x, next cell") << 3 << QPoint(40, 0) << QPoint(64, 0) << QPoint(1, 0);
        QTest::newRow("1/2") << -1 << QPoint(0, 0) << QPoint(23, 24) << QPoint(0, 1);
        QTest::newRow("1/256") << -8 << QPoint(0, 0) << QPoint(767, 3) << QPoint(4090, 16);
        QTest::newRow("1/256, scrolled")
            << -8 << QPoint(2560, 256) << QPoint(1, 0) << QPoint(58, 5);
        QTest::newRow("left of the view") << 1 << QPoint(0, 0) << QPoint(-1, -97) << QPoint(-1, -2);
    }
    void cellUnderAViewPixel() {
        QFETCH(int, zoom);
        QFETCH(QPoint, offset);
        QFETCH(QPoint, pixel);
        QFETCH(QPoint, cell);
        const ViewMapping mapping{offset, zoom, 48};
        QCOMPARE(mapping.CellAt(pixel), cell);
        // The map's own lookup agrees inside the map.
        Scene scene(QSize(10, 10), 48, QSize(4096, 20), QSize(10, 10), 0);
        scene.View.Zoom = zoom;
        scene.View.OffsetX = offset.x();
        scene.View.OffsetY = offset.y();
        if (cell.x() >= 0 && cell.y() >= 0)
            QCOMPARE(scene.View.CellAt(pixel.x(), pixel.y()), std::optional<QPoint>(cell));
    }

    void roundTrips_data() {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<int>("offset");
        for (int zoom = ViewMapping::MinZoom; zoom <= ViewMapping::MaxZoom; ++zoom) {
            QTest::addRow("zoom %d", zoom) << zoom << 0;
            QTest::addRow("zoom %d, odd offset", zoom) << zoom << 1001;
        }
    }
    void roundTrips() {
        QFETCH(int, zoom);
        QFETCH(int, offset);
        const ViewMapping mapping{QPoint(offset, offset), zoom, 5};
        for (qint64 view = -300; view <= 300; ++view) {
            // A view pixel shows the map pixels from ToMap to MapEnd, each of which is shown
            // from a view pixel at most Scale before it.
            for (const qint64 map :
                 {mapping.ToMap(view, offset), mapping.MapEnd(view, offset) - 1}) {
                const qint64 back = mapping.ToView(map, offset);
                QVERIFY2(back <= view && view < back + mapping.Scale(),
                         qPrintable(QStringLiteral("%1 -> %2 -> %3").arg(view).arg(map).arg(back)));
            }
            QCOMPARE(mapping.MapEnd(view, offset) - mapping.ToMap(view, offset), mapping.Unit());
        }
        // Zooming keeps the map pixel under a view pixel there, to within a view pixel.
        for (int to = ViewMapping::MinZoom; to <= ViewMapping::MaxZoom; ++to) {
            for (const QPoint at : {QPoint(0, 0), QPoint(317, 45), QPoint(1919, 1079)}) {
                const ViewMapping zoomed = mapping.ZoomedAt(to, at);
                QCOMPARE(zoomed.Zoom, to);
                const qint64 before = mapping.MapX(at.x()), after = zoomed.MapX(at.x());
                QVERIFY2(
                    after <= before && before < zoomed.MapEnd(at.x(), zoomed.Offset.x()),
                    qPrintable(QStringLiteral("%1 -> %2 at %3").arg(zoom).arg(to).arg(at.x())));
                QCOMPARE(zoomed.Offset.x() % zoomed.Unit(), 0);
            }
        }
    }

    // What a zoomed view shows is the unzoomed drawing magnified or reduced as a whole.
    void zoomedDrawingIsTheNaturalOneScaled_data() {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QList<int>>("sides"); // of the pack's tiles; cells are 16 pixels
        QTest::addColumn<QPoint>("offset");
        const QList<int> cellSized{16, 16, 16}, mixed{16, 24, 8, 40};
        for (int zoom : {1, 2, 3}) {
            QTest::addRow("%dx, tiles as large as a cell", 1 << zoom)
                << zoom << cellSized << QPoint();
            QTest::addRow("%dx, larger and smaller tiles, scrolled", 1 << zoom)
                << zoom << mixed << QPoint(21, 37);
        }
        for (int zoom : {-1, -2}) {
            QTest::addRow("1/%d, tiles as large as a cell", 1 << -zoom)
                << zoom << cellSized << QPoint();
            QTest::addRow("1/%d, larger and smaller tiles, scrolled", 1 << -zoom)
                << zoom << mixed << QPoint(20, 36);
        }
    }
    void zoomedDrawingIsTheNaturalOneScaled() {
        QFETCH(int, zoom);
        QFETCH(QList<int>, sides);
        QFETCH(QPoint, offset);
        const QSize view(192, 128);
        Scene zoomed(view, 16, QSize(40, 30), view, 0);
        AddPattern(zoomed, sides);
        zoomed.View.Zoom = zoom;
        zoomed.View.OffsetX = offset.x();
        zoomed.View.OffsetY = offset.y();
        const ViewMapping mapping = zoomed.View.Mapping();
        // The same cells unzoomed, in a view showing the same map pixels.
        const QSize shown = mapping.MapSize(view);
        Scene natural(shown, 16, QSize(40, 30), shown, 0);
        AddPattern(natural, sides);
        natural.View.OffsetX = offset.x();
        natural.View.OffsetY = offset.y();
        const QImage unzoomed = Redrawn(natural);
        const QImage expected =
            zoom > 0 ? unzoomed.scaled(view, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                     : Reduced(unzoomed, int(mapping.Unit()));
        QCOMPARE(Redrawn(zoomed), expected);
    }

    // Cells under 4 pixels: each view pixel the average colour of the tile under it; once
    // cells are smaller than a view pixel, of the tile in the sample nearest that cell, the
    // samples lying every 2^k cells across and down, 2^k at most the cells a view pixel spans
    // (at least 2).
    void smallCellsTakeTheirTilesColour() {
        const QSize view(120, 90);
        Scene scene(view, 12, QSize(300, 200), view, 0);
        AddPattern(scene, {12, 30, 5});
        scene.AddTile(QByteArray()); // a tile without pixels shows nothing
        scene.Map.Cells[3][0] = 3;
        for (const int zoom : {-2, -3, -8}) {
            scene.View.Zoom = zoom;
            scene.View.OffsetX = 8 << -zoom;
            scene.View.OffsetY = 0;
            const ViewMapping mapping = scene.View.Mapping();
            QCOMPARE(mapping.Look(), ViewMapping::TileLook::Colours);
            scene.View.ShowGrid = true; // never drawn over cells this small
            const QImage drawn = Redrawn(scene);
            for (int y = 0; y < view.height(); ++y)
                for (int x = 0; x < view.width(); ++x) {
                    QPoint cell = mapping.CellAt(QPoint(x, y));
                    if (mapping.Unit() > 12 && cell.x() < 300 && cell.y() < 200) {
                        int step = 2;
                        while (24 * step <= mapping.Unit())
                            step *= 2;
                        auto sample = [step](int c, int count) {
                            return std::min((c + step / 2) / step * step,
                                            (count - 1) / step * step);
                        };
                        cell = QPoint(sample(cell.x(), 300), sample(cell.y(), 200));
                    }
                    QRgb expected = Face;
                    if (cell.x() < 300 && cell.y() < 200) {
                        const TileIndex v = scene.Map.Cells[cell.x()][cell.y()];
                        if (v >= 0 && v < 3)
                            expected = Average(scene.Pack->At(v).Image->Picture());
                    }
                    QVERIFY2(
                        drawn.pixel(x, y) == expected,
                        qPrintable(QStringLiteral("zoom %1 at %2,%3").arg(zoom).arg(x).arg(y)));
                }
        }
    }

    // At a power-of-two scale an image is drawn with the tiles' reduced images, as the view
    // zoomed out draws them: where the scale divides the tile size that is the drawing at full
    // size averaged, across the blocks the image is drawn in and from any cell on.
    void imagesAtPowersOfTwoAreTheAverage_data() {
        QTest::addColumn<int>("tileSize");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QRect>("region");
        QTest::newRow("48, 1/2, two blocks each way") << 48 << 2 << QRect(0, 0, 90, 88);
        QTest::newRow("48, 1/16, a region") << 48 << 16 << QRect(7, 3, 60, 50);
        QTest::newRow("16, 1/16, a cell a pixel") << 16 << 16 << QRect(1, 2, 80, 70);
        QTest::newRow("8, 1/4, a region") << 8 << 4 << QRect(5, 9, 70, 60);
    }
    void imagesAtPowersOfTwoAreTheAverage() {
        QFETCH(int, tileSize);
        QFETCH(int, scale);
        QFETCH(QRect, region);
        Scene scene(QSize(1, 1), tileSize, QSize(100, 100), QSize(1, 1), 0);
        AddPattern(scene, {tileSize, tileSize, tileSize});
        QCOMPARE(MapImage::Draw(scene.Map, *scene.Pack, region, scale, false),
                 Reduced(MapImage::Draw(scene.Map, *scene.Pack, region, 1, false), scale));
    }

    // A tile whose picture changes is drawn anew at every zoom: nothing keeps the old one.
    void changedTilesAreNotStale() {
        const QSize view(64, 64);
        Scene scene(view, 16, QSize(8, 8), view, 1);
        for (const int zoom : {-1, -3}) {
            scene.View.Zoom = zoom;
            Redrawn(scene);
            scene.Pack->At(0).Image->LoadFromBytes(SolidBmp(16, 16, Colours[2]));
            QCOMPARE(QColor(Redrawn(scene).pixel(0, 0)), QColor(Colours[2]));
            scene.Pack->At(0).Image->LoadFromBytes(SolidBmp(16, 16, Colours[0]));
        }
    }

    void gridAtEveryZoom_data() {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QList<int>>("lines"); // view x of the vertical lines, tile size 16
        QTest::newRow("2x") << 1 << QList<int>{0, 32, 64, 96};
        QTest::newRow("1/2") << -1 << QList<int>{0, 8, 16, 24, 32, 40, 48, 56, 64, 72, 80, 88, 96};
        QTest::newRow("1/4, cells of 4 pixels")
            << -2 << QList<int>{0,  4,  8,  12, 16, 20, 24, 28, 32, 36, 40, 44, 48,
                                52, 56, 60, 64, 68, 72, 76, 80, 84, 88, 92, 96};
        QTest::newRow("1/8, cells of 2 pixels: none") << -3 << QList<int>{};
    }
    void gridAtEveryZoom() {
        QFETCH(int, zoom);
        QFETCH(QList<int>, lines);
        const QSize view(100, 100);
        Scene scene(view, 16, QSize(100, 100), view, 1); // red everywhere
        scene.View.Zoom = zoom;
        scene.View.ShowGrid = true;
        const QImage drawn = Redrawn(scene);
        QList<int> found;
        for (int x = 0; x < view.width(); ++x)
            if (drawn.pixel(x, 50) == Inverted && drawn.pixel(x, 51) == Inverted)
                found << x;
        QCOMPARE(found, lines);
    }

    void navigationBounds_data() {
        QTest::addColumn<int>("zoom");
        for (int zoom = ViewMapping::MinZoom; zoom <= ViewMapping::MaxZoom; ++zoom)
            QTest::addRow("zoom %d", zoom) << zoom;
    }
    void navigationBounds() {
        QFETCH(int, zoom);
        const QSize view(301, 203);
        Scene scene(QSize(1, 1), 7, QSize(1000, 700), view, 0);
        MapRenderer& map = scene.View;
        map.Zoom = zoom;
        // As far as it goes right and down: the last pixel column and row are in view, and
        // no further than needed.
        map.ScrollTo(qint64(1) << 40, qint64(1) << 40);
        const QPoint last = map.MaxOffset();
        QCOMPARE(QPoint(map.OffsetX, map.OffsetY), last);
        const ViewMapping end = map.Mapping();
        const QSize shown = end.MapSize(view);
        if (7000 > shown.width()) {
            // The last pixel column wholly in view, at every zoom, and the view no further
            // right than that needs.
            const qint64 after = end.ViewX(6999) + end.Scale();
            QVERIFY(after <= view.width() && after > view.width() - end.Scale());
        } else {
            QCOMPARE(map.OffsetX, 0); // the map fits the view
        }
        QVERIFY(4900 > shown.height() ? map.OffsetY + shown.height() >= 4900 : map.OffsetY == 0);
        QCOMPARE(map.OffsetX % end.Unit(), 0);
        // Back: never before the first pixel.
        map.ScrollTo(-5, -(qint64(1) << 40));
        QCOMPARE(QPoint(map.OffsetX, map.OffsetY), QPoint(0, 0));
        // The arrows may go further than MaxOffset; a move further out leaves the view there,
        // a move back goes back from there.
        map.OffsetX = last.x() + 16 * int(end.Unit());
        map.ScrollTo(map.OffsetX + 1000 * end.Unit(), 0);
        QCOMPARE(map.OffsetX, last.x() + 16 * int(end.Unit()));
        map.ScrollTo(map.OffsetX - 4 * end.Unit(), 0);
        QCOMPARE(map.OffsetX, last.x() + 12 * int(end.Unit()));
        // Zooming keeps the view within the bounds.
        for (int to = ViewMapping::MinZoom; to <= ViewMapping::MaxZoom; ++to) {
            map.ZoomAt(to, QPoint(300, 202));
            QVERIFY(map.OffsetX >= 0 && map.OffsetY >= 0);
            QVERIFY(map.OffsetX <= map.MaxOffset().x() && map.OffsetY <= map.MaxOffset().y());
        }
    }

    // A map wider than 2^31 pixels: offsets stop at the largest a view can take.
    void offsetsNearTheLimit() {
        Scene scene(QSize(1, 1), 100000, QSize(30000, 2), QSize(300, 200), 0);
        MapRenderer& map = scene.View;
        for (const int zoom : {0, -3, 2}) {
            map.Zoom = zoom;
            map.ScrollTo(qint64(1) << 40, 0);
            QCOMPARE(map.OffsetX, map.MaxOffset().x());
            QVERIFY(map.OffsetX > std::numeric_limits<qint32>::max() - map.Mapping().Unit());
            map.Step(1);
            QVERIFY(map.OffsetX > 0);
            map.ScrollTo(qint64(map.OffsetX) + (qint64(1) << 30), 0);
            QVERIFY(map.OffsetX > 0);
            map.ScrollTo(0, 0);
        }
    }

    void fitZoom_data() {
        QTest::addColumn<QSize>("mapSize");
        QTest::addColumn<int>("tileSize");
        QTest::addColumn<QSize>("view");
        QTest::addColumn<int>("zoom");
        QTest::newRow("4096 x 4096 in 1920 x 1080")
            << QSize(4096, 4096) << 48 << QSize(1920, 1080) << -8;
        QTest::newRow("the demo map") << QSize(24, 18) << 48 << QSize(639, 561) << -1;
        QTest::newRow("fits at actual size") << QSize(10, 10) << 48 << QSize(480, 480) << 0;
        // 21 map pixels take 11 view pixels at 1/2, rounded up: too many for 10.
        QTest::newRow("a remainder") << QSize(3, 3) << 7 << QSize(10, 10) << -2;
        QTest::newRow("small: 8x at most") << QSize(2, 2) << 8 << QSize(500, 500) << 3;
        QTest::newRow("too large for any zoom")
            << QSize(4096, 16) << 200 << QSize(1920, 1080) << ViewMapping::MinZoom;
    }
    void fitZoom() {
        QFETCH(QSize, mapSize);
        QFETCH(int, tileSize);
        QFETCH(QSize, view);
        QFETCH(int, zoom);
        TileMap map(tileSize);
        map.New(mapSize.width(), mapSize.height(), tileSize);
        TilePack pack;
        MapRenderer renderer(map, pack, nullptr);
        renderer.SetViewSize(view.width(), view.height());
        QCOMPARE(renderer.FitZoom(), zoom);
    }
};

QTEST_GUILESS_MAIN(tst_zoom)
#include "tst_zoom.moc"
