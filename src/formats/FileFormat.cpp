#include "formats/FileFormat.h"

#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"

namespace FileFormat {
qint32 ReadInt32(MemoryStream& stream, const char* field) {
    if (stream.Remaining() < 4)
        throw EFormatError(QStringLiteral("the file ends inside the %1").arg(QLatin1String(field)));
    return stream.ReadInt32();
}

qint64 ReadLength(MemoryStream& stream, const char* field, qint64 maxLength) {
    const qint32 length = ReadInt32(stream, field);
    // The limit first: a map's header is read from the start of the file only, so what remains
    // of it says nothing about a length beyond the limit.
    if (length > maxLength)
        throw EFormatError(QStringLiteral("the %1 is %2 bytes long, and the editor accepts at "
                                          "most %3")
                               .arg(QLatin1String(field))
                               .arg(length)
                               .arg(maxLength));
    if (length > stream.Remaining())
        throw EFormatError(QStringLiteral("the %1 is %2 bytes long, but only %3 bytes follow")
                               .arg(QLatin1String(field))
                               .arg(length)
                               .arg(stream.Remaining()));
    return qMax<qint32>(length, 0);
}

QByteArray ReadText(MemoryStream& stream, const char* field) {
    return stream.ReadBytes(ReadLength(stream, field, MaxTextLength));
}
} // namespace FileFormat
