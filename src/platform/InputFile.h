#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file opened for reading that is known to be a regular file of a known size. Opening never
// blocks (a FIFO named like a map would otherwise hang the editor) and no read goes past the
// size found at opening, so a device that never ends cannot exhaust memory. Every failure
// throws EFOpenError naming the file.
class InputFile {
public:
    explicit InputFile(const QString& fileName);

    const QString& FileName() const { return Name; }
    qint64 Size() const { return Length; }
    qint64 Remaining() const { return Length - Pos; }
    // The next count bytes; a file that became shorter meanwhile is an error.
    QByteArray Read(qint64 count);
    void ReadInto(char* to, qint64 count);

private:
    QString Name;
    QFile File;
    qint64 Length = 0;
    qint64 Pos = 0;
};
