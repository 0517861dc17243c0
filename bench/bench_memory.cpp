// Memory held by a map of N cells, in bytes per cell, for a map made with New and for one read
// from a file. Two counts: bytes_per_cell is what C++ allocations still hold (the map object
// and its cells, counted by the replaced operator new below at the allocator's usable size);
// heap_per_cell is glibc's own figure (mallinfo2), which also sees plain mallocs such as the
// texts' buffers but not a small block taken from a per-thread cache. Not a timing: one
// iteration each.

#include "BenchSupport.h"

#include "model/typeU.h"

#include <QTemporaryDir>

#if defined(__GLIBC__)
#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {
std::atomic<qint64> LiveBytes{0};
} // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    LiveBytes += qint64(malloc_usable_size(p));
    return p;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    if (!p)
        return;
    LiveBytes -= qint64(malloc_usable_size(p));
    std::free(p);
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

// Bytes in use on the heap, including the large blocks glibc maps on their own.
qint64 HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

struct Held {
    qint64 Live = 0;
    qint64 Heap = 0;
};

template <class Make> void Measure(benchmark::State& state, qint64 cells, Make make) {
    Held held;
    for (auto _ : state) {
        const qint64 live = LiveBytes;
        const qint64 heap = HeapInUse();
        std::unique_ptr<tMap> map = make();
        held.Live = LiveBytes - live;
        held.Heap = HeapInUse() - heap;
        benchmark::DoNotOptimize(map.get());
    }
    state.counters["cells"] = double(cells);
    state.counters["bytes"] = double(held.Live);
    state.counters["bytes_per_cell"] = double(held.Live) / double(cells);
    state.counters["heap_per_cell"] = double(held.Heap) / double(cells);
}

// arg: width and height in cells
void BM_MapMemoryNew(benchmark::State& state) {
    const qint32 side = qint32(state.range(0));
    Measure(state, qint64(side) * side, [&] {
        auto map = std::make_unique<tMap>(48, nullptr);
        map->New(side, side, 48);
        return map;
    });
}
BENCHMARK(BM_MapMemoryNew)
    ->ArgName("side")
    ->Arg(64)
    ->Arg(1024)
    ->Arg(4096)
    ->Iterations(1)
    ->Repetitions(1);

void BM_MapMemoryLoaded(benchmark::State& state) {
    const qint32 side = qint32(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.map"));
    {
        tMap map(48, nullptr);
        map.New(side, side, 48);
        map.Text1 = "testing!!!";
        map.PackName = "ground.pac";
        map.SaveToFile(path);
    }
    Measure(state, qint64(side) * side, [&] {
        auto map = std::make_unique<tMap>(48, nullptr);
        map->LoadFromFile(path);
        return map;
    });
}
BENCHMARK(BM_MapMemoryLoaded)
    ->ArgName("side")
    ->Arg(64)
    ->Arg(1024)
    ->Arg(4096)
    ->Iterations(1)
    ->Repetitions(1);

} // namespace
#endif

KORVANE_BENCH_MAIN()
