#pragma once

// Reading helpers shared by the two file formats: every read is checked against the bytes
// that remain, and a short or inconsistent file becomes an EFormatError that says which field
// broke, instead of a value that was never in the file.

#include "platform/Exceptions.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <climits>
#include <new>

class MemoryStream;

namespace FileFormat {
// The longest text or name a file may hold. Names become file names and texts appear in
// messages; a longer one is refused, so a hostile file cannot make the editor lay out megabytes.
constexpr qint32 MaxTextLength = 4096;

qint32 ReadInt32(MemoryStream& stream, const char* field);
// A 32-bit length and that many bytes; a length of 0 or less gives no bytes, one of more than
// MaxTextLength is refused.
QByteArray ReadText(MemoryStream& stream, const char* field);
// A length of at most maxLength bytes that are there to be read; 0 for a length of 0 or less.
qint64 ReadLength(MemoryStream& stream, const char* field, qint64 maxLength = INT_MAX);

// Runs read, a reader of the file fileName as a kind of file ("map"): a format error becomes
// the file's refusal as no valid one of its kind, running out of memory one that names it.
template <class Read> void ReadingFile(const QString& fileName, const QString& kind, Read&& read) {
    try {
        read();
    } catch (const EFormatError& e) {
        throw EFormatError(Msg::NotAValidFile(fileName, kind, e.Message()));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(Msg::NotEnoughMemory(fileName));
    }
}
} // namespace FileFormat
