// File > Export As and File > Import: the files are TiledFormats' own, an import comes in
// unsaved with Save asking for names, and a refused import or export changes nothing.

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "formats/TiledFormats.h"

#include <QDirIterator>

using namespace TestSupport;

namespace {
QMap<QString, QByteArray> Files(const QString& dir) {
    QMap<QString, QByteArray> all;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        all.insert(path, ReadFile(path));
    }
    return all;
}
} // namespace

class TestOtherFormats : public QObject {
    Q_OBJECT
private slots:
    void exportThenImport();
    void refusedImportChangesNothing();
    void refusedExportWritesNothing();
};

void TestOtherFormats::exportThenImport() {
    const QString file = "level.tmx";
    GuiFixture f;
    f.UseTiles(3);
    f.TheMap().Cells[2][1] = 2;
    f.TheMap().Cells[0][0] = -1;
    f.TheMap().PackName = "forest.pac";
    const QByteArray map = MapFile::Bytes(f.TheMap()), pack = PackFile::Bytes(f.ThePack());

    // A name without an extension takes the chosen type's, TMX at first.
    f.Dialogs->Files << f.Path("level");
    QVERIFY(WriteFile(f.Path("level.tiles.png"), "old atlas")); // asked about, and replaced
    f.Dialogs->Answers << Message::Yes;
    f.Action("exportAsAction").trigger();
    QCOMPARE(f.Dialogs->Texts(),
             QStringList{QString("\"%1\" already exists. Replace it?")
                             .arg(QDir::toNativeSeparators(f.Path("level.tiles.png")))});
    TileMap expected(48);
    MapFile::ReadBytes(expected, map, "m");
    TilePack expectedPack;
    PackFile::ReadBytes(expectedPack, pack, "p");
    const QString reference = f.Path("ref/" + file);
    QDir().mkpath(f.Path("ref"));
    TiledFormats::Export(expected, expectedPack, reference);
    QCOMPARE(ReadFile(f.Path(file)), ReadFile(reference));
    QCOMPARE(ReadFile(f.Path("level.tiles.png")), ReadFile(TiledFormats::AtlasPath(reference)));

    // Import over unsaved work asks first; Discard goes on.
    f.TheDocument().NewMap(2, 2, 48);
    f.Dialogs->Messages.clear();
    f.Dialogs->Answers << Message::Discard;
    f.Dialogs->Files << f.Path(file);
    f.Action("importAction").trigger();
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    QCOMPARE(f.Dialogs->Messages[0].Text, "The map has unsaved changes.");
    QCOMPARE(MapFile::Bytes(f.TheMap()), map);
    QCOMPARE(PackFile::Bytes(f.ThePack()), pack);
    QCOMPARE(f.TileList().count(), 3);
    QCOMPARE(f.TheDocument().Unsaved(), DocumentPart::Map | DocumentPart::Pack);
    QVERIFY(f.TheDocument().MapPath().isEmpty() && f.TheDocument().PackPath().isEmpty());
    QCOMPARE(f.Status().Text(), "imported... ok!");

    // Saving both asks for the pack's name, then the map's (then Open Map is cancelled).
    f.Dialogs->Messages.clear();
    f.Dialogs->Answers << Message::Save;
    f.Dialogs->Files << f.Path("tiles/forest.pac") << f.Path("maps/level.map");
    f.Action("openMapAction").trigger();
    QCOMPARE(ReadFile(f.Path("tiles/forest.pac")), pack);
    TileMap saved(48);
    MapFile::Read(saved, f.Path("maps/level.map"));
    QCOMPARE(saved.Cells[2][1], 2);
    QCOMPARE(saved.Cells[0][0], -1);
}

void TestOtherFormats::refusedImportChangesNothing() {
    GuiFixture f;
    f.UseTiles(2);
    QVERIFY(WriteFile(f.Path("two.tmx"),
                      "<map orientation=\"orthogonal\" width=\"1\" height=\"1\" tilewidth=\"48\" "
                      "tileheight=\"48\"><layer width=\"1\" height=\"1\"><data "
                      "encoding=\"csv\">0</data></layer><layer/></map>"));
    const QByteArray map = MapFile::Bytes(f.TheMap()), pack = PackFile::Bytes(f.ThePack());
    f.Dialogs->Files << f.Path("two.tmx");
    f.Action("importAction").trigger();
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    QCOMPARE(f.Dialogs->Messages[0].Icon, Message::IconKind::Stop);
    QVERIFY2(f.Dialogs->Messages[0].Text.contains("a second tile layer"),
             qPrintable(f.Dialogs->Messages[0].Text));
    QCOMPARE(MapFile::Bytes(f.TheMap()), map);
    QCOMPARE(PackFile::Bytes(f.ThePack()), pack);
    QCOMPARE(f.TheDocument().Unsaved(), DocumentParts());
}

void TestOtherFormats::refusedExportWritesNothing() {
    GuiFixture f;
    f.UseTiles(2);
    f.TheMap().Cells[1][1] = 5; // a tile the pack lacks
    const auto before = Files(f.AppDir());
    f.Dialogs->Files << f.Path("out.tmj");
    f.Action("exportAsAction").trigger();
    QCOMPARE(f.Dialogs->Messages.size(), 1);
    QVERIFY2(f.Dialogs->Messages[0].Text.contains("holds tile 5"),
             qPrintable(f.Dialogs->Messages[0].Text));
    QCOMPARE(Files(f.AppDir()), before);
}

KORVANE_GUI_TEST_MAIN(TestOtherFormats)
#include "tst_otherformats.moc"
