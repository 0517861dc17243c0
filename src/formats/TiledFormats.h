#pragma once

// Maps that travel: a map with its tile pack as the formats the rest of the 2D world reads,
// Tiled's TMX (XML) and JSON (.tmj), a CSV table of tile indices and a PNG image, and back from
// TMX, JSON and CSV. The game's own files stay as they are; these are other ways in and out,
// shared by the editor's Export As / Import and korvane-tool convert.
//
// A TMX or JSON map is an orthogonal map of the map's size with cells of its tile size, one
// tile layer of the cells in CSV encoding (tile index + 1, an empty cell 0) and one embedded
// tileset whose image is a PNG atlas beside the map: the pack's tiles in index order, left to
// right and down, in AtlasColumns columns. Each tile carries its name as the string property
// "name" and its seven values as the integer properties TileValueNames; the map's four texts are
// the string properties MapTextNames.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <utility>
#include <vector>

class TileMap;
class TilePack;

namespace TiledFormats {
enum class Format { Tmx, Tmj, Csv, Png };
// The format a file name's extension names (.tmx, .tmj or .json, .csv, .png; any case).
std::optional<Format> FormatOf(const QString& fileName);
QString Extension(Format format); // "tmx", "tmj", "csv", "png"

// Param1, Param2, Param3[0..3], Param4 of a tile, in that order.
inline const std::array<const char*, 7> TileValueNames = {
    "Param1", "Param2", "Param3_1", "Param3_2", "Param3_3", "Param3_4", "Param4"};
// Text1, Text2, PackName, Text4 of a map.
inline const std::array<const char*, 4> MapTextNames = {"Text1", "Text2", "PackName", "Text4"};

// The atlas of a TMX or JSON map: mapFile's base name + ".tiles.png", beside it.
QString AtlasPath(const QString& mapFile);
qint32 AtlasColumns(qint32 tiles);
// The pack's tiles drawn as the editor draws them at actual size: each tile's picture at its
// cell's top-left corner, unscaled and clipped to the cell; what a smaller picture leaves of
// the cell is the view's background. Throws ESizeError for an atlas larger than a PNG we write.
QImage Atlas(const TilePack& pack, qint32 tileSize);

// The files' bytes. The TMX and JSON maps name atlasName as their tileset's image; they throw
// an Exception naming what cannot be written: a cell holding an index the pack lacks (other
// than -1), or for TMX a text with a character XML cannot carry.
QByteArray TmxBytes(const TileMap& map, const TilePack& pack, const QString& atlasName);
QByteArray TmjBytes(const TileMap& map, const TilePack& pack, const QString& atlasName);
// One line a row, the cells' tile indices separated by commas, -1 for an empty cell.
QByteArray CsvBytes(const TileMap& map);

// Writes the map in the format its name's extension names, with the atlas beside a TMX or JSON
// map (none for an empty pack): all files or none, each replaced atomically. Returns the files
// written. The PNG image is the whole map as korvane-tool render draws it.
QStringList Export(const TileMap& map, const TilePack& pack, const QString& fileName);

// Writes every file, each replaced atomically; when one fails, those already written are put
// back as they were (or removed), so all are written or none. A symbolic link among them is
// refused before anything is written.
void WriteFiles(const std::vector<std::pair<QString, QByteArray>>& files);

// A TMX or JSON map (by its extension) with its tileset: external tilesets and images are read
// from beside the file that names them. Replaces map (cells, texts and tile size) and pack only
// when everything read was valid and can be kept; throws an EFormatError naming the file, and
// where it can the line and column, otherwise.
void Import(TileMap& map, TilePack& pack, const QString& fileName);
// Import of a map file's bytes; files it names are read beside fileName.
void ImportBytes(TileMap& map, TilePack& pack, const QByteArray& bytes, const QString& fileName);
// A CSV table of tile indices: the map takes its cells and empty texts; the tile size stays.
void ReadCsv(TileMap& map, const QString& fileName);
void ReadCsvBytes(TileMap& map, const QByteArray& bytes, const QString& fileName);
} // namespace TiledFormats
