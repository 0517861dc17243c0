// Memory a map takes, in bytes per cell: peak_per_cell is the most heap in use at once while
// the map is made (New), read from a file into a new map object, or read over an open map of
// the same size, counting from before any of those maps existed; held_per_cell is what is still
// in use afterwards. Counted at glibc's malloc, where operator new and Qt's containers end, at
// the allocator's usable size. Not a timing: one iteration each.

#include "BenchSupport.h"
#include "HeapCounter.h"
#include "formats/MapFile.h"

#include "model/TileMap.h"
#include "model/TilePack.h"

#include <QTemporaryDir>

#if defined(KORVANE_HEAP_COUNTED)
namespace {

// Runs make once and reports the peak and what stays, per cell, counted from before it ran.
template <class Make> void Measure(benchmark::State& state, qint64 cells, Make make) {
    for (auto _ : state) {
        const long long before = HeapCounter::Live;
        HeapCounter::ResetPeak();
        std::unique_ptr<TileMap> map = make();
        state.counters["held_per_cell"] = double(HeapCounter::Live - before) / double(cells);
        state.counters["peak_per_cell"] = double(HeapCounter::Peak - before) / double(cells);
        benchmark::DoNotOptimize(map.get());
    }
    state.counters["cells"] = double(cells);
}

std::unique_ptr<TileMap> NewMap(qint32 side) {
    auto map = std::make_unique<TileMap>(48);
    map->New(side, side, 48);
    return map;
}

// A map file of side × side cells, removed with the directory.
QString MapFile(const QTemporaryDir& dir, qint32 side) {
    const QString path = dir.filePath(QStringLiteral("m.map"));
    const std::unique_ptr<TileMap> map = NewMap(side);
    map->Text1 = "testing!!!";
    map->PackName = "ground.pac";
    MapFile::Write(*map, path);
    return path;
}

// arg: width and height in cells
void BM_MapMemoryNew(benchmark::State& state) {
    const qint32 side = qint32(state.range(0));
    Measure(state, qint64(side) * side, [&] { return NewMap(side); });
}

void BM_MapMemoryLoaded(benchmark::State& state) {
    const qint32 side = qint32(state.range(0));
    QTemporaryDir dir;
    const QString path = MapFile(dir, side);
    Measure(state, qint64(side) * side, [&] {
        auto map = std::make_unique<TileMap>(48);
        MapFile::Read(*map, path);
        return map;
    });
}

// The open map is made inside the measurement, so both maps count.
void BM_MapMemoryLoadedOver(benchmark::State& state) {
    const qint32 side = qint32(state.range(0));
    QTemporaryDir dir;
    const QString path = MapFile(dir, side);
    Measure(state, qint64(side) * side, [&] {
        std::unique_ptr<TileMap> map = NewMap(side);
        MapFile::Read(*map, path);
        return map;
    });
}

void Sides(benchmark::internal::Benchmark* row) {
    row->ArgName("side")->Arg(64)->Arg(1024)->Arg(4096)->Iterations(1)->Repetitions(1);
}
BENCHMARK(BM_MapMemoryNew)->Apply(Sides);
BENCHMARK(BM_MapMemoryLoaded)->Apply(Sides);
BENCHMARK(BM_MapMemoryLoadedOver)->Apply(Sides);

} // namespace
#endif

KORVANE_BENCH_MAIN()
