// The tile pack and its file: the list operations, both record variants byte for byte, round
// trips of real bitmaps, and the reader's refusal of damaged and hostile files.

#include "AllocationProbe.h"
#include "TestSupport.h"
#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/TBitmap.h"
#include "platform/TMemoryStream.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {
// "вода" in Windows-1251.
const QByteArray Water("\xE2\xEE\xE4\xE0");

TileRef MakeTile(tTilePack& pack, const QByteArray& name, qint32 seed, const QByteArray& bmp = {}) {
    TileRef tile = pack.NewTile();
    tile->Name = name;
    tile->Param1 = seed;
    tile->Param2 = seed + 1;
    tile->Param3 = {seed + 2, seed + 3, seed + 4, seed + 5};
    tile->Param4 = seed + 6;
    if (!bmp.isEmpty())
        tile->Bitmap->LoadFromBytes(bmp);
    return tile;
}

// One desktop record with the integers seed .. seed + 6.
QByteArray Record(const QByteArray& name, const QByteArray& image, qint32 seed = 0) {
    return Int32s({seed}) + Text(name) +
           Int32s({seed + 1, seed + 2, seed + 3, seed + 4, seed + 5, seed + 6}) + Text(image);
}

// What a load must leave alone: the tile objects themselves and everything the file holds.
struct PackState {
    std::vector<const tTile*> Tiles;
    QByteArray Bytes;
    bool operator==(const PackState&) const = default;
};

PackState StateOf(const tTilePack& pack) {
    PackState state;
    for (const TileRef& tile : pack.Tiles)
        state.Tiles.push_back(tile.get());
    state.Bytes = pack.SaveToBytes(true, QString());
    return state;
}

// A pack as the editor may hold it before a load: a pictured tile and a bare one.
void FillKnown(tTilePack& pack) {
    pack.Add(MakeTile(pack, "old", 100, SolidBmp(3, 3, qRgb(1, 2, 3))));
    pack.Add(MakeTile(pack, "", -7));
}

QByteArray Fixture(const QString& name) {
    return ReadFile(QFINDTESTDATA("data/bmp/good/" + name));
}
} // namespace

class tst_packformat : public QObject {
    Q_OBJECT

private slots:
    void tileOperations();

    void exampleBytes();
    void emptyPack();
    void recordLayout_data();
    void recordLayout();
    void mobileVariant();
    void mobileMissingPng();
    void roundTripOfRealBitmaps();

    void truncatedAtEveryOffset();
    void refusedFiles_data();
    void refusedFiles();
    void lenientLengths();
};

void tst_packformat::tileOperations() {
    tTilePack pack;
    QCOMPARE(pack.RecentTileRef, nullptr);
    TileRef first = pack.NewTile();
    QCOMPARE(first->Param1 | first->Param2 | first->Param4, 0);
    QCOMPARE(first->Param3, (std::array<qint32, 4>{}));
    QVERIFY(first->Name.isEmpty());
    QVERIFY(first->Bitmap && first->Bitmap->Empty());
    TileRef second = pack.NewTile();
    QCOMPARE(pack.Count(), 0);
    QCOMPARE(pack.RecentTileRef, second.get());

    pack.Add(std::move(first));
    pack.Add(std::move(second));
    pack.Add(MakeTile(pack, "c", 3));
    pack.Tile(0).Name = "a";
    pack.Tile(1).Name = "b";
    const PackState before = StateOf(pack);
    for (qint32 index : {-1, 3, std::numeric_limits<qint32>::min()}) {
        const QString expected = QStringLiteral("List index out of bounds (%1)").arg(index);
        QCOMPARE(MessageOf<EListError>([&] { pack.Delete(index); }), expected);
        QCOMPARE(MessageOf<EListError>([&] { pack.Tile(index); }), expected);
        QVERIFY(StateOf(pack) == before);
    }

    // Later tiles move down, and they are the same tiles.
    pack.Delete(0);
    QCOMPARE(pack.Count(), 2);
    QCOMPARE(&pack.Tile(0), before.Tiles[1]);
    QCOMPARE(&pack.Tile(1), before.Tiles[2]);
    QCOMPARE(pack.Tile(1).Name, QByteArray("c"));

    tTile* recent = pack.RecentTileRef;
    pack.Clear();
    QCOMPARE(pack.Count(), 0);
    QCOMPARE(pack.RecentTileRef, recent);
    pack.Clear();
    QCOMPARE(pack.Count(), 0);
}

void tst_packformat::exampleBytes() {
    QTemporaryDir dir;
    const QString path = dir.filePath("ab.pac");
    tTilePack pack;
    pack.Add(pack.NewTile());
    pack.Tile(0).Name = "ab";
    pack.SaveToFile(path, true, QString());
    const QByteArray expected = QByteArray::fromHex("01000000"
                                                    "00000000"
                                                    "02000000"
                                                    "6162"
                                                    "00000000"
                                                    "00000000000000000000000000000000"
                                                    "00000000"
                                                    "00000000");
    QCOMPARE(expected.size(), 42);
    QCOMPARE(ReadFile(path), expected);

    tTilePack loaded;
    FillKnown(loaded);
    loaded.LoadFromFile(path);
    QCOMPARE(loaded.Count(), 1);
    QCOMPARE(loaded.Tile(0).Name, QByteArray("ab"));
    QVERIFY(loaded.Tile(0).Bitmap->Empty());
    QCOMPARE(loaded.SaveToBytes(true, QString()), expected);
}

void tst_packformat::emptyPack() {
    QTemporaryDir dir;
    tTilePack empty;
    empty.SaveToFile(dir.filePath("desktop.pac"), true, QString());
    empty.SaveToFile(dir.filePath("mobile.pac"), false, dir.path() + "/");
    QCOMPARE(ReadFile(dir.filePath("desktop.pac")), QByteArray(4, '\0'));
    QCOMPARE(ReadFile(dir.filePath("mobile.pac")), QByteArray(4, '\0'));

    // A count of 0 or less holds no tiles; the pack is then empty, not kept.
    for (qint32 count : {0, -1, std::numeric_limits<qint32>::min()}) {
        QVERIFY(WriteFile(dir.filePath("count.pac"), Int32s({count})));
        tTilePack pack;
        FillKnown(pack);
        pack.LoadFromFile(dir.filePath("count.pac"));
        QCOMPARE(pack.Count(), 0);
    }
}

void tst_packformat::recordLayout_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("bmp");

    const QByteArray bmp = SolidBmp(5, 4, qRgb(9, 99, 199));
    QTest::newRow("empty name, no image") << QByteArray() << QByteArray();
    QTest::newRow("two letters, image") << QByteArray("ab") << bmp;
    QTest::newRow("Windows-1251 name") << Water + "\xA8\xB8\xFF\x80" << bmp;
    QTest::newRow("long name") << QByteArray(5000, 'n') << bmp;
}

void tst_packformat::recordLayout() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, bmp);

    QTemporaryDir dir;
    const QString path = dir.filePath("one.pac");
    tTilePack pack;
    pack.Add(MakeTile(pack, name, -1000, bmp));
    pack.Tile(0).Param4 = std::numeric_limits<qint32>::max();
    const PackState before = StateOf(pack);
    pack.SaveToFile(path, true, QString());
    QVERIFY(StateOf(pack) == before);

    const QByteArray file = ReadFile(path);
    const qsizetype n = name.size();
    QCOMPARE(file.size(), 4 + 36 + n + bmp.size());
    QCOMPARE(Int32At(file, 0), 1);
    const QByteArray record = file.mid(4);
    QCOMPARE(Int32At(record, 0), -1000);     // Param1
    QCOMPARE(Int32At(record, 4), qint32(n)); // NameLength
    QCOMPARE(record.mid(8, n), name);
    QCOMPARE(Int32At(record, n + 8), -999); // Param2
    for (int i = 0; i < 4; ++i)
        QCOMPARE(Int32At(record, n + 12 + 4 * i), -998 + i);               // Param3[1..4]
    QCOMPARE(Int32At(record, n + 28), std::numeric_limits<qint32>::max()); // Param4
    QCOMPARE(Int32At(record, n + 32), qint32(bmp.size()));
    QVERIFY(record.mid(n + 36) == bmp);

    tTilePack loaded;
    FillKnown(loaded);
    loaded.LoadFromFile(path);
    QCOMPARE(loaded.SaveToBytes(true, QString()), file);
    QCOMPARE(loaded.Tile(0).Bitmap->Empty(), bmp.isEmpty());
}

void tst_packformat::mobileVariant() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("png"));
    const QString pngDir = dir.filePath("png") + "/";
    QImage picture(7, 5, QImage::Format_ARGB32);
    picture.fill(qRgba(10, 200, 30, 77));
    QVERIFY(picture.save(pngDir + "grass.png", "PNG"));
    picture.fill(Qt::blue);
    QVERIFY(picture.scaled(40, 40).save(pngDir + Cp1251::ToUnicode(Water) + ".png", "PNG"));
    // Without a trailing separator the prefix is glued to the name.
    QVERIFY(QFile::copy(pngDir + "grass.png", dir.filePath("pngxgrass.png")));

    tTilePack pack;
    pack.Add(MakeTile(pack, "grass", 10, SolidBmp(2, 2, qRgb(0, 0, 0))));
    pack.Add(MakeTile(pack, Water, -20));
    const PackState before = StateOf(pack);
    pack.SaveToFile(dir.filePath("mobile.pac"), false, pngDir);
    QVERIFY(StateOf(pack) == before);

    const QByteArray file = ReadFile(dir.filePath("mobile.pac"));
    QByteArray expected = Int32s({2});
    for (const auto& [seed, png] : {std::pair{10, pngDir + "grass.png"},
                                    std::pair{-20, pngDir + QStringLiteral("вода.png")}}) {
        const QByteArray bytes = ReadFile(png);
        QVERIFY(bytes.startsWith("\x89PNG"));
        expected += Int32s({seed, seed + 1, seed + 2, seed + 3, seed + 4, seed + 5, seed + 6,
                            qint32(bytes.size())}) +
                    bytes;
    }
    QCOMPARE(file, expected);

    pack.Delete(1);
    pack.SaveToFile(dir.filePath("glued.pac"), false, dir.filePath("pngx"));
    QCOMPARE(ReadFile(dir.filePath("glued.pac")).mid(36), ReadFile(pngDir + "grass.png"));
}

void tst_packformat::mobileMissingPng() {
    QTemporaryDir dir;
    const QString target = dir.filePath("mobile.pac");
    QVERIFY(WriteFile(target, "old pack"));
    QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(dir.filePath("first.png"), "PNG"));

    tTilePack pack;
    pack.Add(MakeTile(pack, "first", 1));
    pack.Add(MakeTile(pack, "second", 2));
    const QString missing = dir.filePath("second.png");
    const QString message =
        MessageOf<EFOpenError>([&] { pack.SaveToFile(target, false, dir.path() + "/"); });
    const QString prefix = QStringLiteral("Cannot open file \"%1\". ").arg(Shown(missing));
    QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
    QCOMPARE(ReadFile(target), QByteArray("old pack"));

    // A directory that does not exist: the file cannot be created.
    const QString nowhere = dir.filePath("no/such.pac");
    QVERIFY(MessageOf<EFCreateError>([&] {
                pack.SaveToFile(nowhere, true, QString());
            }).startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(Shown(nowhere))));
}

void tst_packformat::roundTripOfRealBitmaps() {
    QTemporaryDir dir;
    const QString path = dir.filePath("real.pac");
    const QStringList kinds = {"rgb24.bmp",       "pal8.bmp",    "pal4rle.bmp",      "pal1.bmp",
                               "pal8topdown.bmp", "rgb16.bmp",   "rgb32bf.bmp",      "pal8os2.bmp",
                               "pal8v5.bmp",      "pal8rle.bmp", "pal8nonsquare.bmp"};
    tTilePack pack;
    qsizetype size = 4;
    for (int i = 0; i < kinds.size(); ++i) {
        const QByteArray bmp = Fixture(kinds[i]);
        QVERIFY(!bmp.isEmpty());
        QByteArray name = kinds[i].chopped(4).toLatin1();
        pack.Add(MakeTile(pack, name, 10 * i, bmp));
        size += 36 + name.size() + bmp.size();
        if (i == 3) { // one tile with no picture among them
            pack.Add(MakeTile(pack, Water, -5));
            size += 36 + Water.size();
        }
    }
    pack.SaveToFile(path, true, QString());
    const QByteArray file = ReadFile(path);
    QCOMPARE(file.size(), size);

    tTilePack loaded;
    FillKnown(loaded);
    loaded.LoadFromFile(path);
    QCOMPARE(loaded.Count(), pack.Count());
    for (qint32 i = 0; i < pack.Count(); ++i) {
        const tTile& a = pack.Tile(i);
        const tTile& b = loaded.Tile(i);
        QCOMPARE(b.Name, a.Name);
        QCOMPARE(b.Param1, a.Param1);
        QCOMPARE(b.Param2, a.Param2);
        QCOMPARE(b.Param3, a.Param3);
        QCOMPARE(b.Param4, a.Param4);
        QVERIFY(b.Bitmap->FileBytes() == a.Bitmap->FileBytes());
        QCOMPARE(b.Bitmap->Picture(), a.Bitmap->Picture());
    }
    QCOMPARE(loaded.SaveToBytes(true, QString()), file);
}

void tst_packformat::truncatedAtEveryOffset() {
    QTemporaryDir dir;
    tTilePack source;
    source.Add(MakeTile(source, "grass", 1, SolidBmp(3, 2, qRgb(0, 128, 0))));
    source.Add(MakeTile(source, "", 2));
    source.Add(MakeTile(source, Water, 3, SolidBmp(1, 1, qRgb(0, 0, 255))));
    const QByteArray file = source.SaveToBytes(true, QString());

    tTilePack pack;
    FillKnown(pack);
    const PackState before = StateOf(pack);
    const QString path = dir.filePath("cut.pac");
    for (qsizetype length = 0; length < file.size(); ++length) {
        QVERIFY(WriteFile(path, file.left(length)));
        const QString message = MessageOf<EFormatError>([&] { pack.LoadFromFile(path); });
        QVERIFY2(message.contains(Shown(path)),
                 qPrintable(QStringLiteral("%1 bytes: %2").arg(length).arg(message)));
        QVERIFY2(StateOf(pack) == before, qPrintable(QString::number(length)));
    }
    QVERIFY(WriteFile(path, file));
    pack.LoadFromFile(path);
    QCOMPARE(pack.SaveToBytes(true, QString()), file);
}

void tst_packformat::refusedFiles_data() {
    QTest::addColumn<QByteArray>("bytes");

    const qint32 max = std::numeric_limits<qint32>::max();
    const QByteArray bmp = SolidBmp(2, 2, qRgb(5, 5, 5));
    const QByteArray good = Record("good", bmp);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(3, 3, QImage::Format_RGB32).save(&buffer, "PNG");

    QTest::newRow("billion tiles in 20 bytes") << Int32s({1000000000}) + QByteArray(16, '\0');
    QTest::newRow("largest count, nothing else") << Int32s({max});
    QTest::newRow("count one short") << Int32s({2}) + good;
    QTest::newRow("name past the end") << Int32s({1, 0, 1000}) + QByteArray(40, 'x');
    QTest::newRow("largest name length") << Int32s({1, 0, max}) + QByteArray(40, 'x');
    QTest::newRow("image past the end")
        << Int32s({1}) + Record("a", QByteArray()).chopped(4) + Int32s({5000}) + bmp;
    QTest::newRow("largest image length")
        << Int32s({1}) + Record("a", QByteArray()).chopped(4) + Int32s({max}) + bmp;
    QTest::newRow("image not a BMP") << Int32s({1}) + Record("a", png);
    QTest::newRow("image shorter than a BMP header") << Int32s({1}) + Record("a", "BM1234");
    QTest::newRow("image claims a huge picture")
        << Int32s({1}) + Record("big", ReadFile(QFINDTESTDATA("data/bmp/bad/reallybig.bmp")));
    QTest::newRow("second of two images bad")
        << Int32s({2}) + good + Record("b", "BMxxxxxxxxxxxxxx");
    QTest::newRow("mobile pack") << Int32s({1, 1, 0, 3, 4, 5, 6, 7, qint32(png.size())}) + png;
    // Nothing the writer makes continues behind its last record.
    QTest::newRow("bytes behind the last record") << Int32s({1}) + good + "x";
    QTest::newRow("negative count, then records") << Int32s({-1}) + good;
}

void tst_packformat::refusedFiles() {
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    const QString path = dir.filePath("bad.pac");
    QVERIFY(WriteFile(path, bytes));
    tTilePack pack;
    FillKnown(pack);
    const PackState before = StateOf(pack);

    QString message;
    std::size_t largest = 0;
    {
        AllocationProbe::Probe probe;
        message = MessageOf<EFormatError>([&] { pack.LoadFromFile(path); });
        largest = probe.Largest();
    }
    QVERIFY2(message.contains(Shown(path)), qPrintable(message));
    QVERIFY(StateOf(pack) == before);
    if (AllocationProbe::Available)
        QVERIFY2(largest < (1 << 20), qPrintable(QString::number(largest)));

    // A file that cannot be opened at all leaves the pack as it was, too.
    QVERIFY(MessageOf<EFOpenError>([&] {
                pack.LoadFromFile(dir.filePath("missing.pac"));
            }).startsWith("Cannot open file"));
    QVERIFY(StateOf(pack) == before);
}

void tst_packformat::lenientLengths() {
    // Lengths of 0 or less mean that nothing follows: an empty name and an empty image.
    QTemporaryDir dir;
    const QString path = dir.filePath("lengths.pac");
    QVERIFY(WriteFile(path, Int32s({1, 7, -5, 1, 2, 3, 4, 5, 6, -1})));
    tTilePack pack;
    FillKnown(pack);
    pack.LoadFromFile(path);
    QCOMPARE(pack.Count(), 1);
    QVERIFY(pack.Tile(0).Name.isEmpty());
    QVERIFY(pack.Tile(0).Bitmap->Empty());
    QCOMPARE(pack.Tile(0).Param1, 7);
    QCOMPARE(pack.Tile(0).Param4, 6);
}

QTEST_GUILESS_MAIN(tst_packformat)
#include "tst_packformat.moc"
