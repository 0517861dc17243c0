#pragma once

// The map file (.map), read into and written from a TileMap.

#include <QByteArray>
#include <QString>

class TileMap;

namespace MapFile {
// Replaces the map's texts, size and cells with the file's only when the whole file is valid;
// on any error the map is as it was. TileSize stays.
void Read(TileMap& map, const QString& fileName);
// Read on the file's bytes; fileName is the file they came from, which errors name.
void ReadBytes(TileMap& map, const QByteArray& bytes, const QString& fileName);
// The file image. Throws ESizeError for a text too long for the format.
QByteArray Bytes(const TileMap& map);
// The file is replaced atomically.
void Write(const TileMap& map, const QString& fileName);
// Whether the file reads whole as a map.
bool IsValid(const QString& fileName);
} // namespace MapFile
