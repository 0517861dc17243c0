// Inputs that fuzzing of the readers turned up, kept so the faults they showed stay fixed.

#include "TestSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/MemoryStream.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <cstring>

namespace {
QByteArray Data(const QString& name) {
    return TestSupport::ReadFile(QFINDTESTDATA("data/fuzz/" + name));
}

// Leaves freed blocks full of a pattern where the next image of this size will be allocated,
// so pixels that nobody writes show the pattern instead of happening to be zero.
void DirtyHeap(qsizetype bytes, unsigned char pattern) {
    void* blocks[8];
    for (void*& block : blocks) {
        block = std::malloc(std::size_t(bytes));
        std::memset(block, pattern, std::size_t(bytes));
    }
    for (void* block : blocks)
        std::free(block);
}

QImage LoadAfterDirt(const QByteArray& bmp, unsigned char pattern) {
    DirtyHeap(127 * 64, pattern);
    DirtyHeap(128 * 64, pattern);
    DirtyHeap(127 * 64 * 4, pattern);
    Bitmap bitmap;
    bitmap.LoadFromBytes(bmp);
    return bitmap.Picture();
}
} // namespace

class tst_fuzzregress : public QObject {
    Q_OBJECT

private slots:
    // Qt reports a top-down BMP's height as negative; such files were refused as invalid.
    void topDownBitmapLoads() {
        Bitmap bottomUp, topDown;
        bottomUp.LoadFromBytes(Data("pal8.bmp"));
        topDown.LoadFromBytes(Data("pal8topdown.bmp"));
        QCOMPARE(topDown.Picture().size(), QSize(127, 64));
        QCOMPARE(topDown.Picture(), bottomUp.Picture());
    }

    void unsetPixelsTakeColourZero_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("RLE8 that ends early") << "badrle.bmp";
        QTest::newRow("RLE8 found by fuzzing") << "rle-unset-pixels.bmp";
        QTest::newRow("1-bit file cut short") << "shortfile.bmp";
    }
    // Qt's decoder writes no pixel that a short or RLE-skipping file does not set; they held
    // whatever memory was there, so each load showed different garbage.
    void unsetPixelsTakeColourZero() {
        QFETCH(QString, file);
        const QByteArray bmp = Data(file);
        const QImage first = LoadAfterDirt(bmp, 0x5a);
        QCOMPARE(first.size(), QSize(127, 64));
        QCOMPARE(LoadAfterDirt(bmp, 0xa5), first);
        // The top-left pixel is one the file never sets; the palette follows the 40-byte
        // header, blue first.
        const auto palette = reinterpret_cast<const uchar*>(bmp.constData()) + 14 + 40;
        QCOMPARE(first.pixel(0, 0), qRgb(palette[2], palette[1], palette[0]));
    }

    // The fuzzer met the fault as a pack that saved and loaded back to different pixels.
    void packWithUnsetPixelsRoundTrips() {
        TilePack pack;
        pack.Add(std::make_unique<Tile>());
        pack.At(0).Image->LoadFromBytes(Data("rle-unset-pixels.bmp"));
        DirtyHeap(128 * 64, 0x33);
        MemoryStream stream(PackFile::Bytes(pack));
        const std::vector<TileRef> again = PackFile::ReadTiles(stream);
        QCOMPARE(again.size(), std::size_t(1));
        QCOMPARE(again[0]->Image->FileBytes(), pack.At(0).Image->FileBytes());
        QCOMPARE(again[0]->Image->Picture(), pack.At(0).Image->Picture());
    }

    void mapWithoutCellsButHugeSide_data() {
        using TestSupport::Int32s;
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("saved");
        // Found by the fuzzer: a negative text length, no columns and 2^31 - 2^24 rows.
        QTest::newRow("no columns, found")
            << Data("map-no-columns-tall.map")
            << Int32s({10}) + QByteArray("t.\0ting!!!", 10) + Int32s({0, 8}) + "none.pac" +
                   Int32s({0, 0, 2130706432, 0});
        const QByteArray wide = Int32s({0, 0, 0, 0, 2147483647, 0, 2147483647});
        QTest::newRow("no rows") << wide << wide;
    }
    // A map with no cells may be as wide or as tall as an int allows. Loading and saving one
    // walked all its empty rows, seconds of work for nothing; it must still load and save back
    // whole (the saved bytes hold the size).
    void mapWithoutCellsButHugeSide() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        QTemporaryDir dir;
        QVERIFY(TestSupport::WriteFile(dir.filePath("map.map"), file));
        TileMap map(48);
        MapFile::Read(map, dir.filePath("map.map"));
        QVERIFY(map.Cells.empty() || map.Cells.Rows() == 0);
        QCOMPARE(MapFile::Bytes(map), saved);
    }
};

QTEST_GUILESS_MAIN(tst_fuzzregress)
#include "tst_fuzzregress.moc"
