// pack create, list and extract, and export: the commands that write files.

#include "model/MobileExport.h"
#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/TBitmap.h"
#include "platform/TMemoryStream.h"
#include "tool/Commands.h"
#include "tool/ToolSupport.h"

#include <QDir>
#include <QSet>

namespace Tool {
namespace {
const char* const PackUsage = "pack create OUT.pac IMAGE.bmp... | pack list PAC | "
                              "pack extract PAC DIR";

int PackCreate(const QStringList& args) {
    TCommandLine line(QStringLiteral("pack create OUT.pac IMAGE.bmp..."),
                      QStringLiteral("Builds a desktop tile pack from BMP files, one tile each "
                                     "in the order given, named as Add Tile names them (the file "
                                     "name less its last four characters), with its seven values "
                                     "0."));
    if (!line.Parse(args, 2, std::numeric_limits<qsizetype>::max()))
        return Success;
    tTilePack pack;
    for (const QString& path : line.Args.mid(1)) {
        TileRef tile = pack.NewTile();
        tile->Name = tTile::NameOfFile(path);
        try {
            tile->Bitmap->LoadFromFile(path);
        } catch (const Exception& e) {
            throw Exception(QStringLiteral("The image \"%1\" cannot be a tile: %2")
                                .arg(Native(path), e.Message()));
        }
        pack.Add(std::move(tile));
    }
    pack.SaveToFile(line.Args[0], true, QString());
    Print(QStringLiteral("wrote %1: %2 tiles").arg(Native(line.Args[0])).arg(pack.Count()));
    return Success;
}

int PackList(const QStringList& args) {
    TCommandLine line(QStringLiteral("pack list PAC"),
                      QStringLiteral("Lists a desktop tile pack's tiles, one line each: index, "
                                     "name, image size and the seven values, separated by "
                                     "tabs."));
    if (!line.Parse(args, 1, 1))
        return Success;
    tTilePack pack;
    pack.LoadFromFile(line.Args[0]);
    PrintTiles(pack);
    return Success;
}

int PackExtract(const QStringList& args) {
    TCommandLine line(QStringLiteral("pack extract PAC DIR"),
                      QStringLiteral("Writes each tile's BMP file, byte for byte as the pack "
                                     "holds it, to DIR/<name>.bmp. Nothing is written when a "
                                     "name is no file name in DIR or two tiles share one."));
    if (!line.Parse(args, 2, 2))
        return Success;
    const QString& packPath = line.Args[0];
    const QDir dir(line.Args[1]);
    tTilePack pack;
    pack.LoadFromFile(packPath);
    // Every name is checked before the first file is written.
    QStringList files;
    QSet<QString> taken;
    for (qint32 i = 0; i < pack.Count(); ++i) {
        const tTile& tile = pack.Tile(i);
        const QString file = Cp1251::ToUnicode(tile.Name) + QStringLiteral(".bmp");
        QString fault;
        if (!tile.NameIsFileName())
            fault = QStringLiteral("is no file name in \"%1\"").arg(Native(dir.path()));
        else if (taken.contains(file.toLower())) // one file on a system that ignores case
            fault = QStringLiteral("is taken by an earlier tile");
        if (!fault.isEmpty())
            throw Exception(QStringLiteral("Nothing was extracted from \"%1\": the name \"%2\" of "
                                           "tile %3 %4.")
                                .arg(Native(packPath), Printable(file))
                                .arg(i)
                                .arg(fault));
        taken.insert(file.toLower());
        files << dir.filePath(file);
    }
    if (!dir.mkpath(QStringLiteral(".")))
        throw EFCreateError(Msg::CannotCreateFile(
            dir.path(), QStringLiteral("The directory could not be created.")));
    for (qint32 i = 0; i < pack.Count(); ++i) {
        TMemoryStream bmp;
        pack.Tile(i).Bitmap->SaveToStream(bmp);
        bmp.SaveToFile(files[i]);
        Print(QStringLiteral("wrote %1").arg(Native(files[i])));
    }
    return Success;
}
} // namespace

int Pack(const QStringList& args) {
    const QString action = args.value(0);
    if (action == QLatin1String("create"))
        return PackCreate(args.mid(1));
    if (action == QLatin1String("list"))
        return PackList(args.mid(1));
    if (action == QLatin1String("extract"))
        return PackExtract(args.mid(1));
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        Print(QStringLiteral("Usage: korvane-tool ") + QLatin1String(PackUsage));
        return Success;
    }
    throw EUsage(QStringLiteral("Usage: korvane-tool ") + QLatin1String(PackUsage));
}

int Export(const QStringList& args) {
    TCommandLine line(
        QStringLiteral("export MAP --png DIR [--tiles DIR] [--maps DIR]"),
        QStringLiteral("The mobile export, as the editor's 2Mobile Map does it without its message "
                       "boxes: checks every tile's PNG file DIR/<name>.png, printing a line for "
                       "each, and only when all are there writes the map to <maps>/mob.map and "
                       "the mobile tile pack to DIR/<the map's tile pack name>, both or neither. "
                       "Exit code 1 when a tile failed its check."));
    line.AddOption(QCommandLineOption(QStringLiteral("png"),
                                      QStringLiteral("The directory of the tiles' PNG files."),
                                      QStringLiteral("DIR")));
    line.AddOption(
        QCommandLineOption(QStringLiteral("tiles"),
                           QStringLiteral("The directory of tile packs (tiles/ beside the tool)."),
                           QStringLiteral("DIR"), ToolDir(QStringLiteral("tiles"))));
    line.AddOption(
        QCommandLineOption(QStringLiteral("maps"),
                           QStringLiteral("The directory mob.map goes to (maps/ beside the tool)."),
                           QStringLiteral("DIR"), ToolDir(QStringLiteral("maps"))));
    if (!line.Parse(args, 1, 1))
        return Success;
    if (line.Value(QStringLiteral("png")).isEmpty())
        throw EUsage(QStringLiteral("export needs the directory of PNG files: --png DIR"));
    const QString tilesDir = line.Value(QStringLiteral("tiles"));
    tMap map(48, nullptr);
    tTilePack pack;
    LoadMapAndPack(map, pack, line.Args[0], tilesDir);
    TMobileExport job(map, pack, line.Value(QStringLiteral("png")), tilesDir,
                      line.Value(QStringLiteral("maps")));
    job.Log = [](const QString& text) { Print(text); };
    if (job.Run())
        return Success;
    PrintError(QStringLiteral("Nothing was written: not every tile of \"%1\" has its PNG file in "
                              "\"%2\".")
                   .arg(Native(line.Args[0]), Native(line.Value(QStringLiteral("png")))));
    return Problems;
}
} // namespace Tool
