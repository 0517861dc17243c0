// The mobile export: the dialog and its directory list, one message box per tile before its
// test, the log, both files byte for byte, and everything that makes it write nothing at all.

#include "ScriptedDialogs.h"
#include "formats/PackFile.h"

#include "platform/Cp1251.h"
#include "ui/MobileExportDialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

using namespace TestSupport;

namespace {
// Stand-ins for PNG files: the export copies them without decoding.
QByteArray PngBytes(const QByteArray& name) {
    return "\x89PNG\r\n\x1a" + name + QByteArray(50 + 7 * name.size(), 'p');
}

QString PngPath(const QString& dir, const QByteArray& name) {
    return QDir::toNativeSeparators(dir + '/' + Cp1251::ToUnicode(name) + ".png");
}

// The tiles, a 3 x 2 map naming the pack, and a directory below AppDir holding the PNG files
// of the tiles named in `present`.
QString SetUp(GuiFixture& f, const QByteArrayList& names, const QByteArrayList& present,
              const QByteArray& packName = "forest.pac", const QString& dir = "png") {
    f.UseTiles(names);
    f.TheMap().New(3, 2, 48);
    f.TheMap().Cells[1][0] = 2;
    f.TheMap().Cells[2][1] = -1;
    f.TheMap().Text1 = "one";
    f.TheMap().PackName = packName;
    QDir(f.AppDir()).mkpath(dir);
    for (const QByteArray& name : present)
        WriteFile(PngPath(f.AppDir() + '/' + dir, name), PngBytes(name));
    return f.AppDir() + '/' + dir;
}

QString MobMap(GuiFixture& f) {
    return f.AppDir() + "/maps/mob.map";
}

// The mobile pack by hand: per tile its integers (as UseTiles gives them), then the PNG's
// length and bytes.
QByteArray ExpectedPack(GuiFixture& f) {
    QByteArray bytes = Int32s({f.ThePack().Count()});
    for (qint32 i = 0; i < f.ThePack().Count(); ++i) {
        const QByteArray png = PngBytes(f.ThePack().At(i).Name);
        bytes +=
            Int32s({10 + i, 20 + i, 30 + i, 40 + i, 50 + i, 60 + i, -1 - i, qint32(png.size())});
        bytes += png;
    }
    return bytes;
}

// A tool tip as it shows: as rich text when it looks like markup, which Qt decides.
QString ShownTip(const QString& tip) {
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

MobileExportDialog& Dialog(GuiFixture& f) {
    return f.Find<MobileExportDialog>("mobileExportDialog");
}

// A part of the export dialog by its name.
template <class T> T& Part(GuiFixture& f, const char* name) {
    return Child<T>(Dialog(f), name);
}

QStringList Log(GuiFixture& f) {
    const QString text = Part<QPlainTextEdit>(f, "logEdit").toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QStringList Checked(const QByteArrayList& names) {
    QStringList lines;
    for (const QByteArray& name : names)
        lines << "Checking OK! (" + Cp1251::ToUnicode(name) + " )";
    return lines;
}

// Shows the export dialog as the command does and plays the user with the script.
void RunExport(GuiFixture& f, const std::function<void()>& script) {
    f.Dialogs->OnModal = [&](QDialog& d) {
        d.show();
        if (QTest::qWaitForWindowExposed(&d))
            script();
        d.hide();
        return d.result();
    };
    f.Action("mobileExportAction").trigger();
}

void ExportTo(GuiFixture& f, const QString& dir) {
    Part<DirectoryListBox>(f, "directoryList").SetDirectory(dir);
    QTest::mouseClick(&Part<QPushButton>(f, "exportButton"), Qt::LeftButton);
}

// Exports into dir in a showing of its own and checks what the user saw: a box with each
// tile's PNG path, the log, and after a failure the error box with the log's last line. An
// expected failure line that ends in a blank is the start of one that goes on with the
// system's reason.
void ExpectExport(GuiFixture& f, const QString& dir, QStringList log, bool failure = false) {
    RunExport(f, [&] { ExportTo(f, dir); });
    const QStringList got = Log(f);
    if (failure && log.last().endsWith(' ') && got.size() == log.size() &&
        got.last().startsWith(log.last()))
        log.last() = got.last();
    QCOMPARE(got, log);
    QStringList boxes;
    for (const QByteArray& name : f.TileNames())
        boxes << PngPath(dir, name);
    if (failure)
        boxes << Dialogs::ErrorText(log.last());
    QCOMPARE(f.Dialogs->Texts(), boxes);
    QCOMPARE(f.Dialogs->Messages.isEmpty() ? Message::IconKind::None
                                           : f.Dialogs->Messages.last().Icon,
             failure ? Message::IconKind::Stop : Message::IconKind::None);
}
} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void theDialogAndItsDirectoryList();
    void allPngsPresentWriteBothFiles_data();
    void allPngsPresentWriteBothFiles();
    void twoRunsAppendToTheLog();
    void nothingWritten_data();
    void nothingWritten();
};

void TestExport::theDialogAndItsDirectoryList() {
    GuiFixture f;
    const QString tiles = f.Path("tiles");
    QDir(tiles).mkpath("a/b");
    Part<QPlainTextEdit>(f, "logEdit").setPlainText("stale");
    for (int showing = 0; showing < 2; ++showing) {
        RunExport(f, [&] {
            QCOMPARE(Dialog(f).minimumSize(), Dialog(f).maximumSize()); // a fixed border
            // Every showing: the list in AppDir/tiles with the focus, its label saying so, and
            // the log empty.
            DirectoryListBox* list = &Part<DirectoryListBox>(f, "directoryList");
            auto isIn = [&](const QString& path) {
                QCOMPARE(list->Directory(), path);
                QCOMPARE(ShownTip(Part<QLabel>(f, "directoryLabel").toolTip()),
                         QDir::toNativeSeparators(path));
            };
            isIn(tiles);
            QCOMPARE(Part<QPlainTextEdit>(f, "logEdit").toPlainText(), QString());
            QCOMPARE(Dialog(f).focusWidget(), list);
            auto entry = [list](const QString& path) -> QListWidgetItem* {
                for (int i = 0; i < list->count(); ++i)
                    if (DirectoryListBox::EntryPath(list->item(i)) == path)
                        return list->item(i);
                return nullptr;
            };
            // The ancestors and the subdirectories are there to open, by a double click as the
            // window system delivers it (a click, then the second press) or by Enter.
            QVERIFY(entry(QDir::rootPath()) && entry(f.Dir.path()) && !entry(tiles + "/a/b"));
            const QPoint at = list->visualItemRect(entry(tiles + "/a")).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            isIn(tiles + "/a");
            list->setCurrentItem(entry(tiles + "/a/b"));
            QTest::keyClick(list, Qt::Key_Return);
            isIn(tiles + "/a/b");
            QVERIFY(Dialog(f).isVisible() && f.Dialogs->Messages.isEmpty()); // it only opened
            QTest::keyClick(list, Qt::Key_Backspace);
            isIn(tiles + "/a");
            // A path too long for the label is shortened there and kept whole in its tip.
            const QString deep = f.Path(QString(60, 'd') + '/' + QString(60, 'e'));
            QDir().mkpath(deep);
            list->SetDirectory(deep);
            isIn(deep);
            const QLabel* label = &Part<QLabel>(f, "directoryLabel");
            QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
            // The label is as tall as its font, descenders included, and clear of the list.
            QVERIFY(label->height() >= label->fontMetrics().height());
            QVERIFY(label->mapTo(&Dialog(f), QPoint(0, label->height())).y() <= list->y());
            // A name that looks like markup shows as it is, in the label, the tip and the list.
            const QString markup = f.Path("<b>Huge");
            QDir().mkpath(markup);
            list->SetDirectory(f.Dir.path());
            QListWidgetItem* item = entry(markup);
            QVERIFY(item);
            QCOMPARE(ShownTip(item->toolTip()), QDir::toNativeSeparators(markup));
            list->SetDirectory(markup);
            isIn(markup);
            QCOMPARE(label->textFormat(), Qt::PlainText);
            Part<QPlainTextEdit>(f, "logEdit").setPlainText("typed by the user");
            Part<QPlainTextEdit>(f, "logEdit").setFocus();
        });
    }
    QCOMPARE(f.Dialogs->ModalTitles, (QStringList{"2Mobile Map", "2Mobile Map"}));
    // Without AppDir/tiles the list starts in AppDir, and the log says why.
    QVERIFY(QDir(tiles).removeRecursively());
    RunExport(f, [&] {
        QCOMPARE(Part<DirectoryListBox>(f, "directoryList").Directory(), f.Dir.path());
        QCOMPARE(Log(f), QStringList{QString("The directory \"%1\" does not exist; the list "
                                             "starts in \"%2\".")
                                         .arg(QDir::toNativeSeparators(tiles),
                                              QDir::toNativeSeparators(f.Dir.path()))});
    });
}

void TestExport::allPngsPresentWriteBothFiles_data() {
    QTest::addColumn<QByteArrayList>("names");
    QTest::addColumn<QByteArray>("old"); // what the pack file held; null for no file
    const QByteArray grass = PngBytes("grass");
    const QByteArrayList one = {"grass"};
    QTest::newRow("three tiles") << QByteArrayList{"grass", "water", Cp1251::FromUnicode("трава")}
                                 << QByteArray();
    QTest::newRow("an empty pack") << QByteArrayList() << QByteArray();
    // Over files that are no desktop pack.
    QTest::newRow("an earlier mobile pack")
        << one << Int32s({1, 0, 0, 0, 0, 0, 0, 0, qint32(grass.size())}) + grass;
    QTest::newRow("an empty pack, the same bytes in both variants") << one << Int32s({0});
    QTest::newRow("text") << one << QByteArray("notes about the tiles");
    QTest::newRow("empty file") << one << QByteArray("");
}

void TestExport::allPngsPresentWriteBothFiles() {
    QFETCH(QByteArrayList, names);
    QFETCH(QByteArray, old);
    GuiFixture f;
    const QString png = SetUp(f, names, names);
    QVERIFY(WriteFile(png + "/unrelated.png", "x"));
    if (!old.isNull())
        QVERIFY(WriteFile(png + "/forest.pac", old));
    const QByteArray packBefore = PackFile::Bytes(f.ThePack());
    QVERIFY(QDir(f.Path("maps")).removeRecursively()); // the export makes it
    // Each box comes before its tile's test: the log holds one line per earlier tile.
    QList<int> linesAtBox;
    f.Dialogs->OnMessage = [&](const Message& box) {
        QCOMPARE(box.Caption, Application::Title());
        QVERIFY(Dialog(f).isVisible());
        linesAtBox << Log(f).size();
    };
    ExpectExport(f, png, Checked(names));
    for (int i = 0; i < linesAtBox.size(); ++i)
        QCOMPARE(linesAtBox[i], i);
    QCOMPARE(ReadFile(MobMap(f)),
             MapFileBytes({"one", "", "forest.pac", ""}, 3, 2, {0, 2, 0, 0, 0, -1}));
    QCOMPARE(ReadFile(png + "/forest.pac"), ExpectedPack(f));
    // The model is only read; the tiles directory gets nothing.
    QCOMPARE(f.TheMap().PackName, QByteArray("forest.pac"));
    QCOMPARE(PackFile::Bytes(f.ThePack()), packBefore);
    QVERIFY(!QFile::exists(f.Path("tiles/forest.pac")));
}

void TestExport::twoRunsAppendToTheLog() {
    GuiFixture f;
    const QString png = SetUp(f, {"grass", "water"}, {"grass"});
    const QStringList block = {"Checking OK! (grass )", "Scuko!water "};
    RunExport(f, [&] {
        ExportTo(f, png);
        ExportTo(f, png);
        QCOMPARE(Log(f), block + block);
        // Once the PNG is there, the next run writes, and its lines go below.
        QVERIFY(WriteFile(png + "/water.png", PngBytes("water")));
        ExportTo(f, png);
        QCOMPARE(Log(f), block + block + Checked({"grass", "water"}));
    });
    QCOMPARE(f.Dialogs->Messages.size(), 6);
    QCOMPARE(ReadFile(png + "/forest.pac"), ExpectedPack(f));
    RunExport(f, [&f] { QCOMPARE(Log(f), QStringList()); }); // a new showing starts empty
}

void TestExport::nothingWritten_data() {
    QTest::addColumn<QByteArrayList>("names"); // of the tiles, all with their PNG files
    QTest::addColumn<QByteArray>("packName");
    QTest::addColumn<QString>("dir"); // the PNG directory, below AppDir
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QStringList>("log"); // @ stands for AppDir
    // A check fails: every tile is still shown and tested, and there is no error box.
    auto check = [](const char* tag, const QByteArray& name, const QString& setUp,
                    const QString& line) {
        QTest::newRow(tag) << QByteArrayList{"grass", name, "sand"} << QByteArray("forest.pac")
                           << "png" << setUp
                           << QStringList{"Checking OK! (grass )", line, "Checking OK! (sand )"};
    };
    check("PNG missing", "water", "no water.png", "Scuko!water ");
    check("a directory named like the PNG", "water", "water.png is a directory", "Scuko!water ");
    const QString refused = "Tile 1 refused: its name \"%1\" is not a file name in the chosen "
                            "directory";
    for (const char* name : {"../grass", "..\\grass", ".", ".."})
        check(name, name, "", refused.arg(name));
    const QByteArray nul("gr\0ass", 6);
    check("NUL", nul, "", refused.arg(QString::fromLatin1(nul)));
    // Refusals and failures after the checks passed.
    auto row = [](const char* tag, const QByteArray& packName, const QString& dir,
                  const QString& setUp, const QString& line) {
        QTest::newRow(tag) << QByteArrayList{"grass", "water"} << packName << dir << setUp
                           << (Checked({"grass", "water"}) << "Nothing was written: " + line);
    };
    const QString loads = "\"@/tiles/forest.pac\" is the desktop tile pack this map loads, and the "
                          "mobile pack would replace it; choose the directory with the PNG files";
    row("into tiles, over the map's desktop pack", "forest.pac", "tiles", "desktop pack", loads);
    row("into tiles, before the desktop pack is there", "forest.pac", "tiles", "", loads);
    row("over a link to the map's desktop pack", "forest.pac", "png", "link", loads);
    row("over another desktop pack", "forest.pac", "png", "desktop pack",
        "\"@/png/forest.pac\" is a desktop tile pack of 2 tiles, and the mobile pack would replace "
        "it");
    row("over the mobile map", "mob.map", "maps", "",
        "the mobile tile pack \"@/maps/mob.map\" would replace the mobile map");
    row("no PackName", "", "png", "",
        "the map names no tile pack; save or load its tile pack first");
    for (const char* name : {"../forest.pac", "x\\forest.pac", ".", ".."})
        row(name, name, "png", "",
            QString("the map's tile pack name \"%1\" is not a file name in the chosen directory")
                .arg(name));
    // All or nothing (a PNG changed after its check, a pack that cannot be written are pinned in
    // tst_mobileexport): a line that ends in a blank goes on with the system's reason.
    row("map cannot be created, new pack taken back", "forest.pac", "png", "map is a directory",
        "Cannot create file \"@/maps/mob.map\". ");
    row("map cannot be created, old pack put back", "forest.pac", "png",
        "map is a directory, old pack", "Cannot create file \"@/maps/mob.map\". ");
    row("maps directory cannot be made", "forest.pac", "png", "maps is a file, old pack",
        "Cannot create file \"@/maps/mob.map\". ");
}

void TestExport::nothingWritten() {
    QFETCH(QByteArrayList, names);
    QFETCH(QByteArray, packName);
    QFETCH(QString, dir);
    QFETCH(QString, setUp);
    QFETCH(QStringList, log);
    GuiFixture f;
    const QString png = SetUp(f, names, names, packName, dir); // "../grass" finds its PNG too
    const QString pack = png + "/forest.pac", desktop = f.Path("tiles/forest.pac");
    QVERIFY(WriteFile(MobMap(f), "old map"));
    if (setUp.contains("water.png"))
        QVERIFY(QFile::remove(png + "/water.png") &&
                (setUp[0] == 'n' || QDir(png).mkdir("water.png")));
    if (setUp.startsWith("desktop pack") || setUp == "link")
        QVERIFY(WriteFile(dir == "png" && setUp != "link" ? pack : desktop,
                          PackFile::Bytes(f.ThePack())));
    if (setUp == "link")
        QVERIFY(QFile::link(desktop, pack));
    if (setUp.endsWith("old pack"))
        QVERIFY(WriteFile(pack, "old pack"));
    if (setUp.startsWith("map is a directory"))
        QVERIFY(QFile::remove(MobMap(f)) && QDir().mkpath(MobMap(f)));
    if (setUp.startsWith("maps is a file"))
        QVERIFY(QDir(f.Path("maps")).removeRecursively() && WriteFile(f.Path("maps"), "a file"));
    const auto entries = [&](const QString& d) {
        return QDir(d).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    };
    const QStringList before = entries(png);
    const QStringList aboveBefore = entries(f.Dir.path());
    const QByteArray mapBefore = ReadFile(MobMap(f)), packBefore = ReadFile(pack);

    const QString path = log.last().section('"', 1, 1);
    if (path.startsWith('@'))
        log.last().replace(path, QDir::toNativeSeparators(f.AppDir() + path.mid(1)));
    ExpectExport(f, png, log, log.last().startsWith("Nothing was written"));
    QCOMPARE(ReadFile(MobMap(f)), mapBefore);
    QCOMPARE(ReadFile(pack), packBefore);
    QCOMPARE(entries(png), before);
    QCOMPARE(entries(f.Dir.path()), aboveBefore);
}

KORVANE_GUI_TEST_MAIN(TestExport)
#include "tst_export.moc"
