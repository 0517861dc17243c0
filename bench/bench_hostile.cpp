// Peak heap while the readers refuse hostile files, and while they load the largest tile image
// they accept: what a file can make the editor allocate. One iteration each; the counters are
// peak_mib (the most bytes in use at once above what was in use before, counted at glibc's
// malloc) and bound_mib, the limit the README states for the case. Refusals are timed too.

#include "BenchSupport.h"
#include "formats/MapFile.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "HeapCounter.h"

#if defined(KORVANE_HEAP_COUNTED)
namespace {
QByteArray Le(std::initializer_list<qint32> values) {
    QByteArray bytes(4 * qsizetype(values.size()), Qt::Uninitialized);
    qToLittleEndian<qint32>(values.begin(), values.size(), bytes.data());
    return bytes;
}

// An 8-bit RLE bitmap of side × side pixels, every line runs of run pixels of one colour.
QByteArray RleBmp(qint32 side, qint32 run) {
    QByteArray line;
    for (qint32 left = side; left > 0; left -= run)
        line += char(qMin(left, run)) + QByteArray(1, 7);
    line += QByteArray(2, 0); // end of line
    QByteArray pixels;
    pixels.reserve(line.size() * side + 2);
    for (qint32 y = 0; y < side; ++y)
        pixels += line;
    pixels += QByteArray("\0\1", 2); // end of bitmap
    QByteArray palette;
    for (int i = 0; i < 256; ++i)
        palette += Le({qint32(qRgb(i, 255 - i, i / 2))});
    const qint32 offset = 14 + 40 + palette.size();
    return "BM" + Le({offset + qint32(pixels.size()), 0, offset}) + Le({40, side, side}) +
           QByteArray("\1\0\x08\0", 4) + Le({1, qint32(pixels.size()), 2835, 2835, 256, 0}) +
           palette + pixels;
}

QByteArray MapHeader(const QByteArray& packName, qint32 width, qint32 height) {
    return Le({0, 0, qint32(packName.size())}) + packName + Le({0, width, height, width});
}

// Runs load once, which must throw unless refused is false, and reports its peak.
template <class Load> void Measure(benchmark::State& state, double boundMiB, Load load) {
    for (auto _ : state) {
        const qint64 before = HeapCounter::Live;
        HeapCounter::ResetPeak();
        try {
            load();
        } catch (const Exception& e) {
            state.SetLabel(e.Message().left(60).toStdString());
        }
        state.counters["peak_mib"] = double(HeapCounter::Peak - before) / (1 << 20);
    }
    state.counters["bound_mib"] = boundMiB;
}

// A map that claims 16384 × 16384 cells (1 GiB) and lacks its last byte: refused from its
// header. The file is sparse, so making it costs no disk.
void BM_HostileMapOneByteShort(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("short.map"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    const QByteArray header = MapHeader("p.pac", 16384, 16384);
    file.write(header);
    file.resize(header.size() + (qint64(1) << 30) - 1);
    file.close();
    Measure(state, 1, [&] {
        TileMap map(48);
        MapFile::Read(map, path);
    });
}
BENCHMARK(BM_HostileMapOneByteShort)->Iterations(1)->Repetitions(1)->UseRealTime();

// A map whose tile pack name is 64 MiB long: refused from the name's length.
void BM_HostileMapPackName64MiB(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("name.map"));
    Bench::WriteFile(path, MapHeader(QByteArray(64 << 20, 'n'), 0, 0));
    Measure(state, 1, [&] {
        TileMap map(48);
        MapFile::Read(map, path);
    });
}
BENCHMARK(BM_HostileMapPackName64MiB)->Iterations(1)->Repetitions(1)->UseRealTime();

// An RLE bitmap of a few MiB that claims 16384 × 16384 pixels (a 1 GiB picture): refused from
// its header, after the file is read (the file and the decoder's copy of it).
void BM_HostileRleBitmap(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.bmp"));
    const QByteArray bmp = RleBmp(16384, 255);
    Bench::WriteFile(path, bmp);
    state.counters["file_mib"] = double(bmp.size()) / (1 << 20);
    Measure(state, 2 * double(bmp.size()) / (1 << 20) + 1, [&] { Bitmap().LoadFromFile(path); });
}
BENCHMARK(BM_HostileRleBitmap)->Iterations(1)->Repetitions(1)->UseRealTime();

// The largest tile image the editor accepts, 4096 × 4096 in 8-bit RLE (short runs, since a
// file may hold at most 64 pixels a byte): the decoded picture (64 MiB in RGB32) and the
// decoder's 8-bit one (16 MiB).
void BM_LargestTileImage(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("largest.bmp"));
    const QByteArray bmp = RleBmp(Bitmap::MaxSide, 127);
    Bench::WriteFile(path, bmp);
    Measure(state, 96, [&] { Bitmap().LoadFromFile(path); });
}
BENCHMARK(BM_LargestTileImage)->Iterations(1)->Repetitions(1)->UseRealTime();
} // namespace
#endif

KORVANE_BENCH_MAIN()
