// The mobile export without its window: the pack carries the PNG bytes that were checked, a PNG
// that changes after its check and a target that is a link make it write nothing.

#include "TestSupport.h"
#include "formats/MapFile.h"
#include "formats/MobileExport.h"
#include "formats/PackFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"

#include <QTemporaryDir>
#include <QtTest>
#include <future>
#include <thread>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace TestSupport;

namespace {
// A 3 x 2 map naming forest.pac, tiles grass and water, and their PNG files in png/.
struct Scene {
    Scene() : Map(48) {
        Map.New(3, 2, 48);
        Map.Cells[1][0] = 1;
        Map.PackName = "forest.pac";
        for (const QByteArray name : {"grass", "water"}) {
            TileRef tile = std::make_unique<Tile>();
            tile->Name = name;
            tile->Param1 = Pack.Count();
            Pack.Add(std::move(tile));
            Pngs << "\x89PNG " + name + QByteArray(40, 'p');
        }
        for (const char* sub : {"png", "maps", "tiles"})
            QDir(Dir.path()).mkpath(sub);
        WriteFile(Png("grass"), Pngs[0]);
        WriteFile(Png("water"), Pngs[1]);
    }
    QString Path(const QString& name) const { return Dir.filePath(name); }
    QString Png(const QString& name) const { return Path("png/" + name + ".png"); }
    QString PackPath() const { return Path("png/forest.pac"); }
    QString MobMap() const { return Path("maps/mob.map"); }
    // Runs the export; the log goes to Log, and onPath runs at each tile's path.
    bool Run(const std::function<void(const QString&)>& onPath = {}) {
        MobileExport job(Map, Pack, Path("png"), Path("tiles"), Path("maps"));
        job.Log = [this](const QString& line) { Log << line; };
        if (onPath)
            job.ShowPath = onPath;
        return job.Run();
    }
    QStringList Entries() const {
        QStringList all;
        QDirIterator it(Dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            all << it.next();
        all.sort();
        return all;
    }

    QTemporaryDir Dir;
    TileMap Map;
    TilePack Pack;
    QByteArrayList Pngs;
    QStringList Log;
};

// Runs f on a thread of its own and fails instead of hanging when it does not come back, as
// when a FIFO is opened for reading: a writer opened here then lets the reader go.
template <class F> QString WithinTimeLimit(const QString& fifo, F f) {
    auto done = std::async(std::launch::async, [&] { return MessageOf(f); });
    if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready)
        return done.get();
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0)
        ::close(fd);
#endif
    done.wait();
    return QStringLiteral("<hung>");
}
} // namespace

class tst_mobileexport : public QObject {
    Q_OBJECT

private slots:
    // The pack is built from the bytes each check read. A PNG changed in place between its
    // check and the write but looking the same (size, time) still goes in as it was checked;
    // one that is gone or looks different makes the run write nothing.
    void writesWhatItChecked_data() {
        QTest::addColumn<QString>("change"); // to grass.png while water's path is shown
        QTest::addColumn<bool>("written");
        QTest::newRow("none") << "" << true;
        QTest::newRow("same size and time") << "same" << true;
        QTest::newRow("other bytes") << "other" << false;
        QTest::newRow("removed") << "removed" << false;
#ifdef Q_OS_UNIX
        QTest::newRow("a FIFO in its place") << "fifo" << false;
#endif
    }
    void writesWhatItChecked() {
        QFETCH(QString, change);
        QFETCH(bool, written);
        Scene s;
        const QString grass = s.Png("grass");
        auto onPath = [&](const QString& path) {
            if (!path.endsWith("water.png"))
                return;
            const QDateTime time = QFileInfo(grass).lastModified();
            if (change == "same" || change == "other") {
                QByteArray bytes = s.Pngs[0];
                bytes[10] = 'X';
                QVERIFY(WriteFile(grass, change == "same" ? bytes : bytes + "longer"));
                QFile file(grass);
                QVERIFY(file.open(QIODevice::ReadWrite) &&
                        file.setFileTime(time, QFileDevice::FileModificationTime));
            } else if (change == "removed" || change == "fifo") {
                QVERIFY(QFile::remove(grass));
            }
#ifdef Q_OS_UNIX
            if (change == "fifo")
                QCOMPARE(::mkfifo(QFile::encodeName(grass).constData(), 0600), 0);
#endif
        };
        bool ran = false;
        const QString error = WithinTimeLimit(grass, [&] { ran = s.Run(onPath); });
        QCOMPARE(s.Log, (QStringList{"Checking OK! (grass )", "Checking OK! (water )"}));
        if (written) {
            QCOMPARE(error, QStringLiteral("<nothing thrown>"));
            QVERIFY(ran);
            QCOMPARE(ReadFile(s.PackPath()), MobilePackFile::Bytes(s.Pack, {s.Pngs[0], s.Pngs[1]}));
            QCOMPARE(ReadFile(s.MobMap()), MapFile::Bytes(s.Map));
        } else {
            QCOMPARE(error, QStringLiteral("Nothing was written: Cannot open file \"%1\". It was "
                                           "removed or changed after it was checked.")
                                .arg(Shown(grass)));
            QVERIFY(!QFile::exists(s.PackPath()) && !QFile::exists(s.MobMap()));
        }
    }

#ifdef Q_OS_UNIX
    // A write that fails (a full disk) leaves both files as they were: a mobile pack that
    // cannot be written, or a map that cannot be written after the pack was, whose old pack is
    // then put back.
    void failedWrites_data() {
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("pngSize");
        QTest::newRow("mobile pack") << 3 << 2000;
        QTest::newRow("mob.map") << 30 << 40;
    }
    void failedWrites() {
        QFETCH(int, side);
        QFETCH(int, pngSize);
        Scene s;
        s.Map.New(side, side, 48);
        s.Map.PackName = "forest.pac";
        for (int i = 0; i < 2; ++i)
            QVERIFY(WriteFile(s.Png(i == 0 ? "grass" : "water"), QByteArray(pngSize, 'p')));
        const QByteArray oldPack = Int32s({0}), oldMap = "old map";
        QVERIFY(WriteFile(s.PackPath(), oldPack) && WriteFile(s.MobMap(), oldMap));
        QString error;
        {
            const ResourceLimit guard(RLIMIT_FSIZE, 1000);
            error = MessageOf([&] { s.Run(); });
        }
        const QString target = side == 3 ? s.PackPath() : s.MobMap();
        QCOMPARE(error, QStringLiteral("Nothing was written: Cannot create file \"%1\". %2")
                            .arg(Shown(target), qt_error_string(EFBIG)));
        QCOMPARE(ReadFile(s.PackPath()), oldPack);
        QCOMPARE(ReadFile(s.MobMap()), oldMap);
    }
#endif

    // A save replaces what a link points at, which may lie outside every directory the export
    // knows; so a target that is a link is refused before anything is written.
    void neverWritesThroughLinks_data() {
        QTest::addColumn<QString>("link");   // below the scene's directory
        QTest::addColumn<QString>("target"); // what it points at
        for (const char* link : {"png/forest.pac", "maps/mob.map"})
            for (const char* target : {"elsewhere", "nowhere"})
                QTest::addRow("%s to %s", link, target) << QString(link) << QString(target);
    }
    void neverWritesThroughLinks() {
        QFETCH(QString, link);
        QFETCH(QString, target);
        Scene s;
        QVERIFY(WriteFile(s.Path("elsewhere"), "precious"));
        QVERIFY(QFile::link(s.Path(target), s.Path(link)));
        const QStringList before = s.Entries();
        const QString error = MessageOf([&] { s.Run(); });
        QCOMPARE(error, QStringLiteral("Nothing was written: \"%1\" is a symbolic link, and the "
                                       "export does not write through links")
                            .arg(QDir::toNativeSeparators(s.Path(link))));
        QCOMPARE(ReadFile(s.Path("elsewhere")), QByteArray("precious"));
        QCOMPARE(s.Entries(), before);
        QVERIFY(QFileInfo(s.Path(link)).isSymLink());
    }
};

QTEST_GUILESS_MAIN(tst_mobileexport)
#include "tst_mobileexport.moc"
