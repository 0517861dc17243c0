// korvane-tool run as a process on real files: each command's output and exit code, the
// images against the model's own drawing, the export against the export's core, and every
// refusal with nothing written.

#include "TestSupport.h"
#include "formats/MapFile.h"
#include "formats/MobileExport.h"
#include "formats/PackFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Canvas.h"
#include "render/MapRenderer.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using namespace TestSupport;

namespace {
struct Result {
    int Code = -1;
    QString Out;
    QString Err;
};

// A tile pack of four tiles (one a palette BMP wider and taller than a cell), a 50 x 45 map
// using them (larger than one block of render), its PNG files, and a copy of the same
// directories for the export's core to write into.
class Scene {
public:
    Scene() {
        QDir root(Dir.path());
        for (const char* sub : {"bmp", "tiles", "maps", "png", "core/png", "core/maps"})
            root.mkpath(sub);
        Bmps = {{"grass", SolidBmp(48, 48, qRgb(30, 160, 40))},
                {"water", SolidBmp(48, 48, qRgb(20, 60, 200))},
                {"tower", ReadFile(QFINDTESTDATA("data/bmp/good/pal8.bmp"))},
                {"stone", ReadFile(QFINDTESTDATA("data/bmp/good/rgb24.bmp"))}};
        for (const auto& [name, bytes] : Bmps) {
            WriteFile(Path("bmp/" + name + ".bmp"), bytes);
            for (const char* dir : {"png/", "core/png/"})
                WriteFile(Path(dir + name + ".png"), "\x89PNG " + name.toLatin1());
        }
        TileMap map(48);
        map.New(50, 45, 48);
        for (qint32 x = 0; x < 50; ++x)
            for (qint32 y = 0; y < 45; ++y)
                map.Cells[x][y] = (x * 7 + y * 3) % 5 - 1; // -1 to 3
        map.Text1 = "testing!!!";
        map.Text2 = "\xCA\xE0\xF0\xF2\xE0"; // "Карта"
        map.PackName = "forest.pac";
        MapFile::Write(map, MapPath());
    }
    QString Path(const QString& name) const { return Dir.filePath(name); }
    QString MapPath() const { return Path("maps/forest.map"); }
    QString PackPath() const { return Path("tiles/forest.pac"); }
    QStringList BmpFiles() const {
        QStringList files;
        for (const auto& bmp : Bmps)
            files << Path("bmp/" + bmp.first + ".bmp");
        return files;
    }
    // Every file and directory below the scene with its bytes: what "nothing written" keeps.
    QMap<QString, QByteArray> Snapshot() const {
        QMap<QString, QByteArray> all;
        QDirIterator it(Dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            all.insert(path, QFileInfo(path).isDir() ? QByteArray("<dir>") : ReadFile(path));
        }
        return all;
    }

    QTemporaryDir Dir;
    QList<std::pair<QString, QByteArray>> Bmps;
};

Result Tool(const QStringList& args, const QString& workingDir = QString(),
            const std::function<void()>& childSetup = {}) {
    QProcess process;
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    if (childSetup)
        process.setChildProcessModifier(childSetup);
    process.start(QCoreApplication::applicationDirPath() + "/korvane-tool", args);
    Result result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.Code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.Out = QString::fromUtf8(process.readAllStandardOutput());
    result.Err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// The scene's tile pack, made by the tool itself.
void MakePack(const Scene& s) {
    const Result made = Tool(QStringList{"pack", "create", s.PackPath()} + s.BmpFiles());
    QCOMPARE(made.Code, 0);
}

#define QCOMPARE_RUN(result, code)                                                                 \
    QVERIFY2((result).Code == (code), qPrintable(QString("exit %1\nstdout: %2\nstderr: %3")        \
                                                     .arg((result).Code)                           \
                                                     .arg((result).Out, (result).Err)))

// What the editor's view shows at that size and offset: the model's own drawing.
QImage EditorView(const Scene& s, QRect cells, qint32 tileSize, bool grid) {
    Canvas canvas(cells.size() * tileSize);
    TileMap map(tileSize);
    TilePack pack;
    MapFile::Read(map, s.MapPath());
    PackFile::Read(pack, s.PackPath());
    MapRenderer view(map, pack, &canvas);
    view.SetViewSize(cells.width() * tileSize, cells.height() * tileSize);
    view.OffsetX = cells.x() * tileSize;
    view.OffsetY = cells.y() * tileSize;
    view.ShowGrid = grid;
    view.Draw(true);
    return canvas.Image();
}
} // namespace

class tst_tool : public QObject {
    Q_OBJECT

private slots:
    // Help for every command on stdout; a command line that makes no sense is exit code 2,
    // with the reason on stderr and nothing on stdout.
    void commandLines_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // the start of stdout
        for (const char* command : {"info", "check", "render", "export", "convert", "pack create",
                                    "pack list", "pack extract"})
            QTest::addRow("%s --help", command)
                << QString(command).split(' ') + QStringList{"--help"} << 0
                << QString("Usage: korvane-tool ") + command;
        QTest::newRow("--help") << QStringList{"--help"} << 0
                                << "Usage: korvane-tool COMMAND [options] [arguments]";
        QTest::newRow("pack --help")
            << QStringList{"pack", "--help"} << 0 << "Usage: korvane-tool pack create";
        const QStringList bad[] = {{},
                                   {"draw"},
                                   {"info"},
                                   {"info", "a.map", "b.map"},
                                   {"info", "--yaml", "a.map"},
                                   {"info", "notes.txt"},
                                   {"render", "a.map"},
                                   {"render", "a.map", "-o", "a.png", "--scale", "0"},
                                   {"render", "a.map", "-o", "a.png", "--region", "1,2,3"},
                                   {"export", "a.map"},
                                   {"convert", "a.map"},
                                   {"convert", "a.map", "b.txt"},
                                   {"convert", "--to", "gif", "--out-dir", ".", "a.map"},
                                   {"pack"},
                                   {"pack", "create", "a.pac"},
                                   {"pack", "extract", "a.pac"}};
        for (const QStringList& args : bad)
            QTest::addRow("%s", qPrintable("bad: " + args.join(' '))) << args << 2 << "";
    }
    void commandLines() {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        const Result result = Tool(args);
        QCOMPARE_RUN(result, code);
        QVERIFY2(out.isEmpty() ? result.Out.isEmpty() : result.Out.startsWith(out),
                 qPrintable(result.Out));
        QCOMPARE(result.Err.isEmpty(), code == 0);
    }

    // info and pack list as text, info as JSON parsed back; a damaged file is exit code 2 with
    // the file named.
    void info() {
        Scene s;
        MakePack(s);
        const Result text = Tool({"info", s.MapPath()});
        QCOMPARE_RUN(text, 0);
        // Cells (x * 7 + y * 3) % 5 - 1: each value in a fifth of the 2250 cells.
        QCOMPARE(text.Out, QString("map: %1\nsize: 50 x 45 cells\ntext1: \"testing!!!\"\n"
                                   "text2: \"Карта\"\npackName: \"forest.pac\"\ntext4: \"\"\n"
                                   "tile pack file: %2\n"
                                   "cells: 2250, empty (-1): 450, other negative: 0\n"
                                   "tile 0: 450 cells\ntile 1: 450 cells\ntile 2: 450 cells\n"
                                   "tile 3: 450 cells\n")
                               .arg(Shown(s.MapPath()), Shown(s.PackPath())));

        const Result json = Tool({"info", "--json", s.MapPath()});
        QCOMPARE_RUN(json, 0);
        const QJsonObject map = QJsonDocument::fromJson(json.Out.toUtf8()).object();
        QCOMPARE(map["kind"].toString(), "map");
        QCOMPARE(map["width"].toInt(), 50);
        QCOMPARE(map["height"].toInt(), 45);
        QCOMPARE(map["text2"].toString(), QString("Карта"));
        QCOMPARE(map["packName"].toString(), "forest.pac");
        QCOMPARE(map["cells"]["empty"].toInt(), 450);
        QCOMPARE(map["cells"]["tiles"].toArray().size(), 4);
        QCOMPARE(map["cells"]["tiles"][3]["index"].toInt(), 3);
        QCOMPARE(map["cells"]["tiles"][3]["cells"].toInt(), 450);

        const Result packJson = Tool({"info", "--json", s.PackPath()});
        QCOMPARE_RUN(packJson, 0);
        const QJsonArray tiles =
            QJsonDocument::fromJson(packJson.Out.toUtf8()).object()["tiles"].toArray();
        QCOMPARE(tiles.size(), 4);
        QCOMPARE(tiles[2]["name"].toString(), "tower");
        QCOMPARE(tiles[2]["width"].toInt(), 127);
        QCOMPARE(tiles[2]["height"].toInt(), 64);
        QCOMPARE(tiles[2]["param3"].toArray(), QJsonArray({0, 0, 0, 0}));

        const Result list = Tool({"pack", "list", s.PackPath()});
        QCOMPARE_RUN(list, 0);
        const QStringList lines = list.Out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[1], "0\tgrass\t48\t48\t0\t0\t0\t0\t0\t0\t0");
        QCOMPARE(lines[3], "2\ttower\t127\t64\t0\t0\t0\t0\t0\t0\t0");
        const Result packText = Tool({"info", s.PackPath()});
        QCOMPARE(packText.Out,
                 QString("tile pack: %1\ntiles: 4\n").arg(Shown(s.PackPath())) + list.Out);

        QVERIFY(WriteFile(s.MapPath(), ReadFile(s.MapPath()).chopped(1)));
        const Result truncated = Tool({"info", "--json", s.MapPath()});
        QCOMPARE_RUN(truncated, 2);
        QVERIFY2(truncated.Err.contains(Shown(s.MapPath())), qPrintable(truncated.Err));
        QVERIFY(truncated.Out.isEmpty());
    }

    // check loads the map and its pack as Open Map does: 0 when clean, 1 with every problem on
    // stdout, 2 when the map itself cannot be read.
    void check_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("line"); // a line of the output; @ for the scene's directory
        QTest::newRow("clean") << "" << 0 << "no problems found";
        QTest::newRow("cells past the pack")
            << "cells" << 1
            << "problem: 3 cells name tiles the pack lacks (it has 4 tiles; -1 marks an empty "
               "cell), first (4, 0) = 4, (0, 2) = -7, (49, 44) = 2147483647";
        QTest::newRow("hostile pack name")
            << "../tiles/forest.pac" << 1
            << "problem: The map \"@/maps/forest.map\" names the tile pack "
               "\"../tiles/forest.pac\", which Open Map refuses: a map may only name a file in "
               "a folder of tile packs, by its name alone.";
        QTest::newRow("no pack name")
            << "-" << 1 << "problem: The map \"@/maps/forest.map\" names no tile pack.";
        QTest::newRow("pack missing")
            << "other.pac" << 1
            << "problem: The tile pack \"other.pac\" of the map \"@/maps/forest.map\" was not "
               "found in any of the folders searched: \"@/tiles\", ";
        QTest::newRow("pack damaged") << "damaged" << 1
                                      << "problem: The file \"@/tiles/forest.pac\" is not a valid "
                                         "tile pack";
        QTest::newRow("map truncated") << "truncated" << 2 << "";
    }
    void check() {
        QFETCH(QString, change);
        QFETCH(int, code);
        QFETCH(QString, line);
        Scene s;
        MakePack(s);
        TileMap map(48);
        MapFile::Read(map, s.MapPath());
        if (change == "cells") {
            map.Cells[4][0] = 4;
            map.Cells[0][2] = -7;
            map.Cells[49][44] = INT_MAX;
        } else if (change == "-") {
            map.PackName.clear();
        } else if (change.endsWith(".pac")) {
            map.PackName = change.toLatin1();
        }
        MapFile::Write(map, s.MapPath());
        if (change == "truncated")
            QVERIFY(WriteFile(s.MapPath(), ReadFile(s.MapPath()).left(30)));
        if (change == "damaged")
            QVERIFY(WriteFile(s.PackPath(), ReadFile(s.PackPath()).chopped(2)));
        // The tiles directory named outright and found beside the tool are the same rule.
        const Result result = Tool({"check", s.MapPath(), "--tiles", s.Path("tiles")});
        QCOMPARE_RUN(result, code);
        line.replace('@', QDir::toNativeSeparators(s.Dir.path()));
        if (code == 2) {
            QVERIFY2(result.Err.contains(Shown(s.MapPath())), qPrintable(result.Err));
            return;
        }
        const QStringList lines = result.Out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.first(), QString("map: %1: 50 x 45 cells, tile pack \"%2\"")
                                    .arg(Shown(s.MapPath()), change == "-" ? "" : map.PackName));
        QVERIFY2(std::any_of(lines.begin(), lines.end(),
                             [&](const QString& l) { return l.startsWith(line); }),
                 qPrintable(result.Out));
        QCOMPARE(lines.last(), code == 0 ? "no problems found" : "1 problem found");
        QVERIFY(result.Err.isEmpty());
    }

    // info and check name the pack file the map opens with: the first --tiles folder holding
    // it, else the map's neighbour tiles/; info says why when there is none.
    void packFileUsedIsNamed_data() {
        QTest::addColumn<QStringList>("tiles"); // --tiles folders, under the scene
        QTest::addColumn<QString>("used");      // empty: none
        QTest::newRow("beside the map's folder") << QStringList{} << "tiles/forest.pac";
        QTest::newRow("a folder named first")
            << QStringList{"other", "tiles"} << "other/forest.pac";
        QTest::newRow("a named folder without it") << QStringList{"empty"} << "tiles/forest.pac";
        QTest::newRow("none") << QStringList{"empty"} << "";
    }
    void packFileUsedIsNamed() {
        QFETCH(QStringList, tiles);
        QFETCH(QString, used);
        Scene s;
        MakePack(s);
        QDir(s.Dir.path()).mkpath("empty");
        QDir(s.Dir.path()).mkpath("other");
        QVERIFY(QFile::copy(s.PackPath(), s.Path("other/forest.pac")));
        if (used.isEmpty())
            QVERIFY(QFile::remove(s.PackPath()));
        QStringList options;
        for (const QString& dir : tiles)
            options << "--tiles" << s.Path(dir);
        const Result info = Tool(QStringList{"info", "--json", s.MapPath()} + options);
        QCOMPARE_RUN(info, 0);
        const QJsonObject object = QJsonDocument::fromJson(info.Out.toUtf8()).object();
        if (used.isEmpty()) {
            QVERIFY(object["packFile"].isNull());
            QVERIFY2(object["packProblem"].toString().contains(Shown(s.Path("empty"))),
                     qPrintable(info.Out));
        } else {
            QCOMPARE(object["packFile"].toString(), Shown(s.Path(used)));
        }
        const Result check = Tool(QStringList{"check", s.MapPath()} + options);
        QCOMPARE_RUN(check, used.isEmpty() ? 1 : 0);
        if (!used.isEmpty())
            QVERIFY2(check.Out.contains("\ntile pack: " + Shown(s.Path(used)) + ": 4 tiles\n"),
                     qPrintable(check.Out));
    }

    // render --size: the whole map scaled down to fit N x N, keeping its proportions; never
    // scaled up, and not with --scale.
    void renderFitsASize_data() {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QSize>("image"); // empty: refused
        QTest::newRow("a thumbnail") << "128" << QSize(128, 115);
        QTest::newRow("odd") << "77" << QSize(77, 69);
        QTest::newRow("larger than the map") << "4000" << QSize(2400, 2160);
        QTest::newRow("zero") << "0" << QSize();
    }
    void renderFitsASize() {
        QFETCH(QString, size);
        QFETCH(QSize, image);
        Scene s;
        MakePack(s);
        const Result result = Tool({"render", s.MapPath(), "-o", s.Path("thumb.png"), "--size",
                                    size, "--tiles", s.Path("tiles")});
        QCOMPARE_RUN(result, image.isEmpty() ? 2 : 0);
        // The height within a pixel of the map's proportions: how it rounds is the scaler's.
        const QSize made = QImage(s.Path("thumb.png")).size();
        QCOMPARE(QFile::exists(s.Path("thumb.png")), !image.isEmpty());
        QVERIFY2(image.isEmpty() ||
                     (made.width() == image.width() && qAbs(made.height() - image.height()) <= 1),
                 qPrintable(QString("%1 x %2").arg(made.width()).arg(made.height())));
        const Result both =
            Tool({"render", s.MapPath(), "-o", s.Path("both.png"), "--size", "64", "--scale", "2"});
        QCOMPARE_RUN(both, 2);
        QVERIFY(!QFile::exists(s.Path("both.png")));
    }

    // pack create builds the tiles in order with Add Tile's names, and pack extract gives back
    // each input BMP byte for byte; names that are no file names, or that two tiles share,
    // make extract write nothing.
    void packCreateAndExtract() {
        Scene s;
        const Result made = Tool(QStringList{"pack", "create", s.PackPath()} + s.BmpFiles());
        QCOMPARE_RUN(made, 0);
        QCOMPARE(made.Out,
                 QString("wrote %1: 4 tiles\n").arg(QDir::toNativeSeparators(s.PackPath())));
        TilePack pack;
        PackFile::Read(pack, s.PackPath());
        QCOMPARE(pack.Count(), 4);
        QCOMPARE(pack.At(3).Name, QByteArray("stone"));
        const Result out = Tool({"pack", "extract", s.PackPath(), s.Path("out/bmp")});
        QCOMPARE_RUN(out, 0);
        for (const auto& [name, bytes] : s.Bmps)
            QCOMPARE(ReadFile(s.Path("out/bmp/" + name + ".bmp")), bytes);
        QCOMPARE(QDir(s.Path("out/bmp")).entryList(QDir::Files).size(), 4);

        // An image that is no BMP: no pack at all.
        QVERIFY(WriteFile(s.Path("bmp/bad.bmp"), "BM not really"));
        const Result bad =
            Tool({"pack", "create", s.Path("new.pac"), s.BmpFiles()[0], s.Path("bmp/bad.bmp")});
        QCOMPARE_RUN(bad, 2);
        QVERIFY(bad.Err.contains(Shown(s.Path("bmp/bad.bmp"))));
        QVERIFY(!QFile::exists(s.Path("new.pac")));

        for (const QByteArray name : {"../evil", "GRASS"}) {
            pack.At(3).Name = name;
            PackFile::Write(pack, s.PackPath());
            const auto before = s.Snapshot();
            const Result refused = Tool({"pack", "extract", s.PackPath(), s.Path("x")});
            QCOMPARE_RUN(refused, 2);
            QVERIFY2(refused.Err.contains("Nothing was extracted from"), qPrintable(refused.Err));
            QVERIFY(refused.Out.isEmpty());
            QCOMPARE(s.Snapshot(), before);
        }
    }

    // pack set changes one tile and nothing else; remap carries maps to a pack of the same
    // tiles in another order, refusing before any write when a used tile cannot be matched.
    void packSetAndRemap() {
        Scene s;
        MakePack(s);
        const QByteArray before = ReadFile(s.PackPath());
        QCOMPARE_RUN(Tool({"pack", "set", s.PackPath(), "1", "--name", QStringLiteral("вода"),
                           "--param3-2", "-5"}),
                     0);
        TilePack pack;
        PackFile::Read(pack, s.PackPath());
        QCOMPARE(pack.At(1).Name, QByteArray("\xE2\xEE\xE4\xE0"));
        QCOMPARE(pack.At(1).Param3, (std::array<qint32, 4>{0, -5, 0, 0}));
        for (const QStringList& bad :
             {QStringList{"4", "--param1", "1"}, QStringList{"0", "--param1", "2147483648"},
              QStringList{"0", "--name", "a\\b"}})
            QCOMPARE_RUN(Tool(QStringList{"pack", "set", s.PackPath()} + bad), 2);
        pack.At(1).Name = "water";
        PackFile::Write(pack, s.PackPath());
        QCOMPARE(ReadFile(s.PackPath()).size(), before.size());

        // The new order: stone, tower, grass, water.
        TilePack order;
        for (qint32 i : {3, 2, 0, 1}) {
            TilePack copy;
            PackFile::Read(copy, s.PackPath());
            order.Add(copy.Take(i));
        }
        PackFile::Write(order, s.Path("tiles/new.pac"));
        QVERIFY(QFile::copy(s.MapPath(), s.Path("maps/second.map")));
        const Result done = Tool({"remap", s.PackPath(), s.Path("tiles/new.pac"), s.MapPath(),
                                  s.Path("maps/second.map")});
        QCOMPARE_RUN(done, 0);
        TileMap map(48);
        MapFile::Read(map, s.Path("maps/second.map"));
        const TileIndex expected[] = {-1, 2, 3, 1, 0}; // old -1 .. 3 in the new order
        for (qint32 x = 0; x < 50; ++x)
            for (qint32 y = 0; y < 45; ++y)
                QCOMPARE(map.Cells[x][y], expected[(x * 7 + y * 3) % 5]);
        QCOMPARE(ReadFile(s.MapPath()), ReadFile(s.Path("maps/second.map")));

        // A used tile missing from the new pack, or named twice in it: nothing written.
        order.At(0).Name = "grass";
        PackFile::Write(order, s.Path("tiles/new.pac"));
        const auto snapshot = s.Snapshot();
        const Result refused = Tool({"remap", s.Path("tiles/new.pac"), s.PackPath(), s.MapPath()});
        QCOMPARE_RUN(refused, 2);
        QVERIFY2(refused.Err.contains("\"grass\" names more than one tile") &&
                     refused.Err.contains("Nothing was written"),
                 qPrintable(refused.Err));
        QCOMPARE(s.Snapshot(), snapshot);
    }

    // render matches the model's drawing of the same view pixel for pixel, across its blocks
    // and with tiles larger than a cell; --scale N averages N x N pixels into one.
    void render_data() {
        QTest::addColumn<QRect>("cells"); // null for the whole map
        QTest::addColumn<int>("tileSize");
        QTest::addColumn<bool>("grid");
        QTest::addColumn<int>("scale");
        QTest::newRow("whole map, four blocks") << QRect() << 48 << false << 1;
        QTest::newRow("whole map, grid") << QRect() << 48 << true << 1;
        QTest::newRow("region, grid, small cells") << QRect(3, 5, 30, 20) << 20 << true << 1;
        QTest::newRow("region of one cell") << QRect(49, 44, 1, 1) << 48 << false << 1;
        QTest::newRow("scale 3, grid") << QRect() << 48 << true << 3;
        QTest::newRow("scale 7, edges") << QRect(1, 1, 40, 40) << 10 << false << 7;
    }
    void render() {
        QFETCH(QRect, cells);
        QFETCH(int, tileSize);
        QFETCH(bool, grid);
        QFETCH(int, scale);
        Scene s;
        MakePack(s);
        QStringList args = {
            "render",  s.MapPath(),           "-o",          s.Path("out.png"),
            "--tiles", s.Path("tiles"),       "--tile-size", QString::number(tileSize),
            "--scale", QString::number(scale)};
        if (grid)
            args << "--grid";
        if (!cells.isNull())
            args << "--region"
                 << QString("%1,%2,%3,%4")
                        .arg(cells.x())
                        .arg(cells.y())
                        .arg(cells.width())
                        .arg(cells.height());
        else
            cells = QRect(0, 0, 50, 45);
        const Result result = Tool(args);
        QCOMPARE_RUN(result, 0);
        const QImage view = EditorView(s, cells, tileSize, grid);
        const QImage image =
            QImage::fromData(ReadFile(s.Path("out.png")), "PNG").convertToFormat(view.format());
        const QSize size((view.width() + scale - 1) / scale, (view.height() + scale - 1) / scale);
        QCOMPARE(image.size(), size);
        QCOMPARE(result.Out, QString("wrote %1: %2 x %3 pixels\n")
                                 .arg(QDir::toNativeSeparators(s.Path("out.png")))
                                 .arg(size.width())
                                 .arg(size.height()));
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRect block = QRect(x * scale, y * scale, scale, scale) & view.rect();
                int sum[3] = {};
                for (int sy = block.top(); sy <= block.bottom(); ++sy)
                    for (int sx = block.left(); sx <= block.right(); ++sx) {
                        const QRgb p = view.pixel(sx, sy);
                        sum[0] += qRed(p);
                        sum[1] += qGreen(p);
                        sum[2] += qBlue(p);
                    }
                const int n = block.width() * block.height();
                const QRgb expected =
                    qRgb((sum[0] + n / 2) / n, (sum[1] + n / 2) / n, (sum[2] + n / 2) / n);
                if (image.pixel(x, y) != expected)
                    QFAIL(qPrintable(QString("pixel %1,%2 is %3, not %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(image.pixel(x, y), 0, 16)
                                         .arg(expected, 0, 16)));
            }
    }

    // The export writes what the export's core writes for the same map and pack, byte for
    // byte, and prints the dialog's log lines.
    void exportLikeTheDialog() {
        Scene s;
        MakePack(s);
        const Result result = Tool({"export", s.MapPath(), "--png", s.Path("png"), "--tiles",
                                    s.Path("tiles"), "--maps", s.Path("maps")});
        QCOMPARE_RUN(result, 0);
        QCOMPARE(result.Out, "Checking OK! (grass )\nChecking OK! (water )\n"
                             "Checking OK! (tower )\nChecking OK! (stone )\n");
        TileMap map(48);
        TilePack pack;
        MapFile::Read(map, s.MapPath());
        PackFile::Read(pack, s.PackPath());
        MobileExport core(map, pack, s.Path("core/png"), s.Path("tiles"), s.Path("core/maps"));
        QVERIFY(core.Run());
        QCOMPARE(ReadFile(s.Path("png/forest.pac")), ReadFile(s.Path("core/png/forest.pac")));
        QCOMPARE(ReadFile(s.Path("maps/mob.map")), ReadFile(s.Path("core/maps/mob.map")));
        QVERIFY(ReadFile(s.Path("maps/mob.map")) == ReadFile(s.MapPath()));
    }

    // Every command checks each file it would write before writing any: a symbolic link there
    // (existing or dangling) or one of its inputs is refused by name, a folder the export
    // needs is not made, a tile name Windows-1251 lacks a character of is not recorded as "?",
    // and a file of the other kind is named as such. Nothing at all is written.
    void writeRefusals_data() {
        QTest::addColumn<QStringList>("setup"); // "link NAME", "dangling NAME", "copy A B",
                                                // "dir NAME", "old NAME"
        QTest::addColumn<QStringList>("args");  // @ for the scene's directory
        QTest::addColumn<QString>("error");
        const QStringList render = {"render", "@/maps/forest.map", "--tiles", "@/tiles", "-o"};
        const QStringList extract = {"pack", "extract", "@/tiles/forest.pac", "@/x"};
        const QStringList exportArgs = {"export", "@/maps/forest.map", "--tiles", "@/tiles"};
        const QString link = "Nothing was written: \"@/%1\" is a symbolic link, and korvane-tool "
                             "does not write through links.";
        for (const char* kind : {"link", "dangling"}) {
            QTest::addRow("render -o %s", kind)
                << QStringList{QString(kind) + " out.png"} << render + QStringList{"@/out.png"}
                << link.arg("out.png");
            QTest::addRow("pack create %s", kind)
                << QStringList{QString(kind) + " new.pac"}
                << QStringList{"pack", "create", "@/new.pac", "@/bmp/grass.bmp"}
                << link.arg("new.pac");
            QTest::addRow("pack extract, %s at a tile's name", kind)
                << QStringList{"dir x", QString(kind) + " x/tower.bmp"} << extract
                << link.arg("x/tower.bmp");
        }
        const QString input = "Nothing was written: \"@/%1\" is the input \"@/%2\"";
        QTest::newRow("render over its map")
            << QStringList{} << render + QStringList{"@/maps/forest.map"}
            << input.arg("maps/forest.map", "maps/forest.map");
        QTest::newRow("render over its pack, another way")
            << QStringList{} << render + QStringList{"@/maps/../tiles/forest.pac"}
            << input.arg("maps/../tiles/forest.pac", "tiles/forest.pac");
        QTest::newRow("pack create over an image")
            << QStringList{}
            << QStringList{"pack", "create", "@/bmp/water.bmp", "@/bmp/grass.bmp",
                           "@/bmp/water.bmp"}
            << input.arg("bmp/water.bmp", "bmp/water.bmp");
        QTest::newRow("pack extract over its pack")
            << QStringList{"dir x", "copy tiles/forest.pac x/tower.bmp"}
            << QStringList{"pack", "extract", "@/x/tower.bmp", "@/x"}
            << input.arg("x/tower.bmp", "x/tower.bmp");
        QTest::newRow("export over its map")
            << QStringList{"copy maps/forest.map maps/mob.map"}
            << QStringList{"export", "@/maps/mob.map", "--tiles", "@/tiles",
                           "--png",  "@/png",          "--maps",  "@/maps"}
            << input.arg("maps/mob.map", "maps/mob.map");
        QTest::newRow("export, maps folder missing")
            << QStringList{} << exportArgs + QStringList{"--png", "@/png", "--maps", "@/no/maps"}
            << "Nothing was written: the folder \"@/no/maps\" does not exist.";
        QTest::newRow("export, png folder missing")
            << QStringList{} << exportArgs + QStringList{"--png", "@/no/png", "--maps", "@/maps"}
            << "Nothing was written: the folder \"@/no/png\" does not exist.";
        QTest::newRow("pack create, a name Windows-1251 lacks")
            << QStringList{"copy bmp/grass.bmp bmp/grass\u0101.bmp"}
            << QStringList{"pack", "create", "@/new.pac", "@/bmp/water.bmp",
                           "@/bmp/grass\u0101.bmp"}
            << "the character \"\u0101\" (U+0101) is not allowed in the name of a tile: a tile "
               "pack records the name in Windows-1251";
        QTest::newRow("pack extract, a later tile fails")
            << QStringList{"dir x", "old x/grass.bmp", "dir x/tower.bmp"} << extract
            << "Nothing was extracted from \"@/tiles/forest.pac\": Cannot create file "
               "\"@/x/tower.bmp\"";
        QTest::newRow("check of a pack")
            << QStringList{} << QStringList{"check", "@/tiles/forest.pac", "--tiles", "@/tiles"}
            << "The file \"@/tiles/forest.pac\" is not a valid map: this is a tile pack, not a "
               "map.";
        QTest::newRow("pack list of a map")
            << QStringList{} << QStringList{"pack", "list", "@/maps/forest.map"}
            << "The file \"@/maps/forest.map\" is not a valid tile pack: this is a map, not a "
               "tile pack.";
        QTest::newRow("render of a pack")
            << QStringList{} << QStringList{"render", "@/tiles/forest.pac", "-o", "@/out.png"}
            << "this is a tile pack, not a map.";
    }
    void writeRefusals() {
        QFETCH(QStringList, setup);
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        Scene s;
        MakePack(s);
        QVERIFY(WriteFile(s.Path("elsewhere"), "precious"));
        for (const QString& step : setup) {
            const QStringList words = step.split(' ');
            if (words[0] == "link" || words[0] == "dangling")
                QVERIFY(QFile::link(s.Path(words[0] == "link" ? "elsewhere" : "nowhere"),
                                    s.Path(words[1])));
            else if (words[0] == "copy")
                QVERIFY(QFile::copy(s.Path(words[1]), s.Path(words[2])));
            else if (words[0] == "dir")
                QVERIFY(QDir().mkpath(s.Path(words[1])));
            else if (words[0] == "old")
                QVERIFY(WriteFile(s.Path(words[1]), "old bytes"));
        }
        for (QString& arg : args)
            arg.replace('@', s.Dir.path());
        error.replace('@', QDir::toNativeSeparators(s.Dir.path()));
        const auto before = s.Snapshot();
        const Result result = Tool(args);
        QCOMPARE_RUN(result, 2);
        QVERIFY2(result.Err.contains(error), qPrintable(result.Err));
        QCOMPARE(result.Out, "");
        QCOMPARE(s.Snapshot(), before);
        QVERIFY(!QFileInfo::exists(s.Path("nowhere")));
    }

    // The content decides what a file is where its name says otherwise or nothing.
    void kindFromContent() {
        Scene s;
        MakePack(s);
        QVERIFY(QFile::copy(s.PackPath(), s.Path("pack.map")));
        QVERIFY(QFile::copy(s.MapPath(), s.Path("forest")));
        const Result pack = Tool({"info", s.Path("pack.map")});
        QCOMPARE_RUN(pack, 0);
        QVERIFY2(pack.Out.startsWith("tile pack: " + Shown(s.Path("pack.map")) + "\ntiles: 4\n"),
                 qPrintable(pack.Out));
        const Result map = Tool({"info", "--json", s.Path("forest")});
        QCOMPARE_RUN(map, 0);
        QCOMPARE(QJsonDocument::fromJson(map.Out.toUtf8())["kind"].toString(), "map");
        QCOMPARE_RUN(Tool({"check", s.Path("forest"), "--tiles", s.Path("tiles")}), 0);
    }

#if defined(Q_OS_UNIX)
    // A write past the file-size limit fails with the system's reason instead of ending the
    // tool by SIGXFSZ, and leaves no file behind.
    void fileSizeLimit() {
        Scene s;
        const auto limited = [] {
            std::signal(SIGXFSZ, SIG_DFL); // as a shell that does not ignore it leaves it
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 4096;
            setrlimit(RLIMIT_FSIZE, &limit);
        };
        const Result result =
            Tool(QStringList{"pack", "create", s.PackPath()} + s.BmpFiles(), {}, limited);
        QCOMPARE_RUN(result, 2);
        QVERIFY2(result.Err.contains("File too large") && result.Err.contains(Shown(s.PackPath())),
                 qPrintable(result.Err));
        QVERIFY(
            QDir(s.Path("tiles"))
                .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System));
    }
#endif

    // Random command lines from the tool's own words, run in the scene with relative paths:
    // whatever a run that fails was asked, it writes nothing anywhere in the scene.
    void randomCommandLines() {
        Scene s;
        MakePack(s);
        QVERIFY(QFile::link(s.Path("nowhere"), s.Path("dangling.png")));
        // The tool's words and paths in the scene; the double space is an empty argument.
        const QStringList words =
            QString("info check render pack create list extract export --help --json --tiles "
                    "tiles -o --output --scale --region --grid --tile-size --png bmp --maps maps "
                    "maps/forest.map tiles/forest.pac bmp/grass.bmp bmp/bad.bmp out.png new.pac "
                    "x dangling.png 0 3 -1 2,2,4,4 0,0,50,45 99999  -- - nowhere/y maps bmp")
                .split(' ');
        QVERIFY(WriteFile(s.Path("bmp/bad.bmp"), "BM not really"));
        QRandomGenerator random(19);
        int failures = 0;
        for (int run = 0; run < 300; ++run) {
            QStringList args;
            for (int n = random.bounded(1, 8); n > 0; --n)
                args << words[random.bounded(qint32(words.size()))];
            const auto before = s.Snapshot();
            const Result result = Tool(args, s.Dir.path());
            QVERIFY2(result.Code == 0 || result.Code == 1 || result.Code == 2,
                     qPrintable(args.join(' ')));
            if (result.Code == 0)
                continue; // a command that did its work may have written
            ++failures;
            QVERIFY2(s.Snapshot() == before,
                     qPrintable(args.join(' ') + "\n" + result.Err + result.Out));
            if (s.Snapshot() != before)
                break;
        }
        QVERIFY(failures > 100);
    }

    // convert to a Tiled map and back gives the game's files byte for byte (tiles of a cell's
    // size, made as the import makes them); a table goes back with the pack name given; the
    // PNG is render's image.
    void convert_data() {
        QTest::addColumn<QString>("format");
        for (const char* format : {"tmx", "tmj", "csv", "png"})
            QTest::newRow(format) << QString(format);
    }
    void convert() {
        QFETCH(QString, format);
        Scene s;
        QVERIFY(Tool({"pack", "create", s.PackPath(), s.BmpFiles()[0], s.BmpFiles()[1]}).Code == 0);
        TileMap map(48);
        MapFile::Read(map, s.MapPath());
        for (qint32 x = 0; x < map.Width; ++x)
            for (qint32 y = 0; y < map.Height; ++y)
                map.Cells[x][y] = (x + y) % 3 - 1;
        MapFile::Write(map, s.MapPath());
        const QString out = s.Path("forest." + format);
        const Result there = Tool({"convert", s.MapPath(), out, "--tiles", s.Path("tiles")});
        QCOMPARE_RUN(there, 0);
        if (format == "png") {
            QVERIFY(Tool({"render", s.MapPath(), "-o", s.Path("render.png"), "--tiles",
                          s.Path("tiles")})
                        .Code == 0);
            QCOMPARE(ReadFile(out), ReadFile(s.Path("render.png")));
            return;
        }
        const QStringList back = format == "csv" ? QStringList{"--pack-name", "forest.pac"}
                                                 : QStringList{"--pack", s.Path("core/forest.pac")};
        const Result again = Tool(QStringList{"convert", out, s.Path("back.map")} + back);
        QCOMPARE_RUN(again, 0);
        if (format == "csv")
            map.Text1 = map.Text2 = ""; // a table holds the cells alone
        else
            QCOMPARE(ReadFile(s.Path("core/forest.pac")), ReadFile(s.PackPath()));
        QCOMPARE(ReadFile(s.Path("back.map")), MapFile::Bytes(map));
    }

    // convert --to: every input on its own line; one failure makes exit code 1 and leaves the
    // others written.
    void convertMany() {
        Scene s;
        MakePack(s);
        QVERIFY(WriteFile(s.Path("maps/broken.map"), "not a map"));
        QDir(s.Dir.path()).mkpath("out");
        const Result result = Tool({"convert", "--to", "tmj", "--out-dir", s.Path("out"), "--tiles",
                                    s.Path("tiles"), s.Path("maps/broken.map"), s.MapPath()});
        QCOMPARE_RUN(result, 1);
        QCOMPARE(result.Out, QString("%1: wrote %2, %3\n")
                                 .arg(QDir::toNativeSeparators(s.MapPath()),
                                      QDir::toNativeSeparators(s.Path("out/forest.tiles.png")),
                                      QDir::toNativeSeparators(s.Path("out/forest.tmj"))));
        QVERIFY2(
            result.Err.contains(QDir::toNativeSeparators(s.Path("maps/broken.map")) + ": The file"),
            qPrintable(result.Err));
        QCOMPARE(QDir(s.Path("out")).entryList(QDir::Files),
                 QStringList({"forest.tiles.png", "forest.tmj"}));

        // Back to the game's files: each Tiled map's pack goes beside its map, which names it.
        QDir(s.Dir.path()).mkpath("back");
        const Result back =
            Tool({"convert", "--to", "map", "--out-dir", s.Path("back"), s.Path("out/forest.tmj")});
        QCOMPARE_RUN(back, 0);
        QCOMPARE(QDir(s.Path("back")).entryList(QDir::Files),
                 QStringList({"forest.map", "forest.pac"}));
        TileMap map(48);
        MapFile::Read(map, s.Path("back/forest.map"));
        QCOMPARE(map.PackName, QByteArray("forest.pac"));
        QCOMPARE(ReadFile(s.Path("back/forest.map")), ReadFile(s.MapPath()));
    }

    // A conversion refused writes nothing.
    void convertRefusals_data() {
        QTest::addColumn<QStringList>("args"); // @ for the scene's directory
        QTest::addColumn<QString>("error");
        QTest::newRow("no pack for a Tiled map")
            << QStringList{"@/in.tmx", "@/out.map"} << "needs its tile pack's file: --pack";
        QTest::newRow("no pack name for a table")
            << QStringList{"@/in.csv", "@/out.map"} << "needs the name of its tile pack";
        QTest::newRow("pack over the input")
            << QStringList{"@/in.tmx", "@/out.map", "--pack", "@/in.tmx"}
            << "is the input \"@/in.tmx\"";
        QTest::newRow("a second layer")
            << QStringList{"@/two.tmx", "@/out.map", "--pack", "@/out.pac"}
            << "a second tile layer";
        QTest::newRow("cells beyond the pack")
            << QStringList{"@/maps/forest.map", "@/out.tmx", "--tiles", "@/tiles"}
            << "holds tile 2, which the tile pack of 2 tiles lacks";
        QTest::newRow("a table with a word")
            << QStringList{"@/bad.csv", "@/out.map", "--pack-name", "x.pac"} << "no whole number";
    }
    void convertRefusals() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        Scene s;
        QVERIFY(Tool({"pack", "create", s.PackPath(), s.BmpFiles()[0], s.BmpFiles()[1]}).Code == 0);
        QVERIFY(Tool({"convert", s.MapPath(), s.Path("wide.csv")}).Code == 0);
        QVERIFY(WriteFile(s.Path("in.csv"), "0,1\n1,0\n") && WriteFile(s.Path("bad.csv"), "0,x\n"));
        // A Tiled map of the pack's two tiles; a copy with a second layer.
        TileMap map(48);
        map.New(2, 2, 48);
        MapFile::Write(map, s.Path("small.map"));
        map.PackName = "forest.pac";
        MapFile::Write(map, s.Path("small.map"));
        QVERIFY(Tool({"convert", s.Path("small.map"), s.Path("in.tmx"), "--tiles", s.Path("tiles")})
                    .Code == 0);
        QByteArray two = ReadFile(s.Path("in.tmx"));
        const qsizetype layer = two.indexOf(" <layer");
        two.insert(two.indexOf("</map>"), two.mid(layer, two.indexOf("</layer>") + 9 - layer));
        QVERIFY(WriteFile(s.Path("two.tmx"), two));
        const QString dir = QDir::toNativeSeparators(s.Dir.path());
        for (QString& arg : args)
            arg.replace('@', s.Dir.path());
        const auto before = s.Snapshot();
        const Result result = Tool(QStringList{"convert"} + args);
        QCOMPARE_RUN(result, 2);
        QVERIFY2(result.Err.contains(error.replace('@', dir)), qPrintable(result.Err));
        QCOMPARE(s.Snapshot(), before);
    }

    // Each refusal leaves every file as it was: no output, no half-written one.
    void refusals_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("error"); // part of stderr; @ for the scene's directory
        QTest::addColumn<QString>("out");   // stdout
        const auto row = [](const char* tag, const QString& command, const QString& change,
                            int code, const QString& error, const QString& out = {}) {
            QTest::newRow(tag) << command << change << code << error << out;
        };
        row("export, PNG missing", "export", "no water.png", 1,
            "Nothing was written: not every tile of \"@/maps/forest.map\" has its PNG file",
            "Checking OK! (grass )\nScuko!water \nChecking OK! (tower )\n"
            "Checking OK! (stone )\n");
        row("export over the desktop pack", "export into tiles", "", 2,
            "Nothing was written: \"@/tiles/forest.pac\" is the desktop tile pack this map loads",
            "Checking OK! (grass )\nChecking OK! (water )\nChecking OK! (tower )\n"
            "Checking OK! (stone )\n");
        for (const char* command : {"export", "render"}) {
            QTest::addRow("%s, hostile pack name", command)
                << QString(command) << QString("../tiles/forest.pac") << 2
                << QString("which Open Map refuses") << QString();
            QTest::addRow("%s, truncated map", command)
                << QString(command) << QString("truncated") << 2
                << QString("The file \"@/maps/forest.map\" is not a valid map") << QString();
        }
        row("render over the limit", "render", "tile size 400", 2,
            "The image of \"@/maps/forest.map\" would be 20000 x 18000 pixels, wider or taller "
            "than the 16384 x 16384 pixels render makes at most. Nothing was written; --scale 3 "
            "is the smallest scale that fits");
        row("render over the limit in all", "render", "tile size 200", 2,
            "would be 10000 x 9000 pixels, 90000000 pixels in all, more than the 67108864 render "
            "makes at most. Nothing was written; --scale 2 is the smallest");
        row("render, region outside the map", "render", "region 45,0,6,1", 2,
            "has 50 x 45 cells, which hold no region 45,0 of 6 x 1 cells");
    }
    void refusals() {
        QFETCH(QString, command);
        QFETCH(QString, change);
        QFETCH(int, code);
        QFETCH(QString, error);
        QFETCH(QString, out);
        Scene s;
        MakePack(s);
        if (change == "no water.png")
            QVERIFY(QFile::remove(s.Path("png/water.png")));
        if (command.endsWith("tiles")) // every PNG is there, beside the desktop pack
            for (const auto& bmp : s.Bmps)
                QVERIFY(QFile::copy(s.Path("png/" + bmp.first + ".png"),
                                    s.Path("tiles/" + bmp.first + ".png")));
        if (change.endsWith(".pac") || change == "truncated") {
            TileMap map(48);
            MapFile::Read(map, s.MapPath());
            map.PackName = change.toLatin1();
            MapFile::Write(map, s.MapPath());
            if (change == "truncated")
                QVERIFY(WriteFile(s.MapPath(), ReadFile(s.MapPath()).chopped(4)));
        }
        // Files the command would replace, had it written anything.
        QVERIFY(WriteFile(s.Path("maps/mob.map"), "old map") &&
                WriteFile(s.Path("out.png"), "old image"));
        QStringList args = {command.section(' ', 0, 0), s.MapPath(), "--tiles", s.Path("tiles")};
        if (command.startsWith("export"))
            args << "--maps" << s.Path("maps") << "--png"
                 << s.Path(command.endsWith("tiles") ? "tiles" : "png");
        else
            args << "-o" << s.Path("out.png");
        if (change.startsWith("tile size"))
            args << "--tile-size" << change.section(' ', 2);
        if (change.startsWith("region"))
            args << "--region" << change.section(' ', 1);
        const auto before = s.Snapshot();
        const Result result = Tool(args);
        QCOMPARE_RUN(result, code);
        error.replace('@', QDir::toNativeSeparators(s.Dir.path()));
        QVERIFY2(result.Err.contains(error), qPrintable(result.Err));
        QCOMPARE(result.Out, out);
        QCOMPARE(s.Snapshot(), before);
    }
};

QTEST_GUILESS_MAIN(tst_tool)
#include "tst_tool.moc"
