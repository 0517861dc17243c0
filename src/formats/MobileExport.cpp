#include "formats/MobileExport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/MemoryStream.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The number of tiles a desktop pack in these bytes holds; 0 when they are no desktop pack.
// Empty packs are the same four bytes in both variants, so they hold nothing to lose.
qsizetype DesktopTiles(const QByteArray& bytes) {
    MemoryStream stream(bytes);
    try {
        return qsizetype(PackFile::ReadTiles(stream).size());
    } catch (const Exception&) {
        return 0;
    }
}

// The one failure after which a file has changed: the map could not be written and the pack
// written before it could not be put back.
struct EPartialExport : Exception {
    using Exception::Exception;
};

QString NothingWritten(const QString& reason) {
    return QStringLiteral("Nothing was written: %1").arg(reason);
}
} // namespace

MobileExport::MobileExport(const TileMap& map, const TilePack& pack, const QString& pngDir,
                           const QString& tilesDir, const QString& mapsDir)
    : Map(map), Pack(pack), Prefix(pngDir), TilesDir(tilesDir), MapsDir(mapsDir) {
    if (!Prefix.endsWith(QLatin1Char('/')))
        Prefix += QLatin1Char('/');
}

bool MobileExport::Run() {
    if (!Check())
        return false;
    try {
        Write();
    } catch (const EPartialExport&) {
        throw;
    } catch (const Exception& e) {
        throw Exception(NothingWritten(e.Message()));
    } catch (const std::exception& e) {
        throw Exception(NothingWritten(QString::fromLocal8Bit(e.what())));
    }
    return true;
}

bool MobileExport::Check() {
    Pngs.clear();
    bool allFound = true;
    for (qint32 i = 0; i < Pack.Count(); ++i) {
        const Tile& tile = Pack.At(i);
        const QString name = Cp1251::ToUnicode(tile.Name);
        Png png{MobilePackFile::PngFile(tile, Prefix), {}, {}};
        ShowPath(png.Path);
        // Looked at after the path was shown: the user may still put the file in place.
        const QFileInfo file(png.Path);
        if (!MobilePackFile::NameIsFileName(tile)) {
            Log(QStringLiteral("Tile %1 refused: its name \"%2\" is not a file name in the "
                               "chosen directory")
                    .arg(i)
                    .arg(name));
            allFound = false;
        } else if (!file.isFile()) {
            Log(QStringLiteral("Scuko!") + name + QStringLiteral(" "));
            allFound = false;
        } else {
            // Read now, so that the pack carries exactly the file that was checked.
            try {
                png.Bytes = MobilePackFile::ReadPng(tile, Prefix);
                png.Modified = file.lastModified();
                Log(QStringLiteral("Checking OK! (") + name + QStringLiteral(" )"));
            } catch (const Exception& e) {
                Log(e.Message());
                allFound = false;
            }
        }
        Pngs.push_back(std::move(png));
    }
    return allFound;
}

void MobileExport::CheckPngsUnchanged() const {
    // The checks may have taken long (the dialog waits on a message box per tile); a PNG that
    // is gone or different now no longer matches what the log says was checked.
    for (const Png& png : Pngs) {
        const QFileInfo now(png.Path);
        if (!now.isFile() || now.size() != png.Bytes.size() || now.lastModified() != png.Modified)
            throw EFOpenError(Msg::CannotOpenFile(
                png.Path, QStringLiteral("It was removed or changed after it was checked.")));
    }
}

void MobileExport::Write() const {
    const QString packName = Cp1251::ToUnicode(Map.PackName);
    if (packName.isEmpty())
        throw Exception(
            QStringLiteral("the map names no tile pack; save or load its tile pack first"));
    if (!IsPlainFileName(packName))
        throw Exception(
            QStringLiteral("the map's tile pack name \"%1\" is not a file name in the chosen "
                           "directory")
                .arg(packName));

    const QString packPath = Prefix + packName;
    const QString mapPath = MapsDir + QStringLiteral("/mob.map");
    const QString desktopPath = TilesDir + QLatin1Char('/') + packName;
    // The mobile pack cannot be read by the editor: it must never take the place of a pack
    // the editor loads.
    if (SameFile(packPath, desktopPath))
        throw Exception(
            QStringLiteral("\"%1\" is the desktop tile pack this map loads, and the mobile pack "
                           "would replace it; choose the directory with the PNG files")
                .arg(Native(desktopPath)));
    if (SameFile(packPath, mapPath))
        throw Exception(QStringLiteral("the mobile tile pack \"%1\" would replace the mobile map")
                            .arg(Native(packPath)));
    // The PNG files are read again by the next export: neither output may replace one.
    for (const Png& png : Pngs)
        for (const QString& path : {packPath, mapPath})
            if (SameFile(path, png.Path))
                throw Exception(QStringLiteral("\"%1\" is the PNG file of a tile, which the export "
                                               "would replace")
                                    .arg(Native(path)));
    for (const QString& path : {packPath, mapPath})
        if (const QString refusal = LinkRefusal(path, QStringLiteral("the export"));
            !refusal.isEmpty())
            throw Exception(refusal);

    // What the pack file holds now: checked before it is replaced, and put back should the
    // map fail to be written.
    bool hadPack = false;
    QByteArray oldPack;
    if (QFileInfo(packPath).isFile()) {
        MemoryStream old;
        old.LoadFromFile(packPath);
        oldPack = old.Bytes();
        hadPack = true;
        if (const qsizetype tiles = DesktopTiles(oldPack); tiles > 0)
            throw Exception(QStringLiteral("\"%1\" is a desktop tile pack of %2 tiles, and the "
                                           "mobile pack would replace it")
                                .arg(Native(packPath))
                                .arg(tiles));
    }

    // Both files complete in memory before either is written.
    CheckPngsUnchanged();
    std::vector<QByteArray> pngs;
    pngs.reserve(Pngs.size());
    for (const Png& png : Pngs)
        pngs.push_back(png.Bytes);
    const QByteArray mapBytes = MapFile::Bytes(Map);
    const QByteArray packBytes = MobilePackFile::Bytes(Pack, pngs);
    if (!QDir().mkpath(MapsDir))
        throw EFCreateError(
            Msg::CannotCreateFile(mapPath, QStringLiteral("The directory could not be created.")));

    MemoryStream(packBytes).SaveToFile(packPath);
    try {
        MemoryStream(mapBytes).SaveToFile(mapPath);
    } catch (const Exception& e) {
        QString undoFailure;
        try {
            if (hadPack)
                MemoryStream(oldPack).SaveToFile(packPath);
            else if (!QFile::remove(packPath))
                undoFailure = QStringLiteral("it could not be removed");
        } catch (const Exception& undo) {
            undoFailure = undo.Message();
        }
        if (!undoFailure.isEmpty())
            throw EPartialExport(QStringLiteral("Only the mobile tile pack \"%1\" was written, not "
                                                "the map: %2; putting the pack back failed: %3")
                                     .arg(Native(packPath), e.Message(), undoFailure));
        throw;
    }
}
