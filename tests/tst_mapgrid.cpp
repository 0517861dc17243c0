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

QRgb Inverted(QRgb c) {
    return qRgb(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c));
}

// A map drawing on its own canvas, with tiles of solid colours.
struct Scene {
    TCanvas Canvas;
    std::unique_ptr<tTilePack> Pack = std::make_unique<tTilePack>();
    tMap Map;

    Scene(QSize canvas, qint32 tileSize, qint32 width, qint32 height, QSize view)
        : Canvas(canvas), Map(tileSize, &Canvas) {
        Map.SetTilePackRef(&Pack);
        Map.SetViewSize(view.width(), view.height());
        Map.New(width, height, tileSize);
        Canvas.BrushColor = Paper;
        Canvas.FillRect(QRect(QPoint(0, 0), canvas));
    }
    // Tiles 0 .. count-1 in Colours order, all of one size.
    void AddTiles(int count, int size) {
        for (int i = 0; i < count; ++i) {
            TileRef tile = Pack->NewTile();
            tile->Bitmap->LoadFromBytes(SolidBmp(size, size, Colours[i]));
            Pack->Add(std::move(tile));
        }
    }
    QRgb At(int x, int y) const { return Canvas.Image().pixel(x, y); }
};

struct Expect {
    int X, Y;
    QRgb Colour;
};

void CheckPixels(const Scene& scene, std::initializer_list<Expect> expected) {
    for (const Expect& e : expected)
        QVERIFY2(scene.At(e.X, e.Y) == e.Colour,
                 qPrintable(QStringLiteral("at %1,%2: %3 instead of %4")
                                .arg(e.X)
                                .arg(e.Y)
                                .arg(scene.At(e.X, e.Y), 8, 16)
                                .arg(e.Colour, 8, 16)));
}

// Size, cells and everything New, Clear and SetSize may touch.
QString Describe(const tMap& map) {
    QString cells;
    for (qint32 x = 0; x < map.Cells.size(); ++x)
        for (TileIndex v : map.Cells[x])
            cells += QString::number(v) + ',';
    return QStringLiteral("%1x%2 tile %3 at %4,%5 [%6] %7 %8 %9 %10 cells %11")
        .arg(map.Width)
        .arg(map.Height)
        .arg(map.TileSize)
        .arg(map.OffsetX)
        .arg(map.OffsetY)
        .arg(map.Cells.size())
        .arg(QString::fromLatin1(map.Text1), QString::fromLatin1(map.Text2),
             QString::fromLatin1(map.PackName), QString::fromLatin1(map.Text4), cells);
}
} // namespace

class tst_mapgrid : public QObject {
    Q_OBJECT

private slots:
    void newSetSizeAndClear();
    void refusedSizes_data();
    void refusedSizes();
    void setCell_data();
    void setCell();
    void scrollBounds_data();
    void scrollBounds();

    void drawPlacesTiles();
    void drawSkipsCells_data();
    void drawSkipsCells();
    void drawVisitsViewRowsAndColumns_data();
    void drawVisitsViewRowsAndColumns();
    void emptyPackDrawsNothing();
    void largeBitmapsOverlap();
    void gridLinesAndTheirErasure();
    void scrollLeavesOneGrid();
};

void tst_mapgrid::newSetSizeAndClear() {
    TCanvas canvas;
    tMap map(48, &canvas);
    QCOMPARE(canvas.PenMode, TCanvas::TPenMode::NotXor);
    QVERIFY(map.Cells.empty() && map.Width == 0 && !map.ShowGrid && !map.TilePackRef);

    map.New(14, 14, 48);
    QCOMPARE(map.Cells.size(), 14);
    QCOMPARE(map.Cells.Rows(), 14);
    QCOMPARE(Describe(map), "14x14 tile 48 at 0,0 [14]     cells " + QString("0,").repeated(196));

    // SetSize keeps the scroll position and the texts; New starts afresh.
    map.OffsetX = 12;
    map.OffsetY = 4;
    map.Text1 = map.Text2 = map.PackName = map.Text4 = "t";
    map.Cells[5][5] = 3;
    map.SetSize(3, 2, 32);
    QCOMPARE(Describe(map), "3x2 tile 32 at 12,4 [3] t t t t cells 0,0,0,0,0,0,");
    map.New(2, 1, 16);
    QCOMPARE(Describe(map), "2x1 tile 16 at 0,0 [2]     cells 0,0,");

    // Clear alone keeps the reported size but no cells; nothing may touch the missing ones.
    map.Clear();
    QCOMPARE(Describe(map), "2x1 tile 16 at 0,0 [0]     cells ");
    map.SetCell(0, 0, 1);
    map.Draw(true);

    // Height 0 gives columns without entries, width 0 no columns at all.
    for (const auto& [width, height] : {std::pair{4, 0}, std::pair{0, 4}}) {
        map.New(width, height, 16);
        QCOMPARE(map.Cells.size(), width);
        QCOMPARE(map.Cells.Rows(), height);
        map.SetCell(0, 0, 1);
        map.SetCell(5, 5, 1);
        QCOMPARE(Describe(map),
                 QStringLiteral("%1x%2 tile 16 at 0,0 [%1]     cells ").arg(width).arg(height));
    }
}

void tst_mapgrid::refusedSizes_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("tileSize");
    QTest::newRow("tile size 0") << 4 << 4 << 0;
    QTest::newRow("negative tile size") << 4 << 4 << -48;
    QTest::newRow("negative width") << -1 << 4 << 48;
    QTest::newRow("negative height") << 4 << -1 << 48;
    QTest::newRow("both negative") << -4 << -4 << 48;
    QTest::newRow("one cell over 2^28") << 1 << (1 << 28) + 1 << 48;
    QTest::newRow("over 2^28 in product") << (1 << 14) << (1 << 14) + 1 << 48;
    QTest::newRow("largest") << std::numeric_limits<qint32>::max()
                             << std::numeric_limits<qint32>::max() << 48;
}

void tst_mapgrid::refusedSizes() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, tileSize);

    tMap map(48, nullptr);
    map.New(3, 2, 48);
    map.OffsetX = 8;
    map.Text1 = "kept";
    map.Cells[2][1] = 9;
    const QString before = Describe(map);
    QVERIFY(!MessageOf<ESizeError>([&] { map.New(width, height, tileSize); }).isEmpty());
    QCOMPARE(Describe(map), before);
    QVERIFY(!MessageOf<ESizeError>([&] { map.SetSize(width, height, tileSize); }).isEmpty());
    QCOMPARE(Describe(map), before);
}

void tst_mapgrid::setCell_data() {
    QTest::addColumn<int>("offsetX");
    QTest::addColumn<int>("offsetY");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<QPoint>("cell"); // (-1, -1): the write is ignored
    QTest::addColumn<int>("value");

    const QPoint none(-1, -1);
    QTest::newRow("top left") << 0 << 0 << QPoint(0, 0) << QPoint(0, 0) << 5;
    QTest::newRow("-47,-47 truncates to 0") << 0 << 0 << QPoint(-47, -47) << QPoint(0, 0) << 5;
    QTest::newRow("-1,-1") << 0 << 0 << QPoint(-1, -1) << QPoint(0, 0) << 5;
    QTest::newRow("-48,0") << 0 << 0 << QPoint(-48, 0) << none << 5;
    QTest::newRow("0,-48") << 0 << 0 << QPoint(0, -48) << none << 5;
    QTest::newRow("x 671") << 0 << 0 << QPoint(671, 10) << QPoint(13, 0) << 5;
    QTest::newRow("x 672") << 0 << 0 << QPoint(672, 10) << none << 5;
    QTest::newRow("y 671") << 0 << 0 << QPoint(50, 671) << QPoint(1, 13) << 5;
    QTest::newRow("y 672") << 0 << 0 << QPoint(50, 672) << none << 5;
    QTest::newRow("offset 44, x 3") << 44 << 0 << QPoint(3, 0) << QPoint(0, 0) << 5;
    QTest::newRow("offset 44, x 4") << 44 << 0 << QPoint(4, 0) << QPoint(1, 0) << 5;
    QTest::newRow("offset 44, x 627") << 44 << 0 << QPoint(627, 0) << QPoint(13, 0) << 5;
    QTest::newRow("offset 44, x 628") << 44 << 0 << QPoint(628, 0) << none << 5;
    QTest::newRow("offset 44, y 4") << 0 << 44 << QPoint(0, 4) << QPoint(0, 1) << 5;
    QTest::newRow("far outside") << 0 << 0 << QPoint(std::numeric_limits<int>::max(), 0) << none
                                 << 5;
    QTest::newRow("stores -1") << 0 << 0 << QPoint(100, 100) << QPoint(2, 2) << -1;
    QTest::newRow("stores 1000") << 0 << 0 << QPoint(100, 100) << QPoint(2, 2) << 1000;
}

void tst_mapgrid::setCell() {
    QFETCH(int, offsetX);
    QFETCH(int, offsetY);
    QFETCH(QPoint, pixel);
    QFETCH(QPoint, cell);
    QFETCH(int, value);

    tMap map(48, nullptr);
    map.New(14, 14, 48);
    map.OffsetX = offsetX;
    map.OffsetY = offsetY;
    map.SetCell(pixel.x(), pixel.y(), value);
    for (qint32 x = 0; x < 14; ++x)
        for (qint32 y = 0; y < 14; ++y)
            QCOMPARE(map.Cells[x][y], QPoint(x, y) == cell ? value : 0);
}

void tst_mapgrid::scrollBounds_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("tileSize");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QPoint>("end");

    const QSize view(639, 626);
    QTest::newRow("right stops at 44")
        << 14 << 14 << 48 << view << QPoint() << 1 << 100 << QPoint(44, 0);
    QTest::newRow("right, 4 steps")
        << 14 << 14 << 48 << view << QPoint() << 1 << 4 << QPoint(16, 0);
    QTest::newRow("down stops at 44")
        << 14 << 14 << 48 << view << QPoint() << 4 << 100 << QPoint(0, 44);
    QTest::newRow("left to 0") << 14 << 14 << 48 << view << QPoint(44, 8) << 2 << 100
                               << QPoint(0, 8);
    QTest::newRow("left, 3 steps")
        << 14 << 14 << 48 << view << QPoint(44, 8) << 2 << 3 << QPoint(32, 8);
    QTest::newRow("up to 0") << 14 << 14 << 48 << view << QPoint(8, 12) << 3 << 100 << QPoint(8, 0);
    QTest::newRow("left at 0") << 14 << 14 << 48 << view << QPoint() << 2 << 1 << QPoint();
    QTest::newRow("no wider than the view")
        << 13 << 14 << 48 << view << QPoint() << 1 << 100 << QPoint();
    QTest::newRow("no higher than the view")
        << 14 << 13 << 48 << view << QPoint() << 4 << 100 << QPoint();
    QTest::newRow("wide map") << 20 << 14 << 48 << view << QPoint() << 1 << 1000 << QPoint(332, 0);
    QTest::newRow("small tiles, down")
        << 10 << 10 << 16 << QSize(100, 100) << QPoint() << 4 << 1000 << QPoint(0, 60);
    QTest::newRow("direction 0") << 20 << 20 << 48 << view << QPoint(8, 8) << 0 << 5
                                 << QPoint(8, 8);
    QTest::newRow("direction 5") << 20 << 20 << 48 << view << QPoint(8, 8) << 5 << 5
                                 << QPoint(8, 8);
}

void tst_mapgrid::scrollBounds() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, tileSize);
    QFETCH(QSize, view);
    QFETCH(QPoint, start);
    QFETCH(int, direction);
    QFETCH(int, steps);
    QFETCH(QPoint, end);

    Scene scene(QSize(1, 1), tileSize, width, height, view);
    scene.AddTiles(1, tileSize);
    scene.Map.OffsetX = start.x();
    scene.Map.OffsetY = start.y();
    for (int i = 0; i < steps; ++i)
        scene.Map.Scroll(direction);
    QCOMPARE(QPoint(scene.Map.OffsetX, scene.Map.OffsetY), end);
}

void tst_mapgrid::drawPlacesTiles() {
    // A 3 x 2 map of 8-pixel cells in a 40 x 30 view on a larger canvas, scrolled by 4 and 2.
    Scene scene(QSize(50, 40), 8, 3, 2, QSize(40, 30));
    scene.AddTiles(6, 8);
    for (qint32 x = 0; x < 3; ++x)
        for (qint32 y = 0; y < 2; ++y)
            scene.Map.Cells[x][y] = x + 3 * y;
    scene.Map.Draw(true);
    CheckPixels(scene, {{0, 0, Colours[0]},
                        {7, 7, Colours[0]},
                        {8, 0, Colours[1]},
                        {23, 7, Colours[2]},
                        {0, 8, Colours[3]},
                        {12, 12, Colours[4]},
                        {23, 15, Colours[5]},
                        {24, 0, Face},
                        {0, 16, Face},
                        {39, 29, Face},
                        {40, 5, Paper},
                        {5, 30, Paper}});

    // View column 0 starts left of the view by the shift; the pixels left of the third column
    // belong to the second.
    scene.Map.OffsetX = 4;
    scene.Map.OffsetY = 2;
    scene.Map.Draw(true);
    CheckPixels(scene, {{0, 0, Colours[0]},
                        {3, 5, Colours[0]},
                        {4, 5, Colours[1]},
                        {3, 6, Colours[3]},
                        {19, 13, Colours[5]},
                        {20, 13, Face}});

    // The map reads the TilePack variable, not the pack it saw first.
    scene.Pack = std::make_unique<tTilePack>();
    TileRef other = scene.Pack->NewTile();
    other->Bitmap->LoadFromBytes(SolidBmp(8, 8, qRgb(9, 9, 9)));
    scene.Pack->Add(std::move(other));
    scene.Map.Draw(true);
    CheckPixels(scene, {{0, 0, qRgb(9, 9, 9)}, {4, 5, Face}});
}

void tst_mapgrid::drawSkipsCells_data() {
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << -1;
    QTest::newRow("-2") << -2;
    QTest::newRow("the count") << 5;
    QTest::newRow("1000") << 1000;
    QTest::newRow("lowest") << std::numeric_limits<int>::min();
}

void tst_mapgrid::drawSkipsCells() {
    QFETCH(int, value);
    Scene scene(QSize(30, 10), 8, 3, 1, QSize(30, 10));
    scene.AddTiles(5, 8);
    scene.Map.Cells[1][0] = value;
    scene.Map.Cells[2][0] = 4;
    // Without fill the skipped cell keeps the old pixels; with fill it shows the background.
    scene.Map.Draw(false);
    CheckPixels(scene, {{7, 4, Colours[0]}, {8, 4, Paper}, {15, 4, Paper}, {16, 4, Colours[4]}});
    scene.Map.Draw(true);
    CheckPixels(scene, {{8, 4, Face}, {15, 4, Face}, {16, 4, Colours[4]}});
}

void tst_mapgrid::drawVisitsViewRowsAndColumns_data() {
    QTest::addColumn<int>("tileSize");
    QTest::addColumn<QSize>("mapSize");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QSize>("painted"); // the tiles cover x < width and y < height

    // ViewWidth div TileSize + 2 columns, even where they fall outside the view; rows as far
    // as the view reaches, (ViewHeight + vertical shift) div TileSize + 1 of them, so a view
    // scrolled by part of a cell gets its bottom row too.
    QTest::newRow("small tiles") << 16 << QSize(10, 10) << QSize(40, 40) << QPoint()
                                 << QSize(64, 48);
    QTest::newRow("small tiles, shifted")
        << 16 << QSize(10, 10) << QSize(40, 40) << QPoint(4, 8) << QSize(60, 56);
    QTest::newRow("14 x 14 in 639 x 626")
        << 48 << QSize(14, 14) << QSize(639, 626) << QPoint() << QSize(672, 672);
    QTest::newRow("scrolled by half a cell")
        << 48 << QSize(20, 20) << QSize(639, 650) << QPoint(0, 24) << QSize(720, 696);
    QTest::newRow("scrolled by less than the gap")
        << 48 << QSize(20, 20) << QSize(639, 650) << QPoint(0, 4) << QSize(720, 668);
}

void tst_mapgrid::drawVisitsViewRowsAndColumns() {
    QFETCH(int, tileSize);
    QFETCH(QSize, mapSize);
    QFETCH(QSize, view);
    QFETCH(QPoint, offset);
    QFETCH(QSize, painted);

    Scene scene(painted + QSize(20, 20), tileSize, mapSize.width(), mapSize.height(), view);
    scene.AddTiles(1, tileSize);
    scene.Map.OffsetX = offset.x();
    scene.Map.OffsetY = offset.y();
    scene.Map.Draw(false);
    const QImage image = scene.Canvas.Image().copy();
    QImage expected(image.size(), QImage::Format_RGB32);
    expected.fill(Paper);
    QPainter(&expected).fillRect(QRect(QPoint(0, 0), painted), QColor(Colours[0]));
    QCOMPARE(image, expected);
}

void tst_mapgrid::emptyPackDrawsNothing() {
    Scene scene(QSize(40, 40), 8, 4, 4, QSize(40, 40));
    scene.Map.ShowGrid = true;
    const QImage before = scene.Canvas.Image().copy();
    scene.Map.Draw(true);
    QCOMPARE(scene.Canvas.Image(), before);
    scene.Pack.reset();
    scene.Map.Draw(true);
    QCOMPARE(scene.Canvas.Image(), before);

    // With the grid shown and the pack emptied since, a scroll erases the grid for good.
    scene.Pack = std::make_unique<tTilePack>();
    scene.AddTiles(1, 8);
    scene.Map.Draw(true);
    QVERIFY(scene.Canvas.Image() != before);
    scene.Map.ShowGrid = false;
    scene.Map.Draw(true);
    const QImage tilesOnly = scene.Canvas.Image().copy();
    scene.Map.ShowGrid = true;
    scene.Map.DrawGrid();
    scene.Pack->Clear();
    scene.Map.Scroll(2);
    QCOMPARE(scene.Canvas.Image(), tilesOnly);
}

void tst_mapgrid::largeBitmapsOverlap() {
    // 64-pixel bitmaps in 48-pixel cells: later cells paint over the overflow unless skipped.
    Scene scene(QSize(130, 130), 48, 3, 2, QSize(130, 130));
    scene.AddTiles(2, 48);
    TileRef big = scene.Pack->NewTile();
    big->Bitmap->LoadFromBytes(SolidBmp(64, 64, Colours[2]));
    scene.Pack->Add(std::move(big));
    const qint32 cells[3][2] = {{2, 1}, {-1, 2}, {0, 1}}; // [x][y]
    for (qint32 x = 0; x < 3; ++x)
        for (qint32 y = 0; y < 2; ++y)
            scene.Map.Cells[x][y] = cells[x][y];
    scene.Map.Draw(true);
    CheckPixels(scene, {{63, 10, Colours[2]},  // overflow into the empty cell to the right
                        {64, 10, Face},        //
                        {10, 50, Colours[1]},  // the cell below paints over the overflow
                        {60, 50, Colours[2]},  // big tile of cell (1, 1)
                        {100, 60, Colours[1]}, // its overflow right is painted over
                        {100, 47, Colours[0]}, //
                        {60, 100, Colours[2]}, // its overflow below the map stays
                        {112, 112, Face}});
}

void tst_mapgrid::gridLinesAndTheirErasure() {
    Scene scene(QSize(60, 60), 16, 10, 10, QSize(40, 40));
    scene.AddTiles(1, 16);
    scene.Map.Cells[1][0] = -1;
    scene.Map.Draw(true);
    const QImage plain = scene.Canvas.Image().copy();

    // Lines at 0, 16 and 32 each way, from 0 up to the view's edge excluded, inverting what
    // lies under them; crossings are inverted twice.
    const QRgb red = Colours[0], inverted = Inverted(Colours[0]);
    scene.Map.ShowGrid = true;
    scene.Map.Draw(true);
    CheckPixels(scene, {{5, 0, inverted},
                        {0, 5, inverted},
                        {0, 0, red},
                        {16, 16, red},
                        {39, 32, inverted},
                        {40, 32, red},
                        {32, 39, inverted},
                        {32, 40, red},
                        {5, 48, Paper},
                        {48, 5, red},
                        {20, 0, Inverted(Face)},
                        {20, 5, Face}});

    // A second pass removes them again.
    scene.Map.DrawGrid();
    QCOMPARE(scene.Canvas.Image(), plain);

    // Redrawn without the erase, the lines stay over tiles but vanish over the empty cell.
    scene.Map.Draw(true);
    scene.Map.Draw(false);
    CheckPixels(scene, {{5, 0, inverted}, {20, 0, Face}});

    // Shifted lines: x = -4, 12, 28 and y = -12, 4, 20, 36, the last one as far down as the
    // view reaches.
    scene.Map.OffsetX = 4;
    scene.Map.OffsetY = 12;
    scene.Map.Draw(true);
    CheckPixels(scene, {{12, 25, inverted},
                        {3, 4, inverted},
                        {28, 30, inverted},
                        {3, 0, red},
                        {5, 36, inverted},
                        {44, 5, red}});
}

void tst_mapgrid::scrollLeavesOneGrid() {
    // Empty cells keep stale pixels, so the scene is compared with the same scrolls made
    // without a grid and one grid drawn on top: any line left from before shows up there.
    const QSize view(40, 40);
    std::unique_ptr<Scene> scenes[2];
    for (auto& scene : scenes) {
        scene = std::make_unique<Scene>(view, 16, 10, 10, view);
        scene->AddTiles(4, 16);
        for (qint32 x = 0; x < 10; ++x)
            for (qint32 y = 0; y < 10; ++y)
                scene->Map.Cells[x][y] = (x + 2 * y) % 5 - 1;
    }
    Scene& grid = *scenes[0];
    Scene& plain = *scenes[1];
    grid.Map.ShowGrid = true;
    for (Scene* scene : {&grid, &plain}) {
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

QTEST_GUILESS_MAIN(tst_mapgrid)
#include "tst_mapgrid.moc"
