#include "platform/Cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Cp1251 {
QString ToUnicode(const QByteArray& bytes) {
    QStringDecoder decoder("windows-1251");
    return decoder(bytes);
}

QByteArray FromUnicode(const QString& text) {
    QStringEncoder encoder("windows-1251");
    return encoder(text);
}
} // namespace Cp1251
