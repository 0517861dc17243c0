// Opening files from outside the editor's own folder: where a map's pack is found from the
// window, locating one that is not, the command line, drops, and Open Recent.

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "platform/Bitmap.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

using namespace TestSupport;

namespace {
QByteArray SmallMap(const QByteArray& packName) {
    return MapFileBytes({"saved", "", packName, ""}, 3, 2, QList<qint32>(6, 1));
}

// A pack of count tiles at path, leaving the window's own pack as it was.
void WritePack(const QString& path, int count) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    TilePack pack;
    for (int i = 0; i < count; ++i) {
        TileRef tile = std::make_unique<Tile>();
        tile->Name = "t" + QByteArray::number(i);
        tile->Image->LoadFromBytes(SolidBmp(48, 48, TileColours[i % 5]));
        pack.Add(std::move(tile));
    }
    PackFile::Write(pack, path);
}

QStringList RecentEntries(GuiFixture& f) {
    QStringList entries;
    for (QAction* action : f.Find<QMenu>("recentMenu").actions())
        if (action->data().isValid())
            entries << action->data().toString();
    return entries;
}

void Drop(GuiFixture& f, const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : files)
        urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    const QPoint at = f.MapArea().mapTo(&f.Window(), QPoint(20, 20));
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&f.Window(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&f.Window(), &drop);
    QVERIFY(drop.isAccepted());
    QCoreApplication::processEvents(); // the files open once the drop is over
}
} // namespace

class TestOpenFiles : public QObject {
    Q_OBJECT
private slots:
    void packIsFoundFromTheWindowsPlaces_data();
    void packIsFoundFromTheWindowsPlaces();
    void missingPackIsLocatedOrNothingChanges_data();
    void missingPackIsLocatedOrNothingChanges();
    void filesGivenToOpen_data();
    void filesGivenToOpen();
    void droppedFilesOpenAfterTheUnsavedQuestion_data();
    void droppedFilesOpenAfterTheUnsavedQuestion();
    void recentFiles();
    void editorCommandLine_data();
    void editorCommandLine();
};

void TestOpenFiles::packIsFoundFromTheWindowsPlaces_data() {
    QTest::addColumn<QStringList>("holding"); // of: setting, command line, app, map
    QTest::addColumn<QString>("used");
    QTest::newRow("beside the map") << QStringList{"map"} << "map";
    QTest::newRow("beside the editor over beside the map") << QStringList{"map", "app"} << "app";
    QTest::newRow("Tile Pack Folders over the built-in places")
        << QStringList{"map", "app", "setting"} << "setting";
    QTest::newRow("--tiles over Tile Pack Folders")
        << QStringList{"setting", "command line", "app"} << "command line";
}

void TestOpenFiles::packIsFoundFromTheWindowsPlaces() {
    QFETCH(QStringList, holding);
    QFETCH(QString, used);
    GuiFixture f;
    const QMap<QString, QString> folders = {{"setting", f.Path("mine")},
                                            {"command line", f.Path("given")},
                                            {"app", f.Path("tiles")},
                                            {"map", f.Path("game/tiles")}};
    // Each place its own number of tiles, to tell them apart.
    for (const QString& place : holding)
        WritePack(folders[place] + "/forest.pac", 2 + int(folders.keys().indexOf(place)));
    QDir().mkpath(f.Path("given"));
    QDir().mkpath(f.Path("game"));
    QVERIFY(WriteFile(f.Path("game/level.map"), SmallMap("forest.pac")));
    f.Window().SetCommandLineTileFolders({f.Path("given")});
    // Tile Pack Folders, as the user sets it: Add… and OK.
    f.Dialogs->Files << f.Path("mine");
    f.Dialogs->OnModal = [](QDialog& dialog) {
        Child<QPushButton>(dialog, "addFolderButton").click();
        Child<QDialogButtonBox>(dialog, "buttons").button(QDialogButtonBox::Ok)->click();
        return dialog.result();
    };
    f.Action("tilePackFoldersAction").trigger();
    f.Dialogs->Files << f.Path("game/level.map");
    f.Action("openMapAction").trigger();
    QVERIFY2(f.Dialogs->Messages.isEmpty(), qPrintable(f.Dialogs->Texts().join('\n')));
    QCOMPARE(f.TheDocument().PackPath(), folders[used] + "/forest.pac");
    QCOMPARE(f.ThePack().Count(), 2 + int(folders.keys().indexOf(used)));
}

void TestOpenFiles::missingPackIsLocatedOrNothingChanges_data() {
    QTest::addColumn<QList<Message::Answer>>("answers");
    QTest::addColumn<QString>("located"); // the file chosen; empty: the dialog cancelled
    QTest::addColumn<QString>("error");   // empty: opened with the file located
    QTest::newRow("located") << QList{Message::Yes} << "elsewhere/forest.pac"
                             << "";
    QTest::newRow("not asked to") << QList{Message::No} << "elsewhere/forest.pac"
                                  << "-";
    QTest::newRow("dialog cancelled") << QList{Message::Yes} << ""
                                      << "-";
    QTest::newRow("another name") << QList{Message::Yes} << "elsewhere/other.pac"
                                  << "has another name";
}

void TestOpenFiles::missingPackIsLocatedOrNothingChanges() {
    QFETCH(QList<Message::Answer>, answers);
    QFETCH(QString, located);
    QFETCH(QString, error);
    GuiFixture f;
    f.UseTiles(2);
    WritePack(f.Path("elsewhere/forest.pac"), 3);
    WritePack(f.Path("elsewhere/other.pac"), 4);
    QDir().mkpath(f.Path("game/maps"));
    QVERIFY(WriteFile(f.Path("game/maps/level.map"), SmallMap("forest.pac")));
    const QByteArray before = MapFile::Bytes(f.TheMap()) + PackFile::Bytes(f.ThePack());
    f.Dialogs->Answers = answers;
    f.Dialogs->Files << f.Path("game/maps/level.map");
    if (!located.isEmpty())
        f.Dialogs->Files << f.Path(located);
    f.Action("openMapAction").trigger();
    // The question names every folder searched, in order.
    const Message& ask = f.Dialogs->Messages.value(0);
    QVERIFY2(ask.Text.contains("\"forest.pac\"") && ask.Text.contains("Locate it?"),
             qPrintable(ask.Text));
    QCOMPARE(ask.Detail.split('\n').mid(1, 3),
             (QStringList{Shown(f.Path("tiles")), Shown(f.Path("game/maps/tiles")),
                          Shown(f.Path("game/tiles"))}));
    if (error.isEmpty()) {
        QCOMPARE(f.Dialogs->Messages.size(), 1);
        QCOMPARE(f.TheDocument().PackPath(), f.Path(located));
        QCOMPARE(f.ThePack().Count(), 3);
        QCOMPARE(f.TheMap().PackName, QByteArray("forest.pac"));
        QCOMPARE(f.TheDocument().MapPath(), f.Path("game/maps/level.map"));
        QVERIFY(!QFile::exists(f.Path("tiles/forest.pac"))); // nothing copied
        return;
    }
    QCOMPARE(f.Dialogs->Messages.size(), error == "-" ? 1 : 2);
    if (error != "-")
        QVERIFY2(f.Dialogs->Messages[1].Text.contains(error), qPrintable(f.Dialogs->Texts()[1]));
    QCOMPARE(MapFile::Bytes(f.TheMap()) + PackFile::Bytes(f.ThePack()), before);
}

void TestOpenFiles::filesGivenToOpen_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("tiles");     // of the pack the window has then
    QTest::addColumn<int>("width");     // of its map
    QTest::addColumn<QString>("error"); // the error box, if any
    QTest::newRow("a map") << QStringList{"game/level.map"} << 5 << 3 << "";
    QTest::newRow("a pack") << QStringList{"loose.pac"} << 4 << 14 << "";
    QTest::newRow("a pack by its content") << QStringList{"loose.bin"} << 4 << 14 << "";
    QTest::newRow("a map, then a pack")
        << QStringList{"game/level.map", "loose.pac"} << 4 << 3 << "";
    QTest::newRow("unreadable, then a map")
        << QStringList{"broken.map", "game/level.map"} << 5 << 3 << "broken.map";
    QTest::newRow("missing") << QStringList{"absent.map"} << 2 << 14 << "Cannot open file";
}

void TestOpenFiles::filesGivenToOpen() {
    QFETCH(QStringList, files);
    QFETCH(int, tiles);
    QFETCH(int, width);
    QFETCH(QString, error);
    GuiFixture f;
    f.UseTiles(2);
    WritePack(f.Path("game/tiles/forest.pac"), 5);
    WritePack(f.Path("loose.pac"), 4);
    WritePack(f.Path("loose.bin"), 4);
    QVERIFY(WriteFile(f.Path("game/level.map"), SmallMap("forest.pac")));
    QVERIFY(WriteFile(f.Path("broken.map"), SmallMap("forest.pac").chopped(3)));
    QStringList paths;
    for (const QString& file : files)
        paths << f.Path(file);
    f.Window().OpenFiles(paths);
    QCOMPARE(f.ThePack().Count(), tiles);
    QCOMPARE(f.TheMap().Width, width);
    QCOMPARE(f.Dialogs->Messages.size(), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty()) {
        QCOMPARE(f.Dialogs->Messages[0].Icon, Message::IconKind::Stop);
        QVERIFY2(f.Dialogs->Messages[0].Text.contains(error), qPrintable(f.Dialogs->Texts()[0]));
    }
}

void TestOpenFiles::droppedFilesOpenAfterTheUnsavedQuestion_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<Message::Answer>("answer");
    QTest::addColumn<int>("tiles"); // of the pack the window has then
    QTest::newRow("a map, discarding") << "game/level.map" << Message::Discard << 5;
    QTest::newRow("a map, cancelled") << "game/level.map" << Message::Cancel << 2;
    QTest::newRow("a pack, discarding") << "loose.pac" << Message::Discard << 4;
    QTest::newRow("a pack, cancelled") << "loose.pac" << Message::Cancel << 2;
}

void TestOpenFiles::droppedFilesOpenAfterTheUnsavedQuestion() {
    QFETCH(QString, file);
    QFETCH(Message::Answer, answer);
    QFETCH(int, tiles);
    GuiFixture f;
    f.UseTiles(2);
    WritePack(f.Path("game/tiles/forest.pac"), 5);
    WritePack(f.Path("loose.pac"), 4);
    QVERIFY(WriteFile(f.Path("game/level.map"), SmallMap("forest.pac")));
    // An unsaved change of both map and pack.
    f.TheDocument().Paint(QPoint(0, 0), 1);
    f.TheDocument().EndStroke();
    f.TheDocument().DeleteTile(1);
    f.Dialogs->Answers << answer;
    Drop(f, {f.Path(file)});
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    QVERIFY2(f.Dialogs->Messages[0].Text.contains("unsaved changes"),
             qPrintable(f.Dialogs->Texts()[0]));
    QCOMPARE(f.ThePack().Count(), answer == Message::Cancel ? 1 : tiles);
}

void TestOpenFiles::recentFiles() {
    GuiFixture f;
    WritePack(f.Path("game/tiles/forest.pac"), 5);
    QStringList maps;
    for (int i = 0; i < 12; ++i) {
        maps << f.Path(QString("game/level%1.map").arg(i));
        QVERIFY(WriteFile(maps.last(), SmallMap("forest.pac")));
        f.Window().OpenFiles({maps.last()});
    }
    // The latest first, ten at most; opened again, a file moves to the top.
    QStringList expected;
    for (int i = 11; i >= 2; --i)
        expected << maps[i];
    QCOMPARE(RecentEntries(f), expected);
    f.Window().OpenFiles({maps[5]});
    expected.removeAll(maps[5]);
    expected.prepend(maps[5]);
    QCOMPARE(RecentEntries(f), expected);
    QVERIFY(f.Find<QMenu>("recentMenu").actions().first()->text().contains("level5.map"));

    // A file no longer there is removed, with a word why; the others stay.
    QVERIFY(QFile::remove(maps[9]));
    QAction* gone = nullptr;
    for (QAction* action : f.Find<QMenu>("recentMenu").actions())
        if (action->data().toString() == maps[9])
            gone = action;
    QVERIFY(gone);
    gone->trigger();
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    QVERIFY(f.Dialogs->Messages[0].Text.contains(Shown(maps[9])));
    expected.removeAll(maps[9]);
    QCOMPARE(RecentEntries(f), expected);

    // Opening one from the list opens it.
    f.Find<QMenu>("recentMenu").actions()[1]->trigger();
    QCOMPARE(f.TheDocument().MapPath(), expected[1]);

    f.Action("clearRecentAction").trigger();
    QVERIFY(RecentEntries(f).isEmpty());
    QVERIFY(!f.Action("clearRecentAction").isEnabled());
}

void TestOpenFiles::editorCommandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out"); // what stdout or stderr holds
    QTest::newRow("version") << QStringList{"--version"} << 0 << "Korvane " KORVANE_VERSION;
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--tiles <DIR>";
    QTest::newRow("unknown option")
        << QStringList{"--bogus", "x.map"} << 2 << "Unknown option 'bogus'";
    QTest::newRow("--tiles without its folder")
        << QStringList{"--tiles"} << 2 << "Missing value after '--tiles'";
    QTest::newRow("--tiles of no folder") << QStringList{"--tiles", "/no/such/folder"} << 2
                                          << "--tiles \"/no/such/folder\" is no folder";
}

void TestOpenFiles::editorCommandLine() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, out);
    // Each ends before any window: under a display that does not exist, none could open.
    QProcess editor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    editor.setProcessEnvironment(env);
    editor.start(QCoreApplication::applicationDirPath() + "/Korvane", args);
    QVERIFY(editor.waitForFinished(30000));
    QCOMPARE(editor.exitCode(), code);
    const QString said =
        QString::fromLocal8Bit(editor.readAllStandardOutput() + editor.readAllStandardError());
    QVERIFY2(said.contains(out), qPrintable(said));
}

KORVANE_GUI_TEST_MAIN(TestOpenFiles)
#include "tst_openfiles.moc"
