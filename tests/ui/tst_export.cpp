// The mobile export: the dialog and its directory list, one message box per tile before its
// test, the log lines, both files byte for byte, and everything that makes the export write
// nothing at all.

#include "ScriptedDialogs.h"
#include "TestSupport.h"

#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/TBitmap.h"
#include "ui/MobMap.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>

using namespace TestSupport;

namespace {
const QByteArray PackName = "forest.pac";

// Stand-ins for PNG files: the export copies them without decoding, so any bytes will do as
// long as each file's are its own.
QByteArray PngBytes(const QByteArray& name) {
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + name + QByteArray(50 + 7 * name.size(), 'p');
}

// A pack of tiles with the given names (Windows-1251 bytes) and distinct integers.
void UseTiles(const QList<QByteArray>& names) {
    TilePack->Clear();
    qint32 i = 0;
    for (const QByteArray& name : names) {
        TileRef tile = TilePack->NewTile();
        tile->Name = name;
        tile->Param1 = 10 + i;
        tile->Param2 = 20 + i;
        tile->Param3 = {30 + i, 40 + i, 50 + i, 60 + i};
        tile->Param4 = -1 - i;
        tile->Bitmap->LoadFromBytes(SolidBmp(4, 4, qRgb(50 * i, 100, 200)));
        TilePack->Add(std::move(tile));
        ++i;
    }
    Form1->UpdateTileListBox();
}

// A map of 3 x 2 cells naming the pack, with texts a save would keep.
void UseMap(const QByteArray& packName = PackName) {
    Map->New(3, 2, 48);
    Map->Cells[1][0] = 2;
    Map->Cells[2][1] = -1;
    Map->Text1 = "testing!!!";
    Map->Text2 = "two";
    Map->PackName = packName;
}

QByteArray ExpectedMap() {
    return Text("testing!!!") + Text("two") + Text(Map->PackName) + Text("") + Int32s({3, 2, 3}) +
           Int32s({0, 2, 0, 0, 0, -1});
}

// The mobile pack by hand: per tile its integers, then the PNG's length and bytes.
QByteArray ExpectedPack() {
    QByteArray bytes = Int32s({TilePack->Count()});
    for (qint32 i = 0; i < TilePack->Count(); ++i) {
        const tTile& t = TilePack->Tile(i);
        const QByteArray png = PngBytes(t.Name);
        bytes += Int32s({t.Param1, t.Param2, t.Param3[0], t.Param3[1], t.Param3[2], t.Param3[3],
                         t.Param4, qint32(png.size())}) +
                 png;
    }
    return bytes;
}

// A directory holding the PNG files of the named tiles.
QString PngDir(const TGuiFixture& f, const QList<QByteArray>& names,
               const QString& sub = QStringLiteral("png")) {
    const QString dir = f.Path(sub);
    QDir().mkpath(dir);
    for (const QByteArray& name : names)
        WriteFile(dir + QLatin1Char('/') + Cp1251::ToUnicode(name) + QStringLiteral(".png"),
                  PngBytes(name));
    return dir;
}

QString MobMap(const TGuiFixture& f) {
    return f.Path(QStringLiteral("maps/mob.map"));
}

QStringList Log() {
    const QString text = Form3->InfoMem->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QStringList PathBoxes(const QString& dir, const QList<QByteArray>& names) {
    QStringList boxes;
    for (const QByteArray& name : names)
        boxes << QDir::toNativeSeparators(dir + QLatin1Char('/') + Cp1251::ToUnicode(name) +
                                          QStringLiteral(".png"));
    return boxes;
}

// Shows the export dialog as the command does and runs a script in place of the user.
void RunExport(TGuiFixture& f, const std::function<void()>& script) {
    f.Dialogs->OnModal = [&](QDialog& d) {
        if (&d != Form3)
            return int(QDialog::Rejected);
        d.show();
        if (QTest::qWaitForWindowExposed(&d))
            script();
        d.hide();
        return d.result();
    };
    Form1->mobmap_act->trigger();
}

// Opens a directory in the list and presses the button.
void ExportTo(const QString& dir) {
    Form3->DirectoryListBox1->SetDirectory(dir);
    QTest::mouseClick(Form3->SpeedButton1, Qt::LeftButton);
}

QListWidgetItem* Entry(const QString& path) {
    TDirectoryListBox* list = Form3->DirectoryListBox1;
    for (int i = 0; i < list->count(); ++i)
        if (TDirectoryListBox::EntryPath(list->item(i)) == path)
            return list->item(i);
    return nullptr;
}

// Files whose content must survive a failed export.
struct TKeptFiles {
    QMap<QString, QByteArray> Content;
    void Add(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(WriteFile(path, bytes));
        Content[path] = bytes;
    }
    void Verify() const {
        for (auto it = Content.cbegin(); it != Content.cend(); ++it)
            QCOMPARE(ReadFile(it.key()), it.value());
    }
};
} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void layoutAndEveryShowingStartsAfresh();
    void directoryListOpensAndLeavesDirectories();
    void tilesDirectoryMissing();
    void allPngsPresentWritesBothFiles();
    void missingPngWritesNothing_data();
    void missingPngWritesNothing();
    void emptyPack();
    void twoRunsAppendToTheLog();
    void refusals_data();
    void refusals();
    void tileNamesStayInTheDirectory_data();
    void tileNamesStayInTheDirectory();
    void targetsThatMayBeReplaced_data();
    void targetsThatMayBeReplaced();
    void pngVanishingBeforeTheWrite();
    void writeFailuresChangeNeitherFile_data();
    void writeFailuresChangeNeitherFile();
    void mapsDirectoryIsCreated();
};

void TestExport::layoutAndEveryShowingStartsAfresh() {
    TGuiFixture f;
    const QString tiles = f.Path(QStringLiteral("tiles"));
    QDir().mkpath(f.Path(QStringLiteral("elsewhere")));
    Form3->InfoMem->setPlainText(QStringLiteral("stale"));
    for (int showing = 0; showing < 2; ++showing) {
        RunExport(f, [&] {
            QCOMPARE(Form3->windowTitle(), QStringLiteral("2Mobile Map"));
            QCOMPARE(Form3->size(), QSize(365, 303));
            QCOMPARE(Form3->minimumSize(), Form3->maximumSize()); // not resizable
            QCOMPARE(Form3->GroupBox1->title(), QStringLiteral("Каталог с png файлами"));
            QCOMPARE(Form3->GroupBox1->geometry(), QRect(0, 0, 365, 303));
            QCOMPARE(Form3->DirectoryListBox1->geometry(), QRect(8, 33, 353, 112));
            QCOMPARE(Form3->SpeedButton1->text(), QStringLiteral("Создать карту для мобилки !!!!"));
            QCOMPARE(Form3->SpeedButton1->geometry(), QRect(72, 152, 217, 22));
            QCOMPARE(Form3->GroupBox2->title(), QStringLiteral("Инфо"));
            QCOMPARE(Form3->GroupBox2->size(), QSize(361, 117));
            QCOMPARE(Form3->pngDir_cap->width(), 361);
            // Every showing: the list in AppDir/tiles, its label saying so, the log empty.
            QCOMPARE(Form3->DirectoryListBox1->Directory(), tiles);
            QCOMPARE(Form3->pngDir_cap->toolTip(), QDir::toNativeSeparators(tiles));
            QCOMPARE(Form3->InfoMem->toPlainText(), QString());
            QCOMPARE(Form3->focusWidget(), Form3->DirectoryListBox1);
            QVERIFY(!Form3->InfoMem->isReadOnly());
            Form3->DirectoryListBox1->SetDirectory(f.Path(QStringLiteral("elsewhere")));
            Form3->InfoMem->setPlainText(QStringLiteral("typed by the user"));
            Form3->InfoMem->setFocus();
        });
    }
    QCOMPARE(f.Dialogs->ModalTitles,
             (QStringList{QStringLiteral("2Mobile Map"), QStringLiteral("2Mobile Map")}));
}

void TestExport::directoryListOpensAndLeavesDirectories() {
    TGuiFixture f;
    const QString tiles = f.Path(QStringLiteral("tiles"));
    QDir().mkpath(tiles + QStringLiteral("/a/b"));
    QDir().mkpath(tiles + QStringLiteral("/c"));
    RunExport(f, [&] {
        TDirectoryListBox* list = Form3->DirectoryListBox1;
        auto open = [&](const QString& path) {
            QListWidgetItem* item = Entry(path);
            QVERIFY2(item, qPrintable(path));
            const QPoint at = list->visualItemRect(item).center();
            // As the window system delivers a double click: a click, then the second press.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
        };
        auto label = [] { return Form3->pngDir_cap->toolTip(); };
        // The directory's ancestors and its subdirectories are there to open.
        QVERIFY(Entry(QDir::rootPath()));
        QVERIFY(Entry(f.Dir.path()));
        QVERIFY(Entry(tiles + QStringLiteral("/c")));
        QVERIFY(!Entry(tiles + QStringLiteral("/a/b")));

        open(tiles + QStringLiteral("/a"));
        QCOMPARE(list->Directory(), tiles + QStringLiteral("/a"));
        QCOMPARE(label(), QDir::toNativeSeparators(tiles + QStringLiteral("/a")));

        list->setFocus();
        list->setCurrentItem(Entry(tiles + QStringLiteral("/a/b")));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(list->Directory(), tiles + QStringLiteral("/a/b"));
        QVERIFY(Form3->isVisible()); // Enter opened a directory, nothing else
        QVERIFY(f.Dialogs->Messages.isEmpty());

        QTest::keyClick(list, Qt::Key_Backspace);
        QCOMPARE(list->Directory(), tiles + QStringLiteral("/a"));
        open(f.Dir.path());
        QCOMPARE(list->Directory(), f.Dir.path());
        QCOMPARE(label(), QDir::toNativeSeparators(f.Dir.path()));

        // A path too long for the label is shortened there and kept whole in its tip.
        const QString deep = f.Path(QString(60, QLatin1Char('d')) + QLatin1Char('/') +
                                    QString(60, QLatin1Char('e')));
        QDir().mkpath(deep);
        list->SetDirectory(deep);
        QCOMPARE(label(), QDir::toNativeSeparators(deep));
        QVERIFY(Form3->pngDir_cap->text() != QDir::toNativeSeparators(deep));
        QVERIFY(Form3->pngDir_cap->fontMetrics().horizontalAdvance(Form3->pngDir_cap->text()) <=
                361);
    });
}

void TestExport::tilesDirectoryMissing() {
    TGuiFixture f;
    QVERIFY(QDir(f.Path(QStringLiteral("tiles"))).removeRecursively());
    RunExport(f, [&] {
        QCOMPARE(Form3->DirectoryListBox1->Directory(), f.Dir.path());
        QCOMPARE(Log(), QStringList{QStringLiteral("The directory \"%1\" does not exist; the list "
                                                   "starts in \"%2\".")
                                        .arg(QDir::toNativeSeparators(f.Path("tiles")),
                                             QDir::toNativeSeparators(f.Dir.path()))});
    });
}

void TestExport::allPngsPresentWritesBothFiles() {
    TGuiFixture f;
    const QList<QByteArray> names = {"grass", "water",
                                     Cp1251::FromUnicode(QStringLiteral("трава"))};
    UseTiles(names);
    UseMap();
    const QString png = PngDir(f, names);
    WriteFile(png + QStringLiteral("/unrelated.png"), "x");
    const QByteArray packBefore = TilePack->SaveToBytes(true, QString());

    // Each box comes before its tile's test: the log holds one line per earlier tile.
    QList<int> linesAtBox;
    f.Dialogs->OnMessage = [&](const TMessage&) { linesAtBox << Log().size(); };
    bool stayedOpen = false;
    RunExport(f, [&] {
        ExportTo(png);
        stayedOpen = Form3->isVisible();
    });
    QVERIFY(stayedOpen);
    QCOMPARE(f.Dialogs->Texts(), PathBoxes(png, names));
    for (const TMessage& box : f.Dialogs->Messages) {
        QCOMPARE(box.Caption, TApplication::Title());
        QCOMPARE(box.Icon, TMessage::TIcon::None);
        QCOMPARE(box.Buttons, TMessage::TButtons::Ok);
    }
    QCOMPARE(linesAtBox, (QList<int>{0, 1, 2}));
    QCOMPARE(Log(), (QStringList{QStringLiteral("Checking OK! (grass )"),
                                 QStringLiteral("Checking OK! (water )"),
                                 QStringLiteral("Checking OK! (трава )")}));

    QCOMPARE(ReadFile(MobMap(f)), ExpectedMap());
    QCOMPARE(ReadFile(png + QStringLiteral("/forest.pac")), ExpectedPack());
    // The same bytes as a Save of the same map.
    f.Dialogs->Files << f.Path(QStringLiteral("saved.map"));
    Form1->Save_act->trigger();
    QCOMPARE(ReadFile(f.Path(QStringLiteral("saved.map"))), ReadFile(MobMap(f)));
    // The model is only read; the tiles directory gets nothing.
    QCOMPARE(Map->PackName, PackName);
    QCOMPARE(TilePack->SaveToBytes(true, QString()), packBefore);
    QVERIFY(!QFile::exists(f.Path(QStringLiteral("tiles/forest.pac"))));
}

void TestExport::missingPngWritesNothing_data() {
    QTest::addColumn<bool>("directory");
    QTest::newRow("file missing") << false;
    QTest::newRow("a directory named like the PNG") << true;
}

void TestExport::missingPngWritesNothing() {
    QFETCH(bool, directory);
    TGuiFixture f;
    const QList<QByteArray> names = {"grass", "water", "sand"};
    UseTiles(names);
    UseMap();
    const QString png = PngDir(f, {"grass", "sand"});
    if (directory)
        QDir().mkpath(png + QStringLiteral("/water.png"));
    TKeptFiles kept;
    kept.Add(MobMap(f), "old map");
    kept.Add(png + QStringLiteral("/forest.pac"), "old pack");

    RunExport(f, [&] { ExportTo(png); });
    // Every tile is shown and tested; no error box, no summary.
    QCOMPARE(f.Dialogs->Texts(), PathBoxes(png, names));
    QCOMPARE(Log(),
             (QStringList{QStringLiteral("Checking OK! (grass )"), QStringLiteral("Scuko!water "),
                          QStringLiteral("Checking OK! (sand )")}));
    kept.Verify();
}

void TestExport::emptyPack() {
    TGuiFixture f;
    UseMap();
    const QString png = PngDir(f, {});
    for (int run = 0; run < 2; ++run) {
        QFile::remove(MobMap(f));
        RunExport(f, [&] { ExportTo(png); });
        QVERIFY(f.Dialogs->Messages.isEmpty());
        QCOMPARE(Log(), QStringList());
        QCOMPARE(ReadFile(MobMap(f)), ExpectedMap());
        QCOMPARE(ReadFile(png + QStringLiteral("/forest.pac")), Int32s({0}));
    }
}

void TestExport::twoRunsAppendToTheLog() {
    TGuiFixture f;
    const QList<QByteArray> names = {"grass", "water"};
    UseTiles(names);
    UseMap();
    const QString png = PngDir(f, {"grass"});
    const QStringList block = {QStringLiteral("Checking OK! (grass )"),
                               QStringLiteral("Scuko!water ")};
    RunExport(f, [&] {
        ExportTo(png);
        ExportTo(png);
        QCOMPARE(Log(), block + block);
        // Once the PNG is there, the next run writes, and its lines go below.
        PngDir(f, {"water"});
        ExportTo(png);
        const QStringList third = {QStringLiteral("Checking OK! (grass )"),
                                   QStringLiteral("Checking OK! (water )")};
        QCOMPARE(Log(), block + block + third);
    });
    QCOMPARE(f.Dialogs->Texts(), PathBoxes(png, names + names + names));
    QCOMPARE(ReadFile(png + QStringLiteral("/forest.pac")), ExpectedPack());
    // A new showing starts with an empty log.
    RunExport(f, [] { QCOMPARE(Log(), QStringList()); });
}

void TestExport::refusals_data() {
    QTest::addColumn<QByteArray>("packName");
    QTest::addColumn<QString>("case_");
    QTest::newRow("into the tiles directory, over the map's desktop pack")
        << PackName << "tiles, pack there";
    QTest::newRow("into the tiles directory, before the desktop pack is there")
        << PackName << "tiles, no pack";
    QTest::newRow("over a link to the map's desktop pack") << PackName << "link";
    QTest::newRow("over another desktop pack") << PackName << "desktop pack";
    QTest::newRow("over the mobile map") << QByteArray("mob.map") << "maps";
    QTest::newRow("no PackName") << QByteArray() << "png";
    QTest::newRow("PackName with a slash") << QByteArray("../forest.pac") << "png";
    QTest::newRow("PackName with a backslash") << QByteArray("x\\forest.pac") << "png";
    QTest::newRow("PackName .") << QByteArray(".") << "png";
    QTest::newRow("PackName ..") << QByteArray("..") << "png";
}

void TestExport::refusals() {
    QFETCH(QByteArray, packName);
    QFETCH(QString, case_);
    TGuiFixture f;
    const QList<QByteArray> names = {"grass", "water"};
    UseTiles(names);
    UseMap(packName);
    const QString tiles = f.Path(QStringLiteral("tiles"));
    const QString desktop = tiles + QStringLiteral("/forest.pac");
    const QString name = Cp1251::ToUnicode(packName);
    TKeptFiles kept;
    kept.Add(MobMap(f), "old map");

    QString dir = PngDir(f, names);
    QString reason;
    if (case_.startsWith(QLatin1String("tiles"))) {
        dir = PngDir(f, names, QStringLiteral("tiles"));
        if (case_ == QLatin1String("tiles, pack there"))
            kept.Add(desktop, TilePack->SaveToBytes(true, QString()));
        reason = QStringLiteral("\"%1\" is the desktop tile pack this map loads, and the mobile "
                                "pack would replace it; choose the directory with the PNG files")
                     .arg(QDir::toNativeSeparators(desktop));
    } else if (case_ == QLatin1String("link")) {
        kept.Add(desktop, TilePack->SaveToBytes(true, QString()));
        QVERIFY(QFile::link(desktop, dir + QStringLiteral("/forest.pac")));
        reason = QStringLiteral("\"%1\" is the desktop tile pack this map loads, and the mobile "
                                "pack would replace it; choose the directory with the PNG files")
                     .arg(QDir::toNativeSeparators(desktop));
    } else if (case_ == QLatin1String("desktop pack")) {
        kept.Add(dir + QStringLiteral("/forest.pac"), TilePack->SaveToBytes(true, QString()));
        reason = QStringLiteral("\"%1\" is a desktop tile pack of 2 tiles, and the mobile pack "
                                "would replace it")
                     .arg(QDir::toNativeSeparators(dir + QStringLiteral("/forest.pac")));
    } else if (case_ == QLatin1String("maps")) {
        dir = PngDir(f, names, QStringLiteral("maps"));
        reason = QStringLiteral("the mobile tile pack \"%1\" would replace the mobile map")
                     .arg(QDir::toNativeSeparators(MobMap(f)));
    } else if (name.isEmpty()) {
        reason = QStringLiteral("the map names no tile pack; save or load its tile pack first");
    } else {
        reason = QStringLiteral("the map's tile pack name \"%1\" is not a file name in the chosen "
                                "directory")
                     .arg(name);
    }
    const QStringList before = QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QStringList aboveBefore =
        QDir(f.Dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    RunExport(f, [&] { ExportTo(dir); });
    const QString line = QStringLiteral("Nothing was written: ") + reason;
    QCOMPARE(Log(), (QStringList{QStringLiteral("Checking OK! (grass )"),
                                 QStringLiteral("Checking OK! (water )"), line}));
    // The per-tile boxes, then the reason in the error box.
    QCOMPARE(f.Dialogs->Texts(), PathBoxes(dir, names) + QStringList{line + QLatin1Char('.')});
    QCOMPARE(f.Dialogs->Messages.constLast().Icon, TMessage::TIcon::Stop);
    kept.Verify();
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QCOMPARE(QDir(f.Dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), aboveBefore);
}

void TestExport::tileNamesStayInTheDirectory_data() {
    QTest::addColumn<QByteArray>("badName");
    QTest::newRow("slash") << QByteArray("../grass");
    QTest::newRow("backslash") << QByteArray("..\\grass");
    QTest::newRow(".") << QByteArray(".");
    QTest::newRow("..") << QByteArray("..");
    QTest::newRow("NUL") << QByteArray("gr\0ass", 6);
}

void TestExport::tileNamesStayInTheDirectory() {
    QFETCH(QByteArray, badName);
    TGuiFixture f;
    const QList<QByteArray> names = {"water", badName, "sand"};
    UseTiles(names);
    UseMap();
    const QString png = PngDir(f, names);
    // Whatever the name points at outside the directory exists, so only the name can stop it.
    PngDir(f, {"grass"}, QStringLiteral("."));
    TKeptFiles kept;
    kept.Add(MobMap(f), "old map");

    RunExport(f, [&] { ExportTo(png); });
    QCOMPARE(f.Dialogs->Texts(), PathBoxes(png, names));
    QCOMPARE(Log(), (QStringList{QStringLiteral("Checking OK! (water )"),
                                 QStringLiteral("Tile 1 refused: its name \"%1\" is not a file "
                                                "name in the chosen directory")
                                     .arg(Cp1251::ToUnicode(badName)),
                                 QStringLiteral("Checking OK! (sand )")}));
    kept.Verify();
    QVERIFY(!QFile::exists(png + QStringLiteral("/forest.pac")));
}

void TestExport::targetsThatMayBeReplaced_data() {
    QTest::addColumn<QByteArray>("old");
    // An earlier mobile pack: its PNG bytes do not read as desktop tiles.
    QTest::newRow("an earlier mobile pack")
        << Int32s({1, 0, 0, 0, 0, 0, 0, 0, qint32(PngBytes("grass").size())}) + PngBytes("grass");
    QTest::newRow("an empty pack, the same bytes in both variants") << Int32s({0});
    QTest::newRow("text") << QByteArray("notes about the tiles");
    QTest::newRow("empty file") << QByteArray();
}

void TestExport::targetsThatMayBeReplaced() {
    QFETCH(QByteArray, old);
    TGuiFixture f;
    UseTiles({"grass"});
    UseMap();
    const QString png = PngDir(f, {"grass"});
    QVERIFY(WriteFile(png + QStringLiteral("/forest.pac"), old));
    RunExport(f, [&] { ExportTo(png); });
    QCOMPARE(Log(), QStringList{QStringLiteral("Checking OK! (grass )")});
    QCOMPARE(ReadFile(png + QStringLiteral("/forest.pac")), ExpectedPack());
    QCOMPARE(ReadFile(MobMap(f)), ExpectedMap());
}

void TestExport::pngVanishingBeforeTheWrite() {
    TGuiFixture f;
    const QList<QByteArray> names = {"grass", "water"};
    UseTiles(names);
    UseMap();
    const QString png = PngDir(f, names);
    const QString grass = png + QStringLiteral("/grass.png");
    TKeptFiles kept;
    kept.Add(MobMap(f), "old map");
    kept.Add(png + QStringLiteral("/forest.pac"), "old pack");
    // While the user looks at the last tile's box, grass.png, already found, goes away.
    f.Dialogs->OnMessage = [&](const TMessage& box) {
        if (box.Text.endsWith(QLatin1String("water.png")))
            QFile::remove(grass);
    };

    RunExport(f, [&] { ExportTo(png); });
    const QStringList log = Log();
    QCOMPARE(log.size(), 3);
    QCOMPARE(log.mid(0, 2), (QStringList{QStringLiteral("Checking OK! (grass )"),
                                         QStringLiteral("Checking OK! (water )")}));
    const QString failure = QStringLiteral("Nothing was written: Cannot open file \"%1\". ")
                                .arg(QDir::toNativeSeparators(grass));
    QVERIFY2(log[2].startsWith(failure), qPrintable(log[2]));
    QCOMPARE(f.Dialogs->Messages.size(), 3);
    QCOMPARE(f.Dialogs->Messages[2].Icon, TMessage::TIcon::Stop);
    QVERIFY(f.Dialogs->Messages[2].Text.startsWith(failure));
    kept.Verify();
}

void TestExport::writeFailuresChangeNeitherFile_data() {
    QTest::addColumn<QString>("case_");
    QTest::addColumn<bool>("oldPack");
    QTest::newRow("pack cannot be created") << "pack" << false;
    QTest::newRow("map cannot be created, new pack taken back") << "map" << false;
    QTest::newRow("map cannot be created, old pack put back") << "map" << true;
    QTest::newRow("maps directory cannot be made") << "maps" << true;
}

void TestExport::writeFailuresChangeNeitherFile() {
    QFETCH(QString, case_);
    QFETCH(bool, oldPack);
    TGuiFixture f;
    UseTiles({"grass"});
    UseMap();
    const QString png = PngDir(f, {"grass"});
    const QString pack = png + QStringLiteral("/forest.pac");
    TKeptFiles kept;
    if (oldPack)
        kept.Add(pack, "old pack");
    QString failed;
    if (case_ == QLatin1String("pack")) {
        kept.Add(MobMap(f), "old map");
        QDir().mkpath(pack); // a directory where the file would go
        failed = pack;
    } else if (case_ == QLatin1String("map")) {
        QDir().mkpath(MobMap(f));
        failed = MobMap(f);
    } else {
        QVERIFY(QDir(f.Path(QStringLiteral("maps"))).removeRecursively());
        QVERIFY(WriteFile(f.Path(QStringLiteral("maps")), "a file"));
        failed = MobMap(f);
    }

    RunExport(f, [&] { ExportTo(png); });
    const QStringList log = Log();
    QCOMPARE(log.size(), 2);
    const QString failure = QStringLiteral("Nothing was written: Cannot create file \"%1\". ")
                                .arg(QDir::toNativeSeparators(failed));
    QVERIFY2(log[1].startsWith(failure), qPrintable(log[1]));
    QCOMPARE(f.Dialogs->Messages.constLast().Icon, TMessage::TIcon::Stop);
    kept.Verify();
    if (!oldPack && case_ != QLatin1String("pack"))
        QVERIFY(!QFile::exists(pack));
    if (case_ == QLatin1String("map"))
        QVERIFY(QFileInfo(MobMap(f)).isDir());
}

void TestExport::mapsDirectoryIsCreated() {
    TGuiFixture f;
    UseTiles({"grass"});
    UseMap();
    QVERIFY(QDir(f.Path(QStringLiteral("maps"))).removeRecursively());
    const QString png = PngDir(f, {"grass"});
    RunExport(f, [&] { ExportTo(png); });
    QCOMPARE(Log(), QStringList{QStringLiteral("Checking OK! (grass )")});
    QCOMPARE(ReadFile(MobMap(f)), ExpectedMap());
    QCOMPARE(ReadFile(png + QStringLiteral("/forest.pac")), ExpectedPack());
}

KORVANE_GUI_TEST_MAIN(TestExport)
#include "tst_export.moc"
