// The platform layer under the model: byte stream and file access, bitmaps, the canvas's
// not-xor pen and the Windows-1251 texts.

#include "AllocationProbe.h"
#include "TestSupport.h"
#include "platform/Cp1251.h"
#include "platform/TBitmap.h"
#include "platform/TCanvas.h"
#include "platform/TMemoryStream.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {
QStringList Fixtures(const QString& kind) {
    const QString dir = QFINDTESTDATA("data/bmp/" + kind);
    QStringList files;
    for (const QFileInfo& info : QDir(dir).entryInfoList({"*.bmp"}, QDir::Files, QDir::Name))
        files << info.absoluteFilePath();
    return files;
}

// A bitmap holding a small image of known bytes, to see what survives a failed load.
QByteArray Known() {
    return SolidBmp(3, 2, qRgb(10, 20, 30));
}
} // namespace

class tst_platform : public QObject {
    Q_OBJECT

private slots:
    void streamIntegersAreLittleEndian();
    void streamReadPastEnd_data();
    void streamReadPastEnd();
    void saveToFileReplacesWhole();
    void saveToFileFailures_data();
    void saveToFileFailures();
    void loadFromFileFailures_data();
    void loadFromFileFailures();

    void bitmapHeaderRules_data();
    void bitmapHeaderRules();
    void bitmapGoodFixtures_data();
    void bitmapGoodFixtures();
    void bitmapBadFixtures_data();
    void bitmapBadFixtures();

    void canvasLines_data();
    void canvasLines();
    void canvasDrawsBitmapOpaque();
    void canvasDeferredFillMatchesFill_data();
    void canvasDeferredFillMatchesFill();

    void cp1251();
};

void tst_platform::streamIntegersAreLittleEndian() {
    TMemoryStream stream;
    stream.WriteInt32(1);
    stream.WriteInt32(-1);
    stream.WriteInt32(0x12345678);
    stream.WriteBytes("ab");
    stream.WriteInt32(std::numeric_limits<qint32>::min());
    QCOMPARE(stream.Bytes().toHex(), QByteArray("01000000ffffffff78563412616200000080"));
    QCOMPARE(stream.Position(), 18);

    stream.SetPosition(0);
    QCOMPARE(stream.ReadInt32(), 1);
    QCOMPARE(stream.ReadInt32(), -1);
    QCOMPARE(stream.ReadInt32(), 0x12345678);
    QCOMPARE(stream.ReadBytes(2), QByteArray("ab"));
    QCOMPARE(stream.ReadInt32(), std::numeric_limits<qint32>::min());
    QCOMPARE(stream.Remaining(), 0);
}

void tst_platform::streamReadPastEnd_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("readInt");
    QTest::addColumn<int>("count");

    QTest::newRow("int from 3 bytes") << 3 << 0 << true << 4;
    QTest::newRow("int at the end") << 8 << 8 << true << 4;
    QTest::newRow("int from the last 2") << 10 << 8 << true << 4;
    QTest::newRow("bytes, one too many") << 10 << 4 << false << 7;
    QTest::newRow("bytes from empty") << 0 << 0 << false << 1;
    QTest::newRow("negative count") << 10 << 2 << false << -1;
}

void tst_platform::streamReadPastEnd() {
    QFETCH(int, size);
    QFETCH(int, position);
    QFETCH(bool, readInt);
    QFETCH(int, count);

    TMemoryStream stream(QByteArray(size, 'x'));
    stream.SetPosition(position);
    const QString message = MessageOf<EReadError>([&] {
        if (readInt)
            stream.ReadInt32();
        else
            stream.ReadBytes(count);
    });
    QCOMPARE(message, QStringLiteral("Stream read error"));
    QCOMPARE(stream.Position(), position);
}

void tst_platform::saveToFileReplacesWhole() {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.bin");
    QVERIFY(WriteFile(path, QByteArray(100, 'o')));

    TMemoryStream(QByteArray("new")).SaveToFile(path);
    QCOMPARE(ReadFile(path), QByteArray("new"));

    TMemoryStream loaded;
    loaded.LoadFromFile(path);
    QCOMPARE(loaded.Bytes(), QByteArray("new"));
    QCOMPARE(loaded.Position(), 0);
}

void tst_platform::saveToFileFailures_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("existing"); // the target exists as a file and must survive

    QTest::newRow("missing directory") << "missing/out.bin" << false;
    QTest::newRow("directory is a file") << "plain/out.bin" << false;
    QTest::newRow("target is a directory") << "sub" << false;
    // The longest name a directory entry can have leaves no room for the temporary file
    // beside it, so the replacement fails even where permissions would not stop it.
    QTest::newRow("existing file, no room to replace") << QString(255, 'n') << true;
}

void tst_platform::saveToFileFailures() {
    QFETCH(QString, target);
    QFETCH(bool, existing);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    QVERIFY(WriteFile(dir.filePath("plain"), "plain"));
    const QString path = dir.filePath(target);
    if (existing)
        QVERIFY(WriteFile(path, "old content"));

    const QString message =
        MessageOf<EFCreateError>([&] { TMemoryStream(QByteArray("new")).SaveToFile(path); });
    const QString prefix = QStringLiteral("Cannot create file \"%1\". ").arg(Shown(path));
    QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
    if (existing)
        QCOMPARE(ReadFile(path), QByteArray("old content"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(),
             existing ? 2 : 1); // no temporary file left behind
}

void tst_platform::loadFromFileFailures_data() {
    QTest::addColumn<QString>("target");
    QTest::newRow("missing file") << "nothing.bin";
    QTest::newRow("directory") << "sub";
}

void tst_platform::loadFromFileFailures() {
    QFETCH(QString, target);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    const QString path = dir.filePath(target);

    TMemoryStream stream(QByteArray("kept"));
    const QString message = MessageOf<EFOpenError>([&] { stream.LoadFromFile(path); });
    const QString prefix = QStringLiteral("Cannot open file \"%1\". ").arg(Shown(path));
    QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
    QCOMPARE(stream.Bytes(), QByteArray("kept"));

    TBitmap bitmap;
    QVERIFY(MessageOf<EFOpenError>([&] { bitmap.LoadFromFile(path); }).startsWith(prefix));
}

void tst_platform::bitmapHeaderRules_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // empty when the load succeeds with no pixels

    const QByteArray good = SolidBmp(4, 4, qRgb(200, 0, 0));

    QTest::newRow("zero bytes") << QByteArray() << QString();
    QTest::newRow("one byte") << QByteArray("B") << "Stream read error";
    QTest::newRow("13 bytes of a BMP") << good.left(13) << "Stream read error";
    QTest::newRow("PNG") << "\x89PNG\r\n\x1a\n" + good << "Bitmap image is not valid";
    QTest::newRow("14 zero bytes") << QByteArray(14, '\0') << "Bitmap image is not valid";
    QTest::newRow("bm lower case") << "bm" + good.mid(2) << "Bitmap image is not valid";
    QTest::newRow("header only") << good.left(14) << "Bitmap image is not valid";
    QTest::newRow("BM and noise") << "BM" + QByteArray(60, '\x7f') << "Bitmap image is not valid";
}

void tst_platform::bitmapHeaderRules() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);

    TBitmap bitmap;
    bitmap.LoadFromBytes(Known());
    const QImage before = bitmap.Picture().copy();
    const QString message = MessageOf([&] { bitmap.LoadFromBytes(bytes); });
    if (error.isEmpty()) {
        QCOMPARE(message, QStringLiteral("<nothing thrown>"));
        QVERIFY(bitmap.Empty());
        TMemoryStream out;
        bitmap.SaveToStream(out);
        QCOMPARE(out.Size(), 0);
    } else {
        QVERIFY2(message.startsWith(error), qPrintable(message));
        QCOMPARE(bitmap.FileBytes(), Known());
        QCOMPARE(bitmap.Picture(), before);
    }
}

void tst_platform::bitmapGoodFixtures_data() {
    QTest::addColumn<QString>("path");
    const QStringList files = Fixtures("good");
    QVERIFY(files.size() >= 20);
    for (const QString& file : files)
        QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
}

void tst_platform::bitmapGoodFixtures() {
    QFETCH(QString, path);
    const QByteArray bytes = ReadFile(path);

    // Loaded from the middle of a stream, the bitmap takes everything from the position on.
    TMemoryStream stream("junk" + bytes);
    stream.SetPosition(4);
    TBitmap bitmap;
    bitmap.LoadFromStream(stream);
    QCOMPARE(stream.Remaining(), 0);
    QVERIFY(!bitmap.Empty());
    QCOMPARE(bitmap.Picture().format(), QImage::Format_RGB32);
    QVERIFY(bitmap.Width() > 0 && bitmap.Height() > 0);

    TMemoryStream saved;
    bitmap.SaveToStream(saved);
    QVERIFY(saved.Bytes() == bytes);

    // The suite draws one picture in many encodings; these must all decode to it.
    static const QStringList samePicture = {"pal8-0.bmp",      "pal8os2.bmp", "pal8rle.bmp",
                                            "pal8topdown.bmp", "pal8v4.bmp",  "pal8v5.bmp"};
    if (samePicture.contains(QFileInfo(path).fileName())) {
        TBitmap reference;
        reference.LoadFromFile(QFileInfo(path).dir().filePath("pal8.bmp"));
        QCOMPARE(bitmap.Picture(), reference.Picture());
    }
}

void tst_platform::bitmapBadFixtures_data() {
    QTest::addColumn<QString>("path");
    const QStringList files = Fixtures("bad");
    QVERIFY(files.size() >= 15);
    for (const QString& file : files)
        QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
}

void tst_platform::bitmapBadFixtures() {
    QFETCH(QString, path);
    const QByteArray bytes = ReadFile(path);

    TBitmap bitmap;
    bitmap.LoadFromBytes(Known());
    const QImage before = bitmap.Picture().copy();
    bool refused = false;
    std::size_t largest = 0;
    {
        AllocationProbe::Probe probe;
        try {
            bitmap.LoadFromBytes(bytes);
        } catch (const Exception& e) {
            refused = true;
            QVERIFY(!e.Message().isEmpty());
        }
        largest = probe.Largest();
    }
    if (refused) {
        QCOMPARE(bitmap.FileBytes(), Known());
        QCOMPARE(bitmap.Picture(), before);
    } else {
        QVERIFY(!bitmap.Empty());
        QCOMPARE(bitmap.FileBytes(), bytes);
    }
    // A decoded picture takes 4 bytes a pixel, and a file carries at most a few dozen pixels a
    // byte; anything far beyond that was allocated on the file's word alone.
    if (AllocationProbe::Available)
        QVERIFY2(largest < 256 * std::size_t(bytes.size()) + (1 << 20),
                 qPrintable(QString::number(largest)));
}

void tst_platform::canvasLines_data() {
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QRect>("covered"); // the pixels the line inverts: its end is not one

    QTest::newRow("right") << QPoint(1, 3) << QPoint(8, 3) << QRect(1, 3, 7, 1);
    QTest::newRow("left") << QPoint(8, 3) << QPoint(1, 3) << QRect(2, 3, 7, 1);
    QTest::newRow("down") << QPoint(4, 1) << QPoint(4, 9) << QRect(4, 1, 1, 8);
    QTest::newRow("up") << QPoint(4, 9) << QPoint(4, 1) << QRect(4, 2, 1, 8);
    QTest::newRow("from outside") << QPoint(-5, 6) << QPoint(5, 6) << QRect(0, 6, 5, 1);
    QTest::newRow("to the edge") << QPoint(3, 0) << QPoint(12, 0) << QRect(3, 0, 9, 1);
    QTest::newRow("one pixel") << QPoint(2, 2) << QPoint(3, 2) << QRect(2, 2, 1, 1);
    QTest::newRow("no length") << QPoint(2, 2) << QPoint(2, 2) << QRect();
}

void tst_platform::canvasLines() {
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QRect, covered);

    const QRgb paper = qRgb(0x30, 0x90, 0xc0);
    TCanvas canvas(QSize(12, 12));
    canvas.BrushColor = paper;
    canvas.FillRect(QRect(0, 0, 12, 12));
    canvas.PenMode = TCanvas::TPenMode::NotXor;

    canvas.MoveTo(from.x(), from.y());
    canvas.LineTo(to.x(), to.y());
    const QImage once = canvas.Image().copy();
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const QRgb expected = covered.contains(x, y) ? qRgb(0xcf, 0x6f, 0x3f) : paper;
            QVERIFY2(once.pixel(x, y) == expected,
                     qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
        }

    // The same line again restores the picture.
    canvas.MoveTo(from.x(), from.y());
    canvas.LineTo(to.x(), to.y());
    QImage restored(12, 12, QImage::Format_RGB32);
    restored.fill(paper);
    QCOMPARE(canvas.Image(), restored);

    // In copy mode the pen is plain black, and LineTo leaves the pen at its end.
    canvas.PenMode = TCanvas::TPenMode::Copy;
    canvas.MoveTo(1, 10);
    canvas.LineTo(5, 10);
    canvas.LineTo(5, 6);
    QCOMPARE(canvas.Image().pixel(1, 10), qRgb(0, 0, 0));
    QCOMPARE(canvas.Image().pixel(4, 10), qRgb(0, 0, 0));
    QCOMPARE(canvas.Image().pixel(5, 10), qRgb(0, 0, 0)); // the second line's start
    QCOMPARE(canvas.Image().pixel(5, 7), qRgb(0, 0, 0));
    QCOMPARE(canvas.Image().pixel(5, 6), paper);
    QCOMPARE(canvas.Image().pixel(6, 10), paper);
}

void tst_platform::canvasDrawsBitmapOpaque() {
    // A half-transparent source must still land as an opaque copy.
    QImage source(4, 3, QImage::Format_ARGB32);
    source.fill(qRgba(255, 0, 0, 128));
    TBitmap bitmap;
    bitmap.LoadFromBytes(BmpBytes(source));

    TCanvas canvas(QSize(6, 6));
    canvas.BrushColor = Qt::white;
    canvas.FillRect(QRect(0, 0, 6, 6));
    canvas.Draw(-1, 2, bitmap);
    const QImage& image = canvas.Image();
    QCOMPARE(image.pixel(0, 2), bitmap.Picture().pixel(1, 0));
    QCOMPARE(qAlpha(image.pixel(2, 4)), 255);
    QCOMPARE(image.pixel(3, 3), qRgb(255, 255, 255)); // natural size, no further
    QCOMPARE(image.pixel(0, 1), qRgb(255, 255, 255));

    // An empty bitmap draws nothing; a canvas with no pixels takes any drawing harmlessly.
    const QImage before = image.copy();
    canvas.Draw(0, 0, TBitmap());
    QCOMPARE(canvas.Image(), before);
    TCanvas none;
    none.Draw(0, 0, bitmap);
    none.MoveTo(0, 0);
    none.LineTo(5, 0);
    none.FillRect(QRect(0, 0, 5, 5));
}

// A deferred fill skips the pixels that bitmaps drawn before its end cover; the picture must
// come out as if the fill had been done at once, whatever the bitmaps overlap, leave bare or
// hang over, and whatever reads or draws in between.
void tst_platform::canvasDeferredFillMatchesFill_data() {
    QTest::addColumn<QRect>("fill");
    QTest::addColumn<QList<QRect>>("draws");
    QTest::addColumn<int>("interruptAt"); // before which draw; -1 for none
    QTest::addColumn<QString>("interrupt");

    const QList<QRect> grid{QRect(-3, -2, 12, 12), QRect(9, -2, 12, 12),  QRect(21, -2, 12, 12),
                            QRect(33, -2, 12, 12), QRect(-3, 10, 12, 12), QRect(9, 10, 12, 12),
                            QRect(21, 10, 12, 12), QRect(33, 10, 12, 12), QRect(-3, 22, 12, 12),
                            QRect(9, 22, 12, 12),  QRect(21, 22, 12, 12), QRect(33, 22, 12, 12)};
    QList<QRect> holes = grid;
    holes.removeAt(5);
    holes.removeAt(1);
    QTest::newRow("tiles cover all") << QRect(0, 0, 40, 30) << grid << -1 << QString();
    QTest::newRow("empty cells") << QRect(0, 0, 40, 30) << holes << -1 << QString();
    QTest::newRow("nothing drawn") << QRect(0, 0, 40, 30) << QList<QRect>() << -1 << QString();
    QTest::newRow("part of the canvas") << QRect(5, 4, 20, 13) << grid << -1 << QString();
    QTest::newRow("beyond the canvas") << QRect(-10, -10, 100, 100) << holes << -1 << QString();
    QTest::newRow("outside the canvas") << QRect(50, 50, 10, 10) << grid << -1 << QString();
    QTest::newRow("empty rect") << QRect(3, 3, 0, 5) << grid << -1 << QString();
    QTest::newRow("overlaps") << QRect(0, 0, 40, 30)
                              << QList<QRect>{QRect(2, 2, 20, 9), QRect(10, 5, 6, 20),
                                              QRect(12, 6, 3, 3), QRect(30, 0, 20, 40)}
                              << -1 << QString();
    for (const QString& kind : {QStringLiteral("line"), QStringLiteral("image"),
                                QStringLiteral("fill"), QStringLiteral("resize")})
        QTest::newRow(qPrintable("interrupted by " + kind))
            << QRect(0, 0, 40, 30) << holes << 4 << kind;

    QRandomGenerator random(20240607);
    for (int i = 0; i < 60; ++i) {
        QList<QRect> draws;
        const int count = random.bounded(12);
        for (int d = 0; d < count; ++d)
            draws << QRect(random.bounded(-10, 40), random.bounded(-10, 30), random.bounded(1, 25),
                           random.bounded(1, 25));
        const QRect fill(random.bounded(-5, 20), random.bounded(-5, 15), random.bounded(0, 45),
                         random.bounded(0, 35));
        QTest::newRow(qPrintable(QStringLiteral("random %1").arg(i)))
            << fill << draws << (i % 4 == 0 ? random.bounded(count + 1) : -1)
            << QStringLiteral("line");
    }
}

void tst_platform::canvasDeferredFillMatchesFill() {
    QFETCH(QRect, fill);
    QFETCH(QList<QRect>, draws);
    QFETCH(int, interruptAt);
    QFETCH(QString, interrupt);

    QImage backdrop(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            backdrop.setPixel(x, y, qRgb(x * 6, y * 8, 99));
    TBitmap background;
    background.LoadFromBytes(BmpBytes(backdrop));
    std::vector<std::unique_ptr<TBitmap>> bitmaps;
    for (int i = 0; i < draws.size(); ++i) {
        bitmaps.push_back(std::make_unique<TBitmap>());
        bitmaps.back()->LoadFromBytes(
            SolidBmp(draws[i].width(), draws[i].height(), qRgb(200, 20 * i, 255 - 20 * i)));
    }
    const QColor paper(240, 240, 240);

    auto run = [&](TCanvas& canvas, bool deferred) {
        canvas.Draw(0, 0, background);
        canvas.PenMode = TCanvas::TPenMode::NotXor;
        canvas.BrushColor = paper;
        if (deferred)
            canvas.BeginDeferredFill(fill, paper);
        else
            canvas.FillRect(fill);
        for (int i = 0; i <= draws.size(); ++i) {
            if (i == interruptAt) {
                if (interrupt == "line") {
                    canvas.MoveTo(0, 7);
                    canvas.LineTo(40, 7);
                } else if (interrupt == "image") {
                    QVERIFY(!canvas.Image().isNull());
                } else if (interrupt == "fill") {
                    canvas.BrushColor = Qt::red;
                    canvas.FillRect(QRect(20, 0, 3, 30));
                } else if (interrupt == "resize") {
                    canvas.SetSize(QSize(41, 30));
                    canvas.SetSize(QSize(40, 30));
                }
            }
            if (i < draws.size())
                canvas.Draw(draws[i].x(), draws[i].y(), *bitmaps[std::size_t(i)]);
        }
        if (deferred)
            canvas.EndDeferredFill();
    };
    TCanvas atOnce(QSize(40, 30));
    run(atOnce, false);
    TCanvas deferred(QSize(40, 30));
    run(deferred, true);
    QCOMPARE(deferred.Image(), atOnce.Image());

    // The guard object ends the fill when it goes out of scope.
    TCanvas guarded(QSize(40, 30));
    guarded.Draw(0, 0, background);
    {
        TDeferredFill clear(guarded, fill, paper);
        for (int i = 0; i < draws.size(); ++i)
            guarded.Draw(draws[i].x(), draws[i].y(), *bitmaps[std::size_t(i)]);
    }
    TCanvas expected(QSize(40, 30));
    expected.Draw(0, 0, background);
    expected.BrushColor = paper;
    expected.FillRect(fill);
    for (int i = 0; i < draws.size(); ++i)
        expected.Draw(draws[i].x(), draws[i].y(), *bitmaps[std::size_t(i)]);
    QCOMPARE(guarded.Image(), expected.Image());
}

void tst_platform::cp1251() {
    QCOMPARE(Cp1251::FromUnicode(QStringLiteral("Ёё")), QByteArray("\xA8\xB8"));
    QCOMPARE(Cp1251::ToUnicode("\xA8\xB8"), QStringLiteral("Ёё"));
    const QString russian = QStringLiteral("Карта, тайлы: Съешь же ещё этих мягких булок!");
    QCOMPARE(Cp1251::ToUnicode(Cp1251::FromUnicode(russian)), russian);
    QCOMPARE(Cp1251::FromUnicode(QStringLiteral("abc")), QByteArray("abc"));

    // Every byte above 127 that the code page defines comes back as itself.
    QByteArray high;
    for (int b = 0x80; b <= 0xff; ++b)
        if (b != 0x98) // the one undefined byte
            high.append(char(b));
    const QString decoded = Cp1251::ToUnicode(high);
    QCOMPARE(decoded.size(), high.size());
    QCOMPARE(Cp1251::FromUnicode(decoded), high);

    // Characters without a code become '?', one for each, surrogate pairs included.
    QCOMPARE(Cp1251::FromUnicode(QStringLiteral("a中\x1aЁ😀b")), QByteArray("a?\x1a\xA8?b"));
}

QTEST_GUILESS_MAIN(tst_platform)
#include "tst_platform.moc"
