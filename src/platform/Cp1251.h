#pragma once

#include <QByteArray>
#include <QString>

// The map and pack files hold their texts as Windows-1251 bytes; the model keeps those bytes
// as they are and converts only where a text meets the user or the file system.
namespace Cp1251 {
QString ToUnicode(const QByteArray& bytes);
// Characters that have no Windows-1251 code come out as '?'.
QByteArray FromUnicode(const QString& text);
// The first character of text that Windows-1251 has no code for, or an empty string when
// FromUnicode records the whole text exactly.
QString FirstMissing(const QString& text);
} // namespace Cp1251
