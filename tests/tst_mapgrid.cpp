// The map grid: sizes, the pixel-to-cell rule, scroll bounds, and drawing on canvas pixels.

#include "MapScene.h"
#include "TestSupport.h"
#include "formats/MapFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "render/MapRenderer.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

using namespace TestSupport;

namespace {
// Size, tile size, texts and cells: all that New may touch.
QString Describe(const TileMap& map) {
    QString cells;
    for (qint32 x = 0; x < map.Cells.size(); ++x)
        for (TileIndex v : map.Cells[x])
            cells += QString::number(v) + ',';
    return QString::asprintf("%dx%d/%d [%d] ", map.Width, map.Height, map.TileSize,
                             map.Cells.size()) +
           QString::fromLatin1(map.Text1 + map.Text2 + map.PackName + map.Text4) + ' ' + cells;
}
} // namespace

class tst_mapgrid : public QObject {
    Q_OBJECT

private slots:
    void newAndRefusedSizes() {
        TileMap map(48);
        map.Text1 = map.Text2 = map.PackName = map.Text4 = "t";
        map.New(14, 14, 48);
        QCOMPARE(Describe(map), "14x14/48 [14]  " + QString("0,").repeated(196));
        // Height 0 gives columns without entries, width 0 no columns at all.
        for (const auto& [width, height] : {std::pair{4, 0}, std::pair{0, 4}}) {
            map.New(width, height, 16);
            QCOMPARE(map.Cells.Rows(), height);
            QCOMPARE(Describe(map), QString::asprintf("%dx%d/16 [%d]  ", width, height, width));
        }
        // Sizes it cannot hold are refused with the map unchanged; a tile size below 1 by the
        // constructor too, since every view divides by it.
        map.New(3, 2, 32);
        map.Cells[2][1] = 9;
        const QString before = Describe(map), none = MessageOf([] {});
        const int refused[][3] = {
            {4, 4, 0}, {-1, 4, 8}, {4, -1, 8}, {1, (1 << 28) + 1, 8}, {1 << 16, 1 << 16, 8}};
        for (const auto& [width, height, tileSize] : refused) {
            QVERIFY(MessageOf<ESizeError>([&] { map.New(width, height, tileSize); }) != none);
            QCOMPARE(Describe(map), before);
        }
        QVERIFY(MessageOf<ESizeError>([] { TileMap(0); }) != none);
        QVERIFY(MessageOf<ESizeError>([] { TileMap(-1); }) != none);
    }

    void cellAt_data() {
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<QPoint>("cell"); // (-1, -1): none
        const QPoint none(-1, -1);
        QTest::newRow("-47,-47 truncates to 0") << QPoint() << QPoint(-47, -47) << QPoint();
        QTest::newRow("-48,0") << QPoint() << QPoint(-48, 0) << none;
        QTest::newRow("0,-48") << QPoint() << QPoint(0, -48) << none;
        QTest::newRow("x 671") << QPoint() << QPoint(671, 10) << QPoint(13, 0);
        QTest::newRow("x 672") << QPoint() << QPoint(672, 10) << none;
        QTest::newRow("y 672") << QPoint() << QPoint(50, 672) << none;
        QTest::newRow("offset 44, x 4") << QPoint(44, 0) << QPoint(4, 0) << QPoint(1, 0);
        QTest::newRow("offset 0,44, y 4") << QPoint(0, 44) << QPoint(100, 4) << QPoint(2, 1);
        QTest::newRow("far outside") << QPoint(8, 0) << QPoint(INT_MAX, 0) << none;
    }
    void cellAt() {
        QFETCH(QPoint, offset);
        QFETCH(QPoint, pixel);
        QFETCH(QPoint, cell);
        TileMap map(48);
        map.New(14, 14, 48);
        TilePack pack;
        MapRenderer view(map, pack, nullptr);
        view.OffsetX = offset.x();
        view.OffsetY = offset.y();
        QCOMPARE(view.CellAt(pixel.x(), pixel.y()).value_or(QPoint(-1, -1)), cell);
    }

    // What undo swaps in and out, and what a recovery copy takes: both maps exactly.
    void swapAndCopyContent() {
        TileMap a(48), b(16);
        a.New(3, 2, 48);
        a.Cells[2][1] = 7;
        a.Text1 = "one";
        a.PackName = "a.pac";
        b.New(0, 5, 16);
        b.Text4 = "four";
        const QString first = Describe(a), second = Describe(b);
        a.SwapContent(b);
        QCOMPARE(Describe(a), second);
        QCOMPARE(Describe(b), first);
        a.SwapContent(b);
        QCOMPARE(Describe(a), first);
        QCOMPARE(Describe(b), second);
        // A copy holds the same texts and cells, in cells of its own; its tile size stays.
        b.CopyContent(a);
        QCOMPARE(Describe(b), "3x2/16 [3] onea.pac 0,0,0,0,0,7,");
        a.Cells[0][0] = 5;
        QCOMPARE(b.Cells[0][0], 0);
        QCOMPARE(MapFile::Bytes(a).mid(0, 20), MapFile::Bytes(b).mid(0, 20));
    }

    void scrollBounds_data() {
        QTest::addColumn<int>("tileSize");
        QTest::addColumn<QSize>("mapSize");
        QTest::addColumn<QSize>("view");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QPoint>("end"); // after enough steps
        // 48-pixel cells in a 639 x 578 view: 13 whole columns and 12 whole rows fit.
        const QSize view(639, 578), map(14, 14);
        QTest::newRow("right stops at 44") << 48 << map << view << QPoint() << 1 << QPoint(44, 0);
        QTest::newRow("left to 0") << 48 << map << view << QPoint(44, 8) << 2 << QPoint(0, 8);
        QTest::newRow("up to 0") << 48 << map << view << QPoint(8, 12) << 3 << QPoint(8, 0);
        QTest::newRow("direction 5")
            << 48 << QSize(20, 20) << view << QPoint(8, 8) << 5 << QPoint(8, 8);
        // A map that fits the view's whole cells never scrolls.
        QTest::newRow("13 columns fit") << 48 << QSize(13, 12) << view << QPoint() << 1 << QPoint();
        QTest::newRow("12 rows fit") << 48 << QSize(13, 12) << view << QPoint() << 4 << QPoint();
        // The whole cells' rule alone stops with the map's last pixels outside the view when
        // the view holds less than 4 pixels beyond its whole cells: here the last 2 pixel rows
        // at 92, the whole last column at 800 for 3-pixel cells, the last 4 at 96 for 1-pixel
        // cells. One more step brings them in.
        QTest::newRow("down to 96, not 92") << 48 << map << view << QPoint() << 4 << QPoint(0, 96);
        QTest::newRow("3-pixel cells, right to 804, not 800")
            << 3 << QSize(301, 10) << QSize(100, 30) << QPoint() << 1 << QPoint(804, 0);
        QTest::newRow("1-pixel cells, down to 100, not 96")
            << 1 << QSize(10, 200) << QSize(10, 100) << QPoint() << 4 << QPoint(0, 100);
        QTest::newRow("2-pixel cells, right to 108, 3 pixels past the edge, not 104")
            << 2 << QSize(103, 10) << QSize(101, 30) << QPoint() << 1 << QPoint(108, 0);
    }
    void scrollBounds() {
        QFETCH(int, tileSize);
        QFETCH(QSize, mapSize);
        QFETCH(QSize, view);
        QFETCH(QPoint, start);
        QFETCH(int, direction);
        QFETCH(QPoint, end);
        Scene scene(QSize(1, 1), tileSize, mapSize, view, 1);
        scene.View.OffsetX = start.x();
        scene.View.OffsetY = start.y();
        for (int i = 0; i < 300; ++i)
            scene.View.Scroll(direction);
        QCOMPARE(QPoint(scene.View.OffsetX, scene.View.OffsetY), end);
    }

    void drawPlacesTiles() {
        // A 4 x 2 map of 8-pixel cells in a 40 x 30 view on a larger canvas. Cells holding -1,
        // -2 or the tile count are skipped: they keep the old pixels, or show the background.
        // Tile 5 is 12 pixels wide: later cells paint over its overflow unless skipped.
        Scene scene(QSize(50, 40), 8, QSize(4, 2), QSize(40, 30), 5);
        scene.AddTile(SolidBmp(12, 12, Colours[5]));
        const qint32 cells[4][2] = {{5, 3}, {1, 6}, {-1, 4}, {2, -2}}; // [x][y]
        for (qint32 x = 0; x < 4; ++x)
            for (qint32 y = 0; y < 2; ++y)
                scene.Map.Cells[x][y] = cells[x][y];
        scene.View.Draw(false);
        scene.Check(
            {{0, 0, Colours[5]}, {8, 0, Colours[1]}, {11, 7, Colours[1]}, {0, 8, Colours[3]}});
        scene.Check({{11, 11, Colours[5]}, {12, 8, Paper}, {16, 0, Paper}, {24, 0, Colours[2]}});
        scene.Check({{23, 15, Colours[4]}, {24, 8, Paper}, {32, 0, Paper}, {0, 16, Paper}});
        scene.View.Draw(true);
        scene.Check({{11, 11, Colours[5]}, {12, 8, Face}, {16, 0, Face}, {24, 8, Face}});
        scene.Check({{32, 0, Face}, {39, 29, Face}, {40, 5, Paper}, {5, 30, Paper}});
        // Scrolled by 12 and 10, view column 0 shows map column 1 from 4 pixels left of the
        // view, and view row 0 map row 1 from 2 pixels above it.
        scene.View.OffsetX = 12;
        scene.View.OffsetY = 10;
        scene.View.Draw(true);
        scene.Check({{0, 0, Face}, {4, 0, Colours[4]}, {11, 5, Colours[4]}, {12, 0, Face}});
        scene.Check({{4, 6, Face}, {11, 6, Face}});
        // The view reads the pack as it is at each drawing. With no tiles it draws nothing at
        // all, not even the background or the grid.
        scene.Pack->Tiles.clear();
        scene.AddTile(SolidBmp(8, 8, qRgb(9, 9, 9)));
        scene.Map.Cells[1][1] = 0;
        scene.View.Draw(true);
        scene.Check({{0, 0, qRgb(9, 9, 9)}, {12, 0, Face}});
        scene.View.ShowGrid = true;
        const QImage before = scene.Surface.Image().copy();
        scene.Pack->Tiles.clear();
        scene.View.Draw(true);
        QCOMPARE(scene.Surface.Image(), before);
    }

    void drawingAndScrollingGoByTheGrid() {
        // Width and Height only report the size; fields that disagree with the cells never
        // lead a reader outside them. Column 1 is drawn, and no row 2, which in one block of
        // cells would be read from column 1.
        Scene scene(QSize(40, 40), 8, QSize(2, 2), QSize(40, 40), 2);
        scene.Map.Cells[0][0] = scene.Map.Cells[0][1] = scene.Map.Cells[1][1] = -1;
        scene.Map.Cells[1][0] = 1;
        scene.Map.Width = 1;
        scene.Map.Height = 3;
        scene.View.Draw(false);
        scene.Check({{8, 0, Colours[1]}, {0, 0, Paper}, {0, 16, Paper}});
        // Two columns of 8 pixels in a view of 8 scroll as far as 8, whatever Width says.
        Scene narrow(QSize(8, 8), 8, QSize(2, 2), QSize(8, 8), 1);
        narrow.Map.Width = 100;
        for (int i = 0; i < 50; ++i)
            narrow.View.Scroll(1);
        QCOMPARE(narrow.View.OffsetX, 8);
    }

    // Drawing only what changed leaves the view exactly as a full redraw does: after cells
    // change (to -1 and past the pack's end too) and after each scroll step, whatever the
    // tiles' sizes (larger ones reach into their neighbours), with the grid, at the view's
    // edges (which cut cells) and scrolled by part of a cell.
    void partialRedrawsMatchAFullOne_data() {
        QTest::addColumn<int>("tileSize");
        QTest::addColumn<QList<int>>("sides"); // of the pack's square tiles
        QTest::addColumn<QSize>("mapSize");
        QTest::addColumn<QPoint>("start"); // the offsets, in steps of 4
        QTest::addColumn<bool>("grid");
        QTest::addColumn<int>("zoom");
        const QSize map(30, 25);
        QTest::newRow("tiles as large as a cell")
            << 16 << QList<int>{16, 16, 16} << map << QPoint() << false << 0;
        QTest::newRow("larger and smaller tiles")
            << 16 << QList<int>{16, 40, 9} << map << QPoint(8, 4) << false << 0;
        QTest::newRow("at the far edges")
            << 16 << QList<int>{21, 16, 16} << map << QPoint(372, 316) << false << 0;
        QTest::newRow("with the grid")
            << 16 << QList<int>{16, 23, 16} << map << QPoint(4, 12) << true << 0;
        QTest::newRow("cells smaller than a step")
            << 3 << QList<int>{3, 7, 2} << QSize(45, 40) << QPoint(8, 4) << true << 0;
        // Zoomed: steps of 4 view pixels, tiles magnified, reduced or one colour each.
        QTest::newRow("2x, with the grid")
            << 16 << QList<int>{16, 23, 9} << map << QPoint(4, 12) << true << 1;
        QTest::newRow("8x, at the far edges")
            << 16 << QList<int>{21, 16, 16} << map << QPoint(400, 380) << true << 3;
        QTest::newRow("1/2, with the grid")
            << 16 << QList<int>{16, 23, 9} << QSize(60, 50) << QPoint(8, 4) << true << -1;
        QTest::newRow("1/4, odd tile size")
            << 17 << QList<int>{17, 30, 5} << QSize(60, 50) << QPoint(0, 8) << true << -2;
        QTest::newRow("1/8, one colour a tile")
            << 16 << QList<int>{16, 40, 9} << QSize(200, 150) << QPoint(64, 0) << true << -3;
    }
    void partialRedrawsMatchAFullOne() {
        QFETCH(int, tileSize);
        QFETCH(QList<int>, sides);
        QFETCH(QSize, mapSize);
        QFETCH(QPoint, start);
        QFETCH(bool, grid);
        QFETCH(int, zoom);
        const QSize view(101, 77);
        Scene scene(view, tileSize, mapSize, view, 0);
        scene.View.Zoom = zoom;
        for (int i = 0; i < sides.size(); ++i)
            scene.AddTile(SolidBmp(sides[i], sides[i], Colours[i]));
        scene.View.ShowGrid = grid;
        scene.View.OffsetX = start.x();
        scene.View.OffsetY = start.y();
        QRandomGenerator random(20241206);
        auto anyTile = [&] { return TileIndex(random.bounded(-1, int(sides.size()) + 1)); };
        for (qint32 x = 0; x < mapSize.width(); ++x)
            for (TileIndex& cell : scene.Map.Cells[x])
                cell = anyTile();
        scene.View.Redraw(QRect(QPoint(0, 0), view));
        QCOMPARE(scene.Surface.Image(), FullRedraw(scene.View, view));
        // Runs of steps one way, so the view reaches its edges, and changes in between.
        int direction = 1;
        for (int step = 0; step < 150; ++step) {
            if (step % 5 == 0) {
                QRegion changed;
                for (int i = 0; i < 3; ++i) {
                    const std::optional<QPoint> cell = scene.View.CellAt(
                        random.bounded(view.width()), random.bounded(view.height()));
                    if (!cell) // scrolled to the map's last pixels, the view shows more
                        continue;
                    scene.Map.Cells[cell->x()][cell->y()] = anyTile();
                    changed += scene.View.CellArea(*cell);
                }
                for (const QRect& area : changed& QRect(QPoint(0, 0), view))
                    scene.View.Redraw(area);
            } else {
                if (step % 20 == 1)
                    direction = random.bounded(1, 5);
                const ViewMapping before = scene.View.Mapping();
                scene.View.Step(direction);
                const QPoint moved = before.ShiftTo(scene.View.Mapping()).value();
                scene.Surface.Scroll(-moved);
                for (const QRect& area : scene.View.Uncovered(moved))
                    scene.View.Redraw(area);
            }
            QVERIFY2(scene.Surface.Image() == FullRedraw(scene.View, view),
                     qPrintable(QStringLiteral("step %1 at %2,%3")
                                    .arg(step)
                                    .arg(scene.View.OffsetX)
                                    .arg(scene.View.OffsetY)));
        }
    }

    void drawVisitsViewRowsAndColumns_data() {
        QTest::addColumn<QSize>("mapSize");
        QTest::addColumn<QSize>("view");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<QSize>("painted"); // the tiles cover x < width and y < height
        // ViewWidth div TileSize + 2 columns, even where they fall outside the view; rows as
        // far as the view reaches, (ViewHeight + vertical shift) div TileSize + 1 of them, so
        // a view scrolled by part of a cell gets its bottom row too.
        QTest::newRow("14 x 14 in 639 x 626")
            << QSize(14, 14) << QSize(639, 626) << QPoint() << QSize(672, 672);
        QTest::newRow("20 x 20, half a cell down")
            << QSize(20, 20) << QSize(639, 650) << QPoint(0, 24) << QSize(720, 696);
    }
    void drawVisitsViewRowsAndColumns() {
        QFETCH(QSize, mapSize);
        QFETCH(QSize, view);
        QFETCH(QPoint, offset);
        QFETCH(QSize, painted);
        Scene scene(painted + QSize(20, 20), 48, mapSize, view, 1);
        scene.View.OffsetX = offset.x();
        scene.View.OffsetY = offset.y();
        scene.View.Draw(false);
        QImage expected(scene.Surface.Size(), QImage::Format_RGB32);
        expected.fill(Paper);
        QPainter(&expected).fillRect(QRect(QPoint(0, 0), painted), QColor(Red));
        QCOMPARE(scene.Surface.Image(), expected);
    }

    void gridLinesAndTheirErasure() {
        Scene scene(QSize(60, 60), 16, QSize(10, 10), QSize(40, 40), 1);
        scene.Map.Cells[1][0] = -1;
        scene.View.Draw(true);
        const QImage plain = scene.Surface.Image().copy();
        // Lines at 0, 16 and 32 each way, from 0 to the view's edge excluded, inverting what
        // lies under them; crossings are inverted twice. A second pass removes them again.
        scene.View.ShowGrid = true;
        scene.View.Draw(true);
        scene.Check({{5, 0, Inverted}, {0, 5, Inverted}, {0, 0, Red}, {16, 16, Red}});
        scene.Check({{39, 32, Inverted}, {40, 32, Red}, {32, 39, Inverted}, {32, 40, Red}});
        scene.Check({{5, 48, Paper}, {48, 5, Red}, {20, 0, InvertedFace}, {20, 5, Face}});
        scene.View.DrawGrid();
        QCOMPARE(scene.Surface.Image(), plain);
        // Redrawn without the erase, the lines stay over tiles but vanish over the empty cell.
        scene.View.Draw(true);
        scene.View.Draw(false);
        scene.Check({{5, 0, Inverted}, {20, 0, Face}});
        // Shifted: x = -4, 12, 28 and y = -12, 4, 20, 36, the last as far as the view reaches.
        scene.View.OffsetX = 4;
        scene.View.OffsetY = 12;
        scene.View.Draw(true);
        scene.Check({{12, 25, Inverted}, {3, 4, Inverted}, {28, 30, Inverted}, {3, 0, Red}});
        scene.Check({{5, 36, Inverted}, {44, 5, Red}});
    }

    void scrollLeavesOneGrid() {
        // Empty cells keep stale pixels, so the scene is compared with the same scrolls made
        // without a grid and one grid drawn on top: any line left from before shows up there.
        const QSize view(40, 40);
        Scene grid(view, 16, QSize(10, 10), view, 4), plain(view, 16, QSize(10, 10), view, 4);
        grid.View.ShowGrid = true;
        for (Scene* scene : {&grid, &plain}) {
            for (qint32 x = 0; x < 10; ++x)
                for (qint32 y = 0; y < 10; ++y)
                    scene->Map.Cells[x][y] = (x + 2 * y) % 5 - 1;
            scene->View.Draw(true);
            // Right 3, down 2, back left past 0 (a refused step still repaints) and up 1.
            for (int direction : {1, 1, 1, 4, 4, 2, 2, 2, 2, 3})
                scene->View.Scroll(direction);
        }
        QCOMPARE(QPoint(grid.View.OffsetX, grid.View.OffsetY), QPoint(0, 4));
        const QImage noGrid = plain.Surface.Image().copy();
        plain.View.ShowGrid = true;
        plain.View.DrawGrid();
        QCOMPARE(grid.Surface.Image(), plain.Surface.Image());
        // With the pack emptied since, a scroll erases the grid for good.
        grid.Pack->Tiles.clear();
        grid.View.Scroll(4);
        QCOMPARE(grid.Surface.Image(), noGrid);
    }
};

QTEST_GUILESS_MAIN(tst_mapgrid)
#include "tst_mapgrid.moc"
