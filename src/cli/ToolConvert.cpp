// convert: a map to and from the formats other tools read (TiledFormats), one file or many.

#include "cli/Commands.h"
#include "cli/ToolSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "formats/PackLocation.h"
#include "formats/TiledFormats.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Cp1251.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QFileInfo>

namespace Tool {
namespace {
using TiledFormats::Format;

constexpr qint32 MaxTileSize = 4096;

bool IsMap(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1String("map"), Qt::CaseInsensitive) == 0;
}

// The map names its pack by file name only, as Save Tile Pack records it.
QByteArray PackNameFor(const QString& name) {
    if (const QString refusal = PackNameRefusal(name); !refusal.isEmpty())
        throw EUsage(QStringLiteral("Nothing was written: a map cannot name the tile pack "
                                    "\"%1\": %2.")
                         .arg(Printable(name), refusal));
    return Cp1251::FromUnicode(name);
}

struct Options {
    PackLocation::SearchPlaces Places; // where a map's pack is looked for
    qint32 TileSize = 48;
    QString PackOut;  // for a TMX or JSON map made a .map
    QString PackName; // for a CSV table made a .map
};

// Converts one file; returns the files written. Throws, having written nothing, when input
// or output is refused.
QStringList ConvertOne(const QString& input, const QString& output, const Options& options) {
    const std::optional<Format> from = TiledFormats::FormatOf(input);
    const std::optional<Format> to = TiledFormats::FormatOf(output);
    if (IsMap(input) && to) {
        TileMap map(options.TileSize);
        TilePack pack;
        QStringList inputs{input};
        if (*to == Format::Csv) {
            LoadMap(map, input);
        } else {
            inputs << LoadMapAndPack(map, pack, input, options.Places);
        }
        CheckOutput(output, inputs);
        if (*to == Format::Tmx || *to == Format::Tmj)
            CheckOutput(TiledFormats::AtlasPath(output), inputs);
        return TiledFormats::Export(map, pack, output);
    }
    if ((from == Format::Tmx || from == Format::Tmj) && IsMap(output)) {
        if (options.PackOut.isEmpty())
            throw EUsage(QStringLiteral("a map made from \"%1\" needs its tile pack's file: "
                                        "--pack OUT.pac")
                             .arg(Native(input)));
        const QByteArray packName = PackNameFor(QFileInfo(options.PackOut).fileName());
        if (SameFile(output, options.PackOut))
            throw EUsage(QStringLiteral("the map and its tile pack cannot both be \"%1\"")
                             .arg(Native(output)));
        TileMap map(options.TileSize);
        TilePack pack;
        TiledFormats::Import(map, pack, input);
        map.PackName = packName;
        CheckOutput(output, {input});
        CheckOutput(options.PackOut, {input});
        TiledFormats::WriteFiles(
            {{options.PackOut, PackFile::Bytes(pack)}, {output, MapFile::Bytes(map)}});
        return {options.PackOut, output};
    }
    if (from == Format::Csv && IsMap(output)) {
        if (options.PackName.isEmpty())
            throw EUsage(QStringLiteral("a map made from the table \"%1\" needs the name of its "
                                        "tile pack: --pack-name NAME")
                             .arg(Native(input)));
        const QByteArray packName = PackNameFor(options.PackName);
        TileMap map(options.TileSize);
        TiledFormats::ReadCsv(map, input);
        map.PackName = packName;
        CheckOutput(output, {input});
        TiledFormats::WriteFiles({{output, MapFile::Bytes(map)}});
        return {output};
    }
    throw EUsage(QStringLiteral("convert makes .tmx, .tmj, .csv or .png from a .map, and a .map "
                                "from a .tmx, .tmj or .csv; not \"%1\" from \"%2\"")
                     .arg(Native(output), Native(input)));
}

QString Written(const QStringList& files) {
    QStringList shown;
    for (const QString& file : files)
        shown << Native(file);
    return QStringLiteral("wrote ") + shown.join(QStringLiteral(", "));
}
} // namespace

int Convert(const QStringList& args) {
    CommandLine line(
        QStringLiteral("convert IN OUT [--tiles DIR] [--tile-size N] [--pack OUT.pac] "
                       "[--pack-name NAME] | convert --to FORMAT --out-dir DIR IN..."),
        QStringLiteral(
            "Converts a map by the files' extensions: a .map to a Tiled map (.tmx or .tmj, with "
            "its tile pack as a PNG atlas beside it, OUT's name with .tiles.png), a .csv table "
            "of tile indices or a .png image; a .tmx or .tmj map to a .map with its tile pack "
            "(--pack); a .csv table to a .map naming the tile pack NAME (--pack-name). With "
            "--to, each IN becomes DIR/its name with FORMAT's extension (tmx, tmj, csv, png, "
            "or map, whose pack from a Tiled map is written beside it as a .pac); each is "
            "reported on its own line, and the exit code is 1 when any failed."));
    line.AddOption(TilesOption());
    line.AddOption(QCommandLineOption(
        QStringLiteral("tile-size"),
        QStringLiteral("The cell size in pixels of a map read from a .map or .csv (48; 1 to %1).")
            .arg(MaxTileSize),
        QStringLiteral("N")));
    line.AddOption(QCommandLineOption(QStringLiteral("pack"),
                                      QStringLiteral("The tile pack to write beside a .map made "
                                                     "from a Tiled map."),
                                      QStringLiteral("OUT.pac")));
    line.AddOption(QCommandLineOption(QStringLiteral("pack-name"),
                                      QStringLiteral("The tile pack a .map made from a table "
                                                     "names."),
                                      QStringLiteral("NAME")));
    line.AddOption(QCommandLineOption(QStringLiteral("to"),
                                      QStringLiteral("The format of every output: tmx, tmj, csv, "
                                                     "png or map."),
                                      QStringLiteral("FORMAT")));
    line.AddOption(QCommandLineOption(QStringLiteral("out-dir"),
                                      QStringLiteral("Where --to writes its outputs."),
                                      QStringLiteral("DIR")));
    const bool batch = args.contains(QStringLiteral("--to")) ||
                       args.contains(QStringLiteral("--out-dir")) ||
                       std::any_of(args.begin(), args.end(), [](const QString& arg) {
                           return arg.startsWith(QLatin1String("--to=")) ||
                                  arg.startsWith(QLatin1String("--out-dir="));
                       });
    if (!line.Parse(args, batch ? 1 : 2, batch ? std::numeric_limits<qsizetype>::max() : 2))
        return Success;
    Options options;
    options.Places = PackPlaces(line);
    options.TileSize = line.Number(QStringLiteral("tile-size"), 48, 1, MaxTileSize);
    options.PackOut = line.Value(QStringLiteral("pack"));
    options.PackName = line.Value(QStringLiteral("pack-name"));
    if (!batch) {
        Print(Written(ConvertOne(line.Args[0], line.Args[1], options)));
        return Success;
    }

    const QString format = line.Value(QStringLiteral("to")).toLower();
    const QString outDir = line.Value(QStringLiteral("out-dir"));
    const QStringList formats{QStringLiteral("tmx"), QStringLiteral("tmj"), QStringLiteral("csv"),
                              QStringLiteral("png"), QStringLiteral("map")};
    if (!formats.contains(format) || outDir.isEmpty())
        throw EUsage(QStringLiteral("convert --to needs one of tmx, tmj, csv, png or map, and "
                                    "--out-dir DIR"));
    if (!QFileInfo(outDir).isDir())
        throw EUsage(
            QStringLiteral("the output directory \"%1\" does not exist").arg(Native(outDir)));
    bool failed = false;
    for (const QString& input : line.Args) {
        const QString base = QDir(outDir).filePath(QFileInfo(input).completeBaseName());
        Options each = options;
        if (format == QLatin1String("map") && !IsMap(input) &&
            TiledFormats::FormatOf(input) != Format::Csv)
            each.PackOut = base + QStringLiteral(".pac");
        try {
            Print(QStringLiteral("%1: %2").arg(
                Native(input), Written(ConvertOne(input, base + QLatin1Char('.') + format, each))));
        } catch (const Exception& e) {
            PrintError(QStringLiteral("%1: %2").arg(Native(input), e.Message()));
            failed = true;
        } catch (const std::bad_alloc&) {
            PrintError(QStringLiteral("%1: There was not enough memory to convert it.")
                           .arg(Native(input)));
            failed = true;
        }
    }
    return failed ? Problems : Success;
}
} // namespace Tool
