// Fuzzes the map reader through TileMap::LoadFromFile, the way the editor opens a map.
//
// Contract checked for every input:
//  - a refused file names itself in the error and leaves the map exactly as it was: texts,
//    size, cells, and the view fields a load never touches;
//  - an accepted file leaves the view fields alone, holds Cells[x][y] as the value at the
//    format's offset of cell (x, y), saves back to exactly the bytes an independent decoding
//    of the format expects, and loads again to an equal map;
//  - the reader's heap peak stays within a small multiple of the file's size: the cells can
//    take no more bytes than the file holds.

#include "FuzzSupport.h"
#include "formats/MapFile.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Exceptions.h"

#include <QtEndian>

namespace {
constexpr std::size_t HeapFactor = 4;

// A map as the editor may hold it before a load: with texts and painted cells.
std::unique_ptr<TileMap> KnownMap(qint32 tileSize) {
    auto map = std::make_unique<TileMap>(tileSize);
    map->New(3, 2, tileSize);
    map->Text1 = "testing!!!";
    map->PackName = "pack.pac";
    map->Text4 = "\xC0\xC1";
    for (qint32 x = 0; x < 3; ++x)
        for (qint32 y = 0; y < 2; ++y)
            map->Cells[x][std::size_t(y)] = x * 10 + y - 1;
    return map;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = Fuzz::WriteInput(input);

    std::unique_ptr<TileMap> map = KnownMap(48);
    const Fuzz::MapState before = Fuzz::Snapshot(*map);
    QString why;

    bool loaded = true;
    {
        Fuzz::HeapMeter meter;
        try {
            MapFile::Read(*map, path);
        } catch (const Exception& e) {
            loaded = false;
            Fuzz::CheckErrorNamesFile(e, path);
        }
        meter.Check(size, HeapFactor);
    }

    const Fuzz::MapState after = Fuzz::Snapshot(*map);
    if (!Fuzz::SameTileSize(before, after, &why))
        Fuzz::Fail("loading a map changed a field it must not touch:", why);
    if (!loaded) {
        if (!Fuzz::SameContent(before, after, &why))
            Fuzz::Fail("a refused map changed the map:", why);
        return 0;
    }

    const std::optional<QByteArray> expected = Fuzz::CanonicalMap(input);
    if (!expected)
        Fuzz::Fail("the reader accepted a map shorter than it declares");
    if (map->Cells.size() != map->Width || map->Cells.Rows() != map->Height)
        Fuzz::Fail("the grid does not have the map's size");
    // Cell (x, y) is the value at offset H + 12 + 4 × (y × Width + x) of the file.
    const qint64 cellsAt = expected->size() - 4 * qint64(map->Width) * map->Height;
    // A map with no cells may still be huge in one direction: nothing to compare then.
    for (qint32 x = 0; x < map->Width && map->Height > 0; ++x)
        for (qint32 y = 0; y < map->Height; ++y)
            if (map->Cells[x][std::size_t(y)] !=
                qFromLittleEndian<qint32>(expected->constData() + cellsAt +
                                          4 * (qint64(y) * map->Width + x)))
                Fuzz::Fail("a cell was read from the wrong place",
                           QStringLiteral("(%1, %2)").arg(x).arg(y));

    const QByteArray saved = MapFile::Bytes(*map);
    if (saved != *expected)
        Fuzz::Fail("an accepted map does not save back as the format says");

    std::unique_ptr<TileMap> again = KnownMap(32);
    const Fuzz::MapState againBefore = Fuzz::Snapshot(*again);
    try {
        MapFile::Read(*again, Fuzz::WriteInput(saved));
    } catch (const Exception& e) {
        Fuzz::Fail("a saved map does not load again:", e.Message());
    }
    const Fuzz::MapState againAfter = Fuzz::Snapshot(*again);
    if (!Fuzz::SameContent(after, againAfter, &why))
        Fuzz::Fail("a saved map loads again to a different map:", why);
    if (!Fuzz::SameTileSize(againBefore, againAfter, &why))
        Fuzz::Fail("loading a saved map changed a field it must not touch:", why);
    return 0;
}
