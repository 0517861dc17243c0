#include "platform/MemoryStream.h"

#include "platform/Exceptions.h"
#include "platform/InputFile.h"
#include "platform/LargeBuffer.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

void MemoryStream::LoadFromFile(const QString& fileName) {
    InputFile file(fileName);
    Data = file.Read(file.Size());
    Pos = 0;
}

void MemoryStream::SaveToFile(const QString& fileName) const {
    // Replacing a device node or a pipe with a regular file would break what it was; only
    // regular files (or links to them) and new names are written.
    const QFileInfo target(fileName);
    if (target.exists() && !target.isFile())
        throw EFCreateError(Msg::CannotCreateFile(
            fileName, target.isDir() ? QStringLiteral("It is a directory.")
                                     : QStringLiteral("It exists and is not a regular file, so "
                                                      "the editor does not replace it.")));
    // Unbuffered, so that every failed write is seen here: a buffered QSaveFile writes small
    // files only inside commit(), which then renames a short file over the old one.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw EFCreateError(Msg::CannotCreateFile(fileName, file.errorString()));
    // A short write (a disk that just filled up) is retried, and the retry reports the
    // system's reason.
    for (qint64 done = 0; done < Data.size();) {
        const qint64 written = file.write(Data.constData() + done, Data.size() - done);
        if (written <= 0)
            throw EFCreateError(Msg::CannotCreateFile(fileName, file.errorString()));
        done += written;
    }
    if (!file.commit())
        throw EFCreateError(Msg::CannotCreateFile(fileName, file.errorString()));
}

void MemoryStream::Require(qint64 count) const {
    if (count < 0 || count > Remaining())
        throw EReadError(Msg::StreamReadError);
}

qint32 MemoryStream::ReadInt32() {
    Require(4);
    const auto value = qFromLittleEndian<qint32>(Data.constData() + Pos);
    Pos += 4;
    return value;
}

QByteArrayView MemoryStream::ReadView(qint64 count) {
    Require(count);
    QByteArrayView view(Data.constData() + Pos, count);
    Pos += count;
    return view;
}

QByteArray MemoryStream::ReadBytes(qint64 count) {
    Require(count);
    // A read of the whole stream shares the buffer instead of copying it.
    QByteArray bytes = (Pos == 0 && count == Data.size()) ? Data : Data.mid(Pos, count);
    Pos += count;
    return bytes;
}

void MemoryStream::WriteInt32(qint32 value) {
    qToLittleEndian(value, WriteUninitialized(4));
}

void MemoryStream::WriteBytes(QByteArrayView bytes) {
    Data.append(bytes);
    Pos = Data.size();
}

char* MemoryStream::WriteUninitialized(qint64 count) {
    const qint64 start = Data.size();
    Data.resize(start + count);
    Pos = Data.size();
    return Data.data() + start;
}

void MemoryStream::Reserve(qint64 size) {
    Data.reserve(size);
    AdviseLargePages(Data.data(), std::size_t(Data.capacity()));
}
