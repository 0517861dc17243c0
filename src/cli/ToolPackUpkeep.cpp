// korvane-tool pack set and remap: a tile's properties in a pipeline, and maps carried from
// one pack order to another by tile name.

#include "cli/Commands.h"
#include "cli/ToolSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "model/TileUsage.h"
#include "platform/Cp1251.h"
#include "platform/MemoryStream.h"

#include <QHash>
#include <limits>

namespace Tool {
namespace {
// The options of pack set for the seven values, in the file's order (ValuesOf).
const char* const ValueOptions[] = {"param1",   "param2",   "param3-1", "param3-2",
                                    "param3-3", "param3-4", "param4"};
} // namespace

int PackSet(const QStringList& args) {
    CommandLine line(QStringLiteral("pack set PAC INDEX [--name N] [--param1 V] [--param2 V] "
                                    "[--param3-1 V] ... [--param3-4 V] [--param4 V]"),
                     QStringLiteral("Sets the name and values of the tile at INDEX (from 0), "
                                    "as the editor's Property dialog does, and writes the pack "
                                    "back in place; the rest of the pack stays byte for byte."));
    line.AddOption(QCommandLineOption(QStringLiteral("name"), QStringLiteral("The tile's name."),
                                      QStringLiteral("N")));
    for (const char* option : ValueOptions)
        line.AddOption(QCommandLineOption(QLatin1StringView(option),
                                          QStringLiteral("A 32-bit whole number."),
                                          QStringLiteral("V")));
    if (!line.Parse(args, 2, 2))
        return Success;
    const QString& path = line.Args[0];
    bool isNumber = false;
    const qint32 index = line.Args[1].toInt(&isNumber);
    TilePack pack;
    LoadPack(pack, path);
    if (!isNumber || index < 0 || index >= pack.Count())
        throw EUsage(QStringLiteral("INDEX must be a tile of the pack, 0 to %1, not \"%2\"")
                         .arg(pack.Count() - 1)
                         .arg(Printable(line.Args[1])));
    // The pack is this command's own copy: a refusal below writes nothing.
    Tile& tile = pack.At(index);
    if (line.IsSet(QStringLiteral("name"))) {
        const QString name = line.Value(QStringLiteral("name"));
        if (const QString problem = PackFile::NameProblem(name); !problem.isEmpty())
            throw EUsage(problem);
        tile.Name = Cp1251::FromUnicode(name);
    }
    const auto values = ValuesOf(tile);
    for (std::size_t i = 0; i < values.size(); ++i)
        *values[i] =
            line.Number(QLatin1StringView(ValueOptions[i]), *values[i],
                        std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    CheckOutput(path, {});
    PackFile::Write(pack, path);
    Print(QStringLiteral("tile %1 of %2 set").arg(index).arg(Native(path)));
    return Success;
}

int Remap(const QStringList& args) {
    CommandLine line(QStringLiteral("remap OLD.pac NEW.pac MAP..."),
                     QStringLiteral("Rewrites maps made with the tile pack OLD.pac for NEW.pac, "
                                    "the same tiles in another order: each cell takes the index "
                                    "in NEW.pac of the tile with its tile's name. Every map is "
                                    "checked first; when a tile the maps use has a name NEW.pac "
                                    "lacks, or one that is not unique in either pack, nothing "
                                    "is written."));
    if (!line.Parse(args, 3, std::numeric_limits<qsizetype>::max()))
        return Success;
    TilePack oldPack, newPack;
    LoadPack(oldPack, line.Args[0]);
    LoadPack(newPack, line.Args[1]);
    const QStringList mapPaths = line.Args.mid(2);
    std::vector<TileMap> maps;
    std::vector<qint64> used(std::size_t(oldPack.Count()));
    for (const QString& path : mapPaths) {
        CheckOutput(path, line.Args.mid(0, 2));
        TileMap& map = maps.emplace_back(48);
        LoadMap(map, path);
        const std::vector<qint64> usage = TileUsage(map.Cells, oldPack.Count());
        for (std::size_t i = 0; i < used.size(); ++i)
            used[i] += usage[i];
    }
    // Names by their tiles in each pack; a name found twice is no answer.
    auto indicesByName = [](const TilePack& pack) {
        QHash<QByteArray, qint32> byName;
        for (qint32 i = 0; i < pack.Count(); ++i)
            byName[pack.At(i).Name] = byName.contains(pack.At(i).Name) ? -1 : i;
        return byName;
    };
    const QHash<QByteArray, qint32> oldByName = indicesByName(oldPack);
    const QHash<QByteArray, qint32> newByName = indicesByName(newPack);
    std::vector<TileIndex> newIndex(std::size_t(oldPack.Count()));
    QStringList problems;
    for (qint32 i = 0; i < oldPack.Count(); ++i) {
        const QByteArray& name = oldPack.At(i).Name;
        const qint32 to = newByName.value(name, -2);
        newIndex[std::size_t(i)] = to;
        if (used[std::size_t(i)] == 0)
            continue;
        const QString shown = Printable(Cp1251::ToUnicode(name));
        if (oldByName.value(name) < 0)
            problems << QStringLiteral("\"%1\" names more than one tile of %2")
                            .arg(shown, Native(line.Args[0]));
        else if (to == -2)
            problems << QStringLiteral("\"%1\" (tile %2, used by %3 cells) is not in %4")
                            .arg(shown)
                            .arg(i)
                            .arg(used[std::size_t(i)])
                            .arg(Native(line.Args[1]));
        else if (to < 0)
            problems << QStringLiteral("\"%1\" names more than one tile of %2")
                            .arg(shown, Native(line.Args[1]));
    }
    if (!problems.isEmpty()) {
        for (const QString& problem : problems)
            PrintError(problem);
        throw Exception(QStringLiteral("Nothing was written: %1 tile names could not be "
                                       "matched.")
                            .arg(problems.size()));
    }
    // Every file complete in memory before the first is written.
    std::vector<QByteArray> files;
    for (TileMap& map : maps) {
        RenumberCells(map.Cells, newIndex);
        files.push_back(MapFile::Bytes(map));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        MemoryStream(files[i]).SaveToFile(mapPaths[qsizetype(i)]);
        Print(QStringLiteral("remapped %1").arg(Native(mapPaths[qsizetype(i)])));
    }
    return Success;
}
} // namespace Tool
