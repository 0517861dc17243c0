// The editing verbs over a whole 4096 × 4096 selection, against P: one pass that reads and
// writes every cell. Copy (the selected cells and the clipboard's private form), Paste (the
// private form read and placed as a stamp), Delete and Replace Tile run through the document as
// the window runs them; each op is timed in its own loop over the same warm grid, its undo
// untimed between runs. The counters are the medians, xP their ratios, and the bytes the undo
// step adds to the history per changed cell.

#include "BenchSupport.h"

#include "document/Document.h"
#include "formats/CellClipboard.h"
#include "model/Stamp.h"

#include <chrono>

namespace {
constexpr qint32 Side = 4096;
constexpr double Cells = double(Side) * double(Side);

// The median of runs of op, each after an untimed before.
template <class Before, class Op> double MedianSeconds(int runs, Before&& before, Op&& op) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        before();
        const auto start = std::chrono::steady_clock::now();
        op();
        benchmark::ClobberMemory();
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return Bench::Median(times);
}

// A document with a map of Side × Side random tiles of 32, all of it selected.
struct Scene {
    Document Doc;
    Scene() {
        Doc.MutableMap().New(Side, Side, 48);
        Bench::FillCells(Doc.MutableMap(), 32);
        Doc.SelectAll();
    }
    double Pass() { return Bench::CellPassSeconds(Doc.MutableMap().Cells); }
};

void BM_CopyWholeMap(benchmark::State& state) {
    Scene s;
    for (auto _ : state) {
        const double pass = s.Pass();
        QByteArray bytes;
        const double copy = MedianSeconds(
            5, [] {},
            [&] {
                bytes = CellClipboard::Bytes(Stamp::Copy(s.Doc.Map().Cells, s.Doc.Selection()));
            });
        Stamp cells = Stamp::Copy(s.Doc.Map().Cells, s.Doc.Selection());
        const double form = MedianSeconds(
            5, [] {}, [&] { bytes = CellClipboard::Bytes(cells); });
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["copy_ms"] = copy * 1e3;
        state.counters["xP"] = copy / pass;
        state.counters["private_form_xP"] = form / pass;
    }
}
BENCHMARK(BM_CopyWholeMap)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PasteWholeMap(benchmark::State& state) {
    Scene s;
    // Every cell changes.
    std::vector<TileIndex> values(s.Doc.Map().Cells.data(),
                                  s.Doc.Map().Cells.data() + s.Doc.Map().Cells.Count());
    for (TileIndex& cell : values)
        cell = (cell + 1) % 32;
    const QByteArray bytes = CellClipboard::Bytes(Stamp(Side, Side, std::move(values)));
    s.Doc.SelectNone();
    for (auto _ : state) {
        const double pass = s.Pass();
        qint64 stepBytes = 0;
        const double paste = MedianSeconds(
            5, [&] { s.Doc.Undo(); },
            [&] {
                const qint64 before = s.Doc.UndoHistory().Bytes();
                s.Doc.PaintStamp(QPoint(0, 0), CellClipboard::ReadBytes(bytes));
                s.Doc.EndStroke();
                stepBytes = s.Doc.UndoHistory().Bytes() - before;
            });
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["paste_ms"] = paste * 1e3;
        state.counters["xP"] = paste / pass;
        state.counters["step_bytes_per_cell"] = double(stepBytes) / Cells;
    }
}
BENCHMARK(BM_PasteWholeMap)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_DeleteWholeMap(benchmark::State& state) {
    Scene s;
    for (auto _ : state) {
        const double pass = s.Pass();
        qint64 stepBytes = 0;
        const double remove = MedianSeconds(
            5, [&] { s.Doc.Undo(); },
            [&] {
                const qint64 before = s.Doc.UndoHistory().Bytes();
                s.Doc.ClearSelected(QStringLiteral("Delete"));
                stepBytes = s.Doc.UndoHistory().Bytes() - before;
            });
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["delete_ms"] = remove * 1e3;
        state.counters["xP"] = remove / pass;
        state.counters["step_bytes_per_cell"] = double(stepBytes) / Cells;
    }
}
BENCHMARK(BM_DeleteWholeMap)->Iterations(1)->Unit(benchmark::kMillisecond);

// Every cell holds the tile replaced, the worst case.
void BM_ReplaceWholeMap(benchmark::State& state) {
    Scene s;
    std::fill_n(s.Doc.MutableMap().Cells.data(), s.Doc.Map().Cells.Count(), 5);
    s.Doc.SelectNone();
    for (auto _ : state) {
        const double pass = s.Pass();
        qint64 stepBytes = 0, changed = 0;
        const double replace = MedianSeconds(
            5, [&] { s.Doc.Undo(); },
            [&] {
                const qint64 before = s.Doc.UndoHistory().Bytes();
                changed = s.Doc.ReplaceTile(5, 6, false);
                stepBytes = s.Doc.UndoHistory().Bytes() - before;
            });
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["replace_ms"] = replace * 1e3;
        state.counters["xP"] = replace / pass;
        state.counters["step_bytes_per_cell"] = double(stepBytes) / double(changed);
    }
}
BENCHMARK(BM_ReplaceWholeMap)->Iterations(1)->Unit(benchmark::kMillisecond);
} // namespace

KORVANE_BENCH_MAIN()
