// Undo and recovery: the memory one stroke's undo step holds per changed cell, and the time
// the GUI thread spends on one recovery copy of a 1024 × 1024 map against W, a write of the
// same map's bytes through QSaveFile (which the copy's writer thread then does itself).

#include "BenchSupport.h"
#include "formats/MapFile.h"

#include "document/Document.h"
#include "document/Recovery.h"
#include "platform/Bitmap.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <stdexcept>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
constexpr qint32 Side = 1024;

// A 1024 × 1024 map of one-pixel cells and a pack of 16 tiles.
struct Work {
    Document Doc{1};
    TileMap& Map = Doc.MutableMap();

    Work() {
        Doc.MutablePack().Tiles = std::move(Bench::LoadTilePack(48, 16)->Tiles);
        Map.New(Side, Side, 1);
        Bench::FillCells(Map, 16);
    }
};

#if defined(__GLIBC__)
// Bytes in use on the heap, including the large blocks glibc maps on their own.
qint64 HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}
#endif

// arg: the cells the stroke changes, in a square
void BM_UndoStrokeMemory(benchmark::State& state) {
    const qint32 side = qint32(state.range(0));
    const double cells = double(side) * side;
    double heap = 0;
    double history = 0;
    for (auto _ : state) {
        Work work;
        const qint64 before = work.Doc.UndoHistory().Bytes();
#if defined(__GLIBC__)
        const qint64 heapBefore = HeapInUse();
#endif
        // As painting does: one cell under the pointer at a time, every one changed.
        for (qint32 y = 0; y < side; ++y)
            for (qint32 x = 0; x < side; ++x)
                work.Doc.Paint({x, y}, 16);
        work.Doc.EndStroke();
#if defined(__GLIBC__)
        heap = double(HeapInUse() - heapBefore);
#endif
        history = double(work.Doc.UndoHistory().Bytes() - before);
    }
    state.counters["cells"] = cells;
    state.counters["bytes_per_cell"] = history / cells;
    state.counters["heap_per_cell"] = heap / cells;
}
BENCHMARK(BM_UndoStrokeMemory)->ArgName("side")->Arg(16)->Arg(256)->Iterations(1);

// Waits until the copy is on disk and its note, read back, differs from `before`.
QByteArray WaitForCopy(const Recovery& recovery, const QByteArray& before) {
    while (recovery.Writing())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QFile file(QDir(recovery.OwnCopy()).filePath("note.json"));
    const QByteArray note = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (note.isEmpty() || note == before)
        throw std::runtime_error("no new recovery copy");
    return note;
}

void BM_RecoveryWriteGuiThread(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    QTemporaryDir dir;
    Work work;
    // Timers too long to fire: the bench asks for each copy itself, as a timer would.
    Recovery recovery(work.Doc, dir.filePath("recovery"), std::chrono::hours(1),
                      std::chrono::hours(1));
    const QString raw = dir.filePath("raw.map");
    work.Doc.Paint({0, 0}, 0);
    work.Doc.EndStroke();
    recovery.WriteNow(); // the pack, once
    QByteArray written = WaitForCopy(recovery, {});
    std::vector<double> ops, bases;
    qint32 cell = 0;
    for (auto _ : state) {
        const QByteArray bytes = MapFile::Bytes(work.Map);
        const auto t0 = Clock::now();
        Bench::FileSave(raw, bytes)();
        const auto t1 = Clock::now();
        ++cell;
        work.Doc.Paint({cell % Side, 1}, 100 + cell);
        work.Doc.EndStroke();
        const auto t2 = Clock::now();
        recovery.Write();
        const auto t3 = Clock::now();
        written = WaitForCopy(recovery, written);
        const double op = std::chrono::duration<double>(t3 - t2).count();
        ops.push_back(op);
        bases.push_back(std::chrono::duration<double>(t1 - t0).count());
        state.SetIterationTime(op);
    }
    const double op = Bench::Median(ops), base = Bench::Median(bases);
    state.counters["xW"] = op / base;
    state.counters["op_ms"] = op * 1e3;
    state.counters["base_ms"] = base * 1e3;
}
// Each iteration waits for two synced writes, which the timed part is far shorter than.
BENCHMARK(BM_RecoveryWriteGuiThread)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);
} // namespace

KORVANE_BENCH_MAIN()
