#include "formats/PackLocation.h"

#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"

#include <QDir>

QString PackLocation::PackPath(const QByteArray& packName, const QString& mapPath,
                               const QString& tilesDir) {
    const QString name = Cp1251::ToUnicode(packName);
    if (name.isEmpty())
        throw EFormatError(
            QStringLiteral("The map \"%1\" names no tile pack.").arg(Msg::ShownPath(mapPath)));
    // The name comes from the map file: it may only name a file in the tiles directory.
    if (!IsPlainFileName(name))
        throw EFormatError(
            QStringLiteral("The map \"%1\" names the tile pack \"%2\", which "
                           "Open Map refuses: a map may only name a file in the "
                           "tiles directory \"%3\".")
                .arg(Msg::ShownPath(mapPath), Msg::Clip(name), QDir::toNativeSeparators(tilesDir)));
    return QDir(tilesDir).filePath(name);
}
