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
    std::unique_ptr<Tool> MakeTool(const QString& name) {
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
};

QTEST_GUILESS_MAIN(tst_tools)
#include "tst_tools.moc"
