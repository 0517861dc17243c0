// The map and tile pack file commands: files on disk byte for byte, the shared dialogs, and
// what every failure leaves in memory and on disk.

#include "ScriptedDialogs.h"
#include "TestSupport.h"

#include "model/typeU.h"
#include "platform/TBitmap.h"

#include <QListWidget>
#include <QToolButton>

using namespace TestSupport;

namespace {
void UseTiles(int count) {
    TilePack->Clear();
    for (int i = 0; i < count; ++i) {
        TileRef tile = TilePack->NewTile();
        tile->Name = QByteArray("t") + QByteArray::number(i);
        tile->Param2 = 100 + i;
        tile->Bitmap->LoadFromBytes(SolidBmp(48, 48, qRgb(40 * i, 90, 200 - 40 * i)));
        TilePack->Add(std::move(tile));
    }
    Form1->UpdateTileListBox();
}

// A map file by hand: four texts, the size twice over, and the cells row by row.
QByteArray MapFile(const QByteArray& packName, qint32 width, qint32 height, TileIndex fill) {
    QByteArray bytes =
        Text("saved") + Text("") + Text(packName) + Text("four") + Int32s({width, height, width});
    for (qint32 i = 0; i < width * height; ++i)
        bytes += Int32s({fill});
    return bytes;
}

struct TModelState {
    QByteArray Map, Pack;
    qint32 OffsetX, OffsetY, TileSize;
    int Items;
    QString Status;
    bool operator==(const TModelState&) const = default;
};

TModelState State() {
    return {Map->SaveToBytes(),   TilePack->SaveToBytes(true, QString()),
            Map->OffsetX,         Map->OffsetY,
            Map->TileSize,        Form1->TileList_lb->count(),
            Form1->Status->Text()};
}
} // namespace

class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void saveNeedsATilePackFirst();
    void savePackThenMapWritesBothFiles();
    void saveFailuresKeepFilesAndNames();
    void loadTilePackReplacesPackAndPalette();
    void loadTilePackFailureKeepsEverything_data();
    void loadTilePackFailureKeepsEverything();
    void openMapLoadsItsPackFromTheTilesDirectory();
    void openMapFailureKeepsEverything();
    void openMapWithoutItsPackKeepsThePack_data();
    void openMapWithoutItsPackKeepsThePack();
    void dialogsAreSharedAndRemembered();
};

void TestFileCommands::saveNeedsATilePackFirst() {
    TGuiFixture f;
    f.Dialogs->Files << f.Path("a.map");
    Form1->Save_act->trigger();
    QVERIFY(f.Dialogs->FileDialogs.isEmpty());
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    const TMessage& warning = f.Dialogs->Messages.constFirst();
    QCOMPARE(warning.Text, QStringLiteral("Для карты не указан/не сохранен таил пак(Сохраните "
                                          "Текущий Таил Пак) !!!"));
    QCOMPARE(warning.Caption, QStringLiteral("Warning"));
    QCOMPARE(warning.Icon, TMessage::TIcon::Warning);
    QVERIFY(!QFile::exists(f.Path("a.map")));
}

void TestFileCommands::savePackThenMapWritesBothFiles() {
    TGuiFixture f;
    UseTiles(3);
    Form1->Status->SetText(QStringLiteral("before"));
    f.Dialogs->Files << f.Path("forest.pac");
    Form1->SpeedButton4->click();
    QCOMPARE(ReadFile(f.Path("forest.pac")), TilePack->SaveToBytes(true, QString()));
    QCOMPARE(Map->PackName, QByteArray("forest.pac"));
    QCOMPARE(Form1->Status->Text(), QStringLiteral("before"));

    Map->Cells[1][0] = 2;
    Map->Cells[0][1] = -1;
    f.Dialogs->Files << f.Path("level.map");
    Form1->Save_act->trigger();
    QCOMPARE(Map->Text1, QByteArray("testing!!!"));
    QCOMPARE(Form1->Status->Text(), QStringLiteral("saved... ok!"));
    const QByteArray saved = ReadFile(f.Path("level.map"));
    QCOMPARE(saved.size(), 822 + 10);
    QCOMPARE(saved.left(14 + 4 + 4 + 10), Text("testing!!!") + Text("") + Text("forest.pac"));
    QCOMPARE(Int32At(saved, 36 + 12 + 4), 2);       // cell (1, 0)
    QCOMPARE(Int32At(saved, 36 + 12 + 4 * 14), -1); // cell (0, 1)

    // Saving again overwrites without asking.
    Map->Cells[1][0] = 0;
    f.Dialogs->Files << f.Path("level.map");
    Form1->Save_act->trigger();
    QCOMPARE(Int32At(ReadFile(f.Path("level.map")), 36 + 12 + 4), 0);
    QCOMPARE(f.Dialogs->Messages.size(), 0);
}

void TestFileCommands::saveFailuresKeepFilesAndNames() {
    TGuiFixture f;
    UseTiles(2);
    Map->PackName = "old.pac";
    QVERIFY(WriteFile(f.Path("file"), "a file, not a directory"));
    const QString inside = f.Path("file/x.pac");
    f.Dialogs->Files << inside << f.Path("file/x.map");
    Form1->SpeedButton4->click();
    QCOMPARE(Map->PackName, QByteArray("old.pac"));
    Form1->Save_act->trigger();
    QCOMPARE(f.Dialogs->Messages.size(), 2);
    QVERIFY(f.Dialogs->Messages[0].Text.startsWith(
        QStringLiteral("Cannot create file \"%1\". ").arg(Shown(inside))));
    QCOMPARE(f.Dialogs->Messages[0].Icon, TMessage::TIcon::Stop);
    QCOMPARE(Form1->Status->Text().contains(QStringLiteral("saved")), false);
    QCOMPARE(ReadFile(f.Path("file")), QByteArray("a file, not a directory"));
}

void TestFileCommands::loadTilePackReplacesPackAndPalette() {
    TGuiFixture f;
    UseTiles(3);
    TilePack->SaveToFile(f.Path("three.pac"), true, QString());
    UseTiles(1);
    Map->Cells[0][0] = 2;
    f.Dialogs->Files << f.Path("three.pac");
    Form1->SpeedButton5->click();
    QCOMPARE(TilePack->Count(), 3);
    QCOMPARE(TilePack->Tile(2).Param2, 102);
    QCOMPARE(Form1->TileList_lb->count(), 3);
    QCOMPARE(Map->PackName, QByteArray("three.pac"));
    QCOMPARE(Map->Cells[0][0], 2);
    // The cell shows tile 2 of the new pack.
    QCOMPARE(Form1->Canvas.Image().pixel(5, 5), TilePack->Tile(2).Bitmap->Picture().pixel(5, 5));
}

void TestFileCommands::loadTilePackFailureKeepsEverything_data() {
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    TGuiFixture f;
    UseTiles(2);
    const QByteArray pack = TilePack->SaveToBytes(true, QString());
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("truncated") << pack.left(pack.size() - 1);
    QTest::newRow("bad image") << Int32s({1, 0, 1}) + "a" + Int32s({0, 0, 0, 0, 0, 0, 14}) +
                                      "NOT A BITMAP!!";
    QTest::newRow("huge count") << Int32s({1000000000, 0});
}

void TestFileCommands::loadTilePackFailureKeepsEverything() {
    QFETCH(QByteArray, content);
    TGuiFixture f;
    UseTiles(2);
    Map->PackName = "kept.pac";
    if (!content.isEmpty())
        QVERIFY(WriteFile(f.Path("bad.pac"), content));
    const TModelState before = State();
    f.Dialogs->Files << f.Path("bad.pac");
    Form1->SpeedButton5->click();
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    QVERIFY(f.Dialogs->Messages[0].Text.contains(Shown(f.Path("bad.pac"))));
    QVERIFY(State() == before);
    QCOMPARE(Map->PackName, QByteArray("kept.pac"));
}

void TestFileCommands::openMapLoadsItsPackFromTheTilesDirectory() {
    TGuiFixture f;
    UseTiles(3);
    TilePack->SaveToFile(QDir(AppDir).filePath("tiles/forest.pac"), true, QString());
    UseTiles(1);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(Form1, Qt::Key_Right);
    QVERIFY(WriteFile(f.Path("elsewhere.map"), MapFile("forest.pac", 3, 2, 2)));
    f.Dialogs->Files << f.Path("elsewhere.map");
    Form1->Open_act->trigger();

    QCOMPARE(f.Dialogs->Messages.size(), 0);
    QCOMPARE(Map->Width, 3);
    QCOMPARE(Map->Height, 2);
    QCOMPARE(Map->Text4, QByteArray("four"));
    QCOMPARE(Map->OffsetX, 12); // the view stays where it was
    QCOMPARE(Map->TileSize, 48);
    QCOMPARE(TilePack->Count(), 3);
    QCOMPARE(Form1->TileList_lb->count(), 3);
    QCOMPARE(Form1->Status->Text(), QStringLiteral("loading done!"));
    // Outside the smaller map the view is background.
    QCOMPARE(Form1->Canvas.Image().pixel(4 * 48, 5) | 0xff000000, clBtnFace.rgb());
}

void TestFileCommands::openMapFailureKeepsEverything() {
    TGuiFixture f;
    UseTiles(2);
    Map->PackName = "kept.pac";
    const QByteArray good = MapFile("p.pac", 3, 3, 1);
    QVERIFY(WriteFile(f.Path("short.map"), good.left(good.size() - 2)));
    QVERIFY(WriteFile(f.Path("negative.map"), MapFile("p.pac", -3, 3, 1)));
    const TModelState before = State();
    f.Dialogs->Files << f.Path("short.map") << f.Path("negative.map") << f.Path("none.map");
    for (int i = 0; i < 3; ++i)
        Form1->Open_act->trigger();
    QCOMPARE(f.Dialogs->Messages.size(), 3);
    QVERIFY(f.Dialogs->Messages[2].Text.startsWith(
        QStringLiteral("Cannot open file \"%1\". ").arg(Shown(f.Path("none.map")))));
    QVERIFY(State() == before);
}

void TestFileCommands::openMapWithoutItsPackKeepsThePack_data() {
    QTest::addColumn<QByteArray>("packName");
    QTest::newRow("not in tiles") << QByteArray("absent.pac");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("dot") << QByteArray(".");
    QTest::newRow("dot dot") << QByteArray("..");
    QTest::newRow("up and out") << QByteArray("../outside.pac");
    QTest::newRow("backslash") << QByteArray("..\\outside.pac");
    QTest::newRow("absolute") << QByteArray("/outside.pac");
}

void TestFileCommands::openMapWithoutItsPackKeepsThePack() {
    QFETCH(QByteArray, packName);
    TGuiFixture f;
    UseTiles(3);
    // A pack that a crafted name could reach outside the tiles directory.
    TilePack->SaveToFile(QDir(AppDir).filePath("outside.pac"), true, QString());
    UseTiles(2);
    const QByteArray pack = TilePack->SaveToBytes(true, QString());
    QVERIFY(WriteFile(f.Path("m.map"), MapFile(packName, 5, 4, 1)));
    f.Dialogs->Files << f.Path("m.map");
    Form1->Open_act->trigger();

    QCOMPARE(f.Dialogs->Messages.size(), 1);
    QCOMPARE(f.Dialogs->Messages[0].Icon, TMessage::TIcon::Stop);
    // The map is open, the pack and palette are as they were, and the view shows both.
    QCOMPARE(Map->Width, 5);
    QCOMPARE(Map->PackName, packName);
    QCOMPARE(TilePack->SaveToBytes(true, QString()), pack);
    QCOMPARE(Form1->TileList_lb->count(), 2);
    QVERIFY(Form1->Status->Text() != QStringLiteral("loading done!"));
    QCOMPARE(Form1->Canvas.Image().pixel(5, 5), TilePack->Tile(1).Bitmap->Picture().pixel(5, 5));
    QCOMPARE(Form1->Canvas.Image().pixel(5 * 48 + 2, 5) | 0xff000000, clBtnFace.rgb());
}

void TestFileCommands::dialogsAreSharedAndRemembered() {
    TGuiFixture f;
    UseTiles(1);
    TilePack->SaveToFile(f.Path("p.pac"), true, QString());
    f.Dialogs->Files << f.Path("p.pac") << f.Path("saved.pac") << f.Path("m.map") << std::nullopt;
    Form1->SpeedButton5->click(); // Load TilePack
    Form1->SpeedButton4->click(); // Save Tile Pack
    Form1->Save_act->trigger();
    Form1->Open_act->trigger(); // cancelled: nothing changes
    const QList<TFileDialog>& runs = f.Dialogs->FileDialogs;
    QCOMPARE(runs.size(), 4);
    QCOMPARE(runs[0].Kind, TFileDialog::TKind::Open);
    QCOMPARE(runs[0].Filter, QStringLiteral("Map file|*.map|TilePack|*.pac"));
    QCOMPARE(runs[0].FilterIndex, 2);
    QCOMPARE(runs[0].DefaultExt, QStringLiteral("*.pac"));
    QCOMPARE(runs[1].Kind, TFileDialog::TKind::Save);
    QCOMPARE(runs[1].Filter, QStringLiteral("Map |*.map|TilePack|*.pac"));
    QCOMPARE(runs[1].FilterIndex, 2);
    QCOMPARE(runs[1].DefaultExt, QStringLiteral("*.pac"));
    // The save dialog offers the pack's path next time, with the map pair selected.
    QCOMPARE(runs[2].FilterIndex, 1);
    QCOMPARE(runs[2].DefaultExt, QStringLiteral("*.map"));
    QCOMPARE(runs[2].FileName, f.Path("saved.pac"));
    QCOMPARE(runs[3].FileName, f.Path("p.pac"));
    QCOMPARE(runs[3].FilterIndex, 1);
    QCOMPARE(runs[3].DefaultExt, QStringLiteral("*.map"));
    QCOMPARE(Map->Width, 14);
}

KORVANE_GUI_TEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
