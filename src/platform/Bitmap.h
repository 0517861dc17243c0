#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class MemoryStream;

// A Windows BMP image. It keeps the bytes it was loaded from, so saving writes them back
// unchanged, and holds the decoded picture once, in the canvas's own pixel format, so drawing
// is a plain copy.
class Bitmap {
public:
    // The largest tile image, on either side. The header is checked before anything is
    // decoded, so a hostile file cannot make the editor allocate more than 64 MiB for it.
    static constexpr int MaxSide = 4096;

    // Throws EFOpenError, EInvalidGraphic for a file larger than the largest image could be,
    // EOutOfMemory, or the errors of LoadFromBytes.
    void LoadFromFile(const QString& fileName);
    // Consumes the stream from its position to its end.
    void LoadFromStream(MemoryStream& stream);
    // Zero bytes give an image with no pixels. Fewer than the 14 bytes of a BMP file header
    // throw EReadError; anything else that is not a BMP we can decode throws EInvalidGraphic.
    // On an error the bitmap keeps what it had.
    void LoadFromBytes(const QByteArray& bytes);
    // Appends the BMP file as it was loaded; an image with no pixels appends nothing.
    void SaveToStream(MemoryStream& stream) const;
    // Frees the pixels and the stored file: the bitmap is empty afterwards.
    void ReleaseImage();

    bool Empty() const { return Image.isNull(); }
    int Width() const { return Image.width(); }
    int Height() const { return Image.height(); }
    // Format_RGB32, or a null image when empty.
    const QImage& Picture() const { return Image; }
    const QByteArray& FileBytes() const { return Bytes; }
    // Qt's key of the picture's contents: it changes whenever the picture does, so what was
    // made from a picture can tell whether it still is.
    qint64 PictureKey() const { return Image.cacheKey(); }

private:
    QByteArray Bytes;
    QImage Image;
};
