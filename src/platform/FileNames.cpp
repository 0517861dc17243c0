#include "platform/FileNames.h"

#include "platform/Cp1251.h"

#include <QList>

bool IsPlainFileName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QChar(0));
}

QString PackNameRefusal(const QString& name) {
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("the character \"\\\" is not allowed in the name of a tile pack, "
                              "since a map that names it could not be opened");
    if (const QString missing = Cp1251::FirstMissing(name); !missing.isEmpty())
        return QStringLiteral("the character \"%1\" (U+%2) is not allowed in the name of a tile "
                              "pack: a map records the name in Windows-1251, which has no such "
                              "character")
            .arg(missing, QString::number(missing.toUcs4().constFirst(), 16)
                              .toUpper()
                              .rightJustified(4, QLatin1Char('0')));
    if (!IsPlainFileName(name))
        return QStringLiteral("\"%1\" is not a file name a map can record").arg(name);
    return QString();
}
