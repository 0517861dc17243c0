#include "platform/TBitmap.h"

#include "platform/Exceptions.h"
#include "platform/TMemoryStream.h"

#include <QBuffer>
#include <QImageReader>

namespace {
constexpr qint64 FileHeaderSize = 14;

// The most pixels a file of a given size may decode to. Plain BMPs hold at most 8 pixels a
// byte; RLE can do better, but a file that claims far more pixels than its bytes can carry is
// hostile, and decoding it would allocate memory the file cannot justify.
constexpr qint64 MaxPixelsPerByte = 64;

QImage Decode(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    // A top-down BMP reports a negative height here, so only the width tells a header the
    // reader could not make sense of.
    const QSize size = reader.size();
    if (size.width() < 0)
        throw EInvalidGraphic(Msg::BitmapNotValid);
    const qint64 pixels = qAbs(qint64(size.width())) * qAbs(qint64(size.height()));
    if (pixels > MaxPixelsPerByte * bytes.size())
        throw EInvalidGraphic(QStringLiteral("%1: it claims %2 × %3 pixels in only %4 bytes")
                                  .arg(Msg::BitmapNotValid)
                                  .arg(size.width())
                                  .arg(qAbs(size.height()))
                                  .arg(bytes.size()));
    // Qt's decoder leaves the pixels that a short or skipping (RLE delta) file never sets as
    // whatever the memory held, so the same file would show different garbage each time. Given
    // an image of the right size and format it decodes into that one, so start from a cleared
    // one: pixels the file does not set get colour index 0, or black.
    QImage image(qAbs(size.width()), qAbs(size.height()), reader.imageFormat());
    if (!image.isNull())
        image.fill(0);
    if (!reader.read(&image) || image.isNull())
        throw EInvalidGraphic(Msg::BitmapNotValid);
    image.convertTo(QImage::Format_RGB32);
    return image;
}
} // namespace

void TBitmap::LoadFromFile(const QString& fileName) {
    TMemoryStream stream;
    stream.LoadFromFile(fileName);
    LoadFromStream(stream);
}

void TBitmap::LoadFromStream(TMemoryStream& stream) {
    LoadFromBytes(stream.ReadBytes(stream.Remaining()));
}

void TBitmap::LoadFromBytes(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        ReleaseImage();
        return;
    }
    if (bytes.size() < FileHeaderSize)
        throw EReadError(Msg::StreamReadError);
    if (!bytes.startsWith("BM"))
        throw EInvalidGraphic(Msg::BitmapNotValid);
    Image = Decode(bytes);
    Bytes = bytes;
}

void TBitmap::SaveToStream(TMemoryStream& stream) const {
    if (!Empty())
        stream.WriteBytes(Bytes);
}

void TBitmap::ReleaseImage() {
    Image = QImage();
    Bytes.clear();
}
