#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// A byte buffer with a read/write position, as the file formats expect: whole files are read
// into one and built in one before they touch the disk. Integers are little-endian.
class MemoryStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(QByteArray bytes) : Data(std::move(bytes)) {}

    // Throws EFOpenError with the system's reason.
    void LoadFromFile(const QString& fileName);
    // Replaces the file atomically: on any failure the old file is left as it was. Throws
    // EFCreateError with the system's reason.
    void SaveToFile(const QString& fileName) const;

    qint64 Size() const { return Data.size(); }
    qint64 Position() const { return Pos; }
    qint64 Remaining() const { return Data.size() - Pos; }
    void SetPosition(qint64 position) { Pos = qBound<qint64>(0, position, Data.size()); }
    const QByteArray& Bytes() const { return Data; }

    // Reads throw EReadError ("Stream read error") when fewer bytes remain than asked for;
    // the position is then unchanged.
    qint32 ReadInt32();
    QByteArray ReadBytes(qint64 count);
    // A view of the next count bytes, valid while the stream is not written to.
    QByteArrayView ReadView(qint64 count);

    // Writes always append at the end, where the writers keep the position.
    void WriteInt32(qint32 value);
    void WriteBytes(QByteArrayView bytes);
    // Appends count bytes whose content the caller fills in through the returned pointer,
    // without clearing them first.
    char* WriteUninitialized(qint64 count);
    void Reserve(qint64 size);

private:
    void Require(qint64 count) const;

    QByteArray Data;
    qint64 Pos = 0;
};
