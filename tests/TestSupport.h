#pragma once

// Helpers shared by the test programs: error capture, file bytes and BMP images.

#include "platform/Exceptions.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>
#include <initializer_list>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <sys/resource.h>
#endif

namespace TestSupport {
// The message of the E that f throws, or a marker that matches no message. Exceptions of other
// kinds pass through and fail the test function.
template <class E = Exception, class F> QString MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return QStringLiteral("<nothing thrown>");
}
// Little-endian 32-bit integers, as both file formats store them.
inline QByteArray Int32s(std::initializer_list<qint32> values) {
    QByteArray bytes(4 * qsizetype(values.size()), Qt::Uninitialized);
    qToLittleEndian<qint32>(values.begin(), values.size(), bytes.data());
    return bytes;
}
inline qint32 Int32At(const QByteArray& bytes, qsizetype offset) {
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}
inline QByteArray Text(const QByteArray& text) {
    return Int32s({qint32(text.size())}) + text;
}
inline QByteArray Bmp(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, "BMP");
    return bytes;
}
inline QByteArray SolidBmp(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return Bmp(image);
}
// A picture whose every pixel differs from its neighbours, so a pixel drawn in the wrong place
// shows.
inline QByteArray PatternBmp(int width, int height, quint32 seed) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    return Bmp(image);
}
inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
// How error messages show a path.
inline QString Shown(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

#if defined(Q_OS_UNIX)
// Lowers a resource limit while it lives. For RLIMIT_FSIZE writes then fail with EFBIG past
// the limit, as they do on a full disk; for RLIMIT_AS allocations fail as they do when memory
// runs out.
class ResourceLimit {
public:
    ResourceLimit(int resource, rlim_t limit) : Resource(resource) {
        Signal = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(Resource, &Old);
        rlimit lower = Old;
        lower.rlim_cur = limit;
        setrlimit(Resource, &lower);
    }
    ~ResourceLimit() {
        setrlimit(Resource, &Old);
        std::signal(SIGXFSZ, Signal);
    }

private:
    int Resource;
    rlimit Old{};
    void (*Signal)(int) = nullptr;
};
#endif
} // namespace TestSupport
