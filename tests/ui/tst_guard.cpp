// The guard on unsaved work: Exit, closing the window, New Map, Open Map and Load TilePack ask
// before they replace unsaved changes, and every answer leaves files and model as it says.

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include <QToolButton>

using namespace TestSupport;

namespace {
QByteArray Model(GuiFixture& f) {
    return MapFile::Bytes(f.TheMap()) + PackFile::Bytes(f.ThePack());
}

QList<Message> Questions(const ScriptedDialogs& dialogs) {
    QList<Message> questions;
    for (const Message& m : dialogs.Messages)
        if (m.Buttons == Message::ButtonSet::SaveDiscardCancel)
            questions << m;
    return questions;
}
} // namespace

class TestGuard : public QObject {
    Q_OBJECT
private slots:
    void commandsAskFirst_data();
    void commandsAskFirst();
    void savingThePackUnderANewNameAsksForTheMap();
    void theQuestionBox();
};

void TestGuard::commandsAskFirst_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("unsaved"); // "map", "pack" or "both"
    QTest::addColumn<QString>("answer"); // Save, Discard, Cancel, a save that fails or is cancelled
    QTest::addColumn<QString>("asked");  // the box's text; empty: no question
    QTest::addColumn<bool>("goesOn");
    const QString map = "The map has unsaved changes.", pack = "The tile pack has unsaved changes.",
                  both = "The map and the tile pack have unsaved changes.";
    const struct {
        const char* command;
        const char* unsaved;
        QString asked;
    } commands[] = {{"Exit", "both", both},
                    {"close", "map", map},
                    {"New Map", "map", map},
                    {"Open Map", "both", both},
                    {"Load TilePack", "pack", pack}};
    const auto row = [](const QString& command, const QString& unsaved, const QString& answer,
                        const QString& asked, bool goesOn) {
        QTest::addRow("%s, %s unsaved, %s", qPrintable(command), qPrintable(unsaved),
                      qPrintable(answer))
            << command << unsaved << answer << asked << goesOn;
    };
    for (const auto& c : commands)
        for (const QString answer : {"Save", "Discard", "Cancel", "save fails", "save cancelled"})
            row(c.command, c.unsaved, answer, c.asked, answer == "Save" || answer == "Discard");
    // What a command does not replace is not asked about.
    row("New Map", "pack", "", "", true);
    row("Load TilePack", "map", "", "", true);
    row("close", "pack", "Save", pack, true);
    row("Open Map", "map", "Cancel", map, false);
}

void TestGuard::commandsAskFirst() {
    QFETCH(QString, command);
    QFETCH(QString, unsaved);
    QFETCH(QString, answer);
    QFETCH(QString, asked);
    QFETCH(bool, goesOn);
    GuiFixture f;
    // Saved files to start from, and the map and pack the commands would open.
    f.UseTiles(2);
    const QString mapFile = f.Path("level.map"), packFile = f.Path("tiles/p.pac");
    PackFile::Write(f.ThePack(), f.Path("tiles/other.pac"));
    QVERIFY(
        WriteFile(f.Path("other.map"), MapFileBytes({"", "", "other.pac", ""}, 3, 1, {1, 1, 1})));
    f.UseTiles(3);
    f.TheDocument().SavePack(packFile, "p.pac");
    f.TheDocument().SaveMap(mapFile);
    const QByteArray mapOnDisk = ReadFile(mapFile), packOnDisk = ReadFile(packFile);
    QVERIFY(WriteFile(f.Path("grass.bmp"), SolidBmp(48, 48, TileColours[3])));
    if (unsaved != "pack") {
        f.TheDocument().Paint({1, 1}, 2);
        f.TheDocument().EndStroke();
    }
    if (unsaved != "map")
        f.TheDocument().AddTile(f.Path("grass.bmp"));
    QVERIFY(f.Window().isWindowModified());
    const QByteArray before = Model(f);

    // The answer to the question, then the save dialogs: the pack's first, then the map's.
    if (!answer.isEmpty())
        f.Dialogs->Answers << (answer == "Discard"  ? Message::Discard
                               : answer == "Cancel" ? Message::Cancel
                                                    : Message::Save);
    const bool savePack = unsaved != "map" && !(command == "New Map" && unsaved == "pack");
    const bool saveMap = unsaved != "pack" && command != "Load TilePack";
    QVERIFY(WriteFile(f.Path("file"), "not a directory"));
    if (answer == "Save") {
        if (savePack)
            f.Dialogs->Files << packFile;
        if (saveMap)
            f.Dialogs->Files << mapFile;
    } else if (answer == "save fails") {
        f.Dialogs->Files << f.Path(savePack ? "file/x.pac" : "file/x.map");
    } else if (answer == "save cancelled") {
        f.Dialogs->Files << std::nullopt;
    }
    // What the command goes on to: a file to open, a New Map dialog filled in.
    f.Dialogs->Files << f.Path(command == "Open Map" ? "other.map" : "tiles/other.pac");
    f.AnswerNewMap("4", "3", "48", "new");
    const QByteArray expectedMap = MapFile::Bytes(f.TheMap());
    const QByteArray expectedPack = PackFile::Bytes(f.ThePack());
    if (command == "Exit")
        f.Action("exitAction").trigger();
    else if (command == "close")
        f.Window().windowHandle()->close(); // as the platform's close button does
    else if (command == "New Map")
        f.Action("newMapAction").trigger();
    else if (command == "Open Map")
        f.Action("openMapAction").trigger();
    else
        f.Find<QToolButton>("loadTilePackButton").click();

    const QList<Message> questions = Questions(*f.Dialogs);
    QCOMPARE(questions.size(), asked.isEmpty() ? 0 : 1);
    if (!asked.isEmpty()) {
        QCOMPARE(questions[0].Text, asked);
        QCOMPARE(questions[0].Default, Message::Save);
    }
    // A failed save is reported as ever, and ends the command.
    const bool failed = answer == "save fails";
    QCOMPARE(f.Dialogs->Messages.size(), questions.size() + int(failed));
    if (failed)
        QVERIFY2(f.Dialogs->Messages.last().Text.startsWith("Cannot create file"),
                 qPrintable(f.Dialogs->Messages.last().Text));
    // Files: written by Save, untouched otherwise.
    const bool saved = answer == "Save";
    QCOMPARE(ReadFile(mapFile), saved && saveMap ? expectedMap : mapOnDisk);
    QCOMPARE(ReadFile(packFile), saved && savePack ? expectedPack : packOnDisk);
    // The command went on, or left everything as it was.
    bool wentOn = false;
    if (command == "Exit" || command == "close")
        wentOn = !f.Window().isVisible();
    else if (command == "New Map")
        wentOn = f.TheMap().Width == 4;
    else if (command == "Open Map")
        wentOn = f.TheMap().PackName == "other.pac" && f.ThePack().Count() == 2;
    else
        wentOn = f.ThePack().Count() == 2;
    QCOMPARE(wentOn, goesOn);
    if (!goesOn)
        QCOMPARE(Model(f), before);
    if (saved && (command == "Exit" || command == "close"))
        QVERIFY(!f.TheDocument().Unsaved());
}

void TestGuard::savingThePackUnderANewNameAsksForTheMap() {
    // Saving the pack under a new name changes the map's record of it: the question comes
    // again, for the map alone.
    {
        GuiFixture f;
        f.UseTiles(2);
        QVERIFY(WriteFile(f.Path("grass.bmp"), SolidBmp(48, 48, TileColours[3])));
        f.TheDocument().AddTile(f.Path("grass.bmp"));
        f.Dialogs->Answers << Message::Save << Message::Save;
        f.Dialogs->Files << f.Path("tiles/new.pac") << f.Path("level.map");
        f.Action("exitAction").trigger();
        QCOMPARE(f.Dialogs->Texts(), (QStringList{"The tile pack has unsaved changes.",
                                                  "The map has unsaved changes."}));
        QVERIFY(!f.Window().isVisible());
        QCOMPARE(ReadFile(f.Path("level.map")), MapFile::Bytes(f.TheMap()));
        QCOMPARE(f.TheMap().PackName, QByteArray("new.pac"));
    }
    // With no pack to name, the map cannot be saved: the warning, and the window stays.
    GuiFixture g;
    g.UseTiles(2);
    g.TheDocument().Paint({0, 0}, 1);
    g.TheDocument().EndStroke();
    g.Dialogs->Answers << Message::Save;
    g.Action("exitAction").trigger();
    QVERIFY(g.Window().isVisible());
    QCOMPARE(g.Dialogs->Messages.last().Caption, "Warning");
    QVERIFY(g.Dialogs->FileDialogs.isEmpty());
}

void TestGuard::theQuestionBox() {
    GuiFixture f;
    f.UseTiles(1);
    f.TheDocument().Paint({0, 0}, -1);
    f.TheDocument().EndStroke();
    f.Dialogs->Answers << Message::Cancel;
    f.Action("exitAction").trigger();
    const Message box = f.Dialogs->Messages.constFirst();
    QCOMPARE(box.Caption, "tst_guard");
    QCOMPARE(box.Icon, Message::IconKind::Warning);
    QCOMPARE(box.Detail, "Save them before going on?");
    // Undoing back to the saved state leaves nothing to ask about.
    f.Action("undoAction").trigger();
    f.Dialogs->Messages.clear();
    f.Action("exitAction").trigger();
    QVERIFY(f.Dialogs->Messages.isEmpty());
    QVERIFY(!f.Window().isVisible());
}

KORVANE_GUI_TEST_MAIN(TestGuard)
#include "tst_guard.moc"
