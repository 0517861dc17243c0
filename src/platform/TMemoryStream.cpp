#include "platform/TMemoryStream.h"

#include "platform/Exceptions.h"
#include "platform/LargeBuffer.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

void TMemoryStream::LoadFromFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(Msg::CannotOpenFile(fileName, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFOpenError(Msg::CannotOpenFile(fileName, file.errorString()));
    Data = std::move(bytes);
    Pos = 0;
}

void TMemoryStream::SaveToFile(const QString& fileName) const {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EFCreateError(Msg::CannotCreateFile(fileName, file.errorString()));
    if (file.write(Data) != Data.size() || !file.commit())
        throw EFCreateError(Msg::CannotCreateFile(fileName, file.errorString()));
}

void TMemoryStream::Require(qint64 count) const {
    if (count < 0 || count > Remaining())
        throw EReadError(Msg::StreamReadError);
}

qint32 TMemoryStream::ReadInt32() {
    Require(4);
    const auto value = qFromLittleEndian<qint32>(Data.constData() + Pos);
    Pos += 4;
    return value;
}

QByteArrayView TMemoryStream::ReadView(qint64 count) {
    Require(count);
    QByteArrayView view(Data.constData() + Pos, count);
    Pos += count;
    return view;
}

QByteArray TMemoryStream::ReadBytes(qint64 count) {
    Require(count);
    // A read of the whole stream shares the buffer instead of copying it.
    QByteArray bytes = (Pos == 0 && count == Data.size()) ? Data : Data.mid(Pos, count);
    Pos += count;
    return bytes;
}

void TMemoryStream::WriteInt32(qint32 value) {
    qToLittleEndian(value, WriteUninitialized(4));
}

void TMemoryStream::WriteBytes(QByteArrayView bytes) {
    Data.append(bytes);
    Pos = Data.size();
}

char* TMemoryStream::WriteUninitialized(qint64 count) {
    const qint64 start = Data.size();
    Data.resize(start + count);
    Pos = Data.size();
    return Data.data() + start;
}

void TMemoryStream::Reserve(qint64 size) {
    Data.reserve(size);
    AdviseLargePages(Data.data(), std::size_t(Data.capacity()));
}
