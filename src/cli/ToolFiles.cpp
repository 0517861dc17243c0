// pack create, list and extract, and export: the commands that write files.

#include "cli/Commands.h"
#include "cli/ToolSupport.h"
#include "formats/MobileExport.h"
#include "formats/PackFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Cp1251.h"
#include "platform/FileNames.h"
#include "platform/MemoryStream.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <optional>
#include <vector>

namespace Tool {
namespace {
const char* const PackUsage = "pack create OUT.pac IMAGE.bmp... | pack list PAC | "
                              "pack extract PAC DIR | pack set PAC INDEX [options]";

int PackCreate(const QStringList& args) {
    CommandLine line(QStringLiteral("pack create OUT.pac IMAGE.bmp..."),
                     QStringLiteral("Builds a desktop tile pack from BMP files, one tile each "
                                    "in the order given, named as Add Tile names them (the file "
                                    "name less its last four characters), with its seven values "
                                    "0."));
    if (!line.Parse(args, 2, std::numeric_limits<qsizetype>::max()))
        return Success;
    const QString& output = line.Args[0];
    CheckOutput(output, line.Args.mid(1));
    TilePack pack;
    for (const QString& path : line.Args.mid(1)) {
        TileRef tile = std::make_unique<Tile>();
        // The pack records names in Windows-1251, which would turn a character it lacks into
        // "?": a name that is not the file's own.
        const QString fileName = QFileInfo(path).fileName();
        const QString name = fileName.size() > 3 ? fileName.chopped(4) : fileName;
        if (const QString refusal = Cp1251Refusal(name, QStringLiteral("the name of a tile"),
                                                  QStringLiteral("a tile pack"));
            !refusal.isEmpty())
            throw Exception(QStringLiteral("Nothing was written: the image \"%1\" cannot be a "
                                           "tile: %2.")
                                .arg(Native(path), refusal));
        tile->Name = Tile::NameOfFile(path);
        try {
            tile->Image->LoadFromFile(path);
        } catch (const Exception& e) {
            throw Exception(QStringLiteral("The image \"%1\" cannot be a tile: %2")
                                .arg(Native(path), e.Message()));
        }
        pack.Add(std::move(tile));
    }
    PackFile::Write(pack, output);
    Print(QStringLiteral("wrote %1: %2 tiles").arg(Native(output)).arg(pack.Count()));
    return Success;
}

int PackList(const QStringList& args) {
    CommandLine line(QStringLiteral("pack list PAC"),
                     QStringLiteral("Lists a desktop tile pack's tiles, one line each: index, "
                                    "name, image size and the seven values, separated by "
                                    "tabs."));
    if (!line.Parse(args, 1, 1))
        return Success;
    TilePack pack;
    LoadPack(pack, line.Args[0]);
    PrintTiles(pack);
    return Success;
}

int PackExtract(const QStringList& args) {
    CommandLine line(QStringLiteral("pack extract PAC DIR"),
                     QStringLiteral("Writes each tile's BMP file, byte for byte as the pack "
                                    "holds it, to DIR/<name>.bmp. Nothing is written when a "
                                    "name is no file name in DIR or two tiles share one."));
    if (!line.Parse(args, 2, 2))
        return Success;
    const QString& packPath = line.Args[0];
    const QDir dir(line.Args[1]);
    TilePack pack;
    LoadPack(pack, packPath);
    // Every name is checked before the first file is written.
    QStringList files;
    QSet<QString> taken;
    for (qint32 i = 0; i < pack.Count(); ++i) {
        const Tile& tile = pack.At(i);
        const QString file = Cp1251::ToUnicode(tile.Name) + QStringLiteral(".bmp");
        QString fault;
        if (!MobilePackFile::NameIsFileName(tile))
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
        CheckOutput(files.last(), {packPath});
    }
    // All files or none: what a file held before is kept until every file is written, and
    // put back (or the new file removed) when a later one fails.
    std::vector<std::optional<QByteArray>> old;
    old.reserve(files.size());
    for (const QString& file : files) {
        old.emplace_back();
        if (QFileInfo(file).isFile()) {
            MemoryStream bytes;
            bytes.LoadFromFile(file);
            old.back() = bytes.Bytes();
        }
    }
    // The directories mkpath makes, deepest first, go again with a failed extraction.
    QStringList made;
    for (QString path = dir.absolutePath(); !QFileInfo::exists(path); path = QFileInfo(path).path())
        made << path;
    if (!dir.mkpath(QStringLiteral(".")))
        throw EFCreateError(Msg::CannotCreateFile(
            dir.path(), QStringLiteral("The directory could not be created.")));
    qsizetype written = 0;
    try {
        for (; written < files.size(); ++written) {
            MemoryStream bmp;
            pack.At(qint32(written)).Image->SaveToStream(bmp);
            bmp.SaveToFile(files[written]);
        }
    } catch (const Exception& e) {
        QStringList left;
        for (qsizetype i = 0; i < written; ++i) {
            try {
                if (old[std::size_t(i)])
                    MemoryStream(*old[std::size_t(i)]).SaveToFile(files[i]);
                else if (!QFile::remove(files[i]))
                    left << Native(files[i]);
            } catch (const Exception&) {
                left << Native(files[i]);
            }
        }
        if (left.isEmpty())
            for (const QString& path : made)
                QDir().rmdir(path);
        if (!left.isEmpty())
            throw Exception(
                QStringLiteral("Extracting from \"%1\" failed: %2 Putting back what "
                               "was written failed for: %3")
                    .arg(Native(packPath), e.Message(), left.join(QStringLiteral(", "))));
        throw Exception(QStringLiteral("Nothing was extracted from \"%1\": %2")
                            .arg(Native(packPath), e.Message()));
    }
    for (const QString& file : files)
        Print(QStringLiteral("wrote %1").arg(Native(file)));
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
    if (action == QLatin1String("set"))
        return PackSet(args.mid(1));
    if (action == QLatin1String("--help") || action == QLatin1String("-h")) {
        Print(QStringLiteral("Usage: korvane-tool ") + QLatin1String(PackUsage));
        return Success;
    }
    throw EUsage(QStringLiteral("Usage: korvane-tool ") + QLatin1String(PackUsage));
}

int Export(const QStringList& args) {
    CommandLine line(
        QStringLiteral("export MAP --png DIR [--tiles DIR]... [--maps DIR]"),
        QStringLiteral("The mobile export, as the editor's 2Mobile Map does it without its message "
                       "boxes: checks every tile's PNG file DIR/<name>.png, printing a line for "
                       "each, and only when all are there writes the map to <maps>/mob.map and "
                       "the mobile tile pack to DIR/<the map's tile pack name>, both or neither. "
                       "Exit code 1 when a tile failed its check."));
    line.AddOption(QCommandLineOption(QStringLiteral("png"),
                                      QStringLiteral("The directory of the tiles' PNG files."),
                                      QStringLiteral("DIR")));
    line.AddOption(TilesOption());
    line.AddOption(
        QCommandLineOption(QStringLiteral("maps"),
                           QStringLiteral("The directory mob.map goes to (maps/ beside the tool)."),
                           QStringLiteral("DIR"), ToolDir(QStringLiteral("maps"))));
    if (!line.Parse(args, 1, 1))
        return Success;
    if (line.Value(QStringLiteral("png")).isEmpty())
        throw EUsage(QStringLiteral("export needs the directory of PNG files: --png DIR"));
    const QString pngDir = line.Value(QStringLiteral("png"));
    const QString mapsDir = line.Value(QStringLiteral("maps"));
    // As in the export dialog, where both are chosen from folders that are there: a mistyped
    // folder is reported, not made.
    for (const QString& dir : {pngDir, mapsDir})
        if (!QFileInfo(dir).isDir())
            throw Exception(QStringLiteral("Nothing was written: the folder \"%1\" does not "
                                           "exist.")
                                .arg(Native(dir)));
    const QString& mapPath = line.Args[0];
    TileMap map(48);
    TilePack pack;
    const QString packPath = LoadMapAndPack(map, pack, mapPath, PackPlaces(line));
    // The export's core refuses links and the desktop pack; the map read is the tool's input.
    CheckOutput(QDir(mapsDir).filePath(QStringLiteral("mob.map")), {mapPath});
    if (IsPlainFileName(Cp1251::ToUnicode(map.PackName)))
        CheckOutput(QDir(pngDir).filePath(Cp1251::ToUnicode(map.PackName)), {mapPath});
    // The pack the map loaded is the one the mobile pack must never replace.
    MobileExport job(map, pack, pngDir, QFileInfo(packPath).absolutePath(), mapsDir);
    job.Log = [](const QString& text) { Print(text); };
    if (job.Run())
        return Success;
    PrintError(QStringLiteral("Nothing was written: not every tile of \"%1\" has its PNG file in "
                              "\"%2\".")
                   .arg(Native(mapPath), Native(pngDir)));
    return Problems;
}
} // namespace Tool
