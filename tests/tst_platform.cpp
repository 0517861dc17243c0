// The platform under the model: byte stream and files, bitmaps, canvas, Windows-1251 texts.

#include "AllocationProbe.h"
#include "TestSupport.h"
#include "platform/Cp1251.h"
#include "platform/TBitmap.h"
#include "platform/TCanvas.h"
#include "platform/TMemoryStream.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

class tst_platform : public QObject {
    Q_OBJECT

private slots:
    void streamAndFiles() {
        // A read past the end throws and leaves the position alone.
        TMemoryStream stream(QByteArray(10, 'x'));
        stream.SetPosition(7);
        for (qint64 count : {4, -1})
            QCOMPARE(MessageOf<EReadError>([&] { stream.ReadBytes(count); }),
                     QString("Stream read error"));
        QCOMPARE(stream.Position(), 7);
        // Saving replaces a longer file whole; loading starts at the beginning.
        QTemporaryDir dir;
        const QString path = dir.filePath("out.bin"), missing = dir.filePath("missing/out.bin");
        QVERIFY(WriteFile(path, QByteArray(100, 'o')));
        TMemoryStream(QByteArray("new")).SaveToFile(path);
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
        TMemoryStream stream("junk" + bytes);
        stream.SetPosition(4);
        const QByteArray known = SolidBmp(3, 2, qRgb(10, 20, 30));
        TBitmap bitmap;
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
        TMemoryStream saved;
        bitmap.SaveToStream(saved);
        QVERIFY(saved.Bytes() == bytes);
    }

    void canvasLines() {
        // Each line covers its start but not its end, and the next one starts there; one of no
        // length covers nothing. In not-xor mode the same lines again restore the picture.
        const QColor paper(0x30, 0x90, 0xc0);
        TCanvas canvas(QSize(12, 12));
        canvas.BrushColor = paper;
        canvas.FillRect(QRect(0, 0, 12, 12));
        canvas.PenMode = TCanvas::TPenMode::NotXor;
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
        TCanvas atOnce(QSize(40, 30)), deferred(QSize(40, 30));
        for (TCanvas* canvas : {&atOnce, &deferred}) {
            canvas->PenMode = TCanvas::TPenMode::NotXor;
            canvas->BrushColor = paper;
            std::optional<TDeferredFill> pending;
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
                TBitmap bitmap;
                bitmap.LoadFromBytes(
                    SolidBmp(draws[i].width(), draws[i].height(), qRgb(200, 20 * i, 255 - 20 * i)));
                canvas->Draw(draws[i].x(), draws[i].y(), bitmap);
            }
        }
        QCOMPARE(deferred.Image(), atOnce.Image());
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
