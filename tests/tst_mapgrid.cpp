// The map grid: sizing, the pixel-to-cell rule, scrolling bounds, and drawing checked on the
// pixels of the canvas.

#include "TestSupport.h"
#include "model/typeU.h"
#include "platform/TBitmap.h"
#include "platform/TCanvas.h"

#include <QPainter>
#include <QtTest>

using namespace TestSupport;

namespace {
const QRgb Paper = qRgb(1, 2, 3); // what the canvas showed before the map drew
const QRgb Face = clBtnFace.rgb();
const QRgb Colours[] = {qRgb(200, 0, 0),   qRgb(0, 160, 0),   qRgb(0, 0, 220),
                        qRgb(220, 220, 0), qRgb(0, 200, 200), qRgb(120, 60, 30)};
const QRgb Red = Colours[0], Inverted = qRgb(55, 255, 255), InvertedFace = qRgb(15, 15, 15);

// A map drawing on its own canvas, with tiles 0 .. n-1 in solid Colours.
struct Scene {
    TCanvas Canvas;
    std::unique_ptr<tTilePack> Pack = std::make_unique<tTilePack>();
    tMap Map;

    Scene(QSize canvas, qint32 tileSize, QSize mapSize, QSize view, int tiles)
        : Canvas(canvas), Map(tileSize, &Canvas) {
        Map.SetTilePackRef(&Pack);
        Map.SetViewSize(view.width(), view.height());
        Map.New(mapSize.width(), mapSize.height(), tileSize);
        Canvas.BrushColor = Paper;
        Canvas.FillRect(QRect(QPoint(0, 0), canvas));
        for (int i = 0; i < tiles; ++i)
            AddTile(SolidBmp(tileSize, tileSize, Colours[i]));
    }
    void AddTile(const QByteArray& bmp) {
        TileRef tile = Pack->NewTile();
        tile->Bitmap->LoadFromBytes(bmp);
        Pack->Add(std::move(tile));
    }
    void Check(std::initializer_list<std::tuple<int, int, QRgb>> pixels) const {
        for (const auto& [x, y, colour] : pixels)
            QVERIFY2(Canvas.Image().pixel(x, y) == colour,
                     qPrintable(QStringLiteral("at %1,%2: %3 instead of %4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(Canvas.Image().pixel(x, y), 8, 16)
                                    .arg(colour, 8, 16)));
    }
};

// Size, offsets, texts and cells: all that New, Clear and SetSize may touch.
QString Describe(const tMap& map) {
    QStringList cells;
    for (qint32 x = 0; x < map.Cells.size(); ++x)
        for (TileIndex v : map.Cells[x])
            cells << QString::number(v);
    return QStringLiteral("%1x%2/%3 at %4,%5 [%6] ")
               .arg(map.Width)
               .arg(map.Height)
               .arg(map.TileSize)
               .arg(map.OffsetX)
               .arg(map.OffsetY)
               .arg(map.Cells.size()) +
           QString::fromLatin1(map.Text1 + map.Text2 + map.PackName + map.Text4) + ' ' +
           cells.join(',');
}
} // namespace

class tst_mapgrid : public QObject {
    Q_OBJECT

private slots:
    void newSetSizeAndClear() {
        TCanvas canvas;
        tMap map(48, &canvas);
        QCOMPARE(canvas.PenMode, TCanvas::TPenMode::NotXor);
        QVERIFY(map.Cells.empty() && map.Width == 0 && !map.ShowGrid && !map.TilePackRef);

        map.New(14, 14, 48);
        QCOMPARE(map.Cells.Rows(), 14);
        QCOMPARE(Describe(map), "14x14/48 at 0,0 [14]  " + QStringList(196, "0").join(','));

        // SetSize keeps the scroll position and the texts; New starts afresh.
        map.OffsetX = 12;
        map.OffsetY = 4;
        map.Text1 = map.Text2 = map.PackName = map.Text4 = "t";
        map.Cells[5][5] = 3;
        map.SetSize(3, 2, 32);
        QCOMPARE(Describe(map), "3x2/32 at 12,4 [3] tttt 0,0,0,0,0,0");
        map.New(2, 1, 16);
        QCOMPARE(Describe(map), "2x1/16 at 0,0 [2]  0,0");

        // Clear alone keeps the reported size but no cells, which nothing may then touch.
        map.Clear();
        QCOMPARE(Describe(map), "2x1/16 at 0,0 [0]  ");
        map.SetCell(0, 0, 1);

        // Height 0 gives columns without entries, width 0 no columns at all.
        for (const auto& [width, height] : {std::pair{4, 0}, std::pair{0, 4}}) {
            map.New(width, height, 16);
            QCOMPARE(map.Cells.Rows(), height);
            map.SetCell(0, 0, 1);
            map.SetCell(5, 5, 1);
            QCOMPARE(Describe(map),
                     QStringLiteral("%1x%2/16 at 0,0 [%1]  ").arg(width).arg(height));
        }
    }

    void refusedSizes_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("tileSize");
        QTest::newRow("tile size 0") << 4 << 4 << 0;
        QTest::newRow("negative tile size") << 4 << 4 << -48;
        QTest::newRow("negative width") << -1 << 4 << 48;
        QTest::newRow("negative height") << 4 << -1 << 48;
        QTest::newRow("both negative") << -4 << -4 << 48;
        QTest::newRow("2^28 + 1 in a column") << 1 << (1 << 28) + 1 << 48;
        QTest::newRow("over 2^28 in all") << (1 << 14) << (1 << 14) + 1 << 48;
        QTest::newRow("largest") << INT_MAX << INT_MAX << 48;
    }
    void refusedSizes() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, tileSize);
        tMap map(48, nullptr);
        map.New(3, 2, 48);
        map.OffsetX = 8;
        map.Text1 = "kept";
        map.Cells[2][1] = 9;
        const QString before = Describe(map);
        const QString nothing = MessageOf([] {});
        QVERIFY(MessageOf<ESizeError>([&] { map.New(width, height, tileSize); }) != nothing);
        QCOMPARE(Describe(map), before);
        QVERIFY(MessageOf<ESizeError>([&] { map.SetSize(width, height, tileSize); }) != nothing);
        QCOMPARE(Describe(map), before);
        if (tileSize < 1) // every drawing and scrolling step divides by it
            QVERIFY(MessageOf<ESizeError>([&] { tMap(tileSize, nullptr); }) != nothing);
    }

    void setCell_data() {
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<QPoint>("cell"); // (-1, -1): the write is ignored
        QTest::addColumn<int>("value");

        const QPoint none(-1, -1), o44(44, 0);
        QTest::newRow("-47,-47 truncates to 0") << QPoint() << QPoint(-47, -47) << QPoint() << 5;
        QTest::newRow("-1,-1") << QPoint() << QPoint(-1, -1) << QPoint() << 5;
        QTest::newRow("-48,0") << QPoint() << QPoint(-48, 0) << none << 5;
        QTest::newRow("0,-48") << QPoint() << QPoint(0, -48) << none << 5;
        QTest::newRow("x 671") << QPoint() << QPoint(671, 10) << QPoint(13, 0) << 5;
        QTest::newRow("x 672") << QPoint() << QPoint(672, 10) << none << 5;
        QTest::newRow("y 671") << QPoint() << QPoint(50, 671) << QPoint(1, 13) << 5;
        QTest::newRow("y 672") << QPoint() << QPoint(50, 672) << none << 5;
        QTest::newRow("offset 44, x 3") << o44 << QPoint(3, 0) << QPoint(0, 0) << 5;
        QTest::newRow("offset 44, x 4") << o44 << QPoint(4, 0) << QPoint(1, 0) << 5;
        QTest::newRow("offset 44, x 628") << o44 << QPoint(628, 0) << none << 5;
        QTest::newRow("offset 0,44, y 4") << QPoint(0, 44) << QPoint(0, 4) << QPoint(0, 1) << 5;
        QTest::newRow("far outside") << QPoint(8, 0) << QPoint(INT_MAX, 0) << none << 5;
        QTest::newRow("stores -1") << QPoint() << QPoint(100, 100) << QPoint(2, 2) << -1;
        QTest::newRow("stores 1000") << QPoint() << QPoint(100, 100) << QPoint(2, 2) << 1000;
    }
    void setCell() {
        QFETCH(QPoint, offset);
        QFETCH(QPoint, pixel);
        QFETCH(QPoint, cell);
        QFETCH(int, value);
        tMap map(48, nullptr);
        map.New(14, 14, 48);
        map.OffsetX = offset.x();
        map.OffsetY = offset.y();
        map.SetCell(pixel.x(), pixel.y(), value);
        for (qint32 x = 0; x < 14; ++x)
            for (qint32 y = 0; y < 14; ++y)
                QCOMPARE(map.Cells[x][y], QPoint(x, y) == cell ? value : 0);
    }

    void scrollBounds_data() {
        QTest::addColumn<QSize>("mapSize");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("steps");
        QTest::addColumn<QPoint>("end");

        // 48-pixel cells in a 639 x 626 view: 13 whole columns and rows fit.
        const QSize map(14, 14);
        QTest::newRow("right stops at 44") << map << QPoint() << 1 << 100 << QPoint(44, 0);
        QTest::newRow("down stops at 44") << map << QPoint() << 4 << 100 << QPoint(0, 44);
        QTest::newRow("left to 0") << map << QPoint(44, 8) << 2 << 100 << QPoint(0, 8);
        QTest::newRow("left, 3 steps") << map << QPoint(44, 8) << 2 << 3 << QPoint(32, 8);
        QTest::newRow("up to 0") << map << QPoint(8, 12) << 3 << 100 << QPoint(8, 0);
        QTest::newRow("left at 0") << map << QPoint() << 2 << 1 << QPoint();
        QTest::newRow("as wide as the view") << QSize(13, 20) << QPoint() << 1 << 9 << QPoint();
        QTest::newRow("as high as the view") << QSize(20, 13) << QPoint() << 4 << 9 << QPoint();
        QTest::newRow("wider map") << QSize(20, 14) << QPoint() << 1 << 1000 << QPoint(332, 0);
        QTest::newRow("direction 5") << QSize(20, 20) << QPoint(8, 8) << 5 << 5 << QPoint(8, 8);
    }
    void scrollBounds() {
        QFETCH(QSize, mapSize);
        QFETCH(QPoint, start);
        QFETCH(int, direction);
        QFETCH(int, steps);
        QFETCH(QPoint, end);
        Scene scene(QSize(1, 1), 48, mapSize, QSize(639, 626), 1);
        scene.Map.OffsetX = start.x();
        scene.Map.OffsetY = start.y();
        for (int i = 0; i < steps; ++i)
            scene.Map.Scroll(direction);
        QCOMPARE(QPoint(scene.Map.OffsetX, scene.Map.OffsetY), end);
    }

    void drawPlacesTiles() {
        // A 3 x 2 map of 8-pixel cells in a 40 x 30 view on a larger canvas.
        Scene scene(QSize(50, 40), 8, QSize(3, 2), QSize(40, 30), 6);
        for (qint32 x = 0; x < 3; ++x)
            for (qint32 y = 0; y < 2; ++y)
                scene.Map.Cells[x][y] = x + 3 * y;
        scene.Map.Draw(true);
        scene.Check({{0, 0, Red}, {7, 7, Red}, {8, 0, Colours[1]}, {23, 7, Colours[2]}});
        scene.Check({{0, 8, Colours[3]}, {23, 15, Colours[5]}, {24, 0, Face}, {39, 29, Face}});
        scene.Check({{40, 5, Paper}, {5, 30, Paper}});

        // Scrolled by 4 and 2, view column 0 starts 4 pixels left of the view.
        scene.Map.OffsetX = 4;
        scene.Map.OffsetY = 2;
        scene.Map.Draw(true);
        scene.Check({{0, 0, Red}, {3, 5, Red}, {4, 5, Colours[1]}, {3, 6, Colours[3]}});
        scene.Check({{19, 13, Colours[5]}, {20, 13, Face}});

        // The map reads the TilePack variable, not the pack it saw first.
        scene.Pack = std::make_unique<tTilePack>();
        scene.AddTile(SolidBmp(8, 8, qRgb(9, 9, 9)));
        scene.Map.Draw(true);
        scene.Check({{0, 0, qRgb(9, 9, 9)}, {4, 5, Face}});
    }

    void drawSkipsCells_data() {
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << -1;
        QTest::newRow("-2") << -2;
        QTest::newRow("the tile count") << 5;
        QTest::newRow("lowest") << INT_MIN;
    }
    void drawSkipsCells() {
        QFETCH(int, value);
        Scene scene(QSize(30, 10), 8, QSize(3, 1), QSize(30, 10), 5);
        scene.Map.Cells[1][0] = value;
        scene.Map.Cells[2][0] = 4;
        // Without fill the skipped cell keeps the old pixels; with fill it shows the background.
        scene.Map.Draw(false);
        scene.Check({{7, 4, Red}, {8, 4, Paper}, {15, 4, Paper}, {16, 4, Colours[4]}});
        scene.Map.Draw(true);
        scene.Check({{8, 4, Face}, {15, 4, Face}, {16, 4, Colours[4]}});
    }

    void drawVisitsViewRowsAndColumns_data() {
        QTest::addColumn<int>("tileSize");
        QTest::addColumn<QSize>("mapSize");
        QTest::addColumn<QSize>("view");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<QSize>("painted"); // the tiles cover x < width and y < height

        // ViewWidth div TileSize + 2 columns, even where they fall outside the view; rows as
        // far as the view reaches, (ViewHeight + vertical shift) div TileSize + 1 of them, so
        // a view scrolled by part of a cell gets its bottom row too.
        const QSize big(20, 20), view(639, 650);
        QTest::newRow("small") << 16 << QSize(10, 10) << QSize(40, 40) << QPoint() << QSize(64, 48);
        QTest::newRow("small, shifted")
            << 16 << QSize(10, 10) << QSize(40, 40) << QPoint(4, 8) << QSize(60, 56);
        QTest::newRow("14 x 14 in 639 x 626")
            << 48 << QSize(14, 14) << QSize(639, 626) << QPoint() << QSize(672, 672);
        QTest::newRow("half a cell down") << 48 << big << view << QPoint(0, 24) << QSize(720, 696);
        QTest::newRow("4 pixels down") << 48 << big << view << QPoint(0, 4) << QSize(720, 668);
    }
    void drawVisitsViewRowsAndColumns() {
        QFETCH(int, tileSize);
        QFETCH(QSize, mapSize);
        QFETCH(QSize, view);
        QFETCH(QPoint, offset);
        QFETCH(QSize, painted);
        Scene scene(painted + QSize(20, 20), tileSize, mapSize, view, 1);
        scene.Map.OffsetX = offset.x();
        scene.Map.OffsetY = offset.y();
        scene.Map.Draw(false);
        QImage expected(scene.Canvas.Size(), QImage::Format_RGB32);
        expected.fill(Paper);
        QPainter(&expected).fillRect(QRect(QPoint(0, 0), painted), QColor(Red));
        QCOMPARE(scene.Canvas.Image(), expected);
    }

    void emptyPackDrawsNothing() {
        Scene scene(QSize(40, 40), 8, QSize(4, 4), QSize(40, 40), 0);
        scene.Map.ShowGrid = true;
        const QImage before = scene.Canvas.Image().copy();
        scene.Map.Draw(true);
        QCOMPARE(scene.Canvas.Image(), before);
        scene.Pack.reset();
        scene.Map.Draw(true);
        QCOMPARE(scene.Canvas.Image(), before);

        // With the grid shown and the pack emptied since, a scroll erases the grid for good.
        scene.Pack = std::make_unique<tTilePack>();
        scene.AddTile(SolidBmp(8, 8, Red));
        scene.Map.ShowGrid = false;
        scene.Map.Draw(true);
        const QImage tilesOnly = scene.Canvas.Image().copy();
        scene.Map.ShowGrid = true;
        scene.Map.DrawGrid();
        QVERIFY(scene.Canvas.Image() != tilesOnly);
        scene.Pack->Clear();
        scene.Map.Scroll(2);
        QCOMPARE(scene.Canvas.Image(), tilesOnly);
    }

    void largeBitmapsOverlap() {
        // 64-pixel bitmaps in 48-pixel cells: later cells paint over the overflow unless skipped.
        Scene scene(QSize(130, 130), 48, QSize(3, 2), QSize(130, 130), 2);
        scene.AddTile(SolidBmp(64, 64, Colours[2]));
        const qint32 cells[3][2] = {{2, 1}, {-1, 2}, {0, 1}}; // [x][y]
        for (qint32 x = 0; x < 3; ++x)
            for (qint32 y = 0; y < 2; ++y)
                scene.Map.Cells[x][y] = cells[x][y];
        scene.Map.Draw(true);
        scene.Check({{63, 10, Colours[2]},  // overflow into the empty cell to the right
                     {64, 10, Face},        //
                     {10, 50, Colours[1]},  // the cell below paints over the overflow
                     {60, 50, Colours[2]},  // the large tile of cell (1, 1)
                     {100, 60, Colours[1]}, // its overflow to the right is painted over
                     {100, 47, Red},        //
                     {60, 100, Colours[2]}, // its overflow below the map stays
                     {112, 112, Face}});
    }

    void gridLinesAndTheirErasure() {
        Scene scene(QSize(60, 60), 16, QSize(10, 10), QSize(40, 40), 1);
        scene.Map.Cells[1][0] = -1;
        scene.Map.Draw(true);
        const QImage plain = scene.Canvas.Image().copy();

        // Lines at 0, 16 and 32 each way, from 0 to the view's edge excluded, inverting what
        // lies under them; crossings are inverted twice.
        scene.Map.ShowGrid = true;
        scene.Map.Draw(true);
        scene.Check({{5, 0, Inverted}, {0, 5, Inverted}, {0, 0, Red}, {16, 16, Red}});
        scene.Check({{39, 32, Inverted}, {40, 32, Red}, {32, 39, Inverted}, {32, 40, Red}});
        scene.Check({{5, 48, Paper}, {48, 5, Red}, {20, 0, InvertedFace}, {20, 5, Face}});

        // A second pass removes them again.
        scene.Map.DrawGrid();
        QCOMPARE(scene.Canvas.Image(), plain);

        // Redrawn without the erase, the lines stay over tiles but vanish over the empty cell.
        scene.Map.Draw(true);
        scene.Map.Draw(false);
        scene.Check({{5, 0, Inverted}, {20, 0, Face}});

        // Shifted: x = -4, 12, 28 and y = -12, 4, 20, 36, the last as far down as the view
        // reaches.
        scene.Map.OffsetX = 4;
        scene.Map.OffsetY = 12;
        scene.Map.Draw(true);
        scene.Check({{12, 25, Inverted}, {3, 4, Inverted}, {28, 30, Inverted}, {3, 0, Red}});
        scene.Check({{5, 36, Inverted}, {44, 5, Red}});
    }

    void scrollLeavesOneGrid() {
        // Empty cells keep stale pixels, so the scene is compared with the same scrolls made
        // without a grid and one grid drawn on top: any line left from before shows up there.
        const QSize view(40, 40);
        Scene grid(view, 16, QSize(10, 10), view, 4), plain(view, 16, QSize(10, 10), view, 4);
        grid.Map.ShowGrid = true;
        for (Scene* scene : {&grid, &plain}) {
            for (qint32 x = 0; x < 10; ++x)
                for (qint32 y = 0; y < 10; ++y)
                    scene->Map.Cells[x][y] = (x + 2 * y) % 5 - 1;
            scene->Map.Draw(true);
            // Right 3, down 2, back left past 0 (a refused step still repaints) and up 1.
            for (int direction : {1, 1, 1, 4, 4, 2, 2, 2, 2, 3})
                scene->Map.Scroll(direction);
        }
        QCOMPARE(QPoint(grid.Map.OffsetX, grid.Map.OffsetY), QPoint(0, 4));
        plain.Map.ShowGrid = true;
        plain.Map.DrawGrid();
        QCOMPARE(grid.Canvas.Image(), plain.Canvas.Image());
    }
};

QTEST_GUILESS_MAIN(tst_mapgrid)
#include "tst_mapgrid.moc"
