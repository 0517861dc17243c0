// The map and tile pack file commands: files on disk byte for byte, the shared dialogs, and
// what every failure leaves in memory and on disk.

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "document/Recovery.h"
#include "platform/Cp1251.h"
#include "ui/NewMapDialog.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

using namespace TestSupport;

namespace {
// What a failed command must leave as it was.
QByteArray State(GuiFixture& f) {
    return MapFile::Bytes(f.TheMap()) + PackFile::Bytes(f.ThePack()) +
           Int32s({f.MainView().OffsetX, f.MainView().OffsetY, f.TheMap().TileSize,
                   f.TileList().count()}) +
           f.Status().Text().toUtf8();
}

QByteArray SmallMap(const QByteArray& packName, qint32 width = 3) {
    return MapFileBytes({"saved", "", packName, "four"}, width, 2,
                        QList<qint32>(qAbs(width) * 2, 1));
}
} // namespace

class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void saveTilePackThenMap();
    void saveFailuresKeepFilesAndNames();
    void loadTilePackAndOpenMapReplacePackAndPalette();
    void failedReadsKeepEverything_data();
    void failedReadsKeepEverything();
    void saveOffersItsOwnKindAndAsksBeforeTheOther();
    void newMapHasNoFileAndOtherFilesAreAskedFor();
    void packNamesAMapCanRecord_data();
    void packNamesAMapCanRecord();
    void dialogsAreSharedAndRemembered();
};

void TestFileCommands::saveTilePackThenMap() {
    GuiFixture f;
    f.UseTiles(3);
    // A map that names no tile pack is not saved; the dialog does not even appear.
    f.Dialogs->Files << f.Path("level.map");
    f.Action("saveMapAction").trigger();
    QVERIFY(f.Dialogs->FileDialogs.isEmpty() && !QFile::exists(f.Path("level.map")));
    QCOMPARE(f.Dialogs->Texts(), QStringList{"Для карты не указан/не сохранен таил пак(Сохраните "
                                             "Текущий Таил Пак) !!!"});
    QCOMPARE(f.Dialogs->Messages[0].Caption, "Warning");
    QCOMPARE(f.Dialogs->Messages[0].Icon, Message::IconKind::Warning);

    f.Dialogs->Messages.clear();
    f.Status().SetText("before");
    f.Dialogs->Files = {f.Path("forest.pac")};
    f.Find<QToolButton>("saveTilePackButton").click();
    QCOMPARE(ReadFile(f.Path("forest.pac")), PackFile::Bytes(f.ThePack()));
    QCOMPARE(f.TheMap().PackName, QByteArray("forest.pac"));
    QCOMPARE(f.Status().Text(), "before");

    QList<qint32> cells(14 * 14, 0);
    f.TheMap().Cells[1][0] = cells[1] = 2;
    f.TheMap().Cells[0][1] = cells[14] = -1;
    for (int save = 0; save < 2; ++save) { // the second overwrites without asking
        f.Dialogs->Files << f.Path("level.map");
        f.Action("saveMapAction").trigger();
        QCOMPARE(f.TheMap().Text1, QByteArray("testing!!!"));
        QCOMPARE(f.Status().Text(), "saved... ok!");
        QCOMPARE(ReadFile(f.Path("level.map")),
                 MapFileBytes({"testing!!!", "", "forest.pac", ""}, 14, 14, cells));
        f.TheMap().Cells[1][0] = cells[1] = 0;
    }
    QVERIFY(f.Dialogs->Messages.isEmpty());
}

void TestFileCommands::saveFailuresKeepFilesAndNames() {
    GuiFixture f;
    f.UseTiles(2);
    f.TheMap().PackName = "old.pac";
    QVERIFY(WriteFile(f.Path("file"), "a file, not a directory"));
    f.Dialogs->Files << f.Path("file/x.pac") << f.Path("file/x.map");
    f.Find<QToolButton>("saveTilePackButton").click();
    QCOMPARE(f.TheMap().PackName, QByteArray("old.pac"));
    f.Action("saveMapAction").trigger();
    QCOMPARE(f.Dialogs->Messages.size(), 2);
    QVERIFY(f.Dialogs->Messages[0].Text.startsWith(
        QString("Cannot create file \"%1\". ").arg(Shown(f.Path("file/x.pac")))));
    QCOMPARE(f.Dialogs->Messages[0].Icon, Message::IconKind::Stop);
    QVERIFY(!f.Status().Text().contains("saved"));
    QCOMPARE(ReadFile(f.Path("file")), QByteArray("a file, not a directory"));
}

void TestFileCommands::loadTilePackAndOpenMapReplacePackAndPalette() {
    GuiFixture f;
    f.UseTiles(3);
    PackFile::Write(f.ThePack(), f.Path("tiles/forest.pac"));
    f.UseTiles(1);
    // Load TilePack leaves the cells as they are: this one now shows tile 2 of the new pack.
    f.TheMap().Cells[0][0] = 2;
    f.Dialogs->Files << f.Path("tiles/forest.pac");
    f.Find<QToolButton>("loadTilePackButton").click();
    QCOMPARE(f.TileNames(), (QByteArrayList{"tile0", "tile1", "tile2"}));
    QCOMPARE(f.ThePack().At(2).Param2, 22);
    QCOMPARE(f.TileList().count(), 3);
    QCOMPARE(f.TheMap().PackName, QByteArray("forest.pac"));
    QCOMPARE(f.ViewPixel(5, 5), TileColours[2]);

    // Open Map takes its pack from AppDir/tiles, wherever the map is, and keeps the view.
    f.UseTiles(1);
    QTest::keyClick(&f.Window(), Qt::Key_Right);
    QVERIFY(WriteFile(f.Path("elsewhere.map"), SmallMap("forest.pac")));
    f.Dialogs->Files << f.Path("elsewhere.map");
    f.Action("openMapAction").trigger();
    QVERIFY(f.Dialogs->Messages.isEmpty());
    QCOMPARE(MapFile::Bytes(f.TheMap()), SmallMap("forest.pac"));
    QCOMPARE(QPoint(f.MainView().OffsetX, f.TheMap().TileSize), QPoint(4, 48));
    QCOMPARE(f.ThePack().Count(), 3);
    QCOMPARE(f.TileList().count(), 3);
    QCOMPARE(f.Status().Text(), "loading done!");
    QCOMPARE(f.ViewPixel(4 * 48, 5), Background); // outside the smaller map
}

void TestFileCommands::failedReadsKeepEverything_data() {
    QTest::addColumn<bool>("openMap");       // or Load TilePack
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("pack");       // the map's pack, which the error names too
    const QByteArray map = SmallMap("p.pac");
    QTest::newRow("map missing") << true << QByteArray() << "";
    QTest::newRow("map truncated") << true << map.left(map.size() - 2) << "";
    QTest::newRow("map of negative width") << true << SmallMap("p.pac", -3) << "";
    QTest::newRow("pack missing") << false << QByteArray() << "";
    QTest::newRow("pack truncated") << false << QByteArray("truncated") << "";
    QTest::newRow("pack with a bad image")
        << false << Int32s({1, 0, 1}) + "a" + Int32s({0, 0, 0, 0, 0, 0, 14}) + "NOT A BITMAP!!"
        << "";
    QTest::newRow("pack of a huge count") << false << Int32s({1000000000, 0}) << "";
    // Open Map changes nothing unless the map and its pack both read: the map alone would be
    // shown, and saved, with a pack that is not its own.
    // (A pack found nowhere is offered to be located: tst_openfiles.)
    QTest::newRow("map's pack truncated")
        << true << SmallMap("broken.pac", 5) << "tiles/broken.pac";
    // A pack the map names but cannot have: outside.pac beside tiles/ is there to be reached.
    for (const char* name : {"", ".", "..", "../outside.pac", "..\\outside.pac", "/outside.pac"})
        QTest::addRow("pack named \"%s\"", name) << true << SmallMap(name, 5) << "";
}

void TestFileCommands::failedReadsKeepEverything() {
    QFETCH(bool, openMap);
    QFETCH(QByteArray, content);
    QFETCH(QString, pack);
    GuiFixture f;
    f.UseTiles(3);
    PackFile::Write(f.ThePack(), f.Path("outside.pac"));
    QVERIFY(WriteFile(f.Path("tiles/broken.pac"), PackFile::Bytes(f.ThePack()).chopped(1)));
    f.UseTiles(2);
    f.TheMap().PackName = "kept.pac";
    if (content == "truncated")
        content = PackFile::Bytes(f.ThePack()).chopped(1);
    if (!content.isEmpty())
        QVERIFY(WriteFile(f.Path("bad"), content));
    const QByteArray before = State(f);
    f.Dialogs->Files << f.Path("bad");
    if (openMap)
        f.Action("openMapAction").trigger();
    else
        f.Find<QToolButton>("loadTilePackButton").click();
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    const Message& error = f.Dialogs->Messages[0];
    QCOMPARE(error.Icon, Message::IconKind::Stop);
    QVERIFY2(error.Text.contains(Shown(f.Path("bad"))), qPrintable(error.Text));
    QVERIFY2(pack.isEmpty() || error.Text.contains(Shown(f.Path(pack))), qPrintable(error.Text));
    QVERIFY(!content.isEmpty() || error.Text.startsWith("Cannot open file "));
    QCOMPARE(State(f), before);
    QCOMPARE(f.ViewPixel(5, 5), TileColours[0]);
    QCOMPARE(f.ViewPixel(5 * 48 + 2, 5), TileColours[0]);
}

void TestFileCommands::saveOffersItsOwnKindAndAsksBeforeTheOther() {
    GuiFixture f;
    f.UseTiles(2);
    const QString pack = f.Path("tiles/forest.pac"), map = f.Path("level.map");
    auto save = [&f](QAction& command, const QString& path,
                     std::optional<Message::Answer> answer = std::nullopt) {
        f.Dialogs->Messages.clear();
        f.Dialogs->Files << path;
        if (answer)
            f.Dialogs->Answers << *answer;
        command.trigger();
        return f.Dialogs->FileDialogs.constLast().FileName; // the name it offered
    };
    QAction savePack;
    connect(&savePack, &QAction::triggered, &f.Find<QToolButton>("saveTilePackButton"),
            &QToolButton::click);
    // Each command offers the last name of its own kind.
    QCOMPARE(save(savePack, pack), QString());
    QCOMPARE(save(f.Action("saveMapAction"), map), QString());
    QCOMPARE(save(savePack, pack), pack);
    QCOMPARE(save(f.Action("saveMapAction"), map), map);
    QVERIFY(f.Dialogs->Messages.isEmpty()); // over their own kind without asking
    const QByteArray packBytes = ReadFile(pack), mapBytes = ReadFile(map);

    // The other kind only when the user says so; Enter says no.
    f.TheMap().Text1 = "kept";
    f.Status().SetText("before");
    save(f.Action("saveMapAction"), pack);
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    const Message ask = f.Dialogs->Messages[0];
    QCOMPARE(ask.Text, QString("\"%1\" is a tile pack. Replace it with the map?").arg(Shown(pack)));
    QCOMPARE(ask.Caption, "Confirm");
    QCOMPARE(ask.Buttons, Message::ButtonSet::YesNo);
    QCOMPARE(ask.Default, Message::No);
    QCOMPARE(ReadFile(pack), packBytes);
    QCOMPARE(f.TheMap().Text1, QByteArray("kept"));
    QCOMPARE(f.Status().Text(), "before");
    save(savePack, map, Message::No);
    QCOMPARE(
        f.Dialogs->Texts(),
        QStringList{QString("\"%1\" is a map. Replace it with the tile pack?").arg(Shown(map))});
    QCOMPARE(ReadFile(map), mapBytes);
    QCOMPARE(f.TheMap().PackName, QByteArray("forest.pac"));
    save(savePack, map, Message::Yes);
    QCOMPARE(ReadFile(map), packBytes);
    QCOMPARE(f.TheMap().PackName, QByteArray("level.map"));
    // A file of neither kind is replaced when the user says so.
    QVERIFY(WriteFile(f.Path("notes.txt"), "notes"));
    save(f.Action("saveMapAction"), f.Path("notes.txt"), Message::Yes);
    QCOMPARE(
        f.Dialogs->Texts(),
        QStringList{QString("\"%1\" already exists. Replace it?").arg(Shown(f.Path("notes.txt")))});
    QCOMPARE(f.Status().Text(), "saved... ok!");
}

void TestFileCommands::newMapHasNoFileAndOtherFilesAreAskedFor() {
    GuiFixture f;
    f.UseTiles(2);
    const QString pack = f.Path("tiles/p.pac"), other = f.Path("tiles/other.pac");
    const QString demo = f.Path("maps/demo.map"), level = f.Path("maps/level.map");
    PackFile::Write(f.ThePack(), pack);
    PackFile::Write(f.ThePack(), other);
    QVERIFY(WriteFile(demo, SmallMap("p.pac")));
    QVERIFY(WriteFile(level, SmallMap("p.pac", 4)));
    const QByteArray demoBytes = ReadFile(demo), levelBytes = ReadFile(level);
    f.Dialogs->Files << demo;
    f.Action("openMapAction").trigger();

    // New Map, Load TilePack, Save: no name offered, only the folder of the last map; Enter
    // on demo.map does not replace it.
    f.AnswerNewMap("5", "5", "48", "new");
    f.Action("newMapAction").trigger();
    QCOMPARE(f.TheDocument().MapPath(), QString());
    f.Dialogs->Files << pack << demo;
    f.Find<QToolButton>("loadTilePackButton").click();
    f.Action("saveMapAction").trigger();
    QCOMPARE(f.Dialogs->FileDialogs.constLast().FileName, QString());
    QCOMPARE(f.Dialogs->FileDialogs.constLast().Folder, QFileInfo(demo).absolutePath());
    QCOMPARE(f.Dialogs->Texts(),
             QStringList{QString("\"%1\" already exists. Replace it?").arg(Shown(demo))});
    const Message ask = f.Dialogs->Messages[0];
    QCOMPARE(ask.Caption, "Confirm");
    QCOMPARE(ask.Buttons, Message::ButtonSet::YesNo);
    QCOMPARE(ask.Default, Message::No);
    QCOMPARE(ReadFile(demo), demoBytes);
    QVERIFY(f.TheDocument().Unsaved().testFlag(DocumentPart::Map));

    // The recovery copy of the new map, and its offer, name no file; restored, it has none.
    const QString copies = f.Path("recovery");
    {
        Recovery recovery(f.TheDocument(), copies);
        QVERIFY(recovery.WriteNow());
        const QString left = QDir(copies).filePath("left");
        QVERIFY(QDir().mkpath(left));
        for (const QString& file : QDir(recovery.OwnCopy()).entryList(QDir::Files))
            QVERIFY(
                QFile::copy(QDir(recovery.OwnCopy()).filePath(file), QDir(left).filePath(file)));
    }
    f.TheDocument().Undo(); // Load TilePack and New Map: back to demo.map
    f.TheDocument().Undo();
    QCOMPARE(f.TheDocument().MapPath(), demo);
    f.Dialogs->Messages.clear();
    f.Dialogs->Answers << Message::Restore << Message::Discard; // what the undo left unsaved
    f.Window().StartRecovery(copies);
    QCOMPARE(f.Dialogs->Messages.size(), 2);
    QVERIFY2(f.Dialogs->Messages[0].Detail.startsWith("Map: never saved, 5 × 5 cells"),
             qPrintable(f.Dialogs->Messages[0].Detail));
    QCOMPARE(f.TheDocument().MapPath(), QString());
    QCOMPARE(f.TheMap().Width, 5);

    // Saving where the user says; Yes replaces; then it is the map's own file and no question.
    f.Dialogs->Messages.clear();
    f.Dialogs->Files << level << level;
    f.Dialogs->Answers << Message::Yes;
    f.Action("saveMapAction").trigger();
    f.Action("saveMapAction").trigger();
    QCOMPARE(f.Dialogs->FileDialogs.constLast().FileName, level); // offered now
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    QVERIFY(ReadFile(level) != levelBytes);
    QCOMPARE(ReadFile(level), MapFile::Bytes(f.TheMap()));

    // A pack saved over another existing pack asks too; No keeps it.
    f.Dialogs->Messages.clear();
    const QByteArray otherBytes = ReadFile(other);
    f.Dialogs->Files << other;
    f.Dialogs->Answers << Message::No;
    f.Find<QToolButton>("saveTilePackButton").click();
    QCOMPARE(f.Dialogs->Texts(),
             QStringList{QString("\"%1\" already exists. Replace it?").arg(Shown(other))});
    QCOMPARE(ReadFile(other), otherBytes);
    QCOMPARE(f.TheMap().PackName, QByteArray("p.pac"));
}

void TestFileCommands::packNamesAMapCanRecord_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refused"); // the character the error names; empty: accepted
    QTest::newRow("cyrillic") << "лес.pac" << QString();
    QTest::newRow("a letter Windows-1251 lacks") << "grün.pac" << QString("ü");
    QTest::newRow("outside the basic plane") << "tiles😀.pac" << QString("😀");
    QTest::newRow("backslash") << "a\\b.pac" << QString("\\");
}

void TestFileCommands::packNamesAMapCanRecord() {
    QFETCH(QString, name);
    QFETCH(QString, refused);
    GuiFixture f;
    f.UseTiles(2);
    const QString path = f.Path(name);
    f.TheMap().PackName = "old.pac";
    // Save Tile Pack refuses before it writes anything, and says which character.
    f.Dialogs->Files << path;
    f.Find<QToolButton>("saveTilePackButton").click();
    if (refused.isEmpty()) {
        QVERIFY(f.Dialogs->Messages.isEmpty());
        QCOMPARE(f.TheMap().PackName, Cp1251::FromUnicode(name));
    } else {
        QCOMPARE(f.Dialogs->Messages.size(), 1);
        QVERIFY2(f.Dialogs->Messages[0].Text.contains('"' + refused + '"'),
                 qPrintable(f.Dialogs->Messages[0].Text));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(f.TheMap().PackName, QByteArray("old.pac"));
    }
    // Load TilePack loads such a pack, but keeps the name the map had and says why.
    f.UseTiles(3);
    PackFile::Write(f.ThePack(), path);
    f.UseTiles(1);
    f.TheMap().PackName = "old.pac";
    f.Dialogs->Messages.clear();
    f.Dialogs->Files << path;
    f.Find<QToolButton>("loadTilePackButton").click();
    QCOMPARE(f.ThePack().Count(), 3);
    QCOMPARE(f.TileList().count(), 3);
    QCOMPARE(f.TheMap().PackName, refused.isEmpty() ? Cp1251::FromUnicode(name) : "old.pac");
    QCOMPARE(f.Dialogs->Messages.size(), refused.isEmpty() ? 0 : 1);
    if (!refused.isEmpty()) {
        const QString text = f.Dialogs->Messages[0].Text;
        QVERIFY2(text.contains('"' + refused + '"') && text.contains("\"old.pac\""),
                 qPrintable(text));
    }
}

void TestFileCommands::dialogsAreSharedAndRemembered() {
    GuiFixture f;
    f.UseTiles(1);
    PackFile::Write(f.ThePack(), f.Path("p.pac"));
    f.Dialogs->Files << f.Path("p.pac") << f.Path("saved.pac") << f.Path("m.map") << std::nullopt;
    f.Find<QToolButton>("loadTilePackButton").click(); // Load TilePack
    f.Find<QToolButton>("saveTilePackButton").click(); // Save Tile Pack
    f.Action("saveMapAction").trigger();
    f.Action("openMapAction").trigger(); // cancelled: nothing changes
    QStringList runs; // kind (open, save), filter, its index, default extension, file name
    for (const FileDialog& d : f.Dialogs->FileDialogs)
        runs << QString("%1 %2 %3 %4 %5")
                    .arg(int(d.Kind))
                    .arg(d.Filter)
                    .arg(d.FilterIndex)
                    .arg(d.DefaultExt, QFileInfo(d.FileName).fileName());
    // The open dialog offers the path it returned last; the save dialog the last name of the
    // kind being saved, here the pack just loaded and then no map yet.
    QCOMPARE(runs, (QStringList{"0 Map file|*.map|TilePack|*.pac 2 *.pac ",
                                "1 Map |*.map|TilePack|*.pac 2 *.pac p.pac",
                                "1 Map |*.map|TilePack|*.pac 1 *.map ",
                                "0 Map file|*.map|TilePack|*.pac 1 *.map p.pac"}));
    QCOMPARE(f.TheMap().Width, 14);
}

KORVANE_GUI_TEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
