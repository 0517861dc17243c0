#include "platform/Cp1251.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace Cp1251 {
QString ToUnicode(const QByteArray& bytes) {
    QStringDecoder decoder("windows-1251");
    return decoder(bytes);
}

QByteArray FromUnicode(const QString& text) {
    QStringEncoder encoder("windows-1251");
    QByteArray bytes = encoder(text);
    // The converter puts the control character SUB (0x1A) where a character has no code;
    // in a file name that is worse than the usual '?'. Each character takes one byte, so the
    // substitutes are found by position.
    const QList<uint> characters = text.toUcs4();
    if (bytes.size() == characters.size())
        for (qsizetype i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\x1a' && characters[i] != 0x1a)
                bytes[i] = '?';
    return bytes;
}

QString FirstMissing(const QString& text) {
    for (const uint code : text.toUcs4()) {
        const char32_t c = code;
        QString character = QString::fromUcs4(&c, 1); // not const: returned by moving
        if (ToUnicode(FromUnicode(character)) != character)
            return character;
    }
    return QString();
}
} // namespace Cp1251
