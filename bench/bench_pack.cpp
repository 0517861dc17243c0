// Pack upkeep with a 4096 × 4096 map open and a pack of 1000 tiles, against P: one pass that
// reads and writes every cell. Deleting a used tile and moving a tile across the pack renumber
// the map's cells (doc_xP: the document's step, as the window runs it; each undone, untimed,
// before the next run); the usage counts the palette's tooltip and Unused Tiles read are one
// read of every cell (xP).

#include "BenchSupport.h"

#include "document/Document.h"
#include "model/TileUsage.h"

#include <QRandomGenerator>

namespace {
constexpr qint32 Side = 4096;
constexpr qint32 Tiles = 1000;

// The document with its map of tiles in no order and a pack of bare tiles.
void SetUp(Document& document) {
    TileMap& map = document.MutableMap();
    map.New(Side, Side, 48);
    QRandomGenerator random(7);
    TileIndex* cells = map.Cells.data();
    for (qint64 i = 0; i < map.Cells.Count(); ++i)
        cells[i] = TileIndex(random.bounded(Tiles + 1)) - 1;
    for (qint32 i = 0; i < Tiles; ++i)
        document.MutablePack().Add(std::make_unique<Tile>());
}

template <class Edit> void Row(benchmark::State& state, Edit&& edit) {
    Document document;
    SetUp(document);
    for (auto _ : state) {
        const double pass = Bench::CellPassSeconds(document.MutableMap().Cells);
        std::vector<double> times;
        for (int i = 0; i < 5; ++i) {
            times.push_back(Bench::SecondsOf([&] { edit(document); }));
            document.Undo();
        }
        const double op = Bench::Median(std::move(times));
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["op_ms"] = op * 1e3;
        state.counters["doc_xP"] = op / pass;
    }
}

void BM_DeleteUsedTile(benchmark::State& state) {
    Row(state, [](Document& document) { document.DeleteTile(Tiles / 2); });
}
BENCHMARK(BM_DeleteUsedTile)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MoveTileAcrossThePack(benchmark::State& state) {
    Row(state, [](Document& document) { document.MoveTile(10, Tiles - 10); });
}
BENCHMARK(BM_MoveTileAcrossThePack)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_TileUsage(benchmark::State& state) {
    Document document;
    SetUp(document);
    for (auto _ : state) {
        const double pass = Bench::CellPassSeconds(document.MutableMap().Cells);
        std::vector<double> times;
        for (int i = 0; i < 5; ++i)
            times.push_back(Bench::SecondsOf(
                [&] { benchmark::DoNotOptimize(TileUsage(document.Map().Cells, Tiles)); }));
        const double op = Bench::Median(std::move(times));
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["op_ms"] = op * 1e3;
        state.counters["xP"] = op / pass;
    }
}
BENCHMARK(BM_TileUsage)->Iterations(1)->Unit(benchmark::kMillisecond);
} // namespace

KORVANE_BENCH_MAIN()
