// The platform under the model: byte stream and files, bitmaps, canvas, Windows-1251 texts.

#include "AllocationProbe.h"
#include "TestSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Cp1251.h"
#include "platform/MemoryStream.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <malloc.h>
#endif

using namespace TestSupport;

namespace {
#if defined(Q_OS_UNIX)
// While it lives, a reader blocked on the FIFO at path is set free after a while by a writer
// that opens and closes it, so a regression fails the test instead of hanging it.
class FifoWatchdog {
public:
    explicit FifoWatchdog(const QString& path)
        : Thread([this, name = QFile::encodeName(path)] {
              for (int i = 0; i < 100 && !Done; ++i)
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              while (!Done) {
                  if (const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK); fd >= 0)
                      ::close(fd);
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          }) {}
    ~FifoWatchdog() {
        Done = true;
        Thread.join();
    }

private:
    std::atomic<bool> Done{false};
    std::thread Thread;
};
#endif

// A BMP with a 108-byte header, 32 bits a pixel with an alpha mask, whose pixel data stops
// after its bottom row. Qt decodes such a file into an image it
// allocates itself, in another format than it announced.
QByteArray ShortArgbBmp() {
    QByteArray info =
        Int32s({108, 8, 8}) + QByteArray("\x01\x00\x20\x00", 4) +
        Int32s({0, 0, 2835, 2835, 0, 0, 0x00ff0000, 0x0000ff00, 0x000000ff, qint32(0xff000000)}) +
        "BGRs" + QByteArray(48, 0);
    return "BM" + Int32s({14 + 108 + 256, 0, 14 + 108}) + info + QByteArray(32, 0x7f);
}

// Fills and frees blocks of about the size a small image takes, so the next allocations of
// that size find this byte where the allocator leaves memory as it was.
void DirtyHeap(char byte) {
    std::vector<QByteArray> blocks;
    for (int size = 64; size <= 4096; size += 64)
        blocks.emplace_back(size, byte);
}
} // namespace

class tst_platform : public QObject {
    Q_OBJECT

private slots:
#if defined(Q_OS_LINUX)
    void initTestCase() {
        // One heap for every thread: a thread's own arena, reserved ahead, would let an
        // allocation succeed past the memory limit that outOfMemory sets.
        mallopt(M_ARENA_MAX, 1);
    }
#endif

    void streamAndFiles() {
        // A read past the end throws and leaves the position alone.
        MemoryStream stream(QByteArray(10, 'x'));
        stream.SetPosition(7);
        for (qint64 count : {4, -1})
            QCOMPARE(MessageOf<EReadError>([&] { stream.ReadBytes(count); }),
                     QString("Stream read error"));
        QCOMPARE(stream.Position(), 7);
        // Saving replaces a longer file whole; loading starts at the beginning.
        QTemporaryDir dir;
        const QString path = dir.filePath("out.bin"), missing = dir.filePath("missing/out.bin");
        QVERIFY(WriteFile(path, QByteArray(100, 'o')));
        MemoryStream(QByteArray("new")).SaveToFile(path);
        stream.LoadFromFile(path);
        QCOMPARE(stream.Bytes(), QByteArray("new"));
        QCOMPARE(stream.Position(), 0);
        // A file that cannot be opened leaves the stream as it was.
        QString message = MessageOf<EFOpenError>([&] { stream.LoadFromFile(missing); });
        QString prefix = QStringLiteral("Cannot open file \"%1\". ").arg(Shown(missing));
        QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
        QCOMPARE(stream.Bytes(), QByteArray("new"));
        // A failed save keeps the old file whole and leaves no temporary file behind. The longest
        // name an entry can have leaves no room for the temporary file beside it, so replacing
        // it fails even where permissions would not stop it.
        const QString longest = dir.filePath(QString(255, 'n'));
        QVERIFY(WriteFile(longest, "old"));
        for (const QString& target : {missing, longest}) {
            message = MessageOf<EFCreateError>([&] { stream.SaveToFile(target); });
            prefix = QStringLiteral("Cannot create file \"%1\". ").arg(Shown(target));
            QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(),
                     qPrintable(message));
        }
        QCOMPARE(ReadFile(longest), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 QStringList({QString(255, 'n'), "out.bin"}));
    }

#if defined(Q_OS_UNIX)
    // Only regular files are read: a FIFO would block the editor, a device may never end.
    // Only regular files are replaced: a save must not turn a FIFO or device into a file.
    void specialFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reader");
        for (const QString kind : {"fifo", "device", "directory"})
            for (const QString reader : {"stream", "bitmap", "map", "pack"})
                QTest::addRow("%s, %s", qPrintable(kind), qPrintable(reader)) << kind << reader;
    }
    void specialFiles() {
        QFETCH(QString, kind);
        QFETCH(QString, reader);
        QTemporaryDir dir;
        const QString path = dir.filePath("special");
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "device")
            QVERIFY(QFile::link("/dev/null", path));
        else
            QVERIFY(QDir(dir.path()).mkdir("special"));
        TileMap map(48);
        TilePack pack;
        QString message;
        {
            const FifoWatchdog watchdog(path);
            message = MessageOf([&] {
                if (reader == "stream")
                    MemoryStream().LoadFromFile(path);
                else if (reader == "bitmap")
                    Bitmap().LoadFromFile(path);
                else if (reader == "map")
                    MapFile::Read(map, path);
                else
                    PackFile::Read(pack, path);
            });
        }
        const QString prefix = QStringLiteral("Cannot open file \"%1\". It ").arg(Shown(path));
        QVERIFY2(message.startsWith(prefix), qPrintable(message));
        if (reader != "stream")
            return;
        const QString target = kind == "device" ? QString() : path;
        if (target.isEmpty())
            return; // replacing a device node is refused by the same rule, but is not tried here
        message = MessageOf<EFCreateError>([&] { MemoryStream("new").SaveToFile(target); });
        QVERIFY2(
            message.startsWith(QStringLiteral("Cannot create file \"%1\". It ").arg(Shown(target))),
            qPrintable(message));
        QFileInfo after(target);
        QVERIFY(after.exists() && !after.isFile());
        QCOMPARE(QDir(dir.path())
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                     .size(),
                 1);
    }

    // A write that fails, in the buffer's reach or beyond it, is reported with the file and the
    // system's reason, and the old file stays byte for byte.
    void failedWrites_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("limit");
        QTest::newRow("8 KiB stream") << "stream 8192" << 4096;
        QTest::newRow("200 KiB stream") << "stream 204800" << 65536;
        QTest::newRow("map") << "map" << 500;
        QTest::newRow("desktop pack") << "desktop pack" << 300;
        QTest::newRow("mobile pack") << "mobile pack" << 300;
    }
    void failedWrites() {
        QFETCH(QString, what);
        QFETCH(int, limit);
        QTemporaryDir dir;
        const QString path = dir.filePath("target");
        const QByteArray old(limit / 2, 'o');
        QVERIFY(WriteFile(path, old));
        QVERIFY(WriteFile(dir.filePath("tile.png"), QByteArray(2000, 'p')));
        TileMap map(48);
        map.New(14, 14, 48);
        TilePack pack;
        TileRef tile = std::make_unique<Tile>();
        tile->Name = "tile";
        tile->Image->LoadFromBytes(SolidBmp(16, 16, qRgb(1, 2, 3)));
        pack.Add(std::move(tile));
        QString message;
        {
            const ResourceLimit guard(RLIMIT_FSIZE, rlim_t(limit));
            message = MessageOf<EFCreateError>([&] {
                if (what.startsWith("stream"))
                    MemoryStream(QByteArray(what.mid(7).toInt(), 's')).SaveToFile(path);
                else if (what == "map")
                    MapFile::Write(map, path);
                else
                    MemoryStream(
                        what == "desktop pack"
                            ? PackFile::Bytes(pack)
                            : MobilePackFile::Bytes(pack, {ReadFile(dir.filePath("tile.png"))}))
                        .SaveToFile(path);
            });
        }
        const QString expected = QStringLiteral("Cannot create file \"%1\". %2")
                                     .arg(Shown(path), qt_error_string(EFBIG));
        QCOMPARE(message, expected);
        QCOMPARE(ReadFile(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"target", "tile.png"}));
    }
#endif

    // Memory that runs out while a pack's picture is converted for drawing refuses the load in
    // words that name the file; the pack is not half loaded, nor a tile left without its
    // picture. (One case per process: the allocator keeps what a failed run mapped.)
    void outOfMemory() {
#if !defined(Q_OS_LINUX) || defined(__SANITIZE_ADDRESS__)
        QSKIP("needs Linux's address-space limit, which AddressSanitizer's reservations defeat");
#else
        QTemporaryDir dir;
        // 2048 × 2048 at 8 bits: 4 MiB decoded, 16 MiB once converted for drawing.
        QImage indexed(2048, 2048, QImage::Format_Indexed8);
        indexed.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
        indexed.fill(1);
        QByteArray bmp;
        QBuffer buffer(&bmp);
        QVERIFY(indexed.save(&buffer, "BMP"));
        const QString path = dir.filePath("big.pac");
        QVERIFY(WriteFile(path, Int32s({1, 0, 1}) + "a" + Int32s({0, 0, 0, 0, 0, 0}) +
                                    Int32s({qint32(bmp.size())}) + bmp));
        TilePack pack;
        // Large blocks from fresh mappings, and no free memory kept: what earlier tests freed
        // would otherwise serve the load whatever the limit.
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
        malloc_trim(0);
        QFile statm("/proc/self/statm");
        QVERIFY(statm.open(QIODevice::ReadOnly));
        const rlim_t inUse =
            statm.readAll().split(' ').first().toULongLong() * sysconf(_SC_PAGESIZE);
        QString message;
        {
            const ResourceLimit guard(RLIMIT_AS, inUse + (12 << 20));
            message = MessageOf([&] { PackFile::Read(pack, path); });
        }
        QCOMPARE(
            message,
            QStringLiteral("There is not enough memory to load the file \"%1\".").arg(Shown(path)));
        QCOMPARE(pack.Count(), 0);
#endif
    }

    // Pixels a short file leaves unset are black whatever the heap held before, also where Qt
    // picks the image format itself; the same file loads to the same picture every time.
    void bitmapPixelsFromFileAlone() {
        const QByteArray bmp = ShortArgbBmp();
        QList<QImage> pictures;
        for (const char dirt : {'\xab', '\x55'}) {
            DirtyHeap(dirt);
            Bitmap bitmap;
            bitmap.LoadFromBytes(bmp);
            pictures << bitmap.Picture();
        }
        QCOMPARE(pictures[0], pictures[1]);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                QCOMPARE(pictures[0].pixel(x, y), y == 7 ? qRgb(0x7f, 0x7f, 0x7f) : qRgb(0, 0, 0));
    }

    // A bitmap loads from the middle of a stream to its end and saves back unchanged; a refused
    // one is left as it was. None allocates more than a decoded picture its size can justify:
    // 4 bytes a pixel, a few dozen pixels a byte.
    void bitmapLoad_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("outcome"); // "loads", an error, or empty for either
        const QByteArray good = SolidBmp(4, 4, qRgb(200, 0, 0));
        QByteArray huge = ReadFile(QFINDTESTDATA("data/bmp/good/pal8rle.bmp"));
        huge.replace(18, 8, Int32s({4000, 4000}));
        QTest::newRow("zero bytes") << QByteArray() << "loads";
        QTest::newRow("13 bytes of a BMP") << good.left(13) << "Stream read error";
        QTest::newRow("PNG") << "\x89PNG\r\n\x1a\n" + good << "Bitmap image is not valid";
        QTest::newRow("header only") << good.left(14) << "Bitmap image is not valid";
        QTest::newRow("4000 x 4000 in 9 KiB") << huge << "Bitmap image is not valid";
        // Plain 8-bit rows of the largest side and one more, with every byte present.
        const QByteArray header = ReadFile(QFINDTESTDATA("data/bmp/good/pal8.bmp"));
        const qint32 dataStart = Int32At(header, 10);
        for (const qint32 side : {Bitmap::MaxSide + 1}) {
            QByteArray wide = header.left(dataStart) + QByteArray(side * 2, 0);
            wide.replace(18, 8, Int32s({side, 2}));
            wide.replace(34, 4, Int32s({0}));
            QTest::addRow("%d pixels wide", side) << wide << "Bitmap image is not valid: it is";
        }
        for (const QString kind : {"good", "bad"}) {
            const QDir dir(QFINDTESTDATA("data/bmp/" + kind));
            QVERIFY(dir.count() > 15);
            for (const QString& name : dir.entryList({"*.bmp"}))
                QTest::newRow(qPrintable(name))
                    << ReadFile(dir.filePath(name)) << (kind == "good" ? "loads" : "");
        }
    }
    void bitmapLoad() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, outcome);
        MemoryStream stream("junk" + bytes);
        stream.SetPosition(4);
        const QByteArray known = SolidBmp(3, 2, qRgb(10, 20, 30));
        Bitmap bitmap;
        bitmap.LoadFromBytes(known);
        const QImage before = bitmap.Picture().copy();
        AllocationProbe::Probe probe;
        const QString message = MessageOf([&] { bitmap.LoadFromStream(stream); });
        QVERIFY2(probe.Largest() < 256 * std::size_t(bytes.size()) + (1 << 20),
                 qPrintable(QString::number(probe.Largest())));
        if (message != MessageOf([] {})) {
            QVERIFY2(outcome.isEmpty() || message.startsWith(outcome), qPrintable(message));
            QCOMPARE(bitmap.FileBytes(), known);
            QCOMPARE(bitmap.Picture(), before);
            return;
        }
        QVERIFY(outcome.isEmpty() || outcome == "loads");
        QCOMPARE(stream.Remaining(), 0);
        QCOMPARE(bitmap.Picture().format(),
                 bytes.isEmpty() ? QImage::Format_Invalid : QImage::Format_RGB32);
        MemoryStream saved;
        bitmap.SaveToStream(saved);
        QVERIFY(saved.Bytes() == bytes);
    }

    void canvasLines() {
        // Each line covers its start but not its end, and the next one starts there; one of no
        // length covers nothing. In not-xor mode the same lines again restore the picture.
        const QColor paper(0x30, 0x90, 0xc0);
        Canvas canvas(QSize(12, 12));
        canvas.BrushColor = paper;
        canvas.FillRect(QRect(0, 0, 12, 12));
        canvas.PenMode = Canvas::RasterOp::NotXor;
        QImage plain(12, 12, QImage::Format_RGB32);
        plain.fill(paper);
        QImage inverted = plain;
        for (const QRect& line : {QRect(1, 3, 7, 1), QRect(8, 3, 1, 7), QRect(3, 10, 6, 1),
                                  QRect(2, 5, 1, 6)}) // right, down, left, up
            QPainter(&inverted).fillRect(line, QColor(0xcf, 0x6f, 0x3f));
        for (const QImage& picture : {inverted, plain}) {
            canvas.MoveTo(1, 3);
            for (const QPoint to :
                 {QPoint(8, 3), QPoint(8, 10), QPoint(2, 10), QPoint(2, 4), QPoint(2, 4)})
                canvas.LineTo(to.x(), to.y());
            QCOMPARE(canvas.Image(), picture);
        }
    }

    // A deferred fill leaves out what bitmaps drawn before its end cover; the picture must come
    // out as if the fill had been done at once, whatever the bitmaps overlap, leave bare or
    // hang over, and whatever line or fill comes in between.
    void deferredFill_data() {
        QTest::addColumn<QRect>("fill");
        QTest::addColumn<QList<QRect>>("draws");
        QTest::addColumn<int>("interruptAt"); // a line before even draws, a fill before odd
        QList<QRect> cells, holes;
        for (int i = 0; i < 12; ++i) {
            cells << QRect(i % 4 * 12 - 3, i / 4 * 12 - 2, 12, 12);
            if (i != 1 && i != 5)
                holes << cells.last();
        }
        QTest::newRow("tiles cover all") << QRect(0, 0, 40, 30) << cells << -1;
        QTest::newRow("empty cells") << QRect(0, 0, 40, 30) << holes << -1;
        QTest::newRow("empty cells, a line") << QRect(0, 0, 40, 30) << holes << 4;
        QTest::newRow("empty cells, a fill") << QRect(0, 0, 40, 30) << holes << 5;
        QRandomGenerator random(20240607);
        for (int i = 0; i < 60; ++i) {
            QList<QRect> draws(random.bounded(12));
            for (QRect& draw : draws)
                draw = QRect(random.bounded(-10, 40), random.bounded(-10, 30),
                             random.bounded(1, 25), random.bounded(1, 25));
            QTest::addRow("random %d", i)
                << QRect(random.bounded(-5, 20), random.bounded(-5, 15), random.bounded(0, 45),
                         random.bounded(0, 35))
                << draws << (i % 3 == 0 ? random.bounded(int(draws.size()) + 1) : -1);
        }
    }
    void deferredFill() {
        QFETCH(QRect, fill);
        QFETCH(QList<QRect>, draws);
        QFETCH(int, interruptAt);
        const QColor paper(Qt::white); // the canvas starts with the button face colour
        Canvas atOnce(QSize(40, 30)), deferred(QSize(40, 30));
        for (Canvas* canvas : {&atOnce, &deferred}) {
            canvas->PenMode = Canvas::RasterOp::NotXor;
            canvas->BrushColor = paper;
            std::optional<DeferredFill> pending;
            if (canvas == &deferred)
                pending.emplace(*canvas, fill, paper);
            else
                canvas->FillRect(fill);
            for (int i = 0; i <= draws.size(); ++i) {
                if (i == interruptAt && i % 2 == 0) {
                    canvas->MoveTo(0, 7);
                    canvas->LineTo(40, 7);
                } else if (i == interruptAt) {
                    canvas->BrushColor = Qt::red;
                    canvas->FillRect(QRect(20, 0, 3, 30));
                }
                if (i == draws.size())
                    break;
                Bitmap bitmap;
                bitmap.LoadFromBytes(
                    SolidBmp(draws[i].width(), draws[i].height(), qRgb(200, 20 * i, 255 - 20 * i)));
                canvas->Draw(draws[i].x(), draws[i].y(), bitmap);
            }
        }
        QCOMPARE(deferred.Image(), atOnce.Image());
    }

    // Moved pixels land where they belong, one move after another, and the others stay
    // untouched. Drawing under a clip (fills, deferred or not, bitmaps, lines) gives inside the
    // clip what drawing without it gives, and changes nothing outside.
    void canvasScrollAndClip_data() {
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<int>("times");
        QTest::addColumn<QRect>("clip");
        QTest::newRow("left") << QPoint(-4, 0) << 1 << QRect(2, 3, 20, 10);
        QTest::newRow("left, many times") << QPoint(-1, 0) << 150 << QRect(2, 3, 20, 10);
        QTest::newRow("down, many times") << QPoint(0, 2) << 14 << QRect(-5, -5, 12, 10);
        QTest::newRow("up and right") << QPoint(7, -5) << 3 << QRect(30, 20, 50, 50);
        QTest::newRow("past the edge") << QPoint(0, -30) << 1 << QRect(0, 0, 40, 30);
        QTest::newRow("far past it") << QPoint(-300, 0) << 1 << QRect(0, 0, 40, 30);
        QTest::newRow("empty clip") << QPoint(-39, 29) << 1 << QRect(10, 10, 0, 5);
    }
    void canvasScrollAndClip() {
        QFETCH(QPoint, delta);
        QFETCH(int, times);
        QFETCH(QRect, clip);
        QImage picture(200, 30, QImage::Format_RGB32);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 200; ++x)
                picture.setPixel(x, y, qRgb(x, 8 * y, 3 * (x + y)));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        picture.save(&buffer, "BMP");
        Bitmap bitmap;
        bitmap.LoadFromBytes(bytes);
        Canvas moved(picture.size()), clipped(picture.size()), plain(picture.size());
        moved.Draw(0, 0, bitmap);
        for (int i = 0; i < times; ++i)
            moved.Scroll(delta);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 200; ++x)
                if (picture.rect().contains(QPoint(x, y) - times * delta))
                    QCOMPARE(moved.Image().pixel(x, y),
                             picture.pixel(QPoint(x, y) - times * delta));
        for (Canvas* canvas : {&clipped, &plain}) {
            canvas->Draw(0, 0, bitmap);
            canvas->PenMode = Canvas::RasterOp::NotXor;
            std::optional<CanvasClip> confined;
            if (canvas == &clipped)
                confined.emplace(*canvas, clip);
            DeferredFill clear(*canvas, QRect(3, 4, 30, 20), Qt::yellow);
            canvas->Draw(-20, 10, bitmap);
            canvas->MoveTo(0, 12);
            canvas->LineTo(40, 12);
            canvas->Draw(25, -5, bitmap);
            canvas->BrushColor = Qt::red;
            canvas->FillRect(QRect(5, 25, 30, 3));
        }
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 200; ++x)
                QCOMPARE(clipped.Image().pixel(x, y),
                         (clip.contains(x, y) ? plain.Image() : picture).pixel(x, y));
    }

    void cp1251() {
        const QString text = QStringLiteral("Карта: Ёё");
        QCOMPARE(Cp1251::FromUnicode(text), QByteArray("\xCA\xE0\xF0\xF2\xE0: \xA8\xB8"));
        QCOMPARE(Cp1251::ToUnicode("\xCA\xE0\xF0\xF2\xE0: \xA8\xB8"), text);
        // Characters without a code become '?', one for each, surrogate pairs included.
        QCOMPARE(Cp1251::FromUnicode(QStringLiteral("a中\x1aЁ😀b")), QByteArray("a?\x1a\xA8?b"));
    }
};

QTEST_GUILESS_MAIN(tst_platform)
#include "tst_platform.moc"
