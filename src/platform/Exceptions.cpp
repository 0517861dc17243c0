#include "platform/Exceptions.h"

#include <QDir>
#include <QFileInfo>

Exception::Exception(const QString& message) : Utf8(message.toUtf8()) {}

namespace {
QString FullPath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}
} // namespace

namespace Msg {
QString CannotOpenFile(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot open file \"%1\". %2").arg(FullPath(path), reason);
}

QString CannotCreateFile(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot create file \"%1\". %2").arg(FullPath(path), reason);
}

QString ListIndexOutOfBounds(qint64 index) {
    return QStringLiteral("List index out of bounds (%1)").arg(index);
}

QString NotAValidInteger(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

QString NotAValidFile(const QString& path, const QString& kind, const QString& detail) {
    return QStringLiteral("The file \"%1\" is not a valid %2: %3.").arg(FullPath(path), kind, detail);
}
} // namespace Msg
