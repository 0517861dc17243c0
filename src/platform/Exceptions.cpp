#include "platform/Exceptions.h"

#include <QDir>
#include <QFileInfo>

Exception::Exception(const QString& message) : Utf8(message.toUtf8()) {}

namespace Msg {
QString Clip(const QString& value) {
    if (value.size() <= MaxShown)
        return value;
    const qsizetype half = MaxShown / 2;
    return QStringLiteral("%1…%2").arg(value.left(half), value.right(half));
}

QString ShownPath(const QString& path) {
    return Clip(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

QString CannotOpenFile(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot open file \"%1\". %2").arg(ShownPath(path), reason);
}

QString CannotCreateFile(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot create file \"%1\". %2").arg(ShownPath(path), reason);
}

QString ListIndexOutOfBounds(qint64 index) {
    return QStringLiteral("List index out of bounds (%1)").arg(index);
}

QString NotAValidInteger(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

QString NotAValidFile(const QString& path, const QString& kind, const QString& detail) {
    return QStringLiteral("The file \"%1\" is not a valid %2: %3.")
        .arg(ShownPath(path), kind, detail);
}
QString NotEnoughMemory(const QString& path) {
    return QStringLiteral("There is not enough memory to load the file \"%1\".")
        .arg(ShownPath(path));
}
} // namespace Msg
