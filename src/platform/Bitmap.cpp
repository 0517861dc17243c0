#include "platform/Bitmap.h"

#include "platform/Exceptions.h"
#include "platform/InputFile.h"
#include "platform/MemoryStream.h"

#include <QBuffer>
#include <QImageReader>
#include <new>

namespace {
constexpr qint64 FileHeaderSize = 14;

// The most pixels a file of a given size may decode to. Plain BMPs hold at most 8 pixels a
// byte; RLE can do better, but a file that claims far more pixels than its bytes can carry is
// hostile, and decoding it would allocate memory the file cannot justify.
constexpr qint64 MaxPixelsPerByte = 64;

QString TooLarge(QSize size) {
    return QStringLiteral("%1: it is %2 × %3 pixels, and a tile image may be at most %4 × %4")
        .arg(Msg::BitmapNotValid)
        .arg(size.width())
        .arg(size.height())
        .arg(Bitmap::MaxSide);
}

QImage Cleared(QSize size, QImage::Format format) {
    QImage image(size, format);
    if (image.isNull()) // not enough memory, or a format Qt cannot allocate
        throw std::bad_alloc();
    // Colour index 0 or black: a colour the file defines or none at all, never leftover memory.
    image.fill(0);
    return image;
}

// Decodes with reader into image, which the caller has prepared cleared. Returns whether the
// reader decoded into that very buffer.
bool ReadInto(QImageReader& reader, QImage& image) {
    const uchar* prepared = image.constBits();
    if (!reader.read(&image) || image.isNull())
        throw EInvalidGraphic(Msg::BitmapNotValid);
    return prepared && image.constBits() == prepared;
}

// Qt's BMP reader over bytes in memory.
struct BmpReader {
    explicit BmpReader(const QByteArray& bytes) {
        Buffer.setData(bytes);
        Buffer.open(QIODevice::ReadOnly);
        Reader.setDevice(&Buffer);
        Reader.setFormat("bmp");
    }
    QBuffer Buffer;
    QImageReader Reader;
};

QImage Decode(const QByteArray& bytes) {
    BmpReader bmp(bytes);
    QImageReader& reader = bmp.Reader;
    // A top-down BMP reports a negative height here, so only the width tells a header the
    // reader could not make sense of.
    const QSize claimed = reader.size();
    if (claimed.width() < 0)
        throw EInvalidGraphic(Msg::BitmapNotValid);
    const QSize size(claimed.width(), qAbs(claimed.height()));
    if (size.width() > Bitmap::MaxSide || size.height() > Bitmap::MaxSide)
        throw EInvalidGraphic(TooLarge(size));
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > MaxPixelsPerByte * bytes.size())
        throw EInvalidGraphic(QStringLiteral("%1: it claims %2 × %3 pixels in only %4 bytes")
                                  .arg(Msg::BitmapNotValid)
                                  .arg(size.width())
                                  .arg(size.height())
                                  .arg(bytes.size()));
    // Qt's decoder leaves the pixels that a short or skipping (RLE delta) file never sets as
    // the memory held them. Given a cleared image of the size and format it decodes to, it
    // decodes into that one; for some headers it picks another format than it announced and
    // allocates its own image, which is then decoded again, by a fresh reader, into a cleared
    // one of that format.
    QImage image =
        Cleared(size, reader.imageFormat() == QImage::Format_Invalid ? QImage::Format_RGB32
                                                                     : reader.imageFormat());
    if (!ReadInto(reader, image)) {
        image = Cleared(image.size(), image.format());
        BmpReader again(bytes);
        if (!ReadInto(again.Reader, image))
            throw EInvalidGraphic(QStringLiteral("%1: its pixels could not be decoded reliably")
                                      .arg(Msg::BitmapNotValid));
    }
    // A conversion that fails (for want of memory) gives a null image, never a tile without
    // its picture.
    QImage converted = image.convertToFormat(QImage::Format_RGB32);
    if (converted.isNull())
        throw std::bad_alloc();
    return converted;
}
} // namespace

void Bitmap::LoadFromFile(const QString& fileName) {
    InputFile file(fileName);
    // The largest picture comes with at most 4 bytes a pixel and a palette; a bigger file is
    // refused before it is read.
    constexpr qint64 MaxFileSize = 4 * qint64(MaxSide) * MaxSide + 64 * 1024;
    if (file.Size() > MaxFileSize)
        throw EInvalidGraphic(
            QStringLiteral("The file \"%1\" is not a usable tile image: it is %2 bytes long, "
                           "and a tile image is at most %3 × %3 pixels (%4 bytes)")
                .arg(Msg::ShownPath(fileName))
                .arg(file.Size())
                .arg(MaxSide)
                .arg(MaxFileSize));
    MemoryStream stream(file.Read(file.Size()));
    try {
        LoadFromStream(stream);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(Msg::NotEnoughMemory(fileName));
    }
}

void Bitmap::LoadFromStream(MemoryStream& stream) {
    LoadFromBytes(stream.ReadBytes(stream.Remaining()));
}

void Bitmap::LoadFromBytes(const QByteArray& bytes) {
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

void Bitmap::SaveToStream(MemoryStream& stream) const {
    if (!Empty())
        stream.WriteBytes(Bytes);
}

void Bitmap::ReleaseImage() {
    Image = QImage();
    Bytes.clear();
}
