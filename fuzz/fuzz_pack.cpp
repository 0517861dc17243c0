// Fuzzes the desktop tile pack reader through TilePack::LoadFromFile, the way the editor
// reads a pack. The whole-file call is the one under test because the all-or-nothing
// replacement of the pack lives there, not in the record reader below it.
//
// Contract checked for every input:
//  - a refused file names itself in the error and leaves the pack exactly as it was: the same
//    tile and bitmap objects, fields, names, image bytes and pixels;
//  - an accepted file saves back to exactly the bytes an independent decoding of the format
//    expects, and those bytes load again to an equal pack, pixel for pixel, with the heap
//    full of other bytes;
//  - the reader's heap peak stays within a small multiple of the file's size (decoded images
//    may take 64 pixels a byte at 4 bytes a pixel, plus the decoder's own copy).

#include "FuzzSupport.h"
#include "formats/PackFile.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"

namespace {
constexpr std::size_t HeapFactor = 6 * 64;

QByteArray KnownPack;

// A pack with one pictured tile and one without, as the editor may hold before a load.
void FillKnown(TilePack& pack) {
    MemoryStream stream(KnownPack);
    pack.Tiles = PackFile::ReadTiles(stream);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::Init();
    TilePack pack;
    TileRef grass = std::make_unique<Tile>();
    grass->Name = "grass";
    grass->Param1 = 1;
    grass->Param2 = 2;
    grass->Param3 = {3, 4, 5, 6};
    grass->Param4 = 7;
    grass->Image->LoadFromBytes(Fuzz::MakeBmp(5, 3, QImage::Format_RGB32));
    pack.Add(std::move(grass));
    TileRef blank = std::make_unique<Tile>();
    blank->Param4 = -1;
    pack.Add(std::move(blank));
    KnownPack = PackFile::Bytes(pack);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = Fuzz::WriteInput(input);

    TilePack pack;
    FillKnown(pack);
    const Fuzz::PackState before = Fuzz::Snapshot(pack);
    QString why;

    bool loaded = true;
    {
        Fuzz::HeapMeter meter;
        Fuzz::HeapDirt dirt(0x5a);
        try {
            PackFile::Read(pack, path);
        } catch (const Exception& e) {
            loaded = false;
            Fuzz::CheckErrorNamesFile(e, path);
        }
        meter.Check(size, HeapFactor);
    }

    if (!loaded) {
        if (!Fuzz::Equal(before, Fuzz::Snapshot(pack), true, &why))
            Fuzz::Fail("a refused pack changed the pack:", why);
        return 0;
    }

    for (const TileRef& tile : pack.Tiles)
        Fuzz::NoteBmp(tile->Image->FileBytes(), true);

    const QByteArray saved = PackFile::Bytes(pack);
    const std::optional<QByteArray> expected = Fuzz::CanonicalPack(input);
    if (!expected)
        Fuzz::Fail("the reader accepted a pack shorter than it declares");
    if (saved != *expected)
        Fuzz::Fail("an accepted pack does not save back as the format says");

    TilePack again;
    FillKnown(again);
    try {
        // Another byte in fresh memory: pixels that came from leftover memory would differ.
        Fuzz::HeapDirt dirt(0xa5);
        PackFile::Read(again, Fuzz::WriteInput(saved));
    } catch (const Exception& e) {
        Fuzz::Fail("a saved pack does not load again:", e.Message());
    }
    if (!Fuzz::Equal(Fuzz::Snapshot(pack), Fuzz::Snapshot(again), false, &why))
        Fuzz::Fail("a saved pack loads again to a different pack:", why);
    if (PackFile::Bytes(again) != saved)
        Fuzz::Fail("a saved pack saves again to different bytes");
    return 0;
}
