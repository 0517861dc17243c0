// Where a map's tile pack is found: each place on its own, the order when several hold it, and
// what is said when none does.

#include "TestSupport.h"
#include "formats/PackLocation.h"
#include "platform/Exceptions.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {
// A game's maps/ and tiles/ side by side under game/, an executable's folder, a folder the user
// named, and two data folders; the map is game/maps/level.map.
class Places {
public:
    QString Folder(const QString& place) const {
        static const QMap<QString, QString> folders = {{"user", "user"},
                                                       {"executable", "bin/tiles"},
                                                       {"map", "game/maps/tiles"},
                                                       {"above", "game/tiles"},
                                                       {"user data", "home/korvane/tiles"},
                                                       {"system data", "usr/korvane/tiles"}};
        return QDir::cleanPath(Dir.filePath(folders.value(place)));
    }
    QString MapPath() const { return Dir.filePath("game/maps/level.map"); }
    PackLocation::SearchPlaces Search() const {
        return {
            {Folder("user")}, Dir.filePath("bin"), {Folder("user data"), Folder("system data")}};
    }
    QTemporaryDir Dir;
};

const QStringList Order = {"user", "executable", "map", "above", "user data", "system data"};
} // namespace

class TestPackLocation : public QObject {
    Q_OBJECT
private slots:
    void firstPlaceHoldingThePackWins_data() {
        // The places with a file of the pack's name; with a "/" after it, a folder of that name.
        QTest::addColumn<QStringList>("holding");
        QTest::addColumn<QString>("found"); // empty: none
        for (const QString& place : Order)
            QTest::addRow("only %s", qPrintable(place)) << QStringList{place} << place;
        QTest::newRow("beside the executable over beside the map")
            << QStringList{"map", "executable"} << "executable";
        QTest::newRow("a user folder over all") << Order << "user";
        QTest::newRow("the map's folder over the one above")
            << QStringList{"above", "map"} << "map";
        QTest::newRow("above the map over the data folders")
            << QStringList{"system data", "user data", "above"} << "above";
        QTest::newRow("the user's data over the system's")
            << QStringList{"system data", "user data"} << "user data";
        // A folder of the pack's name is no pack.
        QTest::newRow("a folder of that name is passed over")
            << QStringList{"executable/", "above"} << "above";
        QTest::newRow("nowhere") << QStringList{} << "";
    }
    void firstPlaceHoldingThePackWins() {
        QFETCH(QStringList, holding);
        QFETCH(QString, found);
        Places p;
        for (const QString& place : Order)
            QVERIFY(QDir().mkpath(p.Folder(place)));
        QVERIFY(QDir().mkpath(p.Dir.filePath("game/maps")));
        for (QString place : holding) {
            const QString file = p.Folder(place.remove('/')) + "/forest.pac";
            QVERIFY(holding.contains(place) ? WriteFile(file, place.toUtf8())
                                            : QDir().mkpath(file));
        }
        const PackLocation::Found result =
            PackLocation::Find("forest.pac", p.MapPath(), p.Search());
        QCOMPARE(result.File, found.isEmpty() ? QString() : p.Folder(found) + "/forest.pac");
        // Every folder up to the one that held it, in order, each once.
        QStringList searched;
        for (const QString& place : Order) {
            searched << p.Folder(place);
            if (place == found)
                break;
        }
        QCOMPARE(result.Searched, searched);
    }

    void eachFolderIsSearchedOnce() {
        // The map in the executable's folder: tiles/ beside both is one folder, named once.
        Places p;
        PackLocation::SearchPlaces search = p.Search();
        search.UserFolders = {p.Folder("executable"), p.Dir.filePath("bin/../bin/tiles/")};
        const QStringList folders = PackLocation::Folders(search, p.Dir.filePath("bin/x.map"));
        QCOMPARE(folders.count(p.Folder("executable")), 1);
        QCOMPARE(folders.first(), p.Folder("executable"));
        QCOMPARE(folders.size(), 4); // and the folder above, and the two data folders
    }

    void missingPackNamesEveryFolderSearched() {
        Places p;
        try {
            PackLocation::PackPath("forest.pac", p.MapPath(), p.Search());
            QFAIL("a pack that is nowhere was found");
        } catch (const EFOpenError& e) {
            QVERIFY2(e.Message().contains("\"forest.pac\"") &&
                         e.Message().contains(QDir::toNativeSeparators(p.MapPath())),
                     qPrintable(e.Message()));
            for (const QString& place : Order)
                QVERIFY2(
                    e.Message().contains('"' + QDir::toNativeSeparators(p.Folder(place)) + '"'),
                    qPrintable(place + ": " + e.Message()));
        }
    }

    void namesThatLeadElsewhereAreRefused_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("none") << QByteArray();
        QTest::newRow("up") << QByteArray("../tiles/forest.pac");
        QTest::newRow("absolute") << QByteArray("/forest.pac");
        QTest::newRow("backslash") << QByteArray("..\\forest.pac");
        QTest::newRow("dot dot") << QByteArray("..");
    }
    void namesThatLeadElsewhereAreRefused() {
        QFETCH(QByteArray, name);
        Places p;
        // Even where the path the name spells holds a pack.
        QVERIFY(QDir().mkpath(p.Dir.filePath("game/maps")) &&
                QDir().mkpath(p.Dir.filePath("game/tiles")));
        QVERIFY(WriteFile(p.Dir.filePath("game/tiles/forest.pac"), "pack"));
        QVERIFY_THROWS_EXCEPTION(EFormatError, PackLocation::Find(name, p.MapPath(), p.Search()));
    }

    void dataFoldersFollowXdg() {
#ifdef Q_OS_UNIX
        qputenv("XDG_DATA_HOME", "/home/someone/data");
        qputenv("XDG_DATA_DIRS", "/opt/share:/usr/share");
        QCOMPARE(PackLocation::DataFolders(),
                 (QStringList{"/home/someone/data/korvane/tiles", "/opt/share/korvane/tiles",
                              "/usr/share/korvane/tiles"}));
        QCOMPARE(PackLocation::UserDataFolder(), "/home/someone/data/korvane/tiles");
#else
        QSKIP("XDG data folders are Unix's");
#endif
    }
};

QTEST_GUILESS_MAIN(TestPackLocation)
#include "tst_packlocation.moc"
