// The editing tools, driven in map cells as the map view drives them: the cells each one
// changes, the cells it reports to draw again, and the undo steps it leaves.

#include "editing/Tools.h"

#include <QtTest>

namespace {
// A map from rows of text, each character a cell: '.' for -1, digits for tiles; a pack of
// five tiles.
struct Scene {
    Document Doc;
    TileMap& Map = Doc.MutableMap();
    TilePack& Pack = Doc.MutablePack();
    TileIndex Selected = 0;
    QList<TileIndex> Picked;
    QList<QRect> Reported;
    ToolContext Context{Doc, [this] { return Selected; }, [this](TileIndex t) { Picked << t; },
                        [this](const QRect& cells) { Reported << cells; }};

    explicit Scene(const QStringList& rows) {
        for (int i = 0; i < 5; ++i)
            Pack.Add(std::make_unique<Tile>());
        Map.New(qint32(rows.first().size()), qint32(rows.size()), 48);
        for (qint32 y = 0; y < Map.Height; ++y)
            for (qint32 x = 0; x < Map.Width; ++x)
                Map.Cells[x][y] = rows[y][x] == '.' ? -1 : rows[y][x].digitValue();
        Doc.ResetHistory();
    }
    QStringList Rows() const {
        QStringList rows;
        for (qint32 y = 0; y < Map.Height; ++y) {
            QString row;
            for (qint32 x = 0; x < Map.Width; ++x)
                row += Map.Cells[x][y] == -1 ? QChar('.') : QChar('0' + Map.Cells[x][y]);
            rows << row;
        }
        return rows;
    }
    // The selection as rows: '#' for a selected cell.
    QStringList SelectionRows() const {
        QStringList rows;
        for (qint32 y = 0; y < Map.Height; ++y) {
            QString row;
            for (qint32 x = 0; x < Map.Width; ++x)
                row += Doc.Selection().Contains(x, y) ? '#' : '.';
            rows << row;
        }
        return rows;
    }
    void SelectRows(const QStringList& rows) {
        Doc.SelectNone();
        for (qint32 y = 0; y < qint32(rows.size()); ++y)
            for (qint32 x = 0; x < qint32(rows[y].size()); ++x)
                if (rows[y][x] == '#')
                    Doc.Select(QRect(x, y, 1, 1), CellSelection::Combine::Add);
    }
    std::unique_ptr<Tool> MakeTool(const QString& name) {
        if (name == "Select")
            return std::make_unique<SelectTool>(Context);
        if (name == "Magic Wand")
            return std::make_unique<MagicWandTool>(Context);
        if (name == "Brush")
            return std::make_unique<BrushTool>(Context);
        if (name == "Eraser")
            return std::make_unique<EraserTool>(Context);
        if (name == "Rectangle")
            return std::make_unique<RectangleTool>(Context);
        if (name == "Fill")
            return std::make_unique<FillTool>(Context);
        return std::make_unique<PickerTool>(Context);
    }
    // Press on the first cell, move over the others, release.
    void Drag(Tool& tool, const QList<QPoint>& cells) {
        tool.Press(cells.first());
        for (const QPoint& cell : cells.sliced(1))
            tool.Move(cell);
        tool.Release();
    }
};

// The cells that differ between two maps of the same size.
QList<QPoint> Differences(const QStringList& a, const QStringList& b) {
    QList<QPoint> cells;
    for (qsizetype y = 0; y < a.size(); ++y)
        for (qsizetype x = 0; x < a[y].size(); ++x)
            if (a[y][x] != b[y][x])
                cells << QPoint(int(x), int(y));
    return cells;
}

using Cells = QList<QPoint>;
} // namespace

class tst_tools : public QObject {
    Q_OBJECT

private slots:
    void toolsChangeCells_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("selected");
        QTest::addColumn<Cells>("drag");
        QTest::addColumn<QStringList>("after");
        const QStringList zeros{"0000", "0000", "0000"};
        auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };

        // What the region of a fill is, tst_fill proves; here the press and the selection go
        // to the document, and the region's box is drawn again.
        row("fill") << "Fill" << QStringList{"0012", "0112", "1122"} << 3 << Cells{{1, 0}}
                    << QStringList{"3312", "3112", "1122"};
        row("fill pressed beside the map") << "Fill" << zeros << 1 << Cells{{0, -1}} << zeros;

        row("brush stroke") << "Brush" << zeros << 3 << Cells{{0, 0}, {1, 0}, {2, 1}, {1, 2}}
                            << QStringList{"3300", "0030", "0300"};
        row("brush from beside the map onto it and off again")
            << "Brush" << zeros << 2 << Cells{{-1, -1}, {0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 3}}
            << QStringList{"2000", "0200", "0020"};
        row("eraser stroke") << "Eraser" << QStringList{"123", "456"} << 1
                             << Cells{{2, 0}, {1, 1}, {0, 1}, {-1, 1}} << QStringList{"12.", "..6"};

        // Each corner reversed alone; both at once, and neither, are in rectangleOutline.
        row("rectangle down and left") << "Rectangle" << zeros << 1 << Cells{{3, 0}, {2, 1}, {0, 1}}
                                       << QStringList{"1111", "1111", "0000"};
        row("rectangle up and right") << "Rectangle" << zeros << 1 << Cells{{0, 2}, {1, 1}}
                                      << QStringList{"0000", "1100", "1100"};
        row("rectangle across the whole map")
            << "Rectangle" << zeros << -1 << Cells{{3, 0}, {-2, 5}}
            << QStringList{"....", "....", "...."};
        row("rectangle pressed beyond the map")
            << "Rectangle" << zeros << 1 << Cells{{4, 2}, {1, 1}} << zeros;
        // Only the box of the cells that change is drawn again.
        row("rectangle partly over its own tile")
            << "Rectangle" << QStringList{"1110", "1112"} << 1 << Cells{{0, 0}, {3, 1}}
            << QStringList{"1111", "1111"};
    }

    // A drag that changes cells is one step named after its tool, one that changes none is
    // none (undo and redo of each step are tst_document's). What the tool reports to draw
    // again covers every changed cell and nothing beyond their bounding box.
    void toolsChangeCells() {
        QFETCH(QString, tool);
        QFETCH(QStringList, before);
        QFETCH(int, selected);
        QFETCH(Cells, drag);
        QFETCH(QStringList, after);
        Scene s(before);
        s.Selected = selected;
        const std::unique_ptr<Tool> t = s.MakeTool(tool);
        QCOMPARE(t->Name(), tool);
        s.Drag(*t, drag);
        QCOMPARE(s.Rows(), after);
        QVERIFY(!s.Doc.StrokeOpen());
        QVERIFY(t->Outline().isEmpty());

        const QList<QPoint> changed = Differences(before, after);
        QRect box, reported;
        for (const QPoint& cell : changed) {
            box |= QRect(cell, QSize(1, 1));
            QVERIFY(std::any_of(s.Reported.cbegin(), s.Reported.cend(),
                                [&](const QRect& r) { return r.contains(cell); }));
        }
        for (const QRect& r : s.Reported)
            reported |= r;
        QCOMPARE(reported, box);

        const QString step = QMap<QString, QString>{{"Brush", "Paint"},
                                                    {"Eraser", "Erase"},
                                                    {"Rectangle", "Rectangle"},
                                                    {"Fill", "Fill"}}[tool];
        QCOMPARE(s.Doc.UndoHistory().Count(), changed.isEmpty() ? 0 : 1);
        if (!changed.isEmpty())
            QCOMPARE(s.Doc.UndoHistory().UndoName(), step);
    }

    // The rectangle outlined while the drag is on: normalized, clipped to the map, and none
    // after the release or after a press beside the map.
    void rectangleOutline() {
        Scene s({"0000", "0000", "0000"});
        s.Selected = 1;
        RectangleTool tool(s.Context);
        QCOMPARE(tool.Outline(), QRect());
        tool.Press({2, 1});
        QCOMPARE(tool.Outline(), QRect(2, 1, 1, 1));
        tool.Move({0, -3});
        QCOMPARE(tool.Outline(), QRect(0, 0, 3, 2));
        tool.Move({7, 2});
        QCOMPARE(tool.Outline(), QRect(2, 1, 2, 2));
        QVERIFY(s.Reported.isEmpty()); // nothing changes before the release
        QCOMPARE(s.Doc.UndoHistory().Count(), 0);
        tool.Release();
        QCOMPARE(tool.Outline(), QRect());
        tool.Press({-1, 1});
        tool.Move({1, 1});
        QCOMPARE(tool.Outline(), QRect());
        // A release with no drag on (the right button alone, say) does nothing.
        tool.Release();
        tool.Release();
        QCOMPARE(s.Doc.UndoHistory().Count(), 1);
        QCOMPARE(s.Rows(), QStringList({"0000", "0011", "0011"}));
    }

    void picker_data() {
        QTest::addColumn<QPoint>("cell");
        QTest::addColumn<QList<TileIndex>>("picked");
        QTest::newRow("first tile") << QPoint(0, 0) << QList<TileIndex>{0};
        QTest::newRow("last tile of the pack") << QPoint(1, 0) << QList<TileIndex>{4};
        QTest::newRow("empty cell") << QPoint(2, 0) << QList<TileIndex>{};
        QTest::newRow("tile the pack lacks") << QPoint(0, 1) << QList<TileIndex>{};
        QTest::newRow("left of the map") << QPoint(-1, 0) << QList<TileIndex>{};
        QTest::newRow("above the map") << QPoint(1, -1) << QList<TileIndex>{};
        QTest::newRow("beyond the map") << QPoint(3, 1) << QList<TileIndex>{};
        QTest::newRow("below the map") << QPoint(0, 2) << QList<TileIndex>{};
    }
    // The picker selects the tile of the cell when the pack has it, and changes nothing.
    void picker() {
        QFETCH(QPoint, cell);
        QFETCH(QList<TileIndex>, picked);
        Scene s({"04.", "5.2"});
        s.Selected = 3;
        PickerTool tool(s.Context);
        QCOMPARE(tool.Name(), "Picker");
        s.Drag(tool, {cell, QPoint(2, 1)});
        QCOMPARE(s.Picked, picked);
        QCOMPARE(s.Rows(), QStringList({"04.", "5.2"}));
        QCOMPARE(s.Doc.UndoHistory().Count(), 0);
        QVERIFY(s.Reported.isEmpty());
    }

    void selecting_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("before"); // the selection before
        QTest::addColumn<int>("keys");
        QTest::addColumn<Cells>("drag");
        QTest::addColumn<QStringList>("after");
        const QStringList none{"....", "....", "...."};
        const QStringList corner{"##..", "##..", "...."};
        const int shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
        auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
        // The map of every case: "0012" / "0112" / "1122".
        row("rectangle, corners reversed") << "Select" << corner << 0 << Cells{{3, 2}, {2, 1}}
                                           << QStringList{"....", "..##", "..##"};
        row("rectangle beyond the map, clipped") << "Select" << none << 0 << Cells{{-2, -1}, {1, 0}}
                                                 << QStringList{"##..", "....", "...."};
        row("Shift adds") << "Select" << corner << shift << Cells{{3, 2}}
                          << QStringList{"##..", "##..", "...#"};
        row("Ctrl takes away") << "Select" << corner << ctrl << Cells{{1, 0}, {3, 2}}
                               << QStringList{"#...", "#...", "...."};
        row("a click beside the map selects nothing")
            << "Select" << corner << 0 << Cells{{9, 9}} << none;
        row("wand: the region of equal cells")
            << "Magic Wand" << corner << 0 << Cells{{2, 1}} << QStringList{"..#.", ".##.", "##.."};
        row("wand with Ctrl takes the region away")
            << "Magic Wand" << corner << ctrl << Cells{{0, 0}}
            << QStringList{"....", ".#..", "...."};
        row("wand with Shift adds every cell of the tile")
            << "Magic Wand" << corner << shift << Cells{{3, 0}}
            << QStringList{"##.#", "##.#", "..##"};
        row("wand beside the map selects nothing")
            << "Magic Wand" << corner << 0 << Cells{{4, 0}} << none;
    }
    // The selection the Select tool and the Magic Wand leave: no step, no cell changed.
    void selecting() {
        QFETCH(QString, tool);
        QFETCH(QStringList, before);
        QFETCH(int, keys);
        QFETCH(Cells, drag);
        QFETCH(QStringList, after);
        Scene s({"0012", "0112", "1122"});
        s.SelectRows(before);
        const std::unique_ptr<Tool> t = s.MakeTool(tool);
        t->Press(drag.first(), Qt::KeyboardModifiers(keys));
        for (const QPoint& cell : drag.sliced(1))
            t->Move(cell);
        t->Release();
        QCOMPARE(s.SelectionRows(), after);
        QCOMPARE(s.Rows(), QStringList({"0012", "0112", "1122"}));
        QCOMPARE(s.Doc.UndoHistory().Count(), 0);
    }

    void confinedToTheSelection_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<Cells>("drag");
        QTest::addColumn<QStringList>("after");
        // The map "0000" / "0000" / "1111", the middle two columns selected.
        QTest::newRow("brush") << "Brush" << Cells{{0, 0}, {1, 0}, {2, 1}, {3, 1}}
                               << QStringList{"0300", "0030", "1111"};
        QTest::newRow("eraser") << "Eraser" << Cells{{0, 2}, {1, 2}, {2, 2}, {3, 2}}
                                << QStringList{"0000", "0000", "1..1"};
        // The fill stops at the selection's edge and goes on only through selected cells.
        QTest::newRow("fill") << "Fill" << Cells{{1, 1}} << QStringList{"0330", "0330", "1111"};
        QTest::newRow("fill pressed outside it")
            << "Fill" << Cells{{0, 0}} << QStringList{"0000", "0000", "1111"};
    }
    void confinedToTheSelection() {
        QFETCH(QString, tool);
        QFETCH(Cells, drag);
        QFETCH(QStringList, after);
        Scene s({"0000", "0000", "1111"});
        s.Selected = 3;
        s.SelectRows({".##.", ".##.", ".##."});
        s.Drag(*s.MakeTool(tool), drag);
        QCOMPARE(s.Rows(), after);
    }

    // The Brush with a stamp: its top-left cell where pressed, -1 leaving the map's cell, its
    // cells beyond the map dropped; a drag places it again at each cell, all one step that
    // undo takes back whole. A single tile as the stamp paints as the brush always has.
    void stampBrush() {
        Scene s({"0000", "0000", "0000"});
        s.Context.BrushStamp = Stamp(2, 2, {1, -1, 2, 3}); // columns: (1, .) and (2, 3)
        BrushTool brush(s.Context);
        s.Drag(brush, {{0, 0}, {3, 1}});
        QCOMPARE(s.Rows(), QStringList({"1200", "0301", "0000"}));
        QCOMPARE(s.Doc.UndoHistory().Count(), 1);
        QCOMPARE(s.Doc.UndoHistory().UndoName(), "Stamp");
        QCOMPARE(s.Reported, (QList<QRect>{QRect(0, 0, 2, 2), QRect(3, 1, 1, 2)}));
        s.Doc.Undo();
        QCOMPARE(s.Rows(), QStringList({"0000", "0000", "0000"}));
        s.Doc.Redo();
        QCOMPARE(s.Rows(), QStringList({"1200", "0301", "0000"}));
        // Where the stamp changes nothing, there is no step.
        s.Drag(brush, {{0, 0}});
        QCOMPARE(s.Doc.UndoHistory().Count(), 1);
    }

    void lines_data() {
        QTest::addColumn<QPoint>("to");
        // From (4, 4): each octant, both axes and the diagonals.
        for (const QPoint to :
             {QPoint(8, 6), QPoint(6, 8), QPoint(2, 8), QPoint(0, 6), QPoint(0, 2), QPoint(2, 0),
              QPoint(6, 0), QPoint(8, 2), QPoint(8, 4), QPoint(4, 0), QPoint(0, 8), QPoint(4, 4)})
            QTest::addRow("to %d,%d", to.x(), to.y()) << to;
    }
    // Shift+click paints a straight line from the last cell painted: both ends, one cell for
    // each step along the longer axis, each next to the last, as one step; the line back
    // paints the same cells.
    void lines() {
        QFETCH(QPoint, to);
        const QPoint from(4, 4);
        const std::vector<QPoint> line = CellsOnLine(from, to);
        QCOMPARE(line.front(), from);
        QCOMPARE(line.back(), to);
        QCOMPARE(qsizetype(line.size()),
                 std::max(std::abs(to.x() - from.x()), std::abs(to.y() - from.y())) + 1);
        for (std::size_t i = 1; i < line.size(); ++i)
            QVERIFY(std::max(std::abs(line[i].x() - line[i - 1].x()),
                             std::abs(line[i].y() - line[i - 1].y())) == 1);
        std::vector<QPoint> back = CellsOnLine(to, from);
        std::ranges::reverse(back);
        QCOMPARE(back.size(), line.size());

        Scene s({".........", ".........", ".........", ".........", ".........", ".........",
                 ".........", ".........", "........."});
        s.Selected = 1;
        BrushTool brush(s.Context);
        s.Drag(brush, {from});
        brush.Press(to, Qt::ShiftModifier);
        brush.Release();
        QCOMPARE(s.Doc.UndoHistory().Count(), from == to ? 1 : 2);
        for (qint32 y = 0; y < 9; ++y)
            for (qint32 x = 0; x < 9; ++x)
                QCOMPARE(s.Map.Cells[x][y] == 1,
                         std::ranges::find(line, QPoint(x, y)) != line.end());
    }

    // Random Mode draws every cell's tile from the palette's selected tiles alone, for the
    // Brush and for Fill; with none selected, the palette's tile.
    void randomMode() {
        Scene s({"00000000", "00000000", "00000000", "00000000"});
        s.Selected = 4;
        s.Context.RandomMode = true;
        s.Context.Random.seed(7);
        std::vector<TileIndex> tiles{1, 3};
        s.Context.SelectedTiles = [&] { return tiles; };
        FillTool fill(s.Context);
        s.Drag(fill, {{0, 0}});
        QSet<TileIndex> seen;
        for (qint32 x = 0; x < 8; ++x)
            for (qint32 y = 0; y < 4; ++y)
                seen.insert(s.Map.Cells[x][y]);
        QCOMPARE(seen, (QSet<TileIndex>{1, 3}));
        QCOMPARE(s.Doc.UndoHistory().UndoName(), "Fill");
        const QStringList filled = s.Rows();
        s.Doc.Undo();
        QCOMPARE(s.Rows(), QStringList({"00000000", "00000000", "00000000", "00000000"}));
        s.Doc.Redo();
        QCOMPARE(s.Rows(), filled);

        tiles = {2};
        BrushTool brush(s.Context);
        s.Drag(brush, {{0, 0}, {1, 0}});
        QCOMPARE(s.Rows().first().left(2), "22");
        tiles.clear();
        s.Drag(brush, {{2, 0}});
        QCOMPARE(s.Map.Cells[2][0], 4);
    }

    // Esc during a drag: a stroke's cells go back, nothing is left to undo, and a rectangle or
    // a selection being dragged is dropped.
    void cancelledDrags() {
        Scene s({"0000", "0000"});
        s.Selected = 2;
        BrushTool brush(s.Context);
        brush.Press({0, 0});
        brush.Move({1, 1});
        QCOMPARE(s.Rows(), QStringList({"2000", "0200"}));
        brush.Cancel();
        brush.Release();
        QCOMPARE(s.Rows(), QStringList({"0000", "0000"}));
        QCOMPARE(s.Doc.UndoHistory().Count(), 0);
        for (const char* name : {"Rectangle", "Select"}) {
            const std::unique_ptr<Tool> t = s.MakeTool(name);
            t->Press({0, 0});
            t->Move({3, 1});
            t->Cancel();
            QCOMPARE(t->Outline(), QRect());
            t->Release();
        }
        QCOMPARE(s.Rows(), QStringList({"0000", "0000"}));
        QVERIFY(s.Doc.Selection().Empty());
    }

    // A picker dragged over several cells hands them on as a stamp; a click picks as before.
    void pickerTakesAStamp() {
        Scene s({"012", "340"});
        QList<Stamp> taken;
        s.Context.TakeStamp = [&](Stamp cells) { taken << cells; };
        PickerTool picker(s.Context);
        s.Drag(picker, {{2, 1}, {1, 0}});
        s.Drag(picker, {{0, 0}});
        QCOMPARE(taken, (QList<Stamp>{Stamp(2, 2, {1, 4, 2, 0})}));
        QCOMPARE(s.Picked, (QList<TileIndex>{0, 0}));
        QCOMPARE(s.Context.PickedTile, std::optional<TileIndex>(0));
    }
};

QTEST_GUILESS_MAIN(tst_tools)
#include "tst_tools.moc"
