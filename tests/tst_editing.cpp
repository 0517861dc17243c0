// The editing verbs' parts without a window: stamps turned and mirrored, the clipboard's two
// forms, the document's Delete, Cut, Stamp and Replace Tile with their undo, and the
// selection's outline in the view.

#include "TestSupport.h"
#include "document/Document.h"
#include "formats/CellClipboard.h"
#include "formats/MapFile.h"
#include "model/CellRegion.h"
#include "model/CellSelection.h"
#include "model/Stamp.h"
#include "render/SelectionOutline.h"

#include <QMimeData>
#include <QtTest>

using TestSupport::MessageOf;

namespace {
// A stamp from rows of text: digits for tiles, '.' for -1.
Stamp StampOf(const QStringList& rows) {
    const auto width = qint32(rows.first().size()), height = qint32(rows.size());
    std::vector<TileIndex> cells;
    for (qint32 x = 0; x < width; ++x)
        for (qint32 y = 0; y < height; ++y)
            cells.push_back(rows[y][x] == '.' ? -1 : rows[y][x].digitValue());
    return Stamp(width, height, std::move(cells));
}

// A document whose 6 × 4 map holds (x + y) % 4 in each cell.
struct Scene {
    Document Doc;
    explicit Scene(qint32 width = 6, qint32 height = 4) {
        Doc.MutableMap().New(width, height, 48);
        for (qint32 x = 0; x < width; ++x)
            for (qint32 y = 0; y < height; ++y)
                Doc.MutableMap().Cells[x][y] = (x + y) % 4;
        Doc.ResetHistory();
    }
    TileIndex At(qint32 x, qint32 y) const { return Doc.Map().Cells[x][y]; }
};
} // namespace

class tst_editing : public QObject {
    Q_OBJECT

private slots:
    // Cells change places, values never: two mirrors, or four turns, give the stamp back.
    void stampsTurnAndMirror() {
        const Stamp stamp = StampOf({"123", "45."});
        QCOMPARE(stamp.MirroredLeftRight(), StampOf({"321", ".54"}));
        QCOMPARE(stamp.MirroredTopBottom(), StampOf({"45.", "123"}));
        QCOMPARE(stamp.TurnedClockwise(), StampOf({"41", "52", ".3"}));
        QCOMPARE(stamp.MirroredLeftRight().MirroredLeftRight(), stamp);
        QCOMPARE(stamp.MirroredTopBottom().MirroredTopBottom(), stamp);
        QCOMPARE(stamp.TurnedClockwise().TurnedClockwise().TurnedClockwise().TurnedClockwise(),
                 stamp);
        QCOMPARE(Stamp(1, 1, {3}).TurnedClockwise(), Stamp(1, 1, {3}));
        QCOMPARE(MessageOf<ESizeError>([] {
                     Stamp(2, 2, {1, 2, 3});
                 }),
                 "A stamp of 2 × 2 cells cannot hold 3 cells");
    }

    // The private form keeps every value, even ones no pack has; the text form is what a
    // spreadsheet shows, read back the same, with Windows' line ends too.
    void clipboardRoundTrip() {
        const Stamp stamp(3, 2, {0, -1, 2147483647, -7, 12, 5});
        QCOMPARE(CellClipboard::ReadBytes(CellClipboard::Bytes(stamp)), stamp);
        const Stamp small = StampOf({"12.", "305"});
        const QString text = CellClipboard::Text(small);
        QCOMPARE(text, "1\t2\t-1\n3\t0\t5\n");
        QCOMPARE(CellClipboard::ReadText(text), small);
        QCOMPARE(CellClipboard::ReadText("1\t2\t-1\r\n3\t0\t 5\r\n"), small);

        // Copied from a map: the selection's box, the cells outside the selection -1.
        CellGrid grid(3, 2);
        std::ranges::copy(std::vector<TileIndex>{1, 2, 3, 4, 5, 6}, grid.data());
        CellSelection selection(3, 2);
        selection.Apply(QRect(1, 0, 2, 2), CellSelection::Combine::Add);
        selection.Apply(QRect(2, 1, 1, 1), CellSelection::Combine::Subtract);
        const std::unique_ptr<QMimeData> data = CellClipboard::MimeData(grid, selection);
        QVERIFY(data->hasFormat(CellClipboard::MimeType()));
        QCOMPARE(CellClipboard::Read(*data), Stamp(2, 2, {3, 4, 5, -1}));
        QCOMPARE(data->text(), "3\t5\n4\t-1\n");
        // Text alone, as a text editor puts it there.
        QMimeData text_only;
        text_only.setText("4\t4\n4\t4");
        QCOMPARE(CellClipboard::Read(text_only), Stamp(2, 2, {4, 4, 4, 4}));
        // A block past the text limit goes in the private form alone.
        const auto limit = qint32(CellClipboard::MaxTextCells);
        CellGrid column(1, limit + 1);
        std::fill_n(column.data(), column.Count(), 0);
        CellSelection cells(1, limit + 1);
        cells.Apply(QRect(0, 0, 1, limit), CellSelection::Combine::Add);
        QVERIFY(CellClipboard::MimeData(column, cells)->hasText());
        cells.SelectAll();
        QVERIFY(!CellClipboard::MimeData(column, cells)->hasText());
    }

    void clipboardRefuses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const QString start = "The clipboard holds no cells to paste: ";
        QTest::newRow("empty") << "" << start + "it holds no text.";
        QTest::newRow("words") << "Hello, world"
                               << start + "\"Hello, world\" on line 1 is not a tile number.";
        QTest::newRow("ragged") << "1\t2\n3" << start + "line 2 has 1 cells where line 1 has 2.";
        QTest::newRow("below -1") << "0\t-2" << start + "\"-2\" on line 1 is not a tile number.";
        QTest::newRow("beyond 32 bits")
            << "4294967296" << start + "\"4294967296\" on line 1 is not a tile number.";
        QTest::newRow("an empty cell")
            << "1\t\t2" << start + "\"\" on line 1 is not a tile number.";
    }
    // Text that is not a block of cells is refused, saying why.
    void clipboardRefuses() {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QCOMPARE(MessageOf<EFormatError>([&] { CellClipboard::ReadText(text); }), message);
    }

    // Damaged private data is refused before anything is allocated for it.
    void clipboardRefusesDamagedBytes() {
        const QByteArray good = CellClipboard::Bytes(Stamp(2, 1, {1, 2}));
        const QString damaged =
            "The clipboard holds no cells to paste: its block of cells is damaged.";
        QCOMPARE(MessageOf<EFormatError>([&] { CellClipboard::ReadBytes(good.chopped(1)); }),
                 damaged);
        QCOMPARE(MessageOf<EFormatError>([&] { CellClipboard::ReadBytes(good + "x"); }), damaged);
        QByteArray huge = good;
        huge.replace(8, 8, TestSupport::Int32s({1 << 20, 1 << 20}));
        QCOMPARE(MessageOf<EFormatError>([&] { CellClipboard::ReadBytes(huge); }), damaged);
        QCOMPARE(MessageOf<EFormatError>([&] { CellClipboard::ReadBytes("KVCELLS"); }),
                 "The clipboard holds no cells to paste: its data is not a block of cells.");
    }

    // Delete, Cut, Stamp and Replace Tile each change the cells they should as one step; undo
    // of them all gives the file's bytes back.
    void verbsAndTheirUndo() {
        Scene s;
        const QByteArray original = MapFile::Bytes(s.Doc.Map());
        // An L of cells: a column and a row.
        s.Doc.Select(QRect(1, 0, 1, 4), CellSelection::Combine::Replace);
        s.Doc.Select(QRect(1, 3, 4, 1), CellSelection::Combine::Add);
        QVERIFY(!s.Doc.Selection().IsRectangle());
        QCOMPARE(s.Doc.ClearSelected("Cut"), QRect(1, 0, 4, 4));
        QCOMPARE(s.Doc.UndoHistory().UndoName(), "Cut");
        for (qint32 x = 0; x < 6; ++x)
            for (qint32 y = 0; y < 4; ++y)
                QCOMPARE(s.At(x, y), (x == 1 || (y == 3 && x >= 1 && x <= 4)) ? -1 : (x + y) % 4);
        QCOMPARE(s.Doc.ClearSelected("Delete"), QRect()); // nothing left to clear: no step
        QCOMPARE(s.Doc.UndoHistory().Count(), 1);

        // Replace in the selection, then in the whole map; the count is the cells changed.
        QCOMPARE(s.Doc.ReplaceTile(-1, 9, true), 7);
        QCOMPARE(s.Doc.ReplaceTile(2, 7, false), 4);
        QCOMPARE(s.Doc.UndoHistory().UndoName(), "Replace Tile");
        QCOMPARE(s.Doc.ReplaceTile(2, 7, false), 0);
        QCOMPARE(s.Doc.ReplaceTile(3, 3, false), 0);
        QCOMPARE(s.Doc.UndoHistory().Count(), 3);

        // A stamp inside the selection only.
        s.Doc.Select(QRect(0, 0, 2, 2), CellSelection::Combine::Replace);
        QCOMPARE(s.Doc.PaintStamp(QPoint(1, 1), StampOf({"55", "55"})), QRect(1, 1, 2, 2));
        s.Doc.EndStroke();
        QCOMPARE(s.At(1, 1), 5);
        QCOMPARE(s.At(2, 1), 3);
        QCOMPARE(s.At(1, 2), 9);

        while (s.Doc.UndoHistory().CanUndo())
            s.Doc.Undo();
        QCOMPARE(MapFile::Bytes(s.Doc.Map()), original);
        while (s.Doc.UndoHistory().CanRedo())
            s.Doc.Redo();
        QCOMPARE(s.At(1, 1), 5);
        QCOMPARE(s.At(4, 3), 9);
    }

    // The selection belongs to a map's size: a map of another size starts with none, and the
    // same size keeps it.
    void selectionFollowsTheMapSize() {
        Scene s;
        QSignalSpy changed(&s.Doc, &Document::SelectionChanged);
        s.Doc.SelectAll();
        QCOMPARE(s.Doc.Selection().Count(), 24);
        s.Doc.FillRegion(QPoint(0, 0), 3);
        QCOMPARE(s.Doc.Selection().Count(), 24);
        s.Doc.NewMap(3, 3, 48);
        QVERIFY(s.Doc.Selection().Empty());
        QCOMPARE(changed.count(), 2);
        s.Doc.SelectAll();
        QCOMPARE(s.Doc.Selection().Box(), QRect(0, 0, 3, 3));
        s.Doc.Undo();
        QVERIFY(s.Doc.Selection().Empty());
        QCOMPARE(s.Doc.Selection().Width(), 6);
    }

    void outline_data() {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QList<QLine>>("lines");
        // Cells (1, 1) and (2, 1) and (1, 2) of 4-pixel tiles: an L.
        QTest::newRow("1:1") << 0 << QList<QLine>{{4, 4, 4, 11}, {7, 8, 7, 11}, {11, 4, 11, 7},
                                                  {4, 4, 11, 4}, {8, 7, 11, 7}, {4, 11, 7, 11}};
        // Two pixels a cell: the same edges, on the selected side.
        QTest::newRow("1/2") << -1 << QList<QLine>{{2, 2, 2, 5}, {3, 4, 3, 5}, {5, 2, 5, 3},
                                                   {2, 2, 5, 2}, {4, 3, 5, 3}, {2, 5, 3, 5}};
    }
    // The outline lies along every edge between selected and unselected cells, inside the
    // selection, wherever the view is.
    void outline() {
        QFETCH(int, zoom);
        QFETCH(QList<QLine>, lines);
        CellSelection selection(8, 8);
        selection.Apply(QRect(1, 1, 2, 1), CellSelection::Combine::Add);
        selection.Apply(QRect(1, 2, 1, 1), CellSelection::Combine::Add);
        ViewMapping mapping;
        mapping.Zoom = zoom;
        mapping.TileSize = 4;
        const std::vector<QLine> found = SelectionOutline(selection, mapping, QRect(0, 0, 40, 40));
        QCOMPARE(QList<QLine>(found.begin(), found.end()), lines);
        // A part of the view, painted again alone: the same lines, cut to it.
        const QRect area(3, 3, 5, 3);
        QList<QLine> cut;
        for (const QLine& line : lines)
            if (const QRect r = QRect(line.p1(), line.p2()) & area; !r.isEmpty())
                cut << QLine(r.topLeft(), r.bottomRight());
        const std::vector<QLine> part = SelectionOutline(selection, mapping, area);
        QCOMPARE(QList<QLine>(part.begin(), part.end()), cut);
    }
};

QTEST_GUILESS_MAIN(tst_editing)
#include "tst_editing.moc"
