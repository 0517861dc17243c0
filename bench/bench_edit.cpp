// The editing verbs over a whole 4096 × 4096 selection, against P: one pass that reads and
// writes every cell. Copy (the clipboard's private form, all Copy builds for so many cells),
// Paste (the private form read and placed as a stamp, and the placing alone), Delete and Replace
// Tile run through the document as the window runs them; each op is timed in its own loop over the
// same warm grid, its undo untimed between runs. The counters are the medians, xP their ratios, and
// the bytes the undo step adds to the history per changed cell.

#include "BenchSupport.h"

#include "document/Document.h"
#include "formats/CellClipboard.h"
#include "model/Stamp.h"

#include <QMimeData>
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

// The bytes the step op makes takes in the history, with nothing else there: an op timed after
// an undo drops that undone step, so the history's growth then is not the step's.
template <class Op> qint64 StepBytes(Document& document, Op&& op) {
    document.ResetHistory();
    op();
    return document.UndoHistory().Bytes();
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
        // What Copy puts on the clipboard: the private form alone, the block being too large
        // for text.
        std::unique_ptr<QMimeData> data;
        const double copy = MedianSeconds(
            5, [] {},
            [&] { data = CellClipboard::MimeData(s.Doc.Map().Cells, s.Doc.Selection()); });
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["copy_ms"] = copy * 1e3;
        state.counters["xP"] = copy / pass;
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
        auto paste = [&] {
            s.Doc.PaintStamp(QPoint(0, 0), CellClipboard::ReadBytes(bytes));
            s.Doc.EndStroke();
        };
        const double time = MedianSeconds(
            5, [&] { s.Doc.Undo(); }, paste);
        const Stamp stamp = CellClipboard::ReadBytes(bytes);
        const double place = MedianSeconds(
            5, [&] { s.Doc.Undo(); },
            [&] {
                s.Doc.PaintStamp(QPoint(0, 0), stamp);
                s.Doc.EndStroke();
            });
        s.Doc.Undo();
        const qint64 stepBytes = StepBytes(s.Doc, paste);
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["paste_ms"] = time * 1e3;
        state.counters["xP"] = time / pass;
        state.counters["place_xP"] = place / pass;
        state.counters["step_bytes_per_cell"] = double(stepBytes) / Cells;
    }
}
BENCHMARK(BM_PasteWholeMap)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_DeleteWholeMap(benchmark::State& state) {
    Scene s;
    for (auto _ : state) {
        const double pass = s.Pass();
        auto clear = [&] { s.Doc.ClearSelected(QStringLiteral("Delete")); };
        const double remove = MedianSeconds(
            5, [&] { s.Doc.Undo(); }, clear);
        s.Doc.Undo();
        const qint64 stepBytes = StepBytes(s.Doc, clear);
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
        qint64 changed = 0;
        auto replaceAll = [&] { changed = s.Doc.ReplaceTile(5, 6, false); };
        const double replace = MedianSeconds(
            5, [&] { s.Doc.Undo(); }, replaceAll);
        s.Doc.Undo();
        const qint64 stepBytes = StepBytes(s.Doc, replaceAll);
        state.counters["pass_ms"] = pass * 1e3;
        state.counters["replace_ms"] = replace * 1e3;
        state.counters["xP"] = replace / pass;
        state.counters["step_bytes_per_cell"] = double(stepBytes) / double(changed);
        s.Doc.Undo();
    }
}
BENCHMARK(BM_ReplaceWholeMap)->Iterations(1)->Unit(benchmark::kMillisecond);
} // namespace

KORVANE_BENCH_MAIN()
