// The map file: hand-made vectors byte for byte, the cell order, round trips, and the reader's
// refusal of damaged and hostile files with the map left as it was.

#include "AllocationProbe.h"
#include "TestSupport.h"
#include "model/typeU.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {
// Everything a load may replace or must keep, in comparable form.
struct MapState {
    QByteArray Text1, Text2, PackName, Text4;
    qint32 Width, Height, TileSize, OffsetX, OffsetY;
    std::vector<TileIndex> Cells;
    bool operator==(const MapState&) const = default;
};

MapState StateOf(const tMap& map) {
    MapState state{map.Text1,  map.Text2,    map.PackName, map.Text4,   map.Width,
                   map.Height, map.TileSize, map.OffsetX,  map.OffsetY, {}};
    for (qint32 x = 0; x < map.Cells.size(); ++x)
        state.Cells.insert(state.Cells.end(), map.Cells[x].begin(), map.Cells[x].end());
    return state;
}

// A map as the editor may hold it before a load: scrolled, with texts and painted cells.
void FillKnown(tMap& map) {
    map.New(4, 3, 32);
    map.Text1 = "known";
    map.PackName = "known.pac";
    map.Text4 = "\xFF";
    map.OffsetX = 8;
    map.OffsetY = 4;
    map.Cells[3][2] = 7;
    map.Cells[0][1] = -1;
}

QByteArray EmptyTexts() {
    return Int32s({0, 0, 0, 0});
}
} // namespace

class tst_mapformat : public QObject {
    Q_OBJECT

private slots:
    void exampleFiles() {
        QTemporaryDir dir;
        const QString path = dir.filePath("example.map");
        tMap map(48, nullptr);
        map.New(2, 1, 48);
        map.Text1 = "testing!!!";
        map.PackName = "abcde";
        map.Cells[1][0] = -1;
        map.SaveToFile(path);
        const QByteArray example =
            Text("testing!!!") + Int32s({0}) + Text("abcde") + Int32s({0, 2, 1, 2, 0, -1});
        QCOMPARE(example.size(), 51);
        QCOMPARE(ReadFile(path), example);

        tMap loaded(48, nullptr);
        FillKnown(loaded);
        loaded.LoadFromFile(path);
        QCOMPARE(loaded.SaveToBytes(), example);

        // A new 14 x 14 map: texts empty, then the size, then 196 cells of tile 0.
        map.New(14, 14, 48);
        map.SaveToFile(path);
        QCOMPARE(ReadFile(path), EmptyTexts() + Int32s({14, 14, 14}) + QByteArray(784, '\0'));
        for (const QByteArray& pack :
             {QByteArray(), QByteArray("demo.pac"), QByteArray(300, 'p')}) {
            map.Text1 = "testing!!!";
            map.PackName = pack;
            map.SaveToFile(path);
            QCOMPARE(ReadFile(path).size(), 822 + pack.size());
        }
    }

    void cellOrderAndWidth() {
        tMap map(48, nullptr);
        map.New(3, 2, 48);
        for (qint32 x = 0; x < 3; ++x)
            for (qint32 y = 0; y < 2; ++y)
                map.Cells[x][y] = 10 * x + y + 1;
        // Row by row: (0,0), (1,0), (2,0), (0,1), (1,1), (2,1).
        QCOMPARE(map.SaveToBytes(), EmptyTexts() + Int32s({3, 2, 3, 1, 11, 21, 2, 12, 22}));

        // The reader takes the width from the third integer, not the first.
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("third.map"),
                          EmptyTexts() + Int32s({5, 3, 2, 1, 11, 2, 12, 3, 13})));
        map.LoadFromFile(dir.filePath("third.map"));
        QCOMPARE(QSize(map.Width, map.Height), QSize(2, 3));
        QCOMPARE(map.Cells.size(), 2);
        QCOMPARE(map.Cells[0][2], 3);
        QCOMPARE(map.Cells[1][2], 13);
    }

    void emptyDimensions_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("no columns") << 0 << 5;
        QTest::newRow("no rows") << 5 << 0;
        QTest::newRow("nothing") << 0 << 0;
    }

    void emptyDimensions() {
        QFETCH(int, width);
        QFETCH(int, height);
        QTemporaryDir dir;
        const QString path = dir.filePath("empty.map");
        tMap map(48, nullptr);
        map.New(width, height, 48);
        map.SaveToFile(path);
        QCOMPARE(ReadFile(path), EmptyTexts() + Int32s({width, height, width}));

        tMap loaded(48, nullptr);
        FillKnown(loaded);
        loaded.LoadFromFile(path);
        QCOMPARE(loaded.Width, width);
        QCOMPARE(loaded.Height, height);
        QCOMPARE(loaded.Cells.size(), width);
        QCOMPARE(loaded.Cells.Rows(), height);
    }

    void textsAndViewOnLoad() {
        QTemporaryDir dir;
        const QString path = dir.filePath("texts.map");
        tMap map(48, nullptr);
        map.New(2, 2, 48);
        map.Text1 = "testing!!!";
        map.Text2 = "\xCA\xE0\xF0\xF2\xE0 \xA8\xB8\x80\xFF"; // "Карта Ёё" and more bytes above 127
        map.PackName = "\xF2\xE0\xE9\xEB\xFB.pac";
        map.Text4 = QByteArray(1000, '\xE9');
        map.Cells[1][1] = 1000;
        map.SaveToFile(path);

        // The file carries no tile size, scroll position or view: those stay as they were.
        tMap loaded(48, nullptr);
        FillKnown(loaded);
        loaded.SetViewSize(100, 50);
        loaded.ShowGrid = true;
        const MapState before = StateOf(loaded);
        loaded.LoadFromFile(path);
        MapState expected = StateOf(map);
        expected.TileSize = before.TileSize;
        expected.OffsetX = before.OffsetX;
        expected.OffsetY = before.OffsetY;
        QVERIFY(StateOf(loaded) == expected);
        QCOMPARE(loaded.ViewWidth, 100);
        QVERIFY(loaded.ShowGrid);
    }

    void largeNonSquareRoundTrip() {
        // Large enough for the cells to cross the blocks the reader and writer transpose in.
        const qint32 width = 130, height = 67;
        tMap map(48, nullptr);
        map.New(width, height, 48);
        for (qint32 x = 0; x < width; ++x)
            for (qint32 y = 0; y < height; ++y)
                map.Cells[x][y] = x * 1000 + y - 5;
        const QByteArray bytes = map.SaveToBytes();
        QCOMPARE(bytes.size(), 28 + 4 * width * height);
        for (qint32 y = 0; y < height; ++y)
            for (qint32 x = 0; x < width; ++x)
                if (Int32At(bytes, 28 + 4 * (y * width + x)) != x * 1000 + y - 5)
                    QFAIL(qPrintable(QStringLiteral("cell %1,%2 misplaced").arg(x).arg(y)));

        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("large.map"), bytes));
        tMap loaded(48, nullptr);
        loaded.New(1, 1, 48);
        loaded.LoadFromFile(dir.filePath("large.map"));
        QVERIFY(StateOf(loaded) == StateOf(map));
    }

    void hugeRoundTrip_data() {
        QTest::addColumn<qint32>("width");
        QTest::addColumn<qint32>("height");
        // Over 8 MiB of cells, where the buffers are given to large pages, and no multiple of
        // the four-by-four steps the transpose takes, in both orientations.
        QTest::newRow("wide") << 2050 << 1027;
        QTest::newRow("tall") << 1027 << 2050;
    }

    void hugeRoundTrip() {
        QFETCH(qint32, width);
        QFETCH(qint32, height);
        tMap map(48, nullptr);
        map.New(width, height, 48);
        for (qint32 x = 0; x < width; ++x)
            for (qint32 y = 0; y < height; ++y)
                map.Cells[x][y] = (x << 12) ^ y;
        const QByteArray bytes = map.SaveToBytes();
        QCOMPARE(bytes.size(), 28 + 4 * qsizetype(width) * height);
        for (qint32 y = 0; y < height; ++y)
            for (qint32 x = 0; x < width; ++x)
                if (Int32At(bytes, 28 + 4 * (qsizetype(y) * width + x)) != ((x << 12) ^ y))
                    QFAIL(qPrintable(QStringLiteral("cell %1,%2 misplaced").arg(x).arg(y)));

        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("huge.map"), bytes));
        tMap loaded(48, nullptr);
        loaded.LoadFromFile(dir.filePath("huge.map"));
        QVERIFY(StateOf(loaded) == StateOf(map));
    }

    void saveWithoutCells() {
        // Clear alone keeps the old size but drops every cell; a save then must not read cells
        // that are not there, and what it writes must load again.
        tMap map(48, nullptr);
        map.New(14, 14, 48);
        map.Clear();
        QCOMPARE(map.Width, 14);
        const QByteArray bytes = map.SaveToBytes();
        QCOMPARE(bytes, EmptyTexts() + Int32s({0, 0, 0}));
    }

    void truncatedAtEveryOffset() {
        tMap source(48, nullptr);
        source.New(3, 2, 48);
        source.Text1 = "testing!!!";
        source.Text2 = "\xE0";
        source.PackName = "p.pac";
        source.Cells[2][1] = -1;
        const QByteArray file = source.SaveToBytes();

        QTemporaryDir dir;
        const QString path = dir.filePath("cut.map");
        tMap map(48, nullptr);
        FillKnown(map);
        const MapState before = StateOf(map);
        for (qsizetype length = 0; length < file.size(); ++length) {
            QVERIFY(WriteFile(path, file.left(length)));
            const QString message = MessageOf<EFormatError>([&] { map.LoadFromFile(path); });
            QVERIFY2(message.contains(Shown(path)),
                     qPrintable(QStringLiteral("%1 bytes: %2").arg(length).arg(message)));
            QVERIFY2(StateOf(map) == before, qPrintable(QString::number(length)));
        }
    }

    void refusedFiles_data() {
        QTest::addColumn<QByteArray>("bytes");

        const qint32 max = std::numeric_limits<qint32>::max();
        QTest::newRow("negative width") << EmptyTexts() + Int32s({2, 1, -2, 0, 0});
        QTest::newRow("negative height") << EmptyTexts() + Int32s({1, -1, 1, 0});
        QTest::newRow("both negative, product positive") << EmptyTexts() + Int32s({-4, -4, -4});
        QTest::newRow("more than 2^28 cells") << EmptyTexts() + Int32s({1 << 15, 1 << 14, 1 << 15});
        QTest::newRow("largest size") << EmptyTexts() + Int32s({max, max, max}) + QByteArray(64, 0);
        QTest::newRow("cells past the end")
            << EmptyTexts() + Int32s({100, 100, 100}) + QByteArray(40, 0);
        QTest::newRow("text past the end") << Int32s({1000}) + QByteArray(100, 't');
        QTest::newRow("largest text length") << Int32s({0, max}) + QByteArray(100, 't');
        QTest::newRow("bytes behind the last cell") << EmptyTexts() + Int32s({1, 1, 1, 0}) + "x";
    }

    void refusedFiles() {
        QFETCH(QByteArray, bytes);

        QTemporaryDir dir;
        const QString path = dir.filePath("bad.map");
        QVERIFY(WriteFile(path, bytes));
        tMap map(48, nullptr);
        FillKnown(map);
        const MapState before = StateOf(map);

        QString message;
        std::size_t largest = 0;
        {
            AllocationProbe::Probe probe;
            message = MessageOf<EFormatError>([&] { map.LoadFromFile(path); });
            largest = probe.Largest();
        }
        QVERIFY2(message.contains(Shown(path)), qPrintable(message));
        QVERIFY(StateOf(map) == before);
        if (AllocationProbe::Available)
            QVERIFY2(largest < (1 << 20), qPrintable(QString::number(largest)));

        // A missing file or an impossible target changes nothing either.
        const QString missing = dir.filePath("missing.map");
        QVERIFY(MessageOf<EFOpenError>([&] {
                    map.LoadFromFile(missing);
                }).startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(Shown(missing))));
        const QString nowhere = dir.filePath("no/such.map");
        QVERIFY(MessageOf<EFCreateError>([&] {
                    map.SaveToFile(nowhere);
                }).startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(Shown(nowhere))));
        QVERIFY(StateOf(map) == before);
    }
};

QTEST_GUILESS_MAIN(tst_mapformat)
#include "tst_mapformat.moc"
