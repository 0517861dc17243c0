// The fill of a 4-connected region of equal cells, and the region it reports for undo.

#include "model/CellRegion.h"

#include <QRandomGenerator>
#include <QtTest>
#include <deque>

namespace {
// A grid from rows of text: each character a cell, '.' for -1 and digits for tiles.
CellGrid Grid(const QStringList& rows) {
    CellGrid grid(rows.isEmpty() ? 0 : qint32(rows.first().size()), qint32(rows.size()));
    for (qint32 y = 0; y < grid.Rows(); ++y)
        for (qint32 x = 0; x < grid.size(); ++x)
            grid[x][std::size_t(y)] = rows[y][x] == '.' ? -1 : rows[y][x].digitValue();
    return grid;
}

QStringList Text(const CellGrid& grid) {
    QStringList rows;
    for (qint32 y = 0; y < grid.Rows(); ++y) {
        QString row;
        for (qint32 x = 0; x < grid.size(); ++x) {
            const TileIndex v = grid[x][std::size_t(y)];
            row += v == -1 ? QChar('.') : QChar('0' + v);
        }
        rows << row;
    }
    return rows;
}

// The same fill, one cell at a time, as the plain definition says.
QSet<QPoint> ReferenceRegion(const CellGrid& grid, QPoint start) {
    QSet<QPoint> region{start};
    std::deque<QPoint> queue{start};
    const TileIndex old = grid[start.x()][std::size_t(start.y())];
    while (!queue.empty()) {
        const QPoint p = queue.front();
        queue.pop_front();
        for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
            const QPoint n = p + d;
            if (n.x() >= 0 && n.y() >= 0 && n.x() < grid.size() && n.y() < grid.Rows() &&
                grid[n.x()][std::size_t(n.y())] == old && !region.contains(n)) {
                region.insert(n);
                queue.push_back(n);
            }
        }
    }
    return region;
}
} // namespace

class tst_fill : public QObject {
    Q_OBJECT

private slots:
    void fill_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("value");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("bounded by other tiles")
            << QStringList{"00100", "01110", "00100"} << QPoint(2, 1) << 7
            << QStringList{"00700", "07770", "00700"};
        QTest::newRow("diagonals do not connect")
            << QStringList{"1010", "0101", "1010"} << QPoint(0, 0) << 5
            << QStringList{"5010", "0101", "1010"};
        QTest::newRow("to the map's edges, around a hole")
            << QStringList{"0000", "0220", "0000"} << QPoint(3, 2) << 1
            << QStringList{"1111", "1221", "1111"};
        QTest::newRow("empty cells") << QStringList{"..1", ".11", "1.."} << QPoint(0, 0) << 3
                                     << QStringList{"331", "311", "1.."};
        QTest::newRow("erasing") << QStringList{"22", "21"} << QPoint(0, 1) << -1
                                 << QStringList{"..", ".1"};
        QTest::newRow("a spiral") << QStringList{"00000", "11110", "00010", "01110", "00000"}
                                  << QPoint(2, 2) << 4
                                  << QStringList{"44444", "11114", "44414", "41114", "44444"};
        // Nothing changes and the region is empty, so no undo step is made.
        const QStringList nothing{"012", "345"};
        QTest::newRow("the cell's own tile") << nothing << QPoint(1, 0) << 1 << nothing;
        for (const QPoint at : {QPoint(-1, 0), QPoint(0, -1), QPoint(3, 1), QPoint(0, 2)})
            QTest::addRow("outside the grid at %d,%d", at.x(), at.y())
                << nothing << at << 1 << nothing;
        QTest::newRow("an empty grid") << QStringList() << QPoint(0, 0) << 1 << QStringList();
    }
    void fill() {
        QFETCH(QStringList, before);
        QFETCH(QPoint, at);
        QFETCH(int, value);
        QFETCH(QStringList, after);
        CellGrid grid = Grid(before);
        const CellRegion region = FloodFill(grid, at.x(), at.y(), value);
        QCOMPARE(Text(grid), after);
        // The region is exactly the cells that changed, and filling it with the old value
        // gives the map back.
        qint64 changed = 0;
        const CellGrid original = Grid(before);
        for (qint32 y = 0; y < grid.Rows(); ++y)
            for (qint32 x = 0; x < grid.size(); ++x) {
                const bool differs = grid[x][std::size_t(y)] != original[x][std::size_t(y)];
                QCOMPARE(region.Contains(x, y), differs);
                changed += differs;
            }
        QCOMPARE(region.Count(), changed);
        if (changed > 0) {
            region.Fill(grid, original[at.x()][std::size_t(at.y())]);
            QCOMPARE(Text(grid), before);
        }
    }

    // A region keeps whichever of its spans and a bit a cell of its box is smaller, and
    // answers the same either way.
    void regionKeepsTheSmallerForm() {
        CellGrid plain(64, 1024), comb(64, 64);
        std::fill_n(plain.data(), plain.Count(), 0);
        // A comb: row 0 joins every other column; half the spans are single cells.
        for (qint32 x = 0; x < 64; ++x)
            for (qint32 y = 0; y < 64; ++y)
                comb[x][std::size_t(y)] = y == 0 || x % 2 == 0 ? 0 : 1;
        const CellRegion whole = FloodFill(plain, 5, 5, 7);
        QCOMPARE(whole.Count(), 64 * 1024);
        // Each form is one heap block, counted as the allocator rounds it.
        QCOMPARE(whole.MemoryBytes(), HeapBytes(qint64(64 * sizeof(CellSpan))));
        const CellRegion ragged = FloodFill(comb, 0, 0, 7);
        QCOMPARE(ragged.MemoryBytes(), HeapBytes(64 * 64 / 8));
        for (qint32 x = 0; x < 64; ++x)
            for (qint32 y = 0; y < 64; ++y) {
                QVERIFY(whole.Contains(x, y * 16 + 15));
                QCOMPARE(ragged.Contains(x, y), comb[x][std::size_t(y)] == 7);
            }
        QVERIFY(!whole.Contains(64, 0) && !whole.Contains(-1, 3));
    }

    // Random maps of few tiles, against the plain definition: cells at random, and long
    // runs down the columns, which are read a block at a time.
    void randomMaps_data() {
        QTest::addColumn<int>("maxRows");
        QTest::addColumn<int>("runs"); // the longest run of one value down a column
        QTest::newRow("cells at random") << 40 << 1;
        QTest::newRow("long runs") << 300 << 70;
    }
    void randomMaps() {
        QFETCH(int, maxRows);
        QFETCH(int, runs);
        QRandomGenerator random(20261206);
        for (int round = 0; round < 200; ++round) {
            const qint32 columns = random.bounded(1, 40), rows = random.bounded(1, maxRows);
            CellGrid grid(columns, rows);
            const int kinds = random.bounded(1, 4);
            for (qint64 i = 0; i < qint64(columns) * rows;) {
                const TileIndex v = random.bounded(kinds) - 1;
                for (int n = random.bounded(1, runs + 1); n > 0 && i < qint64(columns) * rows; --n)
                    grid.data()[i++] = v;
            }
            const QPoint at(random.bounded(columns), random.bounded(rows));
            const QSet<QPoint> expected = ReferenceRegion(grid, at);
            const CellRegion region = FloodFill(grid, at.x(), at.y(), 9);
            QCOMPARE(region.Count(), qint64(expected.size()));
            for (qint32 x = 0; x < columns; ++x)
                for (qint32 y = 0; y < rows; ++y) {
                    const bool inside = expected.contains(QPoint(x, y));
                    QCOMPARE(region.Contains(x, y), inside);
                    QCOMPARE(grid[x][std::size_t(y)] == 9, inside);
                }
        }
    }
};

QTEST_GUILESS_MAIN(tst_fill)
#include "tst_fill.moc"
