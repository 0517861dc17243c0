// The two file formats against their baselines: R reads the map file's bytes into a touched
// buffer, W writes the same bytes as every save of the editor does, Q decodes the pack's BMP
// files with Qt's own reader one after another.

#include "BenchSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"

#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

namespace {

constexpr qint32 MapSide = 4096;
constexpr int PackTiles = 1000;
constexpr int PackTileSize = 48;

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

std::unique_ptr<TileMap> MakeMap() {
    auto map = std::make_unique<TileMap>(48);
    map->New(MapSide, MapSide, 48);
    map->PackName = "ground.pac";
    map->Text1 = "testing!!!";
    quint32 state = 1;
    for (qint32 x = 0; x < MapSide; ++x)
        for (qint32 y = 0; y < MapSide; ++y) {
            state = state * 1664525u + 1013904223u;
            map->Cells[x][std::size_t(y)] = TileIndex(state >> 24) - 1;
        }
    return map;
}

const QString& MapFile() {
    static const QString path = [] {
        const QString p = Dir().filePath(QStringLiteral("big.map"));
        MapFile::Write(*MakeMap(), p);
        return p;
    }();
    return path;
}

// The pack's file and the BMP files of its tiles.
struct PackFiles {
    QString Path;
    std::vector<QByteArray> Images;
};

const PackFiles& MadePackFiles() {
    static const PackFiles files = [] {
        PackFiles made;
        TilePack pack;
        for (int i = 0; i < PackTiles; ++i) {
            made.Images.push_back(Bench::MakeTileBmp(PackTileSize, i % 2 ? 8 : 24, quint32(i)));
            TileRef tile = std::make_unique<Tile>();
            tile->Name = QByteArray("tile") + QByteArray::number(i);
            tile->Param1 = i;
            tile->Image->LoadFromBytes(made.Images.back());
            pack.Add(std::move(tile));
        }
        made.Path = Dir().filePath(QStringLiteral("big.pac"));
        PackFile::Write(pack, made.Path);
        return made;
    }();
    return files;
}

// The file's bytes read into memory allocated for each read: R plus what the system's first
// touch of fresh pages costs, which a load into a new grid pays too.
void ReadIntoFreshMemory(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw std::runtime_error("cannot open " + path.toStdString());
    const qint64 size = file.size();
    const auto buffer = std::make_unique_for_overwrite<char[]>(std::size_t(size));
    for (qint64 done = 0; done < size;) {
        const qint64 got = file.read(buffer.get() + done, size - done);
        if (got <= 0)
            throw std::runtime_error("cannot read " + path.toStdString());
        done += got;
    }
    benchmark::DoNotOptimize(buffer.get());
}

// The load against R, and against the read into fresh memory (fresh_R_ms, xRfresh).
void BM_MapLoad(benchmark::State& state, Bench::Cache cache) {
    const QString& path = MapFile();
    TileMap map(48);
    Bench::FileRead read(path);
    Bench::Compare(
        state, cache, "xR", [&] { MapFile::Read(map, path); }, read);
    const double fresh = Bench::MedianSeconds(cache, 11, [&] { ReadIntoFreshMemory(path); }) * 1e3;
    state.counters["fresh_R_ms"] = fresh;
    state.counters["xRfresh"] = state.counters["op_ms"] / fresh;
    state.counters["MiB"] = double(read.Size()) / (1 << 20);
}
KORVANE_BENCH_BOTH(BM_MapLoad, ->UseManualTime()->Unit(benchmark::kMillisecond));

void BM_MapSave(benchmark::State& state, Bench::Cache cache) {
    const std::unique_ptr<TileMap> map = MakeMap();
    const QByteArray bytes = MapFile::Bytes(*map);
    const QString target = Dir().filePath(QStringLiteral("saved.map"));
    Bench::FileSave save(Dir().filePath(QStringLiteral("plain.map")), bytes);
    Bench::Compare(
        state, cache, "xW", [&] { MapFile::Write(*map, target); }, save);
    state.counters["MiB"] = double(bytes.size()) / (1 << 20);
}
KORVANE_BENCH_BOTH(BM_MapSave, ->UseManualTime()->Unit(benchmark::kMillisecond));

void BM_PackLoad(benchmark::State& state, Bench::Cache cache) {
    const PackFiles& files = MadePackFiles();
    TilePack pack;
    Bench::DecodeImages decode(files.Images);
    Bench::Compare(
        state, cache, "xQ", [&] { PackFile::Read(pack, files.Path); }, decode);
    // The file read alone, for scale.
    Bench::FileRead read(files.Path);
    state.counters["R_ms"] = Bench::MedianSeconds(cache, 11, read) * 1e3;
    state.counters["tiles"] = pack.Count();
    state.counters["MiB"] = double(read.Size()) / (1 << 20);
}
KORVANE_BENCH_BOTH(BM_PackLoad, ->UseManualTime()->Unit(benchmark::kMillisecond));

} // namespace

KORVANE_BENCH_MAIN()
