// info and check: what a file holds, and whether a map opens with its tiles.

#include "cli/Commands.h"
#include "cli/ToolSupport.h"
#include "formats/PackLocation.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Cp1251.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <exception>
#include <map>

namespace Tool {
namespace {
// How many different tile indices the cell statistics list one by one; a hostile map could
// hold a different one in each of its cells.
constexpr std::size_t MostListedIndices = 4096;
// How many cells check names by position.
constexpr qint64 MostPositions = 10;

QString Absolute(const QString& path) {
    return Native(QFileInfo(path).absoluteFilePath());
}

struct CellStatistics {
    qint64 Total = 0;
    qint64 Empty = 0;              // -1
    qint64 Other = 0;              // other negative values
    std::map<qint32, qint64> Uses; // tile index to cells, for the first MostListedIndices
    qint64 Unlisted = 0;           // cells whose index did not fit in Uses
};

CellStatistics CountCells(const TileMap& map) {
    CellStatistics s;
    s.Total = qint64(map.Cells.size()) * map.Cells.Rows();
    const TileIndex* cell = map.Cells.data();
    for (qint64 i = 0; i < s.Total; ++i) {
        const TileIndex v = cell[i];
        if (v == -1)
            ++s.Empty;
        else if (v < 0)
            ++s.Other;
        else if (auto use = s.Uses.find(v); use != s.Uses.end())
            ++use->second;
        else if (s.Uses.size() < MostListedIndices)
            s.Uses.emplace(v, 1);
        else
            ++s.Unlisted;
    }
    return s;
}

const char* const TextNames[] = {"text1", "text2", "packName", "text4"};

// The pack a map's info names: its file, or why there is none.
struct PackFound {
    QString File;
    QString Problem;
};

PackFound FindPack(const TileMap& map, const QString& path,
                   const PackLocation::SearchPlaces& places) {
    try {
        return {Absolute(PackLocation::PackPath(map.PackName, path, places)), QString()};
    } catch (const Exception& e) {
        return {QString(), e.Message()};
    }
}

void MapInfo(const QString& path, bool json, const PackLocation::SearchPlaces& places) {
    TileMap map(48);
    LoadMap(map, path);
    const PackFound pack = FindPack(map, path, places);
    const CellStatistics cells = CountCells(map);
    const QByteArray* texts[] = {&map.Text1, &map.Text2, &map.PackName, &map.Text4};
    if (json) {
        QJsonObject object{{"kind", "map"},
                           {"file", Absolute(path)},
                           {"width", map.Cells.size()},
                           {"height", map.Cells.Rows()}};
        for (int i = 0; i < 4; ++i)
            object.insert(QLatin1String(TextNames[i]), Cp1251::ToUnicode(*texts[i]));
        QJsonArray uses;
        for (const auto& [index, count] : cells.Uses)
            uses.append(QJsonObject{{"index", index}, {"cells", count}});
        object.insert("cells", QJsonObject{{"total", cells.Total},
                                           {"empty", cells.Empty},
                                           {"otherNegative", cells.Other},
                                           {"tiles", uses},
                                           {"unlisted", cells.Unlisted}});
        object.insert("packFile", pack.File.isEmpty() ? QJsonValue() : QJsonValue(pack.File));
        if (!pack.Problem.isEmpty())
            object.insert("packProblem", pack.Problem);
        Print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)).trimmed());
        return;
    }
    Print(QStringLiteral("map: %1").arg(Absolute(path)));
    Print(QStringLiteral("size: %1 x %2 cells").arg(map.Cells.size()).arg(map.Cells.Rows()));
    for (int i = 0; i < 4; ++i)
        Print(QStringLiteral("%1: \"%2\"")
                  .arg(QLatin1String(TextNames[i]), Printable(Cp1251::ToUnicode(*texts[i]))));
    Print(QStringLiteral("tile pack file: %1")
              .arg(pack.File.isEmpty() ? QStringLiteral("none: ") + pack.Problem : pack.File));
    Print(QStringLiteral("cells: %1, empty (-1): %2, other negative: %3")
              .arg(cells.Total)
              .arg(cells.Empty)
              .arg(cells.Other));
    for (const auto& [index, count] : cells.Uses)
        Print(QStringLiteral("tile %1: %2 cells").arg(index).arg(count));
    if (cells.Unlisted > 0)
        Print(QStringLiteral("cells of further tile indices: %1").arg(cells.Unlisted));
}

void PackInfo(const QString& path, bool json, const PackLocation::SearchPlaces&) {
    TilePack pack;
    LoadPack(pack, path);
    if (!json) {
        Print(QStringLiteral("tile pack: %1").arg(Absolute(path)));
        Print(QStringLiteral("tiles: %1").arg(pack.Count()));
        PrintTiles(pack);
        return;
    }
    QJsonArray tiles;
    for (qint32 i = 0; i < pack.Count(); ++i) {
        const Tile& tile = pack.At(i);
        tiles.append(QJsonObject{
            {"index", i},
            {"name", Cp1251::ToUnicode(tile.Name)},
            {"width", tile.Image->Width()},
            {"height", tile.Image->Height()},
            {"param1", tile.Param1},
            {"param2", tile.Param2},
            {"param3", QJsonArray{tile.Param3[0], tile.Param3[1], tile.Param3[2], tile.Param3[3]}},
            {"param4", tile.Param4}});
    }
    const QJsonObject object{{"kind", "pack"}, {"file", Absolute(path)}, {"tiles", tiles}};
    Print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)).trimmed());
}
} // namespace

void PrintTiles(const TilePack& pack) {
    Print(QStringLiteral("index\tname\twidth\theight\tParam1\tParam2\tParam3[1]\tParam3[2]\t"
                         "Param3[3]\tParam3[4]\tParam4"));
    for (qint32 i = 0; i < pack.Count(); ++i) {
        const Tile& tile = pack.At(i);
        QStringList fields{QString::number(i),
                           Printable(Cp1251::ToUnicode(tile.Name)),
                           QString::number(tile.Image->Width()),
                           QString::number(tile.Image->Height()),
                           QString::number(tile.Param1),
                           QString::number(tile.Param2)};
        for (qint32 value : tile.Param3)
            fields << QString::number(value);
        fields << QString::number(tile.Param4);
        Print(fields.join(QLatin1Char('\t')));
    }
}

int Info(const QStringList& args) {
    CommandLine line(QStringLiteral("info [--json] [--tiles DIR]... FILE"),
                     QStringLiteral("Shows what a map (.map) or a desktop tile pack (.pac) "
                                    "holds: a map's size, texts, cell statistics and the tile "
                                    "pack file it opens with; a pack's tiles with their names, "
                                    "image sizes and seven values."));
    line.AddOption(QCommandLineOption(QStringLiteral("json"),
                                      QStringLiteral("Prints one JSON object instead of text.")));
    line.AddOption(TilesOption());
    if (!line.Parse(args, 1, 1))
        return Success;
    const PackLocation::SearchPlaces places = PackPlaces(line);
    const QString path = line.Args[0];
    const bool json = line.IsSet(QStringLiteral("json"));
    // The name says which kind to try first; the content decides, as it does for every command.
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool named = suffix == QLatin1String("map") || suffix == QLatin1String("pac");
    auto first = suffix == QLatin1String("pac") ? PackInfo : MapInfo;
    auto second = first == PackInfo ? MapInfo : PackInfo;
    try {
        first(path, json, places);
    } catch (const EFOpenError&) {
        throw;
    } catch (const Exception&) {
        const std::exception_ptr fault = std::current_exception();
        try {
            second(path, json, places);
        } catch (const Exception&) {
            if (!named)
                throw EUsage(QStringLiteral("\"%1\" is neither a map (.map) nor a tile pack (.pac)")
                                 .arg(Printable(Native(path))));
            std::rethrow_exception(fault);
        }
    }
    return Success;
}

int Check(const QStringList& args) {
    CommandLine line(QStringLiteral("check MAP [--tiles DIR]..."),
                     QStringLiteral("Loads a map and its tile pack as Open Map does and reports "
                                    "every problem: a pack that cannot be read, a pack name "
                                    "Open Map refuses, cells that name tiles the pack lacks. "
                                    "Exit code 0 when there is none, 1 when there are, 2 when "
                                    "the map itself cannot be read."));
    line.AddOption(TilesOption());
    if (!line.Parse(args, 1, 1))
        return Success;
    const QString mapPath = line.Args[0];
    TileMap map(48);
    LoadMap(map, mapPath);
    Print(QStringLiteral("map: %1: %2 x %3 cells, tile pack \"%4\"")
              .arg(Absolute(mapPath))
              .arg(map.Cells.size())
              .arg(map.Cells.Rows())
              .arg(Printable(Cp1251::ToUnicode(map.PackName))));

    QStringList problems;
    TilePack pack;
    bool packLoaded = false;
    try {
        const QString packPath = PackLocation::PackPath(map.PackName, mapPath, PackPlaces(line));
        LoadPack(pack, packPath);
        packLoaded = true;
        Print(QStringLiteral("tile pack: %1: %2 tiles").arg(Absolute(packPath)).arg(pack.Count()));
    } catch (const Exception& e) {
        problems << e.Message();
    }
    if (packLoaded) {
        // In file order, row by row, as a designer finds them.
        qint64 missing = 0;
        QStringList positions;
        for (qint32 y = 0; y < map.Cells.Rows(); ++y)
            for (qint32 x = 0; x < map.Cells.size(); ++x) {
                const TileIndex v = map.Cells[x][std::size_t(y)];
                if (v == -1 || (v >= 0 && v < pack.Count()))
                    continue;
                if (++missing <= MostPositions)
                    positions << QStringLiteral("(%1, %2) = %3").arg(x).arg(y).arg(v);
            }
        if (missing > 0)
            problems << QStringLiteral("%1 cells name tiles the pack lacks (it has %2 tiles; "
                                       "-1 marks an empty cell), first %3")
                            .arg(missing)
                            .arg(pack.Count())
                            .arg(positions.join(QStringLiteral(", ")));
    }
    for (const QString& problem : problems)
        Print(QStringLiteral("problem: ") + problem);
    Print(problems.isEmpty()     ? QStringLiteral("no problems found")
          : problems.size() == 1 ? QStringLiteral("1 problem found")
                                 : QStringLiteral("%1 problems found").arg(problems.size()));
    return problems.isEmpty() ? Success : Problems;
}
} // namespace Tool
