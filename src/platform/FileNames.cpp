#include "platform/FileNames.h"

#include "platform/Cp1251.h"

#include <QDir>
#include <QFileInfo>
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
    if (QString refusal =
            Cp1251Refusal(name, QStringLiteral("the name of a tile pack"), QStringLiteral("a map"));
        !refusal.isEmpty())
        return refusal;
    if (!IsPlainFileName(name))
        return QStringLiteral("\"%1\" is not a file name a map can record").arg(name);
    return QString();
}

QString Cp1251Refusal(const QString& name, const QString& what, const QString& recorder) {
    const QString missing = Cp1251::FirstMissing(name);
    if (missing.isEmpty())
        return QString();
    return QStringLiteral("the character \"%1\" (U+%2) is not allowed in %3: %4 records the name "
                          "in Windows-1251, which has no such character")
        .arg(missing,
             QString::number(missing.toUcs4().constFirst(), 16)
                 .toUpper()
                 .rightJustified(4, QLatin1Char('0')),
             what, recorder);
}

bool SameFile(const QString& a, const QString& b) {
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    const QString dirA = QFileInfo(fa.path()).canonicalFilePath();
    if (!dirA.isEmpty() && dirA == QFileInfo(fb.path()).canonicalFilePath() &&
        fa.fileName() == fb.fileName())
        return true;
    const QString fileA = fa.canonicalFilePath();
    return !fileA.isEmpty() && fileA == fb.canonicalFilePath();
}

QString LinkRefusal(const QString& path, const QString& writer) {
    if (!QFileInfo(path).isSymLink())
        return QString();
    return QStringLiteral("\"%1\" is a symbolic link, and %2 does not write through links")
        .arg(QDir::toNativeSeparators(path), writer);
}
