#include "platform/InputFile.h"

#include "platform/Exceptions.h"

#include <QFileInfo>
#include <new>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
[[noreturn]] void Refuse(const QString& fileName, const QString& reason) {
    throw EFOpenError(Msg::CannotOpenFile(fileName, reason));
}

QString NotRegular(bool directory) {
    return directory ? QStringLiteral("It is a directory, not a file.")
                     : QStringLiteral("It is not a regular file (a device, pipe or socket), so "
                                      "the editor does not read it.");
}
} // namespace

InputFile::InputFile(const QString& fileName) : Name(fileName) {
#if defined(Q_OS_UNIX)
    // Non-blocking, so that opening a FIFO returns at once; fstat on the open descriptor then
    // tells what was really opened, with no window for the file to be swapped in between.
    const int fd =
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Refuse(fileName, qt_error_string(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const QString reason = qt_error_string(errno);
        ::close(fd);
        Refuse(fileName, reason);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        Refuse(fileName, NotRegular(S_ISDIR(status.st_mode)));
    }
    Length = status.st_size;
    if (!File.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        Refuse(fileName, File.errorString());
    }
#else
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        Refuse(fileName, NotRegular(info.isDir()));
    File.setFileName(fileName);
    if (!File.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        Refuse(fileName, File.errorString());
    Length = File.size();
#endif
}

QByteArray InputFile::Read(qint64 count) {
    if (count < 0 || count > Remaining())
        Refuse(Name,
               QStringLiteral("It ended before the %1 bytes that were to be read.").arg(count));
    QByteArray bytes;
    try {
        bytes.resize(count);
    } catch (const std::bad_alloc&) {
        Refuse(Name, QStringLiteral("There is not enough memory to read its %1 bytes.").arg(count));
    }
    ReadInto(bytes.data(), count);
    return bytes;
}

void InputFile::ReadInto(char* to, qint64 count) {
    if (count < 0 || count > Remaining())
        Refuse(Name,
               QStringLiteral("It ended before the %1 bytes that were to be read.").arg(count));
    qint64 done = 0;
    while (done < count) {
        const qint64 got = File.read(to + done, count - done);
        if (got < 0)
            Refuse(Name, File.errorString());
        if (got == 0)
            Refuse(Name, QStringLiteral("It became shorter while it was being read."));
        done += got;
    }
    Pos += count;
}
