// The map file: hand-made vectors byte for byte, round trips, and the refusal of damaged and
// hostile files with the map left as it was.

#include "AllocationProbe.h"
#include "TestSupport.h"
#include "formats/MapFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {
const QByteArray NoTexts = Int32s({0, 0, 0, 0});

// Texts, size, cells and tile size: all a load may replace or must keep.
QByteArray StateOf(const TileMap& map) {
    return MapFile::Bytes(map) + Int32s({map.Width, map.Height, map.TileSize});
}

// A map as the editor may hold it before a load: with texts and painted cells.
void FillKnown(TileMap& map) {
    map.New(4, 3, 40);
    map.Text1 = map.PackName = "known";
    map.Text4 = "\xFF";
    map.Cells[3][2] = 7;
}
} // namespace

class tst_mapformat : public QObject {
    Q_OBJECT

private slots:
    void examples() {
        QTemporaryDir dir;
        TileMap map(48);
        map.New(2, 1, 48);
        map.Text1 = "testing!!!";
        map.PackName = "abcde";
        map.Cells[1][0] = -1;
        MapFile::Write(map, dir.filePath("example.map"));
        const QByteArray example =
            Text("testing!!!") + Int32s({0}) + Text("abcde") + Int32s({0, 2, 1, 2, 0, -1});
        QCOMPARE(example.size(), 51);
        QCOMPARE(ReadFile(dir.filePath("example.map")), example);
        // A new 14 x 14 map: empty texts, the size, then 196 cells of tile 0.
        map.New(14, 14, 48);
        QCOMPARE(MapFile::Bytes(map), NoTexts + Int32s({14, 14, 14}) + QByteArray(784, '\0'));
        map.Text1 = "testing!!!";
        for (const QByteArray& pack : {QByteArray(), QByteArray(300, 'p')}) {
            map.PackName = pack;
            QCOMPARE(MapFile::Bytes(map).size(), 822 + pack.size());
        }
        map.New(0, 0, 48);
        QCOMPARE(MapFile::Bytes(map), NoTexts + Int32s({0, 0, 0}));
        // Cells go row by row, and the reader takes the width from the third integer.
        map.New(3, 2, 48);
        for (qint32 x = 0; x < 3; ++x)
            for (qint32 y = 0; y < 2; ++y)
                map.Cells[x][y] = 10 * x + y + 1;
        QCOMPARE(MapFile::Bytes(map), NoTexts + Int32s({3, 2, 3, 1, 11, 21, 2, 12, 22}));
        QVERIFY(
            WriteFile(dir.filePath("third.map"), NoTexts + Int32s({5, 3, 2, 1, 11, 2, 12, 3, 13})));
        MapFile::Read(map, dir.filePath("third.map"));
        QCOMPARE(MapFile::Bytes(map), NoTexts + Int32s({2, 3, 2, 1, 11, 2, 12, 3, 13}));
    }

    // Large maps cross the blocks the reader and writer transpose in and the buffer the reader
    // reads through (1 MiB: rows longer than that come in pieces), and over 8 MiB of cells go
    // to large pages; no size is a multiple of the four-by-four steps of the transpose.
    void roundTrip_data() {
        QTest::addColumn<qint32>("width");
        QTest::addColumn<qint32>("height");
        QTest::newRow("no columns") << 0 << 5;
        QTest::newRow("no rows") << 5 << 0;
        QTest::newRow("130 x 67") << 130 << 67;
        QTest::newRow("wide") << 2050 << 1027;
        QTest::newRow("tall") << 1027 << 2050;
        QTest::newRow("rows longer than the buffer") << 300001 << 3;
        QTest::newRow("one column") << 1 << 300001;
    }
    void roundTrip() {
        QFETCH(qint32, width);
        QFETCH(qint32, height);
        TileMap map(48);
        FillKnown(map);
        map.New(width, height, 40);
        map.Text1 = "testing!!!";
        map.Text2 = "\xCA\xE0\xF0\xF2\xE0 \xA8\xB8\x80"; // "Карта Ёё" and more above 127
        map.PackName = "\xF2\xE0\xE9\xEB\xFB.pac";
        map.Text4 = QByteArray(1000, '\xE9');
        for (qint32 x = 0; x < width; ++x)
            for (qint32 y = 0; y < height; ++y)
                map.Cells[x][y] = (x << 12) ^ y;
        const QByteArray bytes = MapFile::Bytes(map);
        const qsizetype start = 28 + 10 + 9 + 9 + 1000;
        QCOMPARE(bytes.size(), start + 4 * qsizetype(width) * height);
        for (qint32 y = 0; y < height; ++y)
            for (qint32 x = 0; x < width; ++x)
                if (Int32At(bytes, start + 4 * (qsizetype(y) * width + x)) != ((x << 12) ^ y))
                    QFAIL(qPrintable(QStringLiteral("cell %1,%2 misplaced").arg(x).arg(y)));
        // The file holds no tile size, scroll position or view: those stay as they were.
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("big.map"), bytes));
        TileMap loaded(48);
        FillKnown(loaded);
        MapFile::Read(loaded, dir.filePath("big.map"));
        QVERIFY(StateOf(loaded) == StateOf(map));
    }

    // The reader refuses the sizes New refuses, in the same words: one statement of the rules.
    void sizesRefusedAsNewRefusesThem() {
        QTemporaryDir dir;
        const QString path = dir.filePath("size.map");
        const std::pair<qint32, qint32> sizes[] = {
            {-1, 0}, {0, -1}, {1 << 15, 1 << 14}, {INT_MAX, INT_MAX}};
        for (const auto& [width, height] : sizes) {
            TileMap map(48);
            const QString rule = MessageOf<ESizeError>([&] { map.New(width, height, 48); });
            QVERIFY(WriteFile(path, NoTexts + Int32s({width, height, width})));
            const QString read = MessageOf([&] { MapFile::Read(map, path); });
            QVERIFY2(rule.endsWith('.') && read.contains(rule.chopped(1)), qPrintable(read));
        }
    }

    // Each refusal names the file, allocates nothing the file's size cannot justify, and leaves
    // the map as it was.
    void refusedFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray file = Text("testing!!!") + Text("\xE0") + Text("p.pac") +
                                Int32s({0, 3, 2, 3, 0, 0, 0, 0, 0, -1});
        for (qsizetype length = 0; length < file.size(); ++length)
            QTest::addRow("cut at %d", int(length)) << file.left(length);
        QTest::newRow("negative width, no rows") << NoTexts + Int32s({-1, 0, -1});
        QTest::newRow("negative height, no columns") << NoTexts + Int32s({0, -1, 0});
        QTest::newRow("over 2^28 cells") << NoTexts + Int32s({1 << 15, 1 << 14, 1 << 15});
        QTest::newRow("largest size") << NoTexts + Int32s({INT_MAX, INT_MAX, INT_MAX, 0, 0});
        QTest::newRow("largest text length") << Int32s({0, INT_MAX}) + QByteArray(100, 't');
        QTest::newRow("bytes behind the last cell") << NoTexts + Int32s({1, 1, 1, 0}) + "x";
        // Refused from its header, before its cells are read.
        QTest::newRow("4 MiB of cells less a byte")
            << NoTexts + Int32s({1024, 1024, 1024}) + QByteArray(4 * 1024 * 1024 - 1, 0);
        QTest::newRow("pack name over 4096 bytes")
            << Text({}) + Text({}) + Text(QByteArray(4097, 'p')) + Text({}) + Int32s({1, 1, 1, 0});
        QTest::newRow("missing file") << QByteArray("<none>");
    }
    void refusedFiles() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath("bad.map");
        QVERIFY(bytes == "<none>" || WriteFile(path, bytes));
        TileMap map(48);
        FillKnown(map);
        const QByteArray before = StateOf(map);
        AllocationProbe::Probe probe;
        const QString message = MessageOf([&] { MapFile::Read(map, path); });
        QVERIFY2(probe.Largest() < (1 << 20), qPrintable(QString::number(probe.Largest())));
        QVERIFY2(message.contains(Shown(path)), qPrintable(message));
        QVERIFY(StateOf(map) == before);
        if (bytes != "<none>") { // the same refusal from bytes, naming the file they came from
            QCOMPARE(MessageOf([&] { MapFile::ReadBytes(map, bytes, path); }), message);
            QVERIFY(StateOf(map) == before);
        }
    }
};

QTEST_GUILESS_MAIN(tst_mapformat)
#include "tst_mapformat.moc"
