#pragma once

// Where the tile pack a map names is: the one rule the editor's Open Map, the export and
// korvane-tool share. A map names its pack by file name only; the pack is the first file of
// that name in the folders searched, in this order:
//
//   - the folders the user named (korvane-tool's and the editor's --tiles, the editor's
//     Tile Pack Folders setting), in the order given;
//   - tiles/ beside the executable, where earlier editors looked, and only there, so every
//     set-up that worked finds the same pack;
//   - tiles/ in the map's folder, then tiles/ in the folder above it (a game's maps/ and
//     tiles/ side by side);
//   - korvane/tiles/ in each generic data location (QStandardPaths::GenericDataLocation):
//     the user's first ($XDG_DATA_HOME), then the system's ($XDG_DATA_DIRS), where an
//     installed editor keeps its demo pack.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace PackLocation {
// The places searched besides the map's own folders.
struct SearchPlaces {
    QStringList UserFolders;
    // The executable's folder, which holds tiles/; none when empty.
    QString ExecutableDir;
    QStringList DataFolders;
};

// What a search found: the pack's file, or nothing; and the folders it looked in, in order.
struct Found {
    QString File;
    QStringList Searched;
};

// korvane/tiles in each generic data location, the user's first.
QStringList DataFolders();
// The user's own folder of packs among them (it may not exist yet), where new packs go when the
// executable's folder cannot be written.
QString UserDataFolder();
// The places of an executable at executableDir, with the data folders.
SearchPlaces StandardPlaces(const QStringList& userFolders, const QString& executableDir);

// The pack's name as a file name. Throws EFormatError, naming the map, when the map names no
// pack or a name that is no plain file name (a map may name a file in a folder searched, never
// one elsewhere).
QString CheckedName(const QByteArray& packName, const QString& mapPath);

// The folders searched for the pack of the map at mapPath, in order, each once.
QStringList Folders(const SearchPlaces& places, const QString& mapPath);

// The pack the map at mapPath names: the first file of its name in Folders. Throws as
// CheckedName for a name that cannot be searched for.
Found Find(const QByteArray& packName, const QString& mapPath, const SearchPlaces& places);

// "The tile pack ... was not found", naming the map and every folder searched.
QString NotFoundMessage(const QString& name, const QString& mapPath, const QStringList& searched);

// The pack's file as Find finds it; throws EFOpenError with NotFoundMessage when there is none.
QString PackPath(const QByteArray& packName, const QString& mapPath, const SearchPlaces& places);
} // namespace PackLocation
