// Recovery after a crash: the copy follows unsaved work and never holds half a stroke, a
// running editor's copy is never taken (nor written without its lock), links are never
// followed, unreadable copies are kept aside, and an editor killed outright is restored by the
// next one, the real executable included.

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "document/Recovery.h"
#include "platform/Bitmap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSysInfo>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

using namespace TestSupport;
using namespace std::chrono_literals;

namespace {
// A saved document of its own and a recovery directory beside it.
struct Saved {
    QTemporaryDir Dir;
    Document Doc;
    TileMap& Map = Doc.MutableMap();
    TilePack& Pack = Doc.MutablePack();

    Saved() {
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

// What an editor killed after this stroke (and, if asked, a tile added) leaves for the next:
// its copy under that name, or an empty name if it never wrote one.
QString KilledAfter(Saved& s, QPoint cell, TileIndex tile, const QString& name,
                    bool addTile = false) {
    Recovery crashed(s.Doc, s.Copies(), 1ms, 1ms);
    s.Stroke(cell, tile);
    if (addTile)
        s.Doc.AddTile(s.Path("grass.bmp"));
    if (!QTest::qWaitFor([&] { return HasNote(crashed.OwnCopy()); }))
        return {};
    return LeftByACrash(crashed.OwnCopy(), name);
}

// The copy as another editor would restore it, once it matches the map.
bool CopyHolds(Recovery& reader, const QString& copy, const TileMap& map) {
    try {
        return MapFile::Bytes(*reader.Read(copy).Map) == MapFile::Bytes(map);
    } catch (const Exception&) {
        return false; // caught between two writes
    }
}

constexpr QFile::Permissions GroupOrOthers = QFile::ReadGroup | QFile::WriteGroup |
                                             QFile::ExeGroup | QFile::ReadOther |
                                             QFile::WriteOther | QFile::ExeOther;

bool IsRoot() {
#if defined(Q_OS_UNIX)
    return ::geteuid() == 0;
#else
    return false;
#endif
}

QStringList Offers(const ScriptedDialogs& dialogs) {
    QStringList offers;
    for (const Message& m : dialogs.Messages)
        if (m.Text.startsWith("The editor did not end normally"))
            offers << m.Detail;
    return offers;
}

// Puts a file where the recovery directory would be, as a full disk or a removed directory
// would leave it.
bool Block(const QString& copies) {
    return (!QFileInfo::exists(copies) || QDir(copies).removeRecursively()) &&
           WriteFile(copies, "in the way");
}

// A window on one tile whose recovery goes to copies, then three strokes.
void StartAndPaint(GuiFixture& f, const QString& copies, bool blockFirst) {
    f.UseTiles(1);
    if (blockFirst)
        QVERIFY(Block(copies));
    f.Window().StartRecovery(copies);
    QVERIFY(f.Dialogs->Messages.isEmpty());
    if (!blockFirst)
        QVERIFY(Block(copies));
    for (int x = 0; x < 3; ++x) {
        f.TheDocument().Paint({x, 0}, -1);
        f.TheDocument().EndStroke();
    }
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
    void noCopyWithoutTheLock();
    void neverThroughLinks_data();
    void neverThroughLinks();
    void recoveryDirectory_data();
    void recoveryDirectory();
    void linksAreNeverCopies();
    void unfinishedAndUnreadableCopies();
    void unclaimableCopiesAreReported_data();
    void unclaimableCopiesAreReported();
    void everyOrphanIsOffered_data();
    void everyOrphanIsOffered();
    void copyKeepsUpWithChanges();
    void killedEditorIsRestored();
};

void TestRecovery::copyFollowsUnsavedWork() {
    Saved s;
    Recovery recovery(s.Doc, s.Copies(), 20ms, 200ms);
    QTest::qWait(100);
    QVERIFY(!QFileInfo::exists(recovery.OwnCopy())); // nothing unsaved, nothing copied
    s.Stroke({1, 1}, -1);
    s.Doc.AddTile(s.Path("grass.bmp"));
    QTRY_VERIFY(HasNote(recovery.OwnCopy()));
    // A second editor leaves a running one's copy alone.
    Recovery second(s.Doc, s.Copies());
    QVERIFY(second.Orphans().isEmpty());
    // Once that editor is gone without removing it, the copy is found and read back whole.
    const QString left = LeftByACrash(recovery.OwnCopy(), "left");
    QCOMPARE(second.Orphans(), QStringList{left});
    const RecoveredWork work = second.Read(left);
    QCOMPARE(MapFile::Bytes(*work.Map), MapFile::Bytes(s.Map));
    QCOMPARE(PackFile::Bytes(*work.Pack), PackFile::Bytes(s.Pack));
    QCOMPARE(work.Map->TileSize, 48);
    QCOMPARE(work.Unsaved, DocumentPart::Map | DocumentPart::Pack);
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
    auto ending = std::make_unique<Recovery>(s.Doc, s.Copies(), 1ms, 1ms);
    s.Stroke({1, 1}, 0);
    QTRY_VERIFY(HasNote(ending->OwnCopy()));
    const QString own = ending->OwnCopy();
    ending.reset();
    QVERIFY(!QFileInfo::exists(own) && !QFileInfo::exists(own + ".lock"));
}

void TestRecovery::neverHalfAStroke() {
    Saved s;
    Recovery recovery(s.Doc, s.Copies(), 5ms, 5ms);
    s.Stroke({0, 0}, -1);
    // A stroke begun before the copy fell due holds it back until the stroke ends.
    s.Doc.Paint({1, 0}, -1);
    QTest::qWait(200);
    QVERIFY(!HasNote(recovery.OwnCopy()));
    s.Doc.Paint({2, 0}, -1);
    s.Doc.EndStroke();
    QTRY_VERIFY(HasNote(recovery.OwnCopy()));
    Recovery other(s.Doc, s.Copies());
    const RecoveredWork work = other.Read(LeftByACrash(recovery.OwnCopy(), "left"));
    QCOMPARE(MapFile::Bytes(*work.Map), MapFile::Bytes(s.Map));
    QCOMPARE(work.Unsaved, DocumentParts(DocumentPart::Map));
}

void TestRecovery::restoreAndUnreadableCopies_data() {
    QTest::addColumn<QString>("file");     // the file to spoil: note.json, map or pack
    QTest::addColumn<QString>("key");      // in the note, the field to change; none for all
    QTest::addColumn<QByteArray>("value"); // its JSON, or none to remove it
    QTest::addColumn<QString>("error");    // what the report says after the directory
    QTest::newRow("whole") << QString() << QString() << QByteArray() << QString();
    const auto note = [](const char* tag, const QString& key, const QByteArray& value,
                         const QString& error) {
        QTest::newRow(tag) << QString("note.json") << key << value << error;
    };
    note("note not JSON", "", "{", "not a valid recovery note");
    note("note naming a file elsewhere", "mapCopy", "\"../m.map\"", "it names no copy");
    note("note naming an unknown part", "unsaved", "[\"map\", \"x\"]",
         "names a part the editor does not know");
    note("note naming no part", "unsaved", "[]", "names no part");
    note("note with an unknown field", "layers", "2", "\"layers\", which the editor does not know");
    note("note without a tile size", "tileSize", QByteArray(), "it lacks \"tileSize\"");
    note("note with tile size 0", "tileSize", "0", "is no tile size");
    note("note larger than its bound", "mapFile",
         "\"" + QByteArray(RecoveryNote::MaxBytes, 'a') + "\"", "more than the 1048576");
    QTest::newRow("map cut short") << "map" << QString() << QByteArray() << "not a valid map";
    QTest::newRow("pack cut short")
        << "pack" << QString() << QByteArray() << "not a valid tile pack";
}

void TestRecovery::restoreAndUnreadableCopies() {
    QFETCH(QString, file);
    QFETCH(QString, key);
    QFETCH(QByteArray, value);
    QFETCH(QString, error);
    Saved s;
    s.Map.New(3, 2, 16); // a tile size of its own, which the copy keeps
    const QString left = KilledAfter(s, {1, 1}, 5, "left", true);
    QVERIFY(!left.isEmpty());
    const QByteArray map = MapFile::Bytes(s.Map), pack = PackFile::Bytes(s.Pack);
    const QString note = QDir(left).filePath("note.json");
    if (file == "note.json" && key.isEmpty()) {
        QVERIFY(WriteFile(note, value));
    } else if (file == "note.json") {
        QJsonObject fields = QJsonDocument::fromJson(ReadFile(note)).object();
        if (value.isNull())
            fields.remove(key);
        else
            fields.insert(key, QJsonDocument::fromJson("[" + value + "]").array().at(0));
        QVERIFY(WriteFile(note, QJsonDocument(fields).toJson()));
    } else if (!file.isEmpty()) {
        const QString copy = QDir(left).entryList({file + "-*"}).value(0);
        const QString path = QDir(left).filePath(copy);
        QVERIFY(WriteFile(path, ReadFile(path).chopped(3)));
    }
    // Another editor with a fresh document finds it.
    Document doc;
    Recovery recovery(doc, s.Copies());
    QCOMPARE(recovery.Orphans(), QStringList{left});
    QVERIFY(recovery.Claim(left));
    if (!error.isEmpty()) {
        const QString message = MessageOf([&] { recovery.Read(left); });
        QVERIFY2(message.startsWith(QString("The recovery copy in \"%1\" cannot be read. ")
                                        .arg(QDir::toNativeSeparators(left))) &&
                     message.contains(error),
                 qPrintable(message.left(1000)));
        const QStringList files = QDir(left).entryList(QDir::Files);
        const QString aside = recovery.MoveAside(left);
        QCOMPARE(aside, QDir(s.Copies()).filePath("unreadable/left"));
        QCOMPARE(QDir(aside).entryList(QDir::Files), files);
        QVERIFY(recovery.Orphans().isEmpty());
        QVERIFY(!QFileInfo::exists(left + ".lock"));
        return;
    }
    RecoveredWork work = recovery.Read(left);
    recovery.Restore(work);
    QCOMPARE(MapFile::Bytes(doc.Map()), map);
    QCOMPARE(PackFile::Bytes(doc.Pack()), pack);
    QCOMPARE(doc.Map().TileSize, 16);
    QCOMPARE(doc.Unsaved(), DocumentPart::Map | DocumentPart::Pack);
    QCOMPARE(doc.MapPath(), s.Path("m.map"));
    QVERIFY(!doc.UndoHistory().CanUndo());
    // Restored work has a copy of this editor's at once, and the old copy is gone.
    QVERIFY(HasNote(recovery.OwnCopy()));
    QVERIFY(!QFileInfo::exists(left) && !QFileInfo::exists(left + ".lock"));
}

void TestRecovery::failedWritesAreReported() {
    Saved s;
    Recovery recovery(s.Doc, s.Copies(), 1ms, 1ms);
    QVERIFY(recovery.Protected());
    // The directory goes after the lock was taken, and a file takes its place.
    QVERIFY(Block(s.Copies()));
    QSignalSpy failed(&recovery, &Recovery::WriteFailed);
    s.Stroke({0, 0}, -1);
    QVERIFY(failed.wait());
    // With the system's reason.
    const QString message = failed[0][0].toString();
    QVERIFY2(message.startsWith("Cannot create file") &&
                 message.contains(QRegularExpression("The directory cannot be made: \\w")),
             qPrintable(message));
    QVERIFY(!recovery.WriteNow());
    // The window says so once, however often it fails.
    QVERIFY(QFile::remove(s.Copies()));
    GuiFixture f;
    StartAndPaint(f, s.Copies(), false);
    QTRY_COMPARE_WITH_TIMEOUT(f.Dialogs->Messages.size(), 1, 10000);
    QTest::qWait(20);
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    QVERIFY2(f.Dialogs->Messages[0].Text.contains("could not be written"),
             qPrintable(f.Dialogs->Messages[0].Text));
    QCOMPARE(f.Dialogs->Messages[0].Caption, "Warning");
}

void TestRecovery::noCopyWithoutTheLock() {
    Saved s;
    // No lock at the start (a full disk, say, or here a file in the directory's place).
    QVERIFY(Block(s.Copies()));
    Recovery recovery(s.Doc, s.Copies(), 1ms, 1ms);
    QSignalSpy unprotected(&recovery, &Recovery::Unprotected);
    QVERIFY(!recovery.Protected());
    s.Stroke({0, 0}, -1);
    QTRY_COMPARE(unprotected.size(), 1);
    QVERIFY2(unprotected[0][0].toString().startsWith("Cannot create file"),
             qPrintable(unprotected[0][0].toString()));
    // Room again: the lock is taken before anything is written, and the first copy is whole.
    QVERIFY(QFile::remove(s.Copies()));
    s.Stroke({1, 0}, -1);
    QTRY_VERIFY(HasNote(recovery.OwnCopy()));
    QVERIFY(recovery.Protected());
    QCOMPARE(unprotected.size(), 1);
    Recovery second(s.Doc, s.Copies());
    QVERIFY(second.Orphans().isEmpty()); // a running editor's copy
    s.Stroke({2, 0}, -1);
    QTRY_VERIFY(CopyHolds(second, recovery.OwnCopy(), s.Map));
    const RecoveredWork work = second.Read(LeftByACrash(recovery.OwnCopy(), "left"));
    QCOMPARE(PackFile::Bytes(*work.Pack), PackFile::Bytes(s.Pack));

    // The window says once that unsaved work is not protected, on the first change.
    GuiFixture f;
    StartAndPaint(f, s.Copies(), true);
    QTRY_COMPARE(f.Dialogs->Texts().size(), 1);
    QTest::qWait(20);
    QCOMPARE(f.Dialogs->Texts().size(), 1);
    QVERIFY2(f.Dialogs->Messages[0].Text.startsWith("Your unsaved work is not protected"),
             qPrintable(f.Dialogs->Messages[0].Text));
    QVERIFY(f.Status().Text().contains("not protected"));
}

void TestRecovery::neverThroughLinks_data() {
    QTest::addColumn<QString>("name");  // what is planted in the editor's own folder
    QTest::addColumn<bool>("dangling"); // a link to nothing, or to a file of the user's
    QTest::newRow("note") << "note.json" << false;
    QTest::newRow("note, dangling") << "note.json" << true;
    QTest::newRow("map") << "map-1.map" << false;
    QTest::newRow("map, dangling") << "map-1.map" << true;
    QTest::newRow("pack, dangling") << "pack-2.pac" << true;
    QTest::newRow("the folder itself") << "" << false;
}

void TestRecovery::neverThroughLinks() {
    QFETCH(QString, name);
    QFETCH(bool, dangling);
    Saved s;
    Recovery recovery(s.Doc, s.Copies(), 1ms, 1ms);
    QSignalSpy failed(&recovery, &Recovery::WriteFailed);
    const QString target = name.isEmpty() ? s.Path("elsewhere") : s.Path("precious");
    if (name.isEmpty())
        QVERIFY(QDir().mkpath(target));
    else if (!dangling)
        QVERIFY(WriteFile(target, "precious"));
    const QString planted =
        name.isEmpty() ? recovery.OwnCopy() : QDir(recovery.OwnCopy()).filePath(name);
    QVERIFY(QDir().mkpath(QFileInfo(planted).path()));
    QVERIFY(QFile::link(target, planted));
    s.Stroke({0, 0}, -1);
    s.Doc.AddTile(s.Path("grass.bmp"));
    if (name.isEmpty()) {
        // Not the editor's folder: nothing is written there, and the failure is reported.
        QVERIFY(failed.wait());
        QVERIFY(QDir(target).isEmpty());
        return;
    }
    Recovery other(s.Doc, s.Path("other"));
    QTRY_VERIFY(CopyHolds(other, recovery.OwnCopy(), s.Map));
    QVERIFY(!QFileInfo(planted).isSymLink());
    QCOMPARE(QFileInfo::exists(target), !dangling);
    if (!dangling)
        QCOMPARE(ReadFile(target), "precious");
}

void TestRecovery::recoveryDirectory_data() {
    QTest::addColumn<QString>("before"); // what is at the directory's path beforehand
    QTest::addColumn<bool>("used");
    QTest::newRow("none") << "" << true;
    QTest::newRow("open to all") << "0777" << true;
    QTest::newRow("a link to a directory") << "link" << false;
    QTest::newRow("another user's") << "chown" << false;
}

void TestRecovery::recoveryDirectory() {
    QFETCH(QString, before);
    QFETCH(bool, used);
    Saved s;
    if (before == "0777") {
        QVERIFY(QDir().mkpath(s.Copies()));
        QVERIFY(QFile::setPermissions(s.Copies(), QFile::Permissions(0x7777)));
    } else if (before == "link") {
        QVERIFY(QDir().mkpath(s.Path("elsewhere")));
        QVERIFY(QFile::link(s.Path("elsewhere"), s.Copies()));
    } else if (before == "chown") {
#if defined(Q_OS_UNIX)
        if (!IsRoot())
            QSKIP("only root can give a directory to another user");
        QVERIFY(QDir().mkpath(s.Copies()));
        QVERIFY(::chown(QFile::encodeName(s.Copies()).constData(), 65534, 65534) == 0);
#else
        QSKIP("owners are checked on Unix");
#endif
    }
    Recovery recovery(s.Doc, s.Copies(), 1ms, 1ms);
    QCOMPARE(recovery.Protected(), used);
    s.Stroke({0, 0}, -1);
    if (!used) {
        QTest::qWait(50);
        QVERIFY(!QFileInfo::exists(recovery.OwnCopy()));
        QVERIFY(QDir(s.Path("elsewhere")).isEmpty());
        return;
    }
    QTRY_VERIFY(HasNote(recovery.OwnCopy()));
#if defined(Q_OS_UNIX)
    // The user's work, for the user's eyes alone.
    QCOMPARE(QFileInfo(s.Copies()).permissions() & GroupOrOthers, QFile::Permissions());
    QCOMPARE(QFileInfo(recovery.OwnCopy()).permissions() & GroupOrOthers, QFile::Permissions());
#endif
}

void TestRecovery::linksAreNeverCopies() {
    Saved s;
    const QString elsewhere = KilledAfter(s, {1, 1}, -1, "../elsewhere");
    QVERIFY(!elsewhere.isEmpty());
    const QString link = QDir(s.Copies()).filePath("link");
    QVERIFY(QFile::link(elsewhere, link));
    Recovery recovery(s.Doc, s.Copies());
    QVERIFY(recovery.Orphans().isEmpty());
    // Told to remove one anyway, the link goes and what it points to stays.
    recovery.Discard(link);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(HasNote(elsewhere));
}

void TestRecovery::unfinishedAndUnreadableCopies() {
    Saved s;
    const QString crashed = KilledAfter(s, {1, 1}, -1, "crashed");
    QVERIFY(!crashed.isEmpty());
    // Killed during its first copy: the map written, the note not yet. Nothing is offered or
    // reported, and the copy goes.
    const QString unfinished = QDir(s.Copies()).filePath("unfinished");
    QVERIFY(QDir().mkpath(unfinished));
    QVERIFY(QFile::copy(QDir(crashed).filePath(QDir(crashed).entryList({"map-*"})[0]),
                        QDir(unfinished).filePath("map-1.map")));
    QVERIFY(QFile::remove(QDir(crashed).filePath("note.json")));
    Recovery recovery(s.Doc, s.Copies());
    QVERIFY(recovery.Orphans().isEmpty());
    QVERIFY(!QFileInfo::exists(unfinished) && !QFileInfo::exists(crashed));
    QCOMPARE(QDir(s.Copies()).entryList({"*.lock"}),
             QStringList{QFileInfo(recovery.OwnCopy()).fileName() + ".lock"});
    // Unreadable copies are kept aside, the newest few of them.
    QStringList kept;
    for (int n = 0; n < 5; ++n) {
        const QString copy = QDir(s.Copies()).filePath(QString("bad%1").arg(n));
        QVERIFY(QDir().mkpath(copy));
        QVERIFY(WriteFile(QDir(copy).filePath("note.json"), "{"));
        QCOMPARE(recovery.Orphans(), QStringList{copy});
        QVERIFY(recovery.Claim(copy));
        kept << recovery.MoveAside(copy);
    }
    const QDir aside(QDir(s.Copies()).filePath("unreadable"));
    QCOMPARE(aside.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
             Recovery::MaxUnreadable);
    QVERIFY(QFileInfo::exists(kept.last()));
    QVERIFY(!QFileInfo::exists(kept.first()));
    // The window's report: the reason, then where the copy went, each a sentence.
    const QString gone = QDir(s.Copies()).filePath("gone");
    QVERIFY(QDir().mkpath(gone) && WriteFile(QDir(gone).filePath("note.json"), "{"));
    GuiFixture f;
    f.UseTiles(1);
    f.Window().StartRecovery(s.Copies());
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    const QString text = f.Dialogs->Messages[0].Text;
    QVERIFY2(text.contains(QRegularExpression("\\. It was kept in \"[^\"]*unreadable")),
             qPrintable(text));
}

void TestRecovery::unclaimableCopiesAreReported_data() {
    QTest::addColumn<bool>("readOnly"); // the directory, or else the copy's lock in the way
    QTest::newRow("lock that cannot be replaced") << false;
    QTest::newRow("read-only directory") << true;
}

void TestRecovery::unclaimableCopiesAreReported() {
    QFETCH(bool, readOnly);
    if (readOnly && IsRoot())
        QSKIP("root writes into read-only directories");
    Saved s;
    const QString left = KilledAfter(s, {1, 1}, -1, "left");
    QVERIFY(!left.isEmpty());
    if (readOnly) {
        // A lock left by an editor that is gone, which no one may remove.
        QVERIFY(WriteFile(left + ".lock",
                          "999999999\nKorvane\n" + QSysInfo::machineHostName().toUtf8() + "\n"));
        QVERIFY(QFile::setPermissions(s.Copies(), QFile::ReadOwner | QFile::ExeOwner));
    } else {
        QVERIFY(QDir().mkpath(left + ".lock/in the way"));
    }
    GuiFixture f;
    f.UseTiles(1);
    f.Window().StartRecovery(s.Copies());
    QFile::setPermissions(s.Copies(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    const QString text = f.Dialogs->Messages[0].Text;
    QVERIFY2(text.startsWith(QString("Work from an earlier run of the editor was kept in \"%1\"")
                                 .arg(QDir::toNativeSeparators(left))),
             qPrintable(text));
    QVERIFY(HasNote(left));
}

void TestRecovery::everyOrphanIsOffered_data() {
    QTest::addColumn<QList<Message::Answer>>("answers");
    QTest::addColumn<int>("found"); // copies an editor started afterwards finds
    QTest::newRow("both kept") << QList{Message::Cancel, Message::Cancel} << 2;
    QTest::newRow("first restored, second kept") << QList{Message::Restore, Message::Cancel} << 1;
    QTest::newRow("first discarded, second restored")
        << QList{Message::Discard, Message::Restore} << 0;
}

void TestRecovery::everyOrphanIsOffered() {
    QFETCH(QList<Message::Answer>, answers);
    QFETCH(int, found);
    Saved s;
    // Two editors killed.
    for (const QString name : {"one", "two"}) {
        QVERIFY(!KilledAfter(s, {name == "one" ? 1 : 2, 1}, -1, name).isEmpty());
        s.Doc.Undo();
    }
    GuiFixture f;
    f.UseTiles(1);
    f.Dialogs->Answers = answers;
    f.Window().StartRecovery(s.Copies());
    QCOMPARE(Offers(*f.Dialogs).size(), 2);
    // Nothing is held that was not restored: an editor started now finds the rest.
    Recovery meanwhile(s.Doc, s.Copies());
    QCOMPARE(meanwhile.Orphans().size(), found);
}

void TestRecovery::copyKeepsUpWithChanges() {
    Saved s;
    Recovery reader(s.Doc, s.Path("other"));
    {
        // A change made while the writer is busy is copied once it is done, timers or not.
        Recovery recovery(s.Doc, s.Copies(), 1h, 1h);
        s.Stroke({0, 0}, -1);
        recovery.Write(false);
        QVERIFY(recovery.Writing());
        s.Stroke({1, 0}, -1);
        recovery.Write(false);
        QTRY_VERIFY(!recovery.Writing() && CopyHolds(reader, recovery.OwnCopy(), s.Map));
    }
    {
        // Changes that never pause still get a copy, after the longest wait.
        Recovery recovery(s.Doc, s.Copies(), 1h, 100ms);
        for (int n = 0; n < 500 && !HasNote(recovery.OwnCopy()); ++n) {
            s.Stroke({n % 6, 1}, n % 2 ? 0 : -1);
            QTest::qWait(20);
        }
        QVERIFY(HasNote(recovery.OwnCopy()));
    }
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
        GuiFixture f;
        f.UseTiles(2);
        PackFile::Write(f.ThePack(), work + "/tiles/start.pac");
    }
    QVERIFY(WriteFile(work + "/start.map",
                      MapFileBytes({"", "", "start.pac", ""}, 20, 12, QList<qint32>(240, 1))));
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
            MapFileBytes({"", "", "start.pac", ""}, 20, 12, QList<qint32>(240, 1)));
    // Ended normally, with the work discarded: no copy and no lock is left.
    QCOMPARE(QDir(copies).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

KORVANE_GUI_TEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
