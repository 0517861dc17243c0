#pragma once

// Where the tile pack a map names is: the one rule the editor's Open Map, the export and
// korvane-tool share. A map names its pack by file name only, and the pack is read from the
// tiles directory.

#include <QByteArray>
#include <QString>

namespace PackLocation {
// The file of the pack named packName by the map at mapPath: that name in tilesDir. Throws
// EFormatError, naming the map, when it names no pack or a name that is no plain file name
// (a map may only name a file in the tiles directory, never one elsewhere).
QString PackPath(const QByteArray& packName, const QString& mapPath, const QString& tilesDir);
} // namespace PackLocation
