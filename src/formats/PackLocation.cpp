#include "formats/PackLocation.h"

#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString Tiles(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("tiles"));
}

// One spelling per folder, so a folder reached twice is searched and named once.
QString Normal(const QString& folder) {
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}
} // namespace

QStringList PackLocation::DataFolders() {
    QStringList folders;
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << QDir(data).filePath(QStringLiteral("korvane/tiles"));
    return folders;
}

QString PackLocation::UserDataFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("korvane/tiles"));
}

PackLocation::SearchPlaces PackLocation::StandardPlaces(const QStringList& userFolders,
                                                        const QString& executableDir) {
    return {userFolders, executableDir, DataFolders()};
}

QString PackLocation::CheckedName(const QByteArray& packName, const QString& mapPath) {
    QString name = Cp1251::ToUnicode(packName);
    if (name.isEmpty())
        throw EFormatError(
            QStringLiteral("The map \"%1\" names no tile pack.").arg(Msg::ShownPath(mapPath)));
    // The name comes from the map file: it may only name a file in a folder searched.
    if (!IsPlainFileName(name))
        throw EFormatError(QStringLiteral("The map \"%1\" names the tile pack \"%2\", which "
                                          "Open Map refuses: a map may only name a file in a "
                                          "folder of tile packs, by its name alone.")
                               .arg(Msg::ShownPath(mapPath), Msg::Clip(name)));
    return name;
}

QStringList PackLocation::Folders(const SearchPlaces& places, const QString& mapPath) {
    QStringList folders = places.UserFolders;
    if (!places.ExecutableDir.isEmpty())
        folders << Tiles(places.ExecutableDir);
    // By name: a folder that is not there (yet) is searched all the same, and named.
    const QString mapDir = QFileInfo(mapPath).absolutePath();
    const QString above = QDir::cleanPath(mapDir + QStringLiteral("/.."));
    folders << Tiles(mapDir);
    if (above != QDir::cleanPath(mapDir))
        folders << Tiles(above);
    folders << places.DataFolders;
    QStringList searched;
    for (const QString& folder : folders)
        if (!folder.isEmpty() && !searched.contains(Normal(folder)))
            searched << Normal(folder);
    return searched;
}

PackLocation::Found PackLocation::Find(const QByteArray& packName, const QString& mapPath,
                                       const SearchPlaces& places) {
    const QString name = CheckedName(packName, mapPath);
    Found found;
    for (const QString& folder : Folders(places, mapPath)) {
        found.Searched << folder;
        const QString file = QDir(folder).filePath(name);
        // A folder of that name is no pack; a file there that cannot be read is, and its
        // reader says why.
        if (QFileInfo(file).exists() && !QFileInfo(file).isDir()) {
            found.File = file;
            break;
        }
    }
    return found;
}

QString PackLocation::NotFoundMessage(const QString& name, const QString& mapPath,
                                      const QStringList& searched) {
    QStringList shown;
    for (const QString& folder : searched)
        shown << QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(folder));
    return QStringLiteral("The tile pack \"%1\" of the map \"%2\" was not found in any of the "
                          "folders searched: %3.")
        .arg(Msg::Clip(name), Msg::ShownPath(mapPath), shown.join(QStringLiteral(", ")));
}

QString PackLocation::PackPath(const QByteArray& packName, const QString& mapPath,
                               const SearchPlaces& places) {
    const Found found = Find(packName, mapPath, places);
    if (found.File.isEmpty())
        throw EFOpenError(NotFoundMessage(Cp1251::ToUnicode(packName), mapPath, found.Searched));
    return found.File;
}
