#pragma once

// What every bench shares: the baselines the targets are ratios of, a paired timer that
// measures an operation and its baseline in the same run, and real BMP files to load.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <vector>

class tMap;
class tTilePack;

namespace Bench {

// The view the drawing targets are set for.
constexpr int FrameWidth = 1920;
constexpr int FrameHeight = 1080;

// Baseline F: one memcpy of a 1920 × 1080 RGB32 frame between two buffers that are already
// mapped, so the copy is what the machine can do at best for a full view.
class FrameCopy {
public:
    FrameCopy();
    void operator()();

private:
    std::vector<quint32> From;
    std::vector<quint32> To;
};

// Baseline R: a file's bytes read into memory, as QFile::readAll does.
QByteArray ReadAll(const QString& path);
// Baseline W: the same bytes written to a file through QSaveFile, the way every file of the
// editor is written (atomically).
void SaveAll(const QString& path, const QByteArray& bytes);

// A real Windows BMP of size × size pixels at 24 or 8 bits per pixel (the 8-bit one with a
// 256-colour palette), bottom-up as most tools write them, with a textured pattern that
// differs by seed.
QByteArray MakeTileBmp(int size, int bits, quint32 seed);
void WriteFile(const QString& path, const QByteArray& bytes);

double Median(std::vector<double> values);

// A pack of kinds tiles of size × size pixels, every one loaded from a BMP file the way the
// editor adds tiles, half of them 24-bit and half 8-bit with a palette.
std::unique_ptr<tTilePack> LoadTilePack(int size, int kinds);
// Fills every cell with one of the first kinds tiles, at random but the same every run, so
// neighbours differ.
void FillCells(tMap& map, int kinds);

// Runs baseline and operation alternately in every iteration, so both see the same machine
// load. The iteration time (use UseManualTime) is the operation's; the counter ratioName is
// the operation's median divided by the baseline's median, and op_ms / base_ms give both.
template <class Op, class Base>
void Paired(benchmark::State& state, const char* ratioName, Op&& op, Base&& base) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> ops;
    std::vector<double> bases;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        base();
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        op();
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double opSeconds = std::chrono::duration<double>(t2 - t1).count();
        bases.push_back(std::chrono::duration<double>(t1 - t0).count());
        ops.push_back(opSeconds);
        state.SetIterationTime(opSeconds);
    }
    const double opMedian = Median(ops);
    const double baseMedian = Median(bases);
    state.counters[ratioName] = baseMedian > 0 ? opMedian / baseMedian : 0;
    state.counters["op_ms"] = opMedian * 1e3;
    state.counters["base_ms"] = baseMedian * 1e3;
}

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
