#pragma once

// The tile pack file (.pac) in its two forms: the desktop pack the editor reads and writes
// (each tile with its name and BMP image), and the mobile pack it exports (no names, PNG
// images read from files named after the tiles).

#include "model/TilePack.h"

#include <QByteArray>
#include <QString>
#include <vector>

class MemoryStream;

namespace PackFile {
// Replaces the pack's tiles with the file's, only when the whole file has been read and every
// image decoded; on any error the pack is as it was.
void Read(TilePack& pack, const QString& fileName);
// Read on the file's bytes; fileName is the file they came from, which errors name.
void ReadBytes(TilePack& pack, const QByteArray& bytes, const QString& fileName);
// The tiles of a desktop pack from the stream's position. The records are read in file order
// and their images decoded on all cores; the error reported is the one reading tile after tile
// would meet first.
std::vector<TileRef> ReadTiles(MemoryStream& stream);
// The desktop file image.
QByteArray Bytes(const TilePack& pack);
// The desktop file, replaced atomically.
void Write(const TilePack& pack, const QString& fileName);
// Whether the file reads whole as a desktop pack.
bool IsValid(const QString& fileName);
// What keeps a tile's name from being written to a pack, or an empty string: characters
// Windows-1251 lacks, a backslash, or more than FileFormat::MaxTextLength bytes.
QString NameProblem(const QString& name);
} // namespace PackFile

namespace MobilePackFile {
// The mobile file image with the PNG files' bytes as given, one for each tile in pack order.
QByteArray Bytes(const TilePack& pack, const std::vector<QByteArray>& pngs);
// The PNG file of the tile in the mobile pack: imageDir + name + ".png", as written, so
// imageDir ends with a separator.
QString PngFile(const Tile& tile, const QString& imageDir);
// Whether a file named after the tile stays in its directory: its name is a plain file name,
// or empty (the PNG file is then ".png").
bool NameIsFileName(const Tile& tile);
// The bytes of PngFile(tile, imageDir). Throws EFOpenError for a name that is no file name in
// imageDir, or a file that cannot be read.
QByteArray ReadPng(const Tile& tile, const QString& imageDir);
} // namespace MobilePackFile
