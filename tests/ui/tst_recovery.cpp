// Recovery after a crash: the copy follows unsaved work and never holds half a stroke, a
// running editor's copy is never taken, unreadable copies are kept aside, and an editor killed
// outright is restored by the next one, the real executable included.

#include "ScriptedDialogs.h"

#include "model/Recovery.h"
#include "platform/TBitmap.h"

#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

using namespace TestSupport;
using namespace std::chrono_literals;

namespace {
// A saved document of its own and a recovery directory beside it.
struct TSaved {
    QTemporaryDir Dir;
    tMap Map{48, nullptr};
    tTilePack Pack;
    TDocument Doc{Map, Pack};

    TSaved() {
        Map.New(6, 5, 48);
        WriteFile(Path("grass.bmp"), SolidBmp(48, 48, qRgb(0, 150, 0)));
        Doc.AddTile(Path("grass.bmp"));
        Doc.SavePack(Path("p.pac"), "p.pac");
        Doc.SaveMap(Path("m.map"));
    }
    QString Path(const QString& name) const { return Dir.filePath(name); }
    QString Copies() const { return Path("recovery"); }
    void Stroke(QPoint cell, TileIndex tile) {
        Doc.Paint(cell, tile);
        Doc.EndStroke();
    }
};

bool HasNote(const QString& copy) {
    return QFileInfo::exists(QDir(copy).filePath("note.json"));
}

// What another editor finds after this one stopped without a word: its copy without a lock.
QString LeftByACrash(const QString& copy, const QString& name) {
    const QString left = QFileInfo(copy).dir().filePath(name);
    QDir().mkpath(left);
    for (const QString& file : QDir(copy).entryList(QDir::Files))
        QFile::copy(QDir(copy).filePath(file), QDir(left).filePath(file));
    return left;
}

QString RunToEnd(QProcess& process) {
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}
} // namespace

class TestRecovery : public QObject {
    Q_OBJECT
private slots:
    void copyFollowsUnsavedWork();
    void neverHalfAStroke();
    void restoreAndUnreadableCopies_data();
    void restoreAndUnreadableCopies();
    void failedWritesAreReported();
    void killedEditorIsRestored();
};

void TestRecovery::copyFollowsUnsavedWork() {
    TSaved s;
    TRecovery recovery(s.Doc, s.Copies(), 20ms, 200ms);
    QTest::qWait(100);
    QVERIFY(!QFileInfo::exists(recovery.OwnCopy())); // nothing unsaved, nothing copied
    s.Stroke({1, 1}, -1);
    s.Doc.AddTile(s.Path("grass.bmp"));
    QTRY_VERIFY(HasNote(recovery.OwnCopy()));
    // A second editor leaves a running one's copy alone.
    TRecovery second(s.Doc, s.Copies());
    QVERIFY(second.Orphans().isEmpty());
    // Once that editor is gone without removing it, the copy is found and read back whole.
    const QString left = LeftByACrash(recovery.OwnCopy(), "left");
    QCOMPARE(second.Orphans(), QStringList{left});
    const TRecoveredWork work = second.Read(left);
    QCOMPARE(work.Map->SaveToBytes(), s.Map.SaveToBytes());
    QCOMPARE(work.Pack->SaveToBytes(true, {}), s.Pack.SaveToBytes(true, {}));
    QCOMPARE(work.Map->TileSize, 48);
    QCOMPARE(work.Unsaved, TPart::Map | TPart::Pack);
    QCOMPARE(work.MapFile, s.Path("m.map"));
    QCOMPARE(work.PackFile, s.Path("p.pac"));
    QVERIFY(work.Written.isValid());
    // Undo back to what is saved, and the copy goes.
    s.Doc.Undo();
    s.Doc.Undo();
    QTRY_VERIFY(!QFileInfo::exists(recovery.OwnCopy()));
    s.Stroke({1, 1}, -1);
    QTRY_VERIFY(HasNote(recovery.OwnCopy()));
    s.Doc.SaveMap(s.Path("m.map"));
    QTRY_VERIFY(!QFileInfo::exists(recovery.OwnCopy()));
    second.Discard(left);
    QVERIFY(!QFileInfo::exists(left) && !QFileInfo::exists(left + ".lock"));
    // A normal end removes the copy and the lock.
    auto ending = std::make_unique<TRecovery>(s.Doc, s.Copies(), 1ms, 1ms);
    s.Stroke({1, 1}, 0);
    QTRY_VERIFY(HasNote(ending->OwnCopy()));
    const QString own = ending->OwnCopy();
    ending.reset();
    QVERIFY(!QFileInfo::exists(own) && !QFileInfo::exists(own + ".lock"));
}

void TestRecovery::neverHalfAStroke() {
    TSaved s;
    TRecovery recovery(s.Doc, s.Copies(), 5ms, 5ms);
    s.Stroke({0, 0}, -1);
    // A stroke begun before the copy fell due holds it back until the stroke ends.
    s.Doc.Paint({1, 0}, -1);
    QTest::qWait(200);
    QVERIFY(!HasNote(recovery.OwnCopy()));
    s.Doc.Paint({2, 0}, -1);
    s.Doc.EndStroke();
    QTRY_VERIFY(HasNote(recovery.OwnCopy()));
    TRecovery other(s.Doc, s.Copies());
    const TRecoveredWork work = other.Read(LeftByACrash(recovery.OwnCopy(), "left"));
    QCOMPARE(work.Map->SaveToBytes(), s.Map.SaveToBytes());
    QCOMPARE(work.Unsaved, TParts(TPart::Map));
}

void TestRecovery::restoreAndUnreadableCopies_data() {
    QTest::addColumn<QString>("damage"); // the file to spoil, and how
    QTest::addColumn<QString>("error");  // what the report says after the directory
    QTest::newRow("whole") << ""
                           << "";
    QTest::newRow("note not JSON") << "note.json:{"
                                   << "not a valid recovery note";
    QTest::newRow("note naming a file elsewhere")
        << "note.json:{\"mapCopy\": \"../m.map\", \"packCopy\": \"pack-2.pac\"}"
        << "it names no copy";
    QTest::newRow("no note") << "note.json:"
                             << "Cannot open file";
    QTest::newRow("map cut short") << "map:"
                                   << "not a valid map";
    QTest::newRow("pack cut short") << "pack:"
                                    << "not a valid tile pack";
}

void TestRecovery::restoreAndUnreadableCopies() {
    QFETCH(QString, damage);
    QFETCH(QString, error);
    TSaved s;
    s.Map.New(3, 2, 16); // a tile size of its own, which the copy keeps
    QString left;
    {
        TRecovery crashed(s.Doc, s.Copies(), 1ms, 1ms);
        s.Stroke({1, 1}, 5);
        s.Doc.AddTile(s.Path("grass.bmp"));
        QTRY_VERIFY(HasNote(crashed.OwnCopy()));
        left = LeftByACrash(crashed.OwnCopy(), "left");
    }
    const QByteArray map = s.Map.SaveToBytes(), pack = s.Pack.SaveToBytes(true, {});
    const QString file = damage.section(':', 0, 0), content = damage.section(':', 1);
    if (file == "note.json" && content.isEmpty())
        QFile::remove(QDir(left).filePath(file));
    else if (file == "note.json")
        QVERIFY(WriteFile(QDir(left).filePath(file), content.toUtf8()));
    else if (!file.isEmpty()) {
        const QString copy = QDir(left).entryList({file + "-*"}).value(0);
        const QString path = QDir(left).filePath(copy);
        QVERIFY(WriteFile(path, ReadFile(path).chopped(3)));
    }
    // Another editor with a fresh document finds it.
    tMap freshMap(48, nullptr);
    tTilePack freshPack;
    TDocument doc(freshMap, freshPack);
    TRecovery recovery(doc, s.Copies());
    QCOMPARE(recovery.Orphans(), QStringList{left});
    if (!error.isEmpty()) {
        const QString message = MessageOf([&] { recovery.Read(left); });
        QVERIFY2(message.startsWith(QString("The recovery copy in \"%1\" cannot be read. ")
                                        .arg(QDir::toNativeSeparators(left))) &&
                     message.contains(error),
                 qPrintable(message));
        const QStringList files = QDir(left).entryList(QDir::Files);
        const QString aside = recovery.MoveAside(left);
        QCOMPARE(aside, QDir(s.Copies()).filePath("unreadable/left"));
        QCOMPARE(QDir(aside).entryList(QDir::Files), files);
        QVERIFY(recovery.Orphans().isEmpty());
        QVERIFY(!QFileInfo::exists(left + ".lock"));
        return;
    }
    TRecoveredWork work = recovery.Read(left);
    recovery.Restore(work);
    QCOMPARE(freshMap.SaveToBytes(), map);
    QCOMPARE(freshPack.SaveToBytes(true, {}), pack);
    QCOMPARE(freshMap.TileSize, 16);
    QCOMPARE(doc.Unsaved(), TPart::Map | TPart::Pack);
    QCOMPARE(doc.MapFile(), s.Path("m.map"));
    QVERIFY(!doc.History().CanUndo());
    // Restored work has a copy of this editor's at once, and the old copy is gone.
    QVERIFY(HasNote(recovery.OwnCopy()));
    QVERIFY(!QFileInfo::exists(left) && !QFileInfo::exists(left + ".lock"));
}

void TestRecovery::failedWritesAreReported() {
    TSaved s;
    QVERIFY(WriteFile(s.Copies(), "a file where the directory would be"));
    TRecovery recovery(s.Doc, s.Copies(), 1ms, 1ms);
    QSignalSpy failed(&recovery, &TRecovery::WriteFailed);
    s.Stroke({0, 0}, -1);
    QVERIFY(failed.wait());
    QVERIFY2(failed[0][0].toString().startsWith("Cannot create file"),
             qPrintable(failed[0][0].toString()));
    QVERIFY(!recovery.WriteNow());
    // The window says so once, however often it fails.
    TGuiFixture f;
    UseTiles(1);
    Form1->StartRecovery(s.Copies());
    Document->Paint({0, 0}, -1);
    Document->EndStroke();
    QTRY_COMPARE_WITH_TIMEOUT(f.Dialogs->Messages.size(), 1, 10000);
    QVERIFY2(f.Dialogs->Messages[0].Text.contains("could not be written"),
             qPrintable(f.Dialogs->Messages[0].Text));
    QCOMPARE(f.Dialogs->Messages[0].Caption, "Warning");
}

void TestRecovery::killedEditorIsRestored() {
    // Everything the editors write goes into this directory, never the user's own.
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const QString copies = home.filePath("data/Korvane/recovery");
    auto start = [&](const QString& program, const QStringList& args) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->start(QDir(QCoreApplication::applicationDirPath()).filePath(program), args);
        return process;
    };
    // A map with its pack in tiles/ beside it, and a picture to add.
    QDir(home.path()).mkpath("work/tiles");
    const QString work = home.filePath("work");
    {
        TGuiFixture f;
        UseTiles(2);
        TilePack->SaveToFile(work + "/tiles/start.pac", true, QString());
    }
    QVERIFY(WriteFile(work + "/start.map",
                      MapFile({"", "", "start.pac", ""}, 20, 12, QList<qint32>(240, 1))));
    QVERIFY(WriteFile(work + "/grass.bmp", SolidBmp(48, 48, qRgb(0, 150, 0))));

    auto editing = start("recovery_editor",
                         {"edit", work + "/start.map", work + "/grass.bmp", work + "/expected"});
    QVERIFY(editing->waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return editing->canReadLine(); }, 60000));
    QCOMPARE(editing->readLine().trimmed(), "offered 0");
    QVERIFY(QTest::qWaitFor([&] { return editing->canReadLine(); }, 60000));
    QCOMPARE(editing->readLine().trimmed(), "copied");
    const QStringList copy = QDir(copies).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(copy.size(), 1);
    const QString copyDir = QDir(copies).filePath(copy[0]);
    // A second editor while the first runs is offered nothing, and takes nothing.
    auto second = start("recovery_editor", {"look"});
    QCOMPARE(RunToEnd(*second).split('\n').value(0), "offered 0");
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(HasNote(copyDir));

    editing->kill(); // no chance to clean up
    QVERIFY(editing->waitForFinished());
    QVERIFY(HasNote(copyDir));

    // The real editor, started again, finds the copy and claims it while it asks the user
    // what to do; killed then, it loses nothing.
    auto korvane = start("Korvane", {});
    QVERIFY(korvane->waitForStarted());
    QVERIFY(QTest::qWaitFor(
        [&] {
            qint64 pid = 0;
            QString host, app;
            return QLockFile(copyDir + ".lock").getLockInfo(&pid, &host, &app) &&
                   pid == korvane->processId();
        },
        60000));
    korvane->kill();
    QVERIFY(korvane->waitForFinished());
    QVERIFY(HasNote(copyDir));

    // The next editor restores it: the work as it stood, unsaved, with its files' names.
    auto restoring = start("recovery_editor", {"restore", work + "/restored"});
    const QStringList lines = RunToEnd(*restoring).split('\n');
    QCOMPARE(restoring->exitCode(), 0);
    QCOMPARE(lines.value(0), "offered 1");
    QVERIFY2(lines.value(1).startsWith("message The editor did not end normally") &&
                 lines.value(1).contains("Map: \"" + QDir::toNativeSeparators(work) +
                                         "/start.map\", 20 × 12 cells") &&
                 lines.value(1).contains("3 tiles, with unsaved changes."),
             qPrintable(lines.value(1)));
    QCOMPARE(lines.value(2), "title Map Editor(ver 0.3)*");
    QCOMPARE(lines.value(3), "files start.map start.pac");
    QCOMPARE(lines.value(4), "palette 3");
    QCOMPARE(ReadFile(work + "/restored.map"), ReadFile(work + "/expected.map"));
    QCOMPARE(ReadFile(work + "/restored.pac"), ReadFile(work + "/expected.pac"));
    QVERIFY(ReadFile(work + "/expected.map") !=
            MapFile({"", "", "start.pac", ""}, 20, 12, QList<qint32>(240, 1)));
    // Ended normally, with the work discarded: no copy and no lock is left.
    QCOMPARE(QDir(copies).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

KORVANE_GUI_TEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
