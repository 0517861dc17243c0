// Fuzzes the bitmap loader on its own: Bitmap::LoadFromBytes, which every tile image of a
// pack goes through.
//
// Contract checked for every input:
//  - a refused image throws the loader's own errors (a short header or an invalid graphic)
//    and leaves the bitmap exactly as it was, bytes and pixels;
//  - an accepted image keeps the very bytes it was given, is opaque 32-bit, holds no more
//    pixels than the loader allows for its size, saves back to those bytes and loads again to
//    the same pixels; zero bytes give an empty image that saves nothing;
//  - the pixels depend on the bytes alone: loading them again with the heap full of another
//    byte gives the same picture;
//  - the loader's heap peak stays within a small multiple of the data's size.

#include "FuzzSupport.h"
#include "formats/MapFile.h"

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"

namespace {
constexpr std::size_t HeapFactor = 6 * 64;
constexpr qint64 MaxPixelsPerByte = 64;

QByteArray KnownBmp;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::Init();
    KnownBmp = Fuzz::MakeBmp(4, 3, QImage::Format_Indexed8);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));

    Bitmap bitmap;
    bitmap.LoadFromBytes(KnownBmp);
    const QByteArray bytesBefore = bitmap.FileBytes();
    const QImage pictureBefore = bitmap.Picture();

    bool loaded = true;
    {
        Fuzz::HeapMeter meter;
        Fuzz::HeapDirt dirt(0x5a);
        try {
            bitmap.LoadFromBytes(input);
        } catch (const EReadError&) {
            loaded = false;
            if (size >= 14)
                Fuzz::Fail("a short-header error for data with a whole header");
        } catch (const EInvalidGraphic&) {
            loaded = false;
        }
        meter.Check(size, HeapFactor);
    }
    Fuzz::NoteBmp(input, loaded);

    if (!loaded) {
        if (bitmap.FileBytes() != bytesBefore || bitmap.Picture() != pictureBefore ||
            bitmap.Picture().format() != pictureBefore.format())
            Fuzz::Fail("a refused image changed the bitmap");
        return 0;
    }

    MemoryStream saved;
    bitmap.SaveToStream(saved);
    if (size == 0) {
        if (!bitmap.Empty() || !bitmap.FileBytes().isEmpty() || saved.Size() != 0)
            Fuzz::Fail("zero bytes did not give an empty image that saves nothing");
        return 0;
    }
    if (bitmap.Empty() || bitmap.Picture().format() != QImage::Format_RGB32)
        Fuzz::Fail("an accepted image is not opaque 32-bit");
    if (qint64(bitmap.Width()) * bitmap.Height() > MaxPixelsPerByte * qint64(size))
        Fuzz::Fail("an accepted image has more pixels than its size allows");
    if (bitmap.FileBytes() != input || saved.Bytes() != input)
        Fuzz::Fail("an accepted image does not save back its own bytes");

    Bitmap again;
    saved.SetPosition(0);
    {
        Fuzz::HeapDirt dirt(0xa5);
        again.LoadFromStream(saved);
    }
    if (saved.Remaining() != 0)
        Fuzz::Fail("loading from a stream did not consume it");
    if (again.Picture() != bitmap.Picture() || again.FileBytes() != input)
        Fuzz::Fail("a saved image loads again to different pixels");
    return 0;
}
