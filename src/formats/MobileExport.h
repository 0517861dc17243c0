#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <vector>

class TileMap;
class TilePack;

// The export of a map for the game's mobile version. Every tile's PNG file in the PNG
// directory is checked and read, one tile after the other; when all are there, the map goes to
// <maps directory>/mob.map and the mobile tile pack, carrying exactly the PNG bytes that were
// read, to <PNG directory>/<PackName>: both files or neither. The export dialog and the
// command-line tool are two faces of it.
class MobileExport {
public:
    // tilesDir is where the map's desktop pack lives, which the mobile pack must never replace.
    MobileExport(const TileMap& map, const TilePack& pack, const QString& pngDir,
                 const QString& tilesDir, const QString& mapsDir);

    // Receives each line of the log: one per tile, "Checking OK! (grass )" and the like.
    std::function<void(const QString& line)> Log = [](const QString&) {};
    // Receives each tile's PNG path before its check.
    std::function<void(const QString& path)> ShowPath = [](const QString&) {};

    // Checks every tile and, when all passed, writes both files. Returns false, having written
    // nothing, when a tile failed its check. Throws an Exception that says why ("Nothing was
    // written: ...") when writing is refused or fails; a failure after which a file has
    // changed says so instead.
    bool Run();

private:
    // What a tile's check read from its PNG file, and what the file looked like then.
    struct Png {
        QString Path;
        QByteArray Bytes;
        QDateTime Modified;
    };
    bool Check();
    void Write() const;
    void CheckPngsUnchanged() const;

    const TileMap& Map;
    const TilePack& Pack;
    QString Prefix; // the PNG directory with a separator behind it
    QString TilesDir;
    QString MapsDir;
    std::vector<Png> Pngs;
};
