#pragma once

// What every bench shares: the baselines the targets are ratios of (F, R, W, Q), the cache
// states rows are measured in, a timer that measures an operation and its baseline each in its
// own loop, and real BMP files to load.

#include <QByteArray>
#include <QRgb>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <vector>

class TileMap;
class TilePack;

class CellGrid;

namespace Bench {

// The view the drawing targets are set for.
constexpr int FrameWidth = 1920;
constexpr int FrameHeight = 1080;

// The cache state a row is measured in. Warm: the operation runs again and again, so what it
// touches stays in the caches between runs. Cold: before every run a buffer larger than the
// last-level cache is written, so the run starts with nothing of its own in any cache.
enum class Cache { Warm, Cold };
// Runs per repetition of a cold row: each needs an eviction, which costs far more than most
// operations, so the count is fixed instead of left to the library's time goal.
constexpr int ColdRuns = 15;
// Writes a buffer larger than the last-level cache, one byte in every cache line.
void EvictCaches();

// Baseline F: one memcpy of a 1920 × 1080 RGB32 frame between two buffers already touched:
// the least it can cost to touch every pixel of a full view once.
class FrameCopy {
public:
    FrameCopy();
    void operator()();

private:
    std::vector<quint32> From;
    std::vector<quint32> To;
};

// Baseline R: a file's bytes read from the page cache into a buffer of the file's size that is
// already touched (opened, read whole with unbuffered reads, closed).
class FileRead {
public:
    explicit FileRead(const QString& path);
    void operator()();
    qint64 Size() const { return qint64(Buffer.size()); }

private:
    QString Path;
    std::vector<char> Buffer;
};

// Baseline W: bytes written to a file as every save of the editor writes (QSaveFile,
// unbuffered, then commit: synced to disk and renamed over the target).
class FileSave {
public:
    FileSave(const QString& path, QByteArray bytes) : Path(path), Bytes(std::move(bytes)) {}
    void operator()();

private:
    QString Path;
    QByteArray Bytes;
};

// Baseline Q: Qt's own BMP reader decoding image files held in memory, one after another on
// one thread, each converted to RGB32 as the editor keeps its tiles.
class DecodeImages {
public:
    explicit DecodeImages(std::vector<QByteArray> files) : Files(std::move(files)) {}
    void operator()();

private:
    std::vector<QByteArray> Files;
};

double Median(std::vector<double> values);

// P: the median of five passes that read and write every cell of the grid, warm.
double CellPassSeconds(CellGrid& grid);

template <class F> double SecondsOf(F&& f) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    f();
    benchmark::ClobberMemory();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The median time of runs runs of f in the given cache state, after one untimed run.
template <class F> double MedianSeconds(Cache cache, std::size_t runs, F&& f) {
    std::vector<double> times;
    f();
    for (std::size_t i = 0; i < runs; ++i) {
        if (cache == Cache::Cold)
            EvictCaches();
        times.push_back(SecondsOf(f));
    }
    return Median(std::move(times));
}

// Measures op in the benchmark's own loop, then base in a loop of its own with as many runs,
// both in the given cache state and each after one untimed run. The iteration time (use
// UseManualTime) is the operation's; op_ms and base_ms are the two medians and the counter
// ratioName is their quotient. After each run of the operation, untimed, next() prepares the
// next one (for a row that must not repeat the same work).
template <class Op, class Base, class Next>
void Compare(benchmark::State& state, Cache cache, const char* ratioName, Op&& op, Base&& base,
             Next&& next) {
    std::vector<double> ops;
    op();
    next();
    for (auto _ : state) {
        if (cache == Cache::Cold)
            EvictCaches();
        const double seconds = SecondsOf(op);
        next();
        ops.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    const double opMedian = Median(ops);
    const double baseMedian = MedianSeconds(cache, std::max<std::size_t>(ops.size(), 5), base);
    state.counters[ratioName] = baseMedian > 0 ? opMedian / baseMedian : 0;
    state.counters["op_ms"] = opMedian * 1e3;
    state.counters["base_ms"] = baseMedian * 1e3;
}

template <class Op, class Base>
void Compare(benchmark::State& state, Cache cache, const char* ratioName, Op&& op, Base&& base) {
    Compare(state, cache, ratioName, op, base, [] {});
}

// Registers a row twice, as name/warm and name/cold; the cold one runs ColdRuns times.
#define KORVANE_BENCH_BOTH(function, ...)                                                          \
    BENCHMARK_CAPTURE(function, warm, Bench::Cache::Warm) __VA_ARGS__;                             \
    BENCHMARK_CAPTURE(function, cold, Bench::Cache::Cold)->Iterations(Bench::ColdRuns) __VA_ARGS__

// A real Windows BMP of size × size pixels at 24 or 8 bits per pixel (the 8-bit one with a
// 256-colour palette), bottom-up as most tools write them, with a textured pattern that
// differs by seed. Throws std::runtime_error unless Qt decodes it to TilePixel's colours.
QByteArray MakeTileBmp(int size, int bits, quint32 seed);
// The colour the tile MakeTileBmp makes shows at (x, y), counted from the top.
QRgb TilePixel(int size, int bits, quint32 seed, int x, int y);
void WriteFile(const QString& path, const QByteArray& bytes);

// A pack of kinds tiles of size × size pixels, every one loaded from a BMP file the way the
// editor adds tiles, half of them 24-bit and half 8-bit with a palette.
std::unique_ptr<TilePack> LoadTilePack(int size, int kinds);
// Fills every cell with one of the first kinds tiles, at random but the same every run, so
// neighbours differ.
void FillCells(TileMap& map, int kinds);

} // namespace Bench

namespace Bench {
// Reads the benchmark flags and picks the offscreen platform unless one is set; false on a
// flag it does not know.
bool Init(int& argc, char** argv);
// Runs the benchmarks the flags select.
void Run();
// Google Benchmark's main with an offscreen Qt application around it, as the model's images
// and painters expect one.
int Main(int argc, char** argv);
} // namespace Bench

#define KORVANE_BENCH_MAIN()                                                                       \
    int main(int argc, char** argv) {                                                              \
        return Bench::Main(argc, argv);                                                            \
    }
