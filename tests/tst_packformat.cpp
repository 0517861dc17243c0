// The tile pack and its file: list operations, both record variants byte for byte, round trips
// of real bitmaps, and the refusal of damaged and hostile files.

#include "AllocationProbe.h"
#include "TestSupport.h"
#include "formats/Int32Field.h"
#include "formats/PackFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {
const QByteArray Water("\xE2\xEE\xE4\xE0"); // "вода" in Windows-1251

// A tile with the integers seed .. seed + 6.
TileRef MakeTile(const QByteArray& name, qint32 seed, const QByteArray& bmp = {}) {
    TileRef tile = std::make_unique<Tile>();
    tile->Name = name;
    tile->Param1 = seed;
    tile->Param2 = seed + 1;
    tile->Param3 = {seed + 2, seed + 3, seed + 4, seed + 5};
    tile->Param4 = seed + 6;
    tile->Image->LoadFromBytes(bmp);
    return tile;
}

// The desktop record of a tile made by MakeTile.
QByteArray Record(const QByteArray& name, qint32 seed, const QByteArray& image) {
    return Int32s({seed}) + Text(name) +
           Int32s({seed + 1, seed + 2, seed + 3, seed + 4, seed + 5, seed + 6}) + Text(image);
}

// The tile objects and all the file holds: what a failed load must leave alone.
std::pair<std::vector<const Tile*>, QByteArray> StateOf(const TilePack& pack) {
    std::pair<std::vector<const Tile*>, QByteArray> state{{}, PackFile::Bytes(pack)};
    for (const TileRef& tile : pack.Tiles)
        state.first.push_back(tile.get());
    return state;
}

// A pack as the editor may hold it before a load: a pictured tile and a bare one.
void FillKnown(TilePack& pack) {
    pack.Add(MakeTile("old", 100, SolidBmp(3, 3, qRgb(1, 2, 3))));
    pack.Add(MakeTile("", -7));
}

// What a pack writes after loading the bytes over FillKnown's tiles.
QByteArray Reloaded(const QByteArray& bytes) {
    TilePack pack;
    FillKnown(pack);
    PackFile::ReadBytes(pack, bytes, "re.pac");
    return PackFile::Bytes(pack);
}
} // namespace

class tst_packformat : public QObject {
    Q_OBJECT

private slots:
    void tileOperations() {
        TilePack pack;
        pack.Add(MakeTile("a", 1));
        pack.Add(MakeTile("b", 2));
        pack.Add(MakeTile("c", 3));
        const auto before = StateOf(pack);
        for (qint32 index : {-1, 3}) {
            const QString expected = QStringLiteral("List index out of bounds (%1)").arg(index);
            QCOMPARE(MessageOf<EListError>([&] { pack.Take(index); }), expected);
            QCOMPARE(MessageOf<EListError>([&] { pack.At(index); }), expected);
            QVERIFY(StateOf(pack) == before);
        }
        // Taken out and put back, a tile is the same object in the same place (undo of Delete
        // Tile relies on it; its bytes after undo the random test in tst_document checks).
        TileRef out = pack.Take(1);
        QCOMPARE(&pack.At(1), before.first[2]);
        pack.Insert(1, std::move(out));
        QVERIFY(StateOf(pack) == before);
        // Outside 0..Count() the tile stays with the caller.
        TileRef spare = MakeTile("d", 4);
        for (qint32 index : {-1, 4}) {
            QCOMPARE(MessageOf<EListError>([&] { pack.Insert(index, std::move(spare)); }),
                     QStringLiteral("List index out of bounds (%1)").arg(index));
            QVERIFY(spare && StateOf(pack) == before);
        }
        pack.Insert(3, std::move(spare));
        QCOMPARE(pack.At(3).Name, QByteArray("d"));
    }

    // Lengths of 0 or less mean that nothing follows. The 42-byte example, then real
    // BMPs of several kinds and a tile without a picture, names of no bytes, of bytes above 127
    // and of many bytes: every field at its offset, and the files read back.
    void desktopRecords() {
        TilePack pack;
        QCOMPARE(PackFile::Bytes(pack), QByteArray(4, '\0'));
        QCOMPARE(MobilePackFile::Bytes(pack, {}), QByteArray(4, '\0'));
        QCOMPARE(Reloaded(Int32s({0})), QByteArray(4, '\0'));
        QCOMPARE(Reloaded(Int32s({1, 7, -5, 1, 2, 3, 4, 5, 6, -1})),
                 Int32s({1, 7, 0, 1, 2, 3, 4, 5, 6, 0}));
        pack.Add(std::make_unique<Tile>());
        pack.At(0).Name = "ab";
        const QByteArray example = QByteArray::fromHex(
            "01000000 00000000 02000000 6162 00000000 00000000000000000000000000000000 "
            "00000000 00000000");
        QCOMPARE(example.size(), 42);
        QCOMPARE(PackFile::Bytes(pack), example);
        QCOMPARE(Reloaded(example), example);
        pack.Tiles.clear();
        const QByteArray names[] = {"", Water + "\xA8\xB8\xFF\x80", QByteArray(4096, 'n')};
        for (const QString kind : {"rgb24", "pal8", "pal4rle", "pal1", "pal8topdown", "rgb16",
                                   "rgb32bf", "pal8os2", "pal8v5", "pal8nonsquare", ""}) {
            const QByteArray bmp = kind.isEmpty()
                                       ? QByteArray()
                                       : ReadFile(QFINDTESTDATA("data/bmp/good/" + kind + ".bmp"));
            pack.Add(MakeTile(pack.Count() < 3 ? names[pack.Count()] : kind.toLatin1(),
                              -1000 * pack.Count(), bmp));
        }
        QTemporaryDir dir;
        PackFile::Write(pack, dir.filePath("real.pac"));
        QByteArray expected = Int32s({pack.Count()});
        for (const TileRef& tile : pack.Tiles)
            expected += Record(tile->Name, tile->Param1, tile->Image->FileBytes());
        const QByteArray file = ReadFile(dir.filePath("real.pac"));
        QVERIFY(file == expected);
        QVERIFY(Reloaded(file) == file);
    }

    void mobileVariant() {
        QTemporaryDir dir;
        const QString pngs = dir.filePath("png/");
        QImage picture(7, 5, QImage::Format_ARGB32);
        picture.fill(qRgba(10, 200, 30, 77));
        QVERIFY(QDir(dir.path()).mkdir("png") && picture.save(pngs + "grass.png") &&
                picture.scaled(9, 9).save(pngs + QStringLiteral("вода.png")) &&
                picture.save(dir.filePath("pngxgrass.png")));
        TilePack pack;
        pack.Add(MakeTile("grass", 10, SolidBmp(2, 2, 0)));
        pack.Add(MakeTile(Water, -20));
        pack.Add(MakeTile("stone", 30));
        const QByteArray grass = MobilePackFile::ReadPng(pack.At(0), pngs);
        const QByteArray water = MobilePackFile::ReadPng(pack.At(1), pngs);
        QVERIFY(grass.startsWith("\x89PNG") && water.startsWith("\x89PNG") && grass != water);
        QCOMPARE(grass, ReadFile(pngs + "grass.png"));
        // A missing PNG is named.
        const QString message =
            MessageOf<EFOpenError>([&] { MobilePackFile::ReadPng(pack.At(2), pngs); });
        const QString prefix =
            QStringLiteral("Cannot open file \"%1\". ").arg(Shown(pngs + "stone.png"));
        QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
        // The records: no names, the PNG files' bytes as images.
        pack.Take(2);
        QCOMPARE(MobilePackFile::Bytes(pack, {grass, water}),
                 Int32s({2, 10, 11, 12, 13, 14, 15, 16, qint32(grass.size())}) + grass +
                     Int32s({-20, -19, -18, -17, -16, -15, -14, qint32(water.size())}) + water);
        QCOMPARE(MobilePackFile::Bytes(pack, {"", "w"}),
                 Int32s({2, 10, 11, 12, 13, 14, 15, 16, 0, -20, -19, -18, -17, -16, -15, -14, 1}) +
                     "w");
        // The prefix is used as it is: without a trailing separator it is glued to the name.
        QCOMPARE(MobilePackFile::ReadPng(pack.At(0), dir.filePath("pngx")), grass);
        // A name that is no file name in the directory is refused, even where a file answers
        // to it; the empty name's PNG is the file ".png".
        QVERIFY(WriteFile(pngs + ".png", "empty name"));
        pack.At(0).Name = "";
        QCOMPARE(MobilePackFile::ReadPng(pack.At(0), pngs), QByteArray("empty name"));
        for (const QByteArray name : {"../pngxgrass", "..", "a/b", "a\\b"}) {
            pack.At(0).Name = name;
            const QString refused =
                MessageOf<EFOpenError>([&] { MobilePackFile::ReadPng(pack.At(0), pngs); });
            QVERIFY2(refused.contains("is not a file name"), qPrintable(refused));
        }
    }

    // Every length and count the writers store must fit the formats' signed 32-bit fields.
    void lengthsFitTheFormat_data() {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<bool>("fits");
        QTest::newRow("0") << qint64(0) << true;
        QTest::newRow("2^31 - 1") << qint64(INT_MAX) << true;
        QTest::newRow("2^31") << qint64(INT_MAX) + 1 << false;
        QTest::newRow("2^40") << (qint64(1) << 40) << false;
        QTest::newRow("negative") << qint64(-1) << false;
    }
    void lengthsFitTheFormat() {
        QFETCH(qint64, value);
        QFETCH(bool, fits);
        const QString message = MessageOf<ESizeError>([&] { Int32Field(value, "image length"); });
        if (fits)
            QCOMPARE(Int32Field(value, "image length"), qint32(value));
        else
            QCOMPARE(message,
                     QStringLiteral("the image length is %1, more than the file format can store "
                                    "(2147483647)")
                         .arg(value));
    }

    // A pack large enough to be decoded on several threads loads every tile in its place, and
    // a damaged one is refused for the error that reading tile after tile meets first: a bad
    // image before a record that does not fit, the earliest of several bad images.
    void manyTiles_data() {
        QTest::addColumn<QList<int>>("badImages");
        QTest::addColumn<bool>("cut");       // the last record ends early
        QTest::addColumn<QString>("reason"); // empty: the pack loads
        QTest::newRow("sound") << QList<int>{} << false << QString();
        QTest::newRow("bad images") << QList<int>{75, 7, 30} << false
                                    << "tile 7 (\"t7\"): its image: Bitmap image is not valid";
        QTest::newRow("bad image, then cut")
            << QList<int>{98} << true << "tile 98 (\"t98\"): its image: Bitmap";
        QTest::newRow("cut") << QList<int>{} << true << "tile 99 (\"t99\"):";
        QTest::newRow("last image bad") << QList<int>{99} << false << "tile 99 (\"t99\"): its";
    }
    void manyTiles() {
        QFETCH(QList<int>, badImages);
        QFETCH(bool, cut);
        QFETCH(QString, reason);
        QByteArray file = Int32s({100});
        for (int i = 0; i < 100; ++i) {
            const QByteArray bmp = badImages.contains(i)
                                       ? "BM" + QByteArray(20, 0x7f)
                                       : SolidBmp(2 + i % 3, 2, qRgb(i, 255 - i, 7));
            file += Record("t" + QByteArray::number(i), i, bmp);
        }
        if (cut)
            file.chop(5);
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("many.pac"), file));
        TilePack pack;
        FillKnown(pack);
        const auto before = StateOf(pack);
        const QString message = MessageOf([&] { PackFile::Read(pack, dir.filePath("many.pac")); });
        if (!reason.isEmpty()) {
            QVERIFY2(message.contains(": " + reason), qPrintable(message));
            QVERIFY(StateOf(pack) == before);
            return;
        }
        QCOMPARE(pack.Count(), 100);
        QCOMPARE(PackFile::Bytes(pack), file);
        for (int i = 0; i < 100; ++i) {
            QCOMPARE(pack.At(i).Name, "t" + QByteArray::number(i));
            QCOMPARE(pack.At(i).Image->Picture().pixel(1, 1), qRgb(i, 255 - i, 7));
        }
    }

    // Each refusal names the file, allocates nothing the file's size cannot justify, and leaves
    // the pack as it was.
    // Every record takes at least 36 bytes, so a count the bytes cannot hold is refused as such
    // before a record is read, not as a file cut short after the records that fit.
    void countBeyondTheBytes() {
        TilePack pack;
        const QString message = MessageOf(
            [&] { PackFile::ReadBytes(pack, Int32s({10}) + QByteArray(100, 0), "t.pac"); });
        QVERIFY2(message.contains("it claims 10 tiles, but its 104 bytes hold at most 2"),
                 qPrintable(message));
        // One tile more than the bytes hold, at the edge of the bound.
        const QString edge = MessageOf(
            [&] { PackFile::ReadBytes(pack, Int32s({3}) + QByteArray(100, 0), "t.pac"); });
        QVERIFY2(edge.contains("it claims 3 tiles, but its 104 bytes hold at most 2"),
                 qPrintable(edge));
    }

    void refusedFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray bmp = SolidBmp(2, 2, qRgb(5, 5, 5));
        const QByteArray file = Int32s({3}) + Record("grass", 0, SolidBmp(3, 2, qRgb(0, 128, 0))) +
                                Record("", 0, {}) + Record(Water, 0, bmp);
        for (qsizetype length = 0; length < file.size(); ++length)
            QTest::addRow("cut at %d", int(length)) << file.left(length);
        const QByteArray png = "\x89PNG\r\n\x1a\n" + QByteArray(60, 'p');
        QTest::newRow("billion tiles in 20 bytes") << Int32s({1000000000}) + QByteArray(16, 0);
        QTest::newRow("largest name length") << Int32s({1, 0, INT_MAX}) + QByteArray(40, 'x');
        QTest::newRow("largest image length")
            << Int32s({1}) + Record("a", 0, {}).chopped(4) + Int32s({INT_MAX}) + bmp;
        QTest::newRow("name over 4096 bytes")
            << Int32s({1}) + Record(QByteArray(4097, 'n'), 0, bmp);
        QTest::newRow("image not a BMP") << Int32s({1}) + Record("a", 0, png);
        QTest::newRow("mobile pack") << Int32s({1, 1, 0, 3, 4, 5, 6, 7, qint32(png.size())}) + png;
        // The writer ends the file with its last record.
        QTest::newRow("bytes behind the last record") << Int32s({1}) + Record("good", 0, bmp) + "x";
        QTest::newRow("negative count, then records") << Int32s({-1}) + Record("good", 0, bmp);
        // A negative count is no empty pack: nothing writes one.
        QTest::newRow("negative count alone") << Int32s({-1});
        QTest::newRow("smallest count") << Int32s({INT_MIN});
        // A count checked against bytes rather than records would allocate for 100000 tiles.
        QTest::newRow("a tile a byte") << Int32s({100000}) + QByteArray(100000, 0);
        QTest::newRow("missing file") << QByteArray("<none>");
    }
    void refusedFiles() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath("bad.pac");
        QVERIFY(bytes == "<none>" || WriteFile(path, bytes));
        TilePack pack;
        FillKnown(pack);
        const auto before = StateOf(pack);
        AllocationProbe::Probe probe;
        const QString message = MessageOf([&] { PackFile::Read(pack, path); });
        QVERIFY2(probe.Largest() < (1 << 20), qPrintable(QString::number(probe.Largest())));
        QVERIFY2(message.contains(Shown(path)), qPrintable(message));
        QVERIFY(StateOf(pack) == before);
        if (bytes != "<none>") { // the same refusal from bytes, naming the file they came from
            const QString fromBytes = MessageOf([&] { PackFile::ReadBytes(pack, bytes, path); });
            QCOMPARE(fromBytes, message);
            QVERIFY(StateOf(pack) == before);
        }
    }
};

QTEST_GUILESS_MAIN(tst_packformat)
#include "tst_packformat.moc"
