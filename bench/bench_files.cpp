// The two file formats against the plain file I/O of the same bytes: R reads the file the row
// loads into memory, W writes the same bytes through QSaveFile as the editor writes every file.

#include "BenchSupport.h"

#include "model/typeU.h"
#include "platform/TBitmap.h"

#include <QTemporaryDir>

namespace {

constexpr qint32 MapSide = 4096;
constexpr int PackTiles = 1000;
constexpr int PackTileSize = 48;

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

std::unique_ptr<tMap> MakeMap() {
    auto map = std::make_unique<tMap>(48, nullptr);
    map->New(MapSide, MapSide, 48);
    map->PackName = "ground.pac";
    map->Text1 = "testing!!!";
    quint32 state = 1;
    for (qint32 x = 0; x < MapSide; ++x)
        for (qint32 y = 0; y < MapSide; ++y) {
            state = state * 1664525u + 1013904223u;
            map->Cells[x][std::size_t(y)] = TileIndex(state >> 24) - 1;
        }
    return map;
}

const QString& MapFile() {
    static const QString path = [] {
        const QString p = Dir().filePath(QStringLiteral("big.map"));
        MakeMap()->SaveToFile(p);
        return p;
    }();
    return path;
}

const QString& PackFile() {
    static const QString path = [] {
        tTilePack pack;
        for (int i = 0; i < PackTiles; ++i) {
            TileRef tile = pack.NewTile();
            tile->Name = QByteArray("tile") + QByteArray::number(i);
            tile->Param1 = i;
            tile->Bitmap->LoadFromBytes(
                Bench::MakeTileBmp(PackTileSize, i % 2 ? 8 : 24, quint32(i)));
            pack.Add(std::move(tile));
        }
        const QString p = Dir().filePath(QStringLiteral("big.pac"));
        pack.SaveToFile(p, true, QString());
        return p;
    }();
    return path;
}

void BM_MapLoad(benchmark::State& state) {
    const QString& path = MapFile();
    tMap map(48, nullptr);
    Bench::Paired(
        state, "xR", [&] { map.LoadFromFile(path); },
        [&] { benchmark::DoNotOptimize(Bench::ReadAll(path)); });
    state.counters["MiB"] = double(Bench::ReadAll(path).size()) / (1 << 20);
}
BENCHMARK(BM_MapLoad)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_MapSave(benchmark::State& state) {
    const std::unique_ptr<tMap> map = MakeMap();
    const QByteArray bytes = map->SaveToBytes();
    const QString target = Dir().filePath(QStringLiteral("saved.map"));
    const QString plain = Dir().filePath(QStringLiteral("plain.map"));
    Bench::Paired(
        state, "xW", [&] { map->SaveToFile(target); }, [&] { Bench::SaveAll(plain, bytes); });
    state.counters["MiB"] = double(bytes.size()) / (1 << 20);
}
BENCHMARK(BM_MapSave)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PackLoad(benchmark::State& state) {
    const QString& path = PackFile();
    tTilePack pack;
    Bench::Paired(
        state, "xR", [&] { pack.LoadFromFile(path); },
        [&] { benchmark::DoNotOptimize(Bench::ReadAll(path)); });
    state.counters["tiles"] = pack.Count();
    state.counters["MiB"] = double(Bench::ReadAll(path).size()) / (1 << 20);
}
BENCHMARK(BM_PackLoad)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

KORVANE_BENCH_MAIN()
