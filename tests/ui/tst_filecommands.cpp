// The map and tile pack file commands: files on disk byte for byte, the shared dialogs, and
// what every failure leaves in memory and on disk.

#include "ScriptedDialogs.h"

#include <QListWidget>
#include <QToolButton>

using namespace TestSupport;

namespace {
// What a failed command must leave as it was.
QByteArray State() {
    return Map->SaveToBytes() + TilePack->SaveToBytes(true, QString()) +
           Int32s({Map->OffsetX, Map->OffsetY, Map->TileSize, Form1->TileList_lb->count()}) +
           Form1->Status->Text().toUtf8();
}

QByteArray SmallMap(const QByteArray& packName, qint32 width = 3) {
    return MapFile({"saved", "", packName, "four"}, width, 2, QList<qint32>(qAbs(width) * 2, 1));
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
    void dialogsAreSharedAndRemembered();
};

void TestFileCommands::saveTilePackThenMap() {
    TGuiFixture f;
    UseTiles(3);
    // A map that names no tile pack is not saved; the dialog does not even appear.
    f.Dialogs->Files << f.Path("level.map");
    Form1->Save_act->trigger();
    QVERIFY(f.Dialogs->FileDialogs.isEmpty() && !QFile::exists(f.Path("level.map")));
    QCOMPARE(f.Dialogs->Texts(), QStringList{"Для карты не указан/не сохранен таил пак(Сохраните "
                                             "Текущий Таил Пак) !!!"});
    QCOMPARE(f.Dialogs->Messages[0].Caption, "Warning");
    QCOMPARE(f.Dialogs->Messages[0].Icon, TMessage::TIcon::Warning);

    f.Dialogs->Messages.clear();
    Form1->Status->SetText("before");
    f.Dialogs->Files = {f.Path("forest.pac")};
    Form1->SpeedButton4->click();
    QCOMPARE(ReadFile(f.Path("forest.pac")), TilePack->SaveToBytes(true, QString()));
    QCOMPARE(Map->PackName, QByteArray("forest.pac"));
    QCOMPARE(Form1->Status->Text(), "before");

    QList<qint32> cells(14 * 14, 0);
    Map->Cells[1][0] = cells[1] = 2;
    Map->Cells[0][1] = cells[14] = -1;
    for (int save = 0; save < 2; ++save) { // the second overwrites without asking
        f.Dialogs->Files << f.Path("level.map");
        Form1->Save_act->trigger();
        QCOMPARE(Map->Text1, QByteArray("testing!!!"));
        QCOMPARE(Form1->Status->Text(), "saved... ok!");
        QCOMPARE(ReadFile(f.Path("level.map")),
                 MapFile({"testing!!!", "", "forest.pac", ""}, 14, 14, cells));
        Map->Cells[1][0] = cells[1] = 0;
    }
    QVERIFY(f.Dialogs->Messages.isEmpty());
}

void TestFileCommands::saveFailuresKeepFilesAndNames() {
    TGuiFixture f;
    UseTiles(2);
    Map->PackName = "old.pac";
    QVERIFY(WriteFile(f.Path("file"), "a file, not a directory"));
    f.Dialogs->Files << f.Path("file/x.pac") << f.Path("file/x.map");
    Form1->SpeedButton4->click();
    QCOMPARE(Map->PackName, QByteArray("old.pac"));
    Form1->Save_act->trigger();
    QCOMPARE(f.Dialogs->Messages.size(), 2);
    QVERIFY(f.Dialogs->Messages[0].Text.startsWith(
        QString("Cannot create file \"%1\". ").arg(Shown(f.Path("file/x.pac")))));
    QCOMPARE(f.Dialogs->Messages[0].Icon, TMessage::TIcon::Stop);
    QVERIFY(!Form1->Status->Text().contains("saved"));
    QCOMPARE(ReadFile(f.Path("file")), QByteArray("a file, not a directory"));
}

void TestFileCommands::loadTilePackAndOpenMapReplacePackAndPalette() {
    TGuiFixture f;
    UseTiles(3);
    TilePack->SaveToFile(f.Path("tiles/forest.pac"), true, QString());
    UseTiles(1);
    // Load TilePack leaves the cells as they are: this one now shows tile 2 of the new pack.
    Map->Cells[0][0] = 2;
    f.Dialogs->Files << f.Path("tiles/forest.pac");
    Form1->SpeedButton5->click();
    QCOMPARE(TileNames(), (QByteArrayList{"tile0", "tile1", "tile2"}));
    QCOMPARE(TilePack->Tile(2).Param2, 22);
    QCOMPARE(Form1->TileList_lb->count(), 3);
    QCOMPARE(Map->PackName, QByteArray("forest.pac"));
    QCOMPARE(ViewPixel(5, 5), TileColours[2]);

    // Open Map takes its pack from AppDir/tiles, wherever the map is, and keeps the view.
    UseTiles(1);
    QTest::keyClick(Form1, Qt::Key_Right);
    QVERIFY(WriteFile(f.Path("elsewhere.map"), SmallMap("forest.pac")));
    f.Dialogs->Files << f.Path("elsewhere.map");
    Form1->Open_act->trigger();
    QVERIFY(f.Dialogs->Messages.isEmpty());
    QCOMPARE(Map->SaveToBytes(), SmallMap("forest.pac"));
    QCOMPARE(QPoint(Map->OffsetX, Map->TileSize), QPoint(4, 48));
    QCOMPARE(TilePack->Count(), 3);
    QCOMPARE(Form1->TileList_lb->count(), 3);
    QCOMPARE(Form1->Status->Text(), "loading done!");
    QCOMPARE(ViewPixel(4 * 48, 5), Background); // outside the smaller map
}

void TestFileCommands::failedReadsKeepEverything_data() {
    QTest::addColumn<bool>("openMap");       // or Load TilePack
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<bool>("opened");        // the map was read, its pack was not
    const QByteArray map = SmallMap("p.pac");
    QTest::newRow("map missing") << true << QByteArray() << false;
    QTest::newRow("map truncated") << true << map.left(map.size() - 2) << false;
    QTest::newRow("map of negative width") << true << SmallMap("p.pac", -3) << false;
    QTest::newRow("pack missing") << false << QByteArray() << false;
    QTest::newRow("pack truncated") << false << QByteArray("truncated") << false;
    QTest::newRow("pack with a bad image")
        << false << Int32s({1, 0, 1}) + "a" + Int32s({0, 0, 0, 0, 0, 0, 14}) + "NOT A BITMAP!!"
        << false;
    QTest::newRow("pack of a huge count") << false << Int32s({1000000000, 0}) << false;
    // A pack the map names but cannot have: outside.pac beside tiles/ is there to be reached.
    for (const char* name :
         {"absent.pac", "", ".", "..", "../outside.pac", "..\\outside.pac", "/outside.pac"})
        QTest::addRow("pack named \"%s\"", name) << true << SmallMap(name, 5) << true;
}

void TestFileCommands::failedReadsKeepEverything() {
    QFETCH(bool, openMap);
    QFETCH(QByteArray, content);
    QFETCH(bool, opened);
    TGuiFixture f;
    UseTiles(3);
    TilePack->SaveToFile(f.Path("outside.pac"), true, QString());
    UseTiles(2);
    Map->PackName = "kept.pac";
    if (content == "truncated")
        content = TilePack->SaveToBytes(true, QString()).chopped(1);
    if (!content.isEmpty())
        QVERIFY(WriteFile(f.Path("bad"), content));
    QByteArray before = State();
    if (opened) // only the map changes, and the view shows it with the pack it had
        before.replace(0, Map->SaveToBytes().size(), content);
    f.Dialogs->Files << f.Path("bad");
    if (openMap)
        Form1->Open_act->trigger();
    else
        Form1->SpeedButton5->click();
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    const TMessage& error = f.Dialogs->Messages[0];
    QCOMPARE(error.Icon, TMessage::TIcon::Stop);
    QVERIFY(opened || error.Text.contains(Shown(f.Path("bad"))));
    QVERIFY(!content.isEmpty() || error.Text.startsWith("Cannot open file "));
    QCOMPARE(State(), before);
    QCOMPARE(ViewPixel(5, 5), TileColours[opened ? 1 : 0]);
    QCOMPARE(ViewPixel(5 * 48 + 2, 5), opened ? Background : TileColours[0]);
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
    QStringList runs; // kind (open, save), filter, its index, default extension, file name
    for (const TFileDialog& d : f.Dialogs->FileDialogs)
        runs << QString("%1 %2 %3 %4 %5")
                    .arg(int(d.Kind))
                    .arg(d.Filter)
                    .arg(d.FilterIndex)
                    .arg(d.DefaultExt, QFileInfo(d.FileName).fileName());
    // The save dialog offers the pack's path next time, with the map pair selected.
    QCOMPARE(runs, (QStringList{"0 Map file|*.map|TilePack|*.pac 2 *.pac ",
                                "1 Map |*.map|TilePack|*.pac 2 *.pac ",
                                "1 Map |*.map|TilePack|*.pac 1 *.map saved.pac",
                                "0 Map file|*.map|TilePack|*.pac 1 *.map p.pac"}));
    QCOMPARE(f.Dialogs->FileDialogs[2].FileName, f.Path("saved.pac"));
    QCOMPARE(Map->Width, 14);
}

KORVANE_GUI_TEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
