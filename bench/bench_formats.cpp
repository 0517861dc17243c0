// The other formats against R, the map file's bytes read into a touched buffer: a 4096 × 4096
// map with every cell a tile of a 255-tile pack (or empty) exported to and imported from TMX,
// JSON and CSV. Export writes the file (and the atlas, 255 tiles of 48 pixels); import reads
// it whole and builds the map (and pack).

#include "BenchSupport.h"
#include "formats/MapFile.h"
#include "formats/TiledFormats.h"

#include "model/TileMap.h"
#include "model/TilePack.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

constexpr qint32 MapSide = 4096;
constexpr int PackTiles = 255;

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

struct Scene {
    TileMap Map{48};
    std::unique_ptr<TilePack> Pack;
    QString MapPath;
};

const Scene& TheScene() {
    static const Scene scene = [] {
        Scene made;
        made.Map.New(MapSide, MapSide, 48);
        made.Map.PackName = "ground.pac";
        made.Map.Text1 = "testing!!!";
        quint32 state = 1;
        for (qint32 x = 0; x < MapSide; ++x)
            for (qint32 y = 0; y < MapSide; ++y) {
                state = state * 1664525u + 1013904223u;
                made.Map.Cells[x][std::size_t(y)] = TileIndex((state >> 24) % (PackTiles + 1)) - 1;
            }
        made.Pack = Bench::LoadTilePack(48, PackTiles);
        made.MapPath = Dir().filePath(QStringLiteral("big.map"));
        MapFile::Write(made.Map, made.MapPath);
        return made;
    }();
    return scene;
}

QString Target(const char* extension) {
    return Dir().filePath(QStringLiteral("big.") + QLatin1String(extension));
}

void Export(benchmark::State& state, Bench::Cache cache, const char* extension) {
    const Scene& scene = TheScene();
    const QString target = Target(extension);
    Bench::FileRead read(scene.MapPath);
    Bench::Compare(
        state, cache, "xR", [&] { TiledFormats::Export(scene.Map, *scene.Pack, target); }, read);
    state.counters["MiB"] = double(QFileInfo(target).size()) / (1 << 20);
}

void Import(benchmark::State& state, Bench::Cache cache, const char* extension) {
    const Scene& scene = TheScene();
    const QString source = Target(extension);
    TiledFormats::Export(scene.Map, *scene.Pack, source);
    Bench::FileRead read(scene.MapPath);
    TileMap map(48);
    TilePack pack;
    const bool csv = QLatin1String(extension) == QLatin1String("csv");
    Bench::Compare(
        state, cache, "xR",
        [&] {
            if (csv)
                TiledFormats::ReadCsv(map, source);
            else
                TiledFormats::Import(map, pack, source);
        },
        read);
    state.counters["MiB"] = double(QFileInfo(source).size()) / (1 << 20);
}

void BM_TmxExport(benchmark::State& state, Bench::Cache cache) {
    Export(state, cache, "tmx");
}
void BM_TmxImport(benchmark::State& state, Bench::Cache cache) {
    Import(state, cache, "tmx");
}
void BM_TmjExport(benchmark::State& state, Bench::Cache cache) {
    Export(state, cache, "tmj");
}
void BM_TmjImport(benchmark::State& state, Bench::Cache cache) {
    Import(state, cache, "tmj");
}
void BM_CsvExport(benchmark::State& state, Bench::Cache cache) {
    Export(state, cache, "csv");
}
void BM_CsvImport(benchmark::State& state, Bench::Cache cache) {
    Import(state, cache, "csv");
}
KORVANE_BENCH_BOTH(BM_TmxExport, ->UseManualTime()->Unit(benchmark::kMillisecond));
KORVANE_BENCH_BOTH(BM_TmxImport, ->UseManualTime()->Unit(benchmark::kMillisecond));
KORVANE_BENCH_BOTH(BM_TmjExport, ->UseManualTime()->Unit(benchmark::kMillisecond));
KORVANE_BENCH_BOTH(BM_TmjImport, ->UseManualTime()->Unit(benchmark::kMillisecond));
KORVANE_BENCH_BOTH(BM_CsvExport, ->UseManualTime()->Unit(benchmark::kMillisecond));
KORVANE_BENCH_BOTH(BM_CsvImport, ->UseManualTime()->Unit(benchmark::kMillisecond));

} // namespace

KORVANE_BENCH_MAIN()
