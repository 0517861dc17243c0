// Fuzzes the import of Tiled maps: the input is a TMX map when it starts with '<' and a JSON
// map otherwise, beside a 2 x 2 atlas of 8-pixel tiles named atlas.png it may use.
//
// Contract checked for every input:
//  - a refused map names itself in the error and leaves the map and pack exactly as they were;
//  - an accepted map exports again and imports back to the same map and pack, byte for byte
//    in the game's formats;
//  - the reader's heap peak stays within a bound of the input's size: a layer's cells can take
//    no more than compressed data can expand to.

#include "FuzzSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "formats/TiledFormats.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

namespace {
// Inflated cells (1100 to 1 at most) and the grid they go into.
constexpr std::size_t HeapFactor = 2 * 1100 + 16;

std::unique_ptr<TileMap> KnownMap() {
    auto map = std::make_unique<TileMap>(48);
    map->New(3, 2, 48);
    map->Text1 = "testing!!!";
    map->PackName = "pack.pac";
    return map;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString written = Fuzz::WriteInput(input);
    const QDir dir = QFileInfo(written).dir();
    if (!QFileInfo::exists(dir.filePath(QStringLiteral("atlas.png")))) {
        QImage atlas(16, 16, QImage::Format_RGB32);
        atlas.fill(Qt::darkGreen);
        atlas.save(dir.filePath(QStringLiteral("atlas.png")));
    }
    const QString path =
        dir.filePath(input.startsWith('<') ? QStringLiteral("in.tmx") : QStringLiteral("in.tmj"));

    std::unique_ptr<TileMap> map = KnownMap();
    TilePack pack;
    const QByteArray mapBefore = MapFile::Bytes(*map), packBefore = PackFile::Bytes(pack);
    bool loaded = true;
    {
        Fuzz::HeapMeter meter;
        try {
            TiledFormats::ImportBytes(*map, pack, input, path);
        } catch (const Exception& e) {
            loaded = false;
            Fuzz::CheckErrorNamesFile(e, path);
        }
        meter.Check(size, HeapFactor);
    }
    if (!loaded) {
        if (MapFile::Bytes(*map) != mapBefore || PackFile::Bytes(pack) != packBefore ||
            map->TileSize != 48)
            Fuzz::Fail("a refused import changed the map or the pack");
        return 0;
    }

    const QString again = dir.filePath(QStringLiteral("again.tmx"));
    try {
        TiledFormats::Export(*map, pack, again);
    } catch (const Exception&) {
        return 0; // a text XML cannot carry: refused, as it should be
    }
    TileMap back(48);
    TilePack backPack;
    try {
        TiledFormats::Import(back, backPack, again);
    } catch (const Exception& e) {
        Fuzz::Fail("an exported map does not import again:", e.Message());
    }
    if (MapFile::Bytes(back) != MapFile::Bytes(*map) ||
        PackFile::Bytes(backPack) != PackFile::Bytes(pack) || back.TileSize != map->TileSize)
        Fuzz::Fail("an exported map imports back as another map or pack");
    return 0;
}
