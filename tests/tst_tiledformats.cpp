// The other formats: each writer against small files checked by hand, export and import giving
// back the game's files byte for byte, and every input that cannot be kept refused with
// nothing changed and nothing written.

#include "TestSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "formats/TiledFormats.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <zlib.h>

using namespace TestSupport;

namespace {
TileRef MakeTile(const QByteArray& bmp, const QByteArray& name, qint32 base) {
    TileRef tile = std::make_unique<Tile>();
    tile->Image->LoadFromBytes(bmp);
    tile->Name = name;
    tile->Param1 = base;
    tile->Param2 = -base;
    tile->Param3 = {base + 1, base + 2, base + 3, std::numeric_limits<qint32>::min()};
    tile->Param4 = std::numeric_limits<qint32>::max();
    return tile;
}

// Three 8-pixel tiles, one named in Cyrillic, on a 3 x 2 map with an empty cell.
struct Small {
    TileMap Map{8};
    TilePack Pack;
    Small() {
        Pack.Add(MakeTile(SolidBmp(8, 8, qRgb(255, 0, 0)), "grass", 1));
        Pack.Add(MakeTile(PatternBmp(8, 8, 7), "\xE2\xEE\xE4\xE0", 10)); // "вода"
        Pack.Add(MakeTile(SolidBmp(8, 8, qRgb(0, 0, 255)), "a \"quoted\" <name> & more", 20));
        Map.New(3, 2, 8);
        const TileIndex cells[2][3] = {{0, 1, 2}, {-1, 2, 0}};
        for (qint32 y = 0; y < 2; ++y)
            for (qint32 x = 0; x < 3; ++x)
                Map.Cells[x][y] = cells[y][x];
        Map.Text1 = "testing!!!";
        Map.Text2 = "\xCA\xE0\xF0\xF2\xE0\r\nline two"; // "Карта", two lines
        Map.PackName = "small.pac";
    }
};

// Every file below a directory with its bytes.
QMap<QString, QByteArray> Snapshot(const QString& dir) {
    QMap<QString, QByteArray> all;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        all.insert(path, ReadFile(path));
    }
    return all;
}

QByteArray Compressed(const QByteArray& bytes, bool gzip) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip ? 16 + MAX_WBITS : MAX_WBITS, 8,
                 Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(bytes.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// A TMX map of one 2 x 2 layer with the given data element, over an atlas tileset.
QByteArray Tmx(const QByteArray& data, const QByteArray& mapAttributes = "",
               const QByteArray& more = "") {
    return "<?xml version=\"1.0\"?>\n<map orientation=\"orthogonal\" width=\"2\" height=\"2\" "
           "tilewidth=\"8\" tileheight=\"8\"" +
           mapAttributes +
           ">\n<tileset firstgid=\"1\" tilewidth=\"8\" tileheight=\"8\" tilecount=\"4\">"
           "<image source=\"atlas.png\"/></tileset>\n<layer width=\"2\" height=\"2\">" +
           data + "</layer>\n" + more + "</map>\n";
}

QByteArray Base64Data(const QByteArray& raw, const char* compression) {
    const QByteArray packed =
        *compression ? Compressed(raw, QByteArray(compression) == "gzip") : raw;
    return QByteArray("<data encoding=\"base64\"") +
           (*compression ? QByteArray(" compression=\"") + compression + "\"" : "") + ">" +
           packed.toBase64() + "</data>";
}
} // namespace

class tst_tiledformats : public QObject {
    Q_OBJECT

    QTemporaryDir Dir;
    QString Path(const QString& name) const { return Dir.filePath(name); }

private slots:
    void initTestCase() {
        // The atlas the hand-written maps name: four 8-pixel tiles in two columns.
        QImage atlas(16, 16, QImage::Format_RGB32);
        atlas.fill(Qt::white);
        atlas.save(Path("atlas.png"));
    }

    // Each writer against its file checked by hand.
    void writers_data() {
        QTest::addColumn<QString>("file");
        for (const char* file : {"small.tmx", "small.tmj", "small.csv"})
            QTest::newRow(file) << QString(file);
    }
    void writers() {
        QFETCH(QString, file);
        Small small;
        const QString out = Path("out/" + file);
        QDir().mkpath(Path("out"));
        TiledFormats::Export(small.Map, small.Pack, out);
        QCOMPARE(ReadFile(out), ReadFile(QFINDTESTDATA("data/tiled/" + file)));
        if (!file.endsWith(".csv")) {
            // The atlas: tiles in index order, three in a row, the grid filled exactly.
            const QImage atlas(TiledFormats::AtlasPath(out));
            QCOMPARE(atlas.size(), QSize(24, 8));
            for (qint32 i = 0; i < 3; ++i)
                QCOMPARE(atlas.copy(i * 8, 0, 8, 8), small.Pack.At(i).Image->Picture());
        }
    }

    // Export, then import: the game's files come back byte for byte, whatever the layer's
    // encoding.
    void roundTrip_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("tmx") << "trip.tmx";
        QTest::newRow("tmj") << "trip.tmj";
        QTest::newRow("json") << "trip.json";
    }
    void roundTrip() {
        QFETCH(QString, file);
        Small small;
        // A larger map too, with every tile: its cells are many bands of rows, and more text
        // than a JSON reader parses value by value.
        TileMap big(8);
        big.New(97, 61, 8);
        for (qint32 x = 0; x < 97; ++x)
            for (qint32 y = 0; y < 61; ++y)
                big.Cells[x][y] = (x * 5 + y * 3) % 4 - 1;
        big.Text4 = "\x80\xFF";
        for (TileMap* map : {&small.Map, &big}) {
            TiledFormats::Export(*map, small.Pack, Path(file));
            TileMap read(48);
            TilePack pack;
            TiledFormats::Import(read, pack, Path(file));
            QCOMPARE(read.TileSize, 8);
            QCOMPARE(MapFile::Bytes(read), MapFile::Bytes(*map));
            QCOMPARE(PackFile::Bytes(pack), PackFile::Bytes(small.Pack));
        }
        TiledFormats::Export(big, small.Pack, Path("trip.csv"));
        TileMap fromCsv(8);
        TiledFormats::ReadCsv(fromCsv, Path("trip.csv"));
        big.Text4.clear();
        QCOMPARE(MapFile::Bytes(fromCsv), MapFile::Bytes(big));
    }

    // The layer's encodings a TMX map may use all give the same cells.
    void layerEncodings_data() {
        QTest::addColumn<QByteArray>("data");
        const QByteArray raw = Int32s({1, 0, 4, 2});
        QTest::newRow("csv") << QByteArray("<data encoding=\"csv\">\n1,0,\n4,2\n</data>");
        QTest::newRow("base64") << Base64Data(raw, "");
        QTest::newRow("zlib") << Base64Data(raw, "zlib");
        QTest::newRow("gzip") << Base64Data(raw, "gzip");
    }
    void layerEncodings() {
        QFETCH(QByteArray, data);
        WriteFile(Path("enc.tmx"), Tmx(data));
        TileMap map(48);
        TilePack pack;
        TiledFormats::Import(map, pack, Path("enc.tmx"));
        QCOMPARE(pack.Count(), 4);
        QCOMPARE(pack.At(3).Name, QByteArray("tile 3"));
        QCOMPARE(map.Cells[0][0], 0);
        QCOMPARE(map.Cells[1][0], -1);
        QCOMPARE(map.Cells[0][1], 3);
        QCOMPARE(map.Cells[1][1], 1);
    }

    // Files Tiled wrote (a zlib layer, an external tileset over an atlas) import as the map
    // and tiles they show.
    void tiledFiles_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("tmx") << "tiled-zlib.tmx";
        QTest::newRow("tmj") << "tiled-zlib.tmj";
    }
    void tiledFiles() {
        QFETCH(QString, file);
        TileMap map(48);
        TilePack pack;
        TiledFormats::Import(map, pack, QFINDTESTDATA("data/tiled/" + file));
        QCOMPARE(map.TileSize, 8);
        QCOMPARE(map.PackName, QByteArray("fx.pac"));
        const TileIndex cells[2][3] = {{0, 1, -1}, {1, -1, 0}};
        for (qint32 y = 0; y < 2; ++y)
            for (qint32 x = 0; x < 3; ++x)
                QCOMPARE(map.Cells[x][y], cells[y][x]);
        QCOMPARE(pack.Count(), 2);
        QCOMPARE(pack.At(0).Name, QByteArray("grass"));
        QCOMPARE(pack.At(1).Name, QByteArray("water"));
        QCOMPARE(pack.At(0).Image->Picture().pixel(7, 7), qRgb(30, 160, 40));
        QCOMPARE(pack.At(1).Image->Picture().pixel(0, 0), qRgb(20, 60, 200));
    }

    // Whatever cannot be kept, and every malformed or hostile input, is refused by what it is;
    // the map and pack stay as they were.
    void importRefusals_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QByteArray csv = "<data encoding=\"csv\">1,0,4,2</data>";
        QTest::newRow("second layer")
            << "a.tmx" << Tmx(csv, "", "<layer width=\"2\" height=\"2\">" + csv + "</layer>")
            << "line 5, column 28: a second tile layer";
        QTest::newRow("second tileset")
            << "a.tmx" << Tmx(csv, "", "<tileset firstgid=\"5\" tilewidth=\"8\" tileheight=\"8\"/>")
            << "a second tileset";
        QTest::newRow("flipped") << "a.tmx" << Tmx("<data encoding=\"csv\">1,0,2147483652,2</data>")
                                 << "the cell at column 0, row 1 is flipped or rotated";
        QTest::newRow("gid beyond the tileset")
            << "a.tmx" << Tmx("<data encoding=\"csv\">1,0,5,2</data>") << "names tile 5";
        QTest::newRow("not square")
            << "a.tmx" << Tmx(csv).replace("tileheight=\"8\"", "tileheight=\"9\"") << "not square";
        QTest::newRow("objects") << "a.tmx"
                                 << Tmx(csv, "", "<objectgroup><object id=\"1\"/></objectgroup>")
                                 << "an object layer with objects";
        QTest::newRow("infinite") << "a.tmx" << Tmx(csv, " infinite=\"1\"") << "infinite";
        QTest::newRow("isometric")
            << "a.tmx" << Tmx(csv).replace("orthogonal", "isometric") << "isometric";
        QTest::newRow("too many cells")
            << "a.tmx"
            << Tmx(csv).replace("width=\"2\" height=\"2\" tilewidth",
                                "width=\"1000000\" height=\"1000000\" tilewidth")
            << "too large";
        // A hundred bytes must not make a grid of 16 million cells.
        QTest::newRow("tiny zlib, huge map")
            << "a.tmx"
            << Tmx(Base64Data(QByteArray(64, 0), "zlib"))
                   .replace("width=\"2\" height=\"2\"", "width=\"4096\" height=\"4096\"")
            << "cannot hold its 16777216 cells";
        QTest::newRow("short csv")
            << "a.tmx" << Tmx("<data encoding=\"csv\">1,0,4</data>") << "cannot hold its 4 cells";
        QTest::newRow("long csv") << "a.tmx" << Tmx("<data encoding=\"csv\">1,0,4,2,1</data>")
                                  << "more than its 4 cells";
        QByteArray broken = Base64Data(Int32s({1, 0, 4, 2}), "zlib");
        broken[broken.indexOf('>') + 6] ^= 0x11;
        QTest::newRow("broken zlib") << "a.tmx" << Tmx(broken) << "zlib data is broken";
        QTest::newRow("zstd") << "a.tmx"
                              << Tmx("<data encoding=\"base64\" compression=\"zstd\">AA==</data>")
                              << "compressed with zstd";
        QTest::newRow("xml error") << "a.tmx" << QByteArray("<map>\n  <layer></map>")
                                   << "line 2, column 15: Opening and ending tag mismatch";
        QTest::newRow("atlas too small")
            << "a.tmx" << Tmx(csv).replace("tilecount=\"4\"", "tilecount=\"5\"") << "holds only 4";
        QTest::newRow("missing atlas")
            << "a.tmx" << Tmx(csv).replace("atlas.png", "nowhere.png") << "nowhere.png";
        QTest::newRow("json error") << "a.tmj" << QByteArray("{\n  \"width\": 2,\n  oops\n}")
                                    << "line 3, column 4: unterminated object";
        QByteArray cells = "0";
        for (int i = 1; i < 64 * 64; ++i)
            cells += i % 64 ? ",0" : ",\n0";
        const QByteArray json = "{\"orientation\":\"orthogonal\",\"width\":64,\"height\":64,"
                                "\"tilewidth\":8,\"tileheight\":8,\"layers\":[{\"type\":"
                                "\"tilelayer\",\"width\":64,\"height\":64,\"data\":[" +
                                cells + "]}]";
        // Rows on lines of their own, as Tiled writes them: the lines after them still count.
        QByteArray rows = cells;
        const QByteArray tmx = Tmx("<data encoding=\"csv\">" +
                                   rows.replace("\n", "\n ").replace(",", ", ") + "</data>")
                                   .replace("\"2\"", "\"64\"")
                                   .replace("</layer>\n", "</layer>\n<oops>");
        QTest::newRow("xml error after many cells")
            << "a.tmx" << tmx
            << QString("line %1, column 12: Opening and ending tag mismatch").arg(tmx.count('\n'));
        QTest::newRow("json error after many cells") << "a.tmj" << json + "\n  oops}"
                                                     << "line 65, column 4: unterminated object";
        QTest::newRow("json many cells, one no GID")
            << "a.tmj" << QByteArray(json + "}").replace(",0]", ",-1]")
            << "value 4096 of the cells is no GID";
        QTest::newRow("json deep nesting")
            << "a.tmj" << QByteArray(100000, '[') << "line 1, column";
        QTest::newRow("json huge")
            << "a.tmj"
            << QByteArray("{\"orientation\":\"orthogonal\",\"width\":65536,\"height\":65536,"
                          "\"tilewidth\":8,\"tileheight\":8,\"layers\":[{\"type\":\"tilelayer\","
                          "\"width\":65536,\"height\":65536,\"data\":[0]}]}")
            << "too large";
        QTest::newRow("json short data")
            << "a.tmj"
            << QByteArray("{\"orientation\":\"orthogonal\",\"width\":2,\"height\":2,"
                          "\"tilewidth\":8,\"tileheight\":8,\"layers\":[{\"type\":\"tilelayer\","
                          "\"width\":2,\"height\":2,\"data\":[0,0,0]}]}")
            << "holds 3 cells, not its 4";
        QTest::newRow("name beyond Windows-1251")
            << "a.tmx"
            << Tmx(csv, "",
                   "<properties><property name=\"Text1\" value=\"\xE2\x82\xAC\xE4\xB8\x80\"/>"
                   "</properties>")
            << "which Windows-1251 lacks";
    }
    void importRefusals() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        WriteFile(Path(name), bytes);
        Small small;
        const QByteArray mapBefore = MapFile::Bytes(small.Map);
        const QByteArray packBefore = PackFile::Bytes(small.Pack);
        const QString error = MessageOf<EFormatError>(
            [&] { TiledFormats::Import(small.Map, small.Pack, Path(name)); });
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(Path(name))), qPrintable(error));
        QCOMPARE(MapFile::Bytes(small.Map), mapBefore);
        QCOMPARE(PackFile::Bytes(small.Pack), packBefore);
        QCOMPARE(small.Map.TileSize, 8);
    }

    void csvRefusals_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("ragged") << QByteArray("1,2\n3\n") << "line 2 has 1 cells, the first line 2";
        QTest::newRow("word") << QByteArray("1,two\n") << "value 2 of the cells is no whole number";
        QTest::newRow("beyond 32 bits") << QByteArray("1,2147483648\n") << "outside";
        QTest::newRow("empty value") << QByteArray("1,,2\n") << "no whole number";
    }
    void csvRefusals() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        Small small;
        const QByteArray before = MapFile::Bytes(small.Map);
        const QString error =
            MessageOf<EFormatError>([&] { TiledFormats::ReadCsvBytes(small.Map, bytes, "t.csv"); });
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(MapFile::Bytes(small.Map), before);
    }

    // What the formats cannot carry is refused by name before any file is written.
    void exportRefusals_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("cell");        // written into the first cell
        QTest::addColumn<QByteArray>("name"); // of the first tile
        QTest::addColumn<QString>("message");
        QTest::newRow("tile beyond the pack")
            << "x.tmx" << 3 << QByteArray("grass") << "holds tile 3, which the tile pack";
        QTest::newRow("negative tile") << "x.tmj" << -2 << QByteArray("grass") << "holds tile -2";
        QTest::newRow("control character in XML")
            << "x.tmx" << 0 << QByteArray("a\x01z") << "U+0001, which XML cannot carry";
        QTest::newRow("unknown format") << "x.txt" << 0 << QByteArray("grass") << "no format";
    }
    void exportRefusals() {
        QFETCH(QString, file);
        QFETCH(int, cell);
        QFETCH(QByteArray, name);
        QFETCH(QString, message);
        Small small;
        small.Map.Cells[0][0] = cell;
        small.Pack.At(0).Name = name;
        QDir().mkpath(Path("refused"));
        const auto before = Snapshot(Path("refused"));
        const QString error = MessageOf(
            [&] { TiledFormats::Export(small.Map, small.Pack, Path("refused/" + file)); });
        QVERIFY2(error.contains(message) && error.startsWith("Nothing was written"),
                 qPrintable(error));
        QCOMPARE(Snapshot(Path("refused")), before);
    }

    // Tiled, where installed, reads our map and writes it in the other format, which imports
    // as the same map and pack.
    void tiledReadsOurs_data() {
        QTest::addColumn<QString>("ours");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("theirs");
        QTest::newRow("tmx") << "judge.tmx"
                             << "json"
                             << "judged.json";
        QTest::newRow("tmj") << "judge.tmj"
                             << "tmx"
                             << "judged.tmx";
    }
    void tiledReadsOurs() {
        QFETCH(QString, ours);
        QFETCH(QString, format);
        QFETCH(QString, theirs);
        const QString tiled = QStandardPaths::findExecutable("tiled");
        if (tiled.isEmpty())
            QSKIP("Tiled is not installed");
        Small small;
        // Tiled writes a text of several lines as an element's content, where XML reads a
        // carriage return and line feed as one line feed.
        small.Map.Text2.replace("\r\n", "\n");
        TiledFormats::Export(small.Map, small.Pack, Path(ours));
        QProcess process;
        process.start(tiled, {"--export-map", format, Path(ours), Path(theirs)});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        TileMap map(48);
        TilePack pack;
        TiledFormats::Import(map, pack, Path(theirs));
        QCOMPARE(MapFile::Bytes(map), MapFile::Bytes(small.Map));
        QCOMPARE(PackFile::Bytes(pack), PackFile::Bytes(small.Pack));
    }
};

QTEST_MAIN(tst_tiledformats)
#include "tst_tiledformats.moc"
