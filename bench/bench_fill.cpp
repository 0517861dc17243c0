// The fill of a 4096 × 4096 map that holds one tile, against P: one pass that reads and writes
// every cell. Each is timed in its own loop over the same warm grid; the counters are the
// medians and xP, their ratio, and the undo region's bytes per changed cell. The document's
// Fill, which the fill tool runs, is timed the same way (doc_xP), with the bytes its undo step
// adds to the history per changed cell. Resize Map from 4096 × 4096 to 8192 × 8192 is timed
// against P of the larger map, with its undo step's bytes against the old grid's. Last, what a
// zoomed-out view's samples of the map cost.

#include "BenchSupport.h"

#include "document/Document.h"
#include "model/CellRegion.h"
#include "render/CellPyramid.h"

#include <algorithm>
#include <vector>

namespace {
constexpr qint32 Side = 4096;

template <class F> double MedianSeconds(int runs, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f(i);
        benchmark::ClobberMemory();
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return Bench::Median(times);
}

void BM_FillWholeMap(benchmark::State& state) {
    CellGrid grid(Side, Side);
    std::fill_n(grid.data(), qint64(Side) * Side, 0);
    double regionBytesPerCell = 0;
    for (auto _ : state) {
        const double pass = Bench::CellPassSeconds(grid);
        const double fill = MedianSeconds(5, [&](int i) {
            const CellRegion region = FloodFill(grid, Side / 2, Side / 2, (i + 1) % 2);
            regionBytesPerCell = double(region.MemoryBytes()) / double(region.Count());
        });
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["fill_ms"] = fill * 1e3;
        state.counters["xP"] = fill / pass;
        state.counters["undo_bytes_per_cell"] = regionBytesPerCell;
    }
}
BENCHMARK(BM_FillWholeMap)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_FillWholeMapDocument(benchmark::State& state) {
    Document document;
    TileMap& map = document.MutableMap();
    map.New(Side, Side, 48);
    double stepBytesPerCell = 0;
    for (auto _ : state) {
        const double pass = Bench::CellPassSeconds(map.Cells);
        const double fill = MedianSeconds(5, [&](int i) {
            const qint64 before = document.UndoHistory().Bytes();
            document.FillRegion({Side / 2, Side / 2}, (i + 1) % 2);
            stepBytesPerCell =
                double(document.UndoHistory().Bytes() - before) / (double(Side) * double(Side));
        });
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["doc_fill_ms"] = fill * 1e3;
        state.counters["doc_xP"] = fill / pass;
        state.counters["step_bytes_per_cell"] = stepBytesPerCell;
    }
}
BENCHMARK(BM_FillWholeMapDocument)->Iterations(1)->Unit(benchmark::kMillisecond);

// The old cells in the middle, so every new column has cells above and below them to empty
// and half the columns none of them. Each run starts from the 4096 × 4096 map with an empty
// history (untimed), so it pays for the new grid's fresh memory as Resize Map does.
void BM_ResizeMap(benchmark::State& state) {
    Document document;
    TileMap& map = document.MutableMap();
    map.New(Side, Side, 48);
    Bench::FillCells(map, 32);
    const double oldGridBytes = double(map.Cells.Count()) * sizeof(TileIndex);
    double pass = 0, stepBytes = 0;
    for (auto _ : state) {
        std::vector<double> times;
        for (int i = 0; i < 5; ++i) {
            times.push_back(Bench::SecondsOf([&] {
                document.ResizeMap(2 * Side, 2 * Side, {Side / 2, Side / 2});
            }));
            stepBytes = double(document.UndoHistory().Bytes());
            if (i == 0)
                pass = Bench::CellPassSeconds(map.Cells); // of the larger map
            document.Undo();
            document.ResetHistory();
        }
        const double resize = Bench::Median(std::move(times));
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["resize_ms"] = resize * 1e3;
        state.counters["xP"] = resize / pass;
        state.counters["step_MiB"] = stepBytes / (1 << 20);
        state.counters["old_grid_MiB"] = oldGridBytes / (1 << 20);
        state.counters["step_per_old_grid"] = stepBytes / oldGridBytes;
    }
}
BENCHMARK(BM_ResizeMap)->Iterations(1)->Unit(benchmark::kMillisecond);

// The samples a zoomed-out view keeps of a 4096 × 4096 map of random cells: made from the
// grid (what the first zoom below a pixel a cell costs, build_xP), taken again for the whole
// map (what a whole-map fill adds while they are kept, refill_xP), their bytes per cell, and
// one changed cell (what a painting move adds, cell_ns).
void BM_ZoomedOutSamples(benchmark::State& state) {
    TileMap map(48);
    map.New(Side, Side, 48);
    Bench::FillCells(map, 32);
    CellPyramid samples(map);
    const qint32 levels = qint32(state.range(0));
    for (auto _ : state) {
        const double pass = Bench::CellPassSeconds(map.Cells);
        const double build = MedianSeconds(5, [&](int) {
            samples.Drop();
            samples.At(levels);
        });
        const double refill =
            MedianSeconds(5, [&](int) { samples.CellsChanged(QRect(0, 0, Side, Side)); });
        constexpr int Cells = 1 << 20;
        const double cell = MedianSeconds(5, [&](int) {
            for (int i = 0; i < Cells; ++i)
                samples.CellsChanged(QRect((i * 2) % Side, (i * 6) % Side, 1, 1));
        });
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["build_ms"] = build * 1e3;
        state.counters["build_xP"] = build / pass;
        state.counters["refill_xP"] = refill / pass;
        state.counters["bytes_per_cell"] = double(samples.Bytes()) / double(map.Cells.Count());
        state.counters["cell_ns"] = cell / Cells * 1e9;
    }
}
BENCHMARK(BM_ZoomedOutSamples)
    ->ArgNames({"levels"})
    ->Arg(1)
    ->Arg(8)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
} // namespace

KORVANE_BENCH_MAIN()
