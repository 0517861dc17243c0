#include "platform/Reduce.h"

#include <algorithm>
#include <new>

void ReduceInto(const QImage& from, const QRect& area, int factor, QImage& to, QPoint at) {
    for (int oy = 0; qint64(oy) * factor < area.height(); ++oy) {
        auto* out = reinterpret_cast<QRgb*>(to.scanLine(at.y() + oy)) + at.x();
        const int rows = int(std::min<qint64>(factor, area.height() - qint64(oy) * factor));
        for (int ox = 0; qint64(ox) * factor < area.width(); ++ox) {
            const int columns = int(std::min<qint64>(factor, area.width() - qint64(ox) * factor));
            qint64 r = 0, g = 0, b = 0;
            for (int sy = 0; sy < rows; ++sy) {
                const auto* in =
                    reinterpret_cast<const QRgb*>(from.constScanLine(area.y() + oy * factor + sy)) +
                    area.x() + ox * factor;
                for (int sx = 0; sx < columns; ++sx) {
                    r += qRed(in[sx]);
                    g += qGreen(in[sx]);
                    b += qBlue(in[sx]);
                }
            }
            const qint64 n = qint64(rows) * columns;
            out[ox] = qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n));
        }
    }
}

QImage Reduced(const QImage& picture, int factor) {
    if (picture.isNull())
        return QImage();
    QImage reduced((picture.width() + factor - 1) / factor,
                   (picture.height() + factor - 1) / factor, QImage::Format_RGB32);
    if (reduced.isNull())
        throw std::bad_alloc();
    ReduceInto(picture, picture.rect(), factor, reduced, QPoint(0, 0));
    return reduced;
}
