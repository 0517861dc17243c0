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
const QByteArray Water("\xE2\xEE\xE4\xE0"); // "вода" in Windows-1251

// A tile with the integers seed .. seed + 6.
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

// One desktop record with the integers 0 .. 6.
QByteArray Record(const QByteArray& name, const QByteArray& image) {
    return Int32s({0}) + Text(name) + Int32s({1, 2, 3, 4, 5, 6}) + Text(image);
}

// What a failed load must leave alone: the tile objects themselves and all the file holds.
struct PackState {
    std::vector<const tTile*> Tiles;
    QByteArray Bytes;
    bool operator==(const PackState&) const = default;
};
PackState StateOf(const tTilePack& pack) {
    PackState state{{}, pack.SaveToBytes(true, QString())};
    for (const TileRef& tile : pack.Tiles)
        state.Tiles.push_back(tile.get());
    return state;
}

// A pack as the editor may hold it before a load: a pictured tile and a bare one.
void FillKnown(tTilePack& pack) {
    pack.Add(MakeTile(pack, "old", 100, SolidBmp(3, 3, qRgb(1, 2, 3))));
    pack.Add(MakeTile(pack, "", -7));
}

QByteArray Png() {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(3, 3, QImage::Format_RGB32).save(&buffer, "PNG");
    return png;
}
} // namespace

class tst_packformat : public QObject {
    Q_OBJECT

private slots:
    void tileOperations() {
        tTilePack pack;
        QCOMPARE(pack.RecentTileRef, nullptr);
        TileRef first = pack.NewTile();
        QCOMPARE(first->Param1 | first->Param2 | first->Param4, 0);
        QCOMPARE(first->Param3, (std::array<qint32, 4>{}));
        QVERIFY(first->Name.isEmpty() && first->Bitmap && first->Bitmap->Empty());
        TileRef second = pack.NewTile();
        QCOMPARE(pack.Count(), 0);
        QCOMPARE(pack.RecentTileRef, second.get());

        pack.Add(std::move(first));
        pack.Add(std::move(second));
        pack.Add(MakeTile(pack, "c", 3));
        const PackState before = StateOf(pack);
        for (qint32 index : {-1, 3, INT_MIN}) {
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

        tTile* recent = pack.RecentTileRef;
        pack.Clear();
        pack.Clear();
        QCOMPARE(pack.Count(), 0);
        QCOMPARE(pack.RecentTileRef, recent);
    }

    void exampleBytes() {
        QTemporaryDir dir;
        const QString path = dir.filePath("ab.pac");
        tTilePack pack;
        pack.Add(pack.NewTile());
        pack.Tile(0).Name = "ab";
        pack.SaveToFile(path, true, QString());
        const QByteArray expected = QByteArray::fromHex(
            "01000000 00000000 02000000 6162 00000000 00000000000000000000000000000000 "
            "00000000 00000000");
        QCOMPARE(expected.size(), 42);
        QCOMPARE(ReadFile(path), expected);

        tTilePack loaded;
        FillKnown(loaded);
        loaded.LoadFromFile(path);
        QCOMPARE(loaded.SaveToBytes(true, QString()), expected);
        QVERIFY(loaded.Tile(0).Bitmap->Empty());
    }

    void lengthsOfZeroOrLess() {
        QTemporaryDir dir;
        tTilePack empty;
        empty.SaveToFile(dir.filePath("desktop.pac"), true, QString());
        empty.SaveToFile(dir.filePath("mobile.pac"), false, dir.path() + "/");
        QCOMPARE(ReadFile(dir.filePath("desktop.pac")), QByteArray(4, '\0'));
        QCOMPARE(ReadFile(dir.filePath("mobile.pac")), QByteArray(4, '\0'));

        // A count of 0 or less holds no tiles: the pack is then empty, not kept.
        const QString path = dir.filePath("count.pac");
        for (qint32 count : {0, -1, INT_MIN}) {
            QVERIFY(WriteFile(path, Int32s({count})));
            tTilePack pack;
            FillKnown(pack);
            pack.LoadFromFile(path);
            QCOMPARE(pack.Count(), 0);
        }
        // Name and image lengths of 0 or less give an empty name and an empty image.
        QVERIFY(WriteFile(path, Int32s({1, 7, -5, 1, 2, 3, 4, 5, 6, -1})));
        tTilePack pack;
        FillKnown(pack);
        pack.LoadFromFile(path);
        QCOMPARE(pack.Count(), 1);
        QVERIFY(pack.Tile(0).Name.isEmpty() && pack.Tile(0).Bitmap->Empty());
        QCOMPARE(pack.Tile(0).Param4, 6);
    }

    void recordLayout_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("bmp");
        const QByteArray bmp = SolidBmp(5, 4, qRgb(9, 99, 199));
        QTest::newRow("empty name, no image") << QByteArray() << QByteArray();
        QTest::newRow("two letters") << QByteArray("ab") << bmp;
        QTest::newRow("Windows-1251 name") << Water + "\xA8\xB8\xFF\x80" << bmp;
        QTest::newRow("long name") << QByteArray(5000, 'n') << bmp;
    }
    void recordLayout() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, bmp);
        QTemporaryDir dir;
        const QString path = dir.filePath("one.pac");
        tTilePack pack;
        pack.Add(MakeTile(pack, name, -1000, bmp));
        pack.Tile(0).Param4 = INT_MAX;
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
            QCOMPARE(Int32At(record, n + 12 + 4 * i), -998 + i); // Param3[1..4]
        QCOMPARE(Int32At(record, n + 28), INT_MAX);              // Param4
        QCOMPARE(Int32At(record, n + 32), qint32(bmp.size()));
        QVERIFY(record.mid(n + 36) == bmp);

        tTilePack loaded;
        FillKnown(loaded);
        loaded.LoadFromFile(path);
        QCOMPARE(loaded.SaveToBytes(true, QString()), file);
    }

    void mobileVariant() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("png"));
        const QString pngDir = dir.filePath("png") + "/";
        QImage picture(7, 5, QImage::Format_ARGB32);
        picture.fill(qRgba(10, 200, 30, 77));
        QVERIFY(picture.save(pngDir + "grass.png"));
        QVERIFY(picture.scaled(40, 40).save(pngDir + QStringLiteral("вода.png")));
        // Without a trailing separator the prefix is glued to the name.
        QVERIFY(QFile::copy(pngDir + "grass.png", dir.filePath("pngxgrass.png")));

        tTilePack pack;
        pack.Add(MakeTile(pack, "grass", 10, SolidBmp(2, 2, qRgb(0, 0, 0))));
        pack.Add(MakeTile(pack, Water, -20));
        const PackState before = StateOf(pack);
        pack.SaveToFile(dir.filePath("mobile.pac"), false, pngDir);
        QVERIFY(StateOf(pack) == before);

        QByteArray expected = Int32s({2});
        for (const auto& [seed, png] : {std::pair{10, pngDir + "grass.png"},
                                        std::pair{-20, pngDir + QStringLiteral("вода.png")}}) {
            const QByteArray bytes = ReadFile(png);
            QVERIFY(bytes.startsWith("\x89PNG"));
            expected += Int32s({seed, seed + 1, seed + 2, seed + 3, seed + 4, seed + 5, seed + 6,
                                qint32(bytes.size())}) +
                        bytes;
        }
        QCOMPARE(ReadFile(dir.filePath("mobile.pac")), expected);

        pack.Delete(1);
        pack.SaveToFile(dir.filePath("glued.pac"), false, dir.filePath("pngx"));
        QCOMPARE(ReadFile(dir.filePath("glued.pac")).mid(36), ReadFile(pngDir + "grass.png"));
    }

    void writeFailures() {
        QTemporaryDir dir;
        const QString target = dir.filePath("mobile.pac");
        QVERIFY(WriteFile(target, "old pack"));
        QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(dir.filePath("first.png")));
        tTilePack pack;
        pack.Add(MakeTile(pack, "first", 1));
        pack.Add(MakeTile(pack, "second", 2));

        // A missing PNG stops the writer before the file is touched.
        const QString message =
            MessageOf<EFOpenError>([&] { pack.SaveToFile(target, false, dir.path() + "/"); });
        const QString prefix =
            QStringLiteral("Cannot open file \"%1\". ").arg(Shown(dir.filePath("second.png")));
        QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
        QCOMPARE(ReadFile(target), QByteArray("old pack"));

        const QString nowhere = dir.filePath("no/such.pac");
        QVERIFY(MessageOf<EFCreateError>([&] {
                    pack.SaveToFile(nowhere, true, QString());
                }).startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(Shown(nowhere))));
    }

    void roundTripOfRealBitmaps() {
        QTemporaryDir dir;
        const QString path = dir.filePath("real.pac");
        tTilePack pack;
        qsizetype size = 4;
        for (const QString kind : {"rgb24", "pal8", "pal4rle", "pal1", "pal8topdown", "rgb16",
                                   "rgb32bf", "pal8os2", "pal8v5", "pal8rle", "pal8nonsquare"}) {
            const QByteArray bmp = ReadFile(QFINDTESTDATA("data/bmp/good/" + kind + ".bmp"));
            QVERIFY(bmp.startsWith("BM"));
            pack.Add(MakeTile(pack, kind.toLatin1(), pack.Count(), bmp));
            size += 36 + kind.size() + bmp.size();
        }
        pack.Add(MakeTile(pack, Water, -5)); // and one tile without a picture
        size += 36 + Water.size();
        pack.SaveToFile(path, true, QString());
        const QByteArray file = ReadFile(path);
        QCOMPARE(file.size(), size);

        tTilePack loaded;
        FillKnown(loaded);
        loaded.LoadFromFile(path);
        QCOMPARE(loaded.SaveToBytes(true, QString()), file);
        for (qint32 i = 0; i < pack.Count(); ++i)
            QCOMPARE(loaded.Tile(i).Bitmap->Picture(), pack.Tile(i).Bitmap->Picture());
    }

    void truncatedAtEveryOffset() {
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
            QVERIFY2(message.contains(Shown(path)), qPrintable(QString::number(length) + message));
            QVERIFY2(StateOf(pack) == before, qPrintable(QString::number(length)));
        }
    }

    void refusedFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray bmp = SolidBmp(2, 2, qRgb(5, 5, 5));
        const QByteArray good = Record("good", bmp);
        const QByteArray noImage = Int32s({1}) + Record("a", QByteArray()).chopped(4);
        const QByteArray png = Png();

        QTest::newRow("billion tiles in 20 bytes") << Int32s({1000000000}) + QByteArray(16, 0);
        QTest::newRow("largest count, nothing else") << Int32s({INT_MAX});
        QTest::newRow("count one short") << Int32s({2}) + good;
        QTest::newRow("name past the end") << Int32s({1, 0, 1000}) + QByteArray(40, 'x');
        QTest::newRow("largest name length") << Int32s({1, 0, INT_MAX}) + QByteArray(40, 'x');
        QTest::newRow("image past the end") << noImage + Int32s({5000}) + bmp;
        QTest::newRow("largest image length") << noImage + Int32s({INT_MAX}) + bmp;
        QTest::newRow("image not a BMP") << Int32s({1}) + Record("a", png);
        QTest::newRow("image under a BMP header") << Int32s({1}) + Record("a", "BM1234");
        QTest::newRow("image claims a huge picture")
            << Int32s({1}) + Record("big", ReadFile(QFINDTESTDATA("data/bmp/bad/reallybig.bmp")));
        QTest::newRow("second image bad")
            << Int32s({2}) + good + Record("b", "BM" + QByteArray(20, 0x7f));
        QTest::newRow("mobile pack") << Int32s({1, 1, 0, 3, 4, 5, 6, 7, qint32(png.size())}) + png;
        // Nothing the writer makes goes on behind its last record.
        QTest::newRow("bytes behind the last record") << Int32s({1}) + good + "x";
        QTest::newRow("negative count, then records") << Int32s({-1}) + good;
    }
    void refusedFiles() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath("bad.pac");
        QVERIFY(WriteFile(path, bytes));
        tTilePack pack;
        FillKnown(pack);
        const PackState before = StateOf(pack);

        AllocationProbe::Probe probe;
        const QString message = MessageOf<EFormatError>([&] { pack.LoadFromFile(path); });
        const std::size_t largest = probe.Largest();
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
};

QTEST_GUILESS_MAIN(tst_packformat)
#include "tst_packformat.moc"
