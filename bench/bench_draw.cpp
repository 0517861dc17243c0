// Map.Draw of a full 1920 × 1080 view against F, one memcpy of such a frame, and the window's
// full redraw of that view at every zoom. The tiles are loaded from real BMP files, half of
// them 24-bit and half 8-bit with a palette, as the editor gets them from users; cells pick
// tiles at random so neighbours differ.

#include "BenchSupport.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Canvas.h"
#include "render/MapRenderer.h"

namespace {

constexpr int TileKinds = 32;

// A full-frame view over a map, larger than the view, of randomly chosen tiles.
struct Scene {
    // A map just larger than the view unless the side (in cells) is given.
    explicit Scene(int tileSize, qint32 side = 0)
        : Pack(Bench::LoadTilePack(tileSize, TileKinds)),
          Surface(QSize(Bench::FrameWidth, Bench::FrameHeight)), Map(tileSize),
          View(Map, *Pack, &Surface) {
        View.SetViewSize(Bench::FrameWidth, Bench::FrameHeight);
        Map.New(side ? side : Bench::FrameWidth / tileSize + 8,
                side ? side : Bench::FrameHeight / tileSize + 8, tileSize);
        Bench::FillCells(Map, TileKinds);
    }
    std::unique_ptr<TilePack> Pack;
    Canvas Surface;
    TileMap Map;
    MapRenderer View;
};

// args: tile size in pixels, scroll offset in pixels (both axes)
void BM_Draw(benchmark::State& state, Bench::Cache cache) {
    const int shift = int(state.range(1));
    Scene scene(int(state.range(0)));
    MapRenderer& map = scene.View;
    map.OffsetX = shift;
    map.OffsetY = shift;
    Bench::FrameCopy frame;
    map.Draw(true);
    Bench::Compare(
        state, cache, "xF", [&] { map.Draw(false); }, frame);
}
KORVANE_BENCH_BOTH(BM_Draw, ->ArgNames({"tile", "shift"})
                                ->Args({48, 0})
                                ->Args({16, 0})
                                ->Args({48, 4})
                                ->UseManualTime()
                                ->Unit(benchmark::kMillisecond));

// The model's scroll step: erase the grid (off here), move 4 pixels, redraw the whole view. The
// view moves back and forth across an unaligned position.
void BM_Scroll(benchmark::State& state, Bench::Cache cache) {
    Scene scene(int(state.range(0)));
    MapRenderer& map = scene.View;
    map.OffsetX = 8;
    Bench::FrameCopy frame;
    int step = 0;
    Bench::Compare(
        state, cache, "xF", [&] { map.Scroll(++step % 2 ? 1 : 2); }, frame);
}
KORVANE_BENCH_BOTH(
    BM_Scroll, ->ArgNames({"tile"})->Arg(48)->UseManualTime()->Unit(benchmark::kMillisecond));

// The window's full redraw (Redraw of the whole view) of a 4096 × 4096 map of 48-pixel
// tiles at 2^zoom, the view in the middle of the map as far as the zoom lets it be (at the
// smallest zoom the whole map fits). The zoomed-out looks, made once per pack change, are
// made by the untimed first run: the rows measure drawing with them ready.
void BM_DrawZoom(benchmark::State& state, Bench::Cache cache) {
    static Scene scene(48, 4096);
    MapRenderer& map = scene.View;
    map.OffsetX = 0;
    map.OffsetY = 0;
    map.Zoom = qint32(state.range(0));
    const QSize shown = map.Mapping().MapSize(QSize(Bench::FrameWidth, Bench::FrameHeight));
    const qint64 middle = qint64(scene.Map.Width) * scene.Map.TileSize / 2;
    map.ScrollTo(middle - shown.width() / 2, middle - shown.height() / 2);
    state.counters["offset_x"] = map.OffsetX;
    state.counters["offset_y"] = map.OffsetY;
    const QRect view(0, 0, Bench::FrameWidth, Bench::FrameHeight);
    Bench::FrameCopy frame;
    Bench::Compare(
        state, cache, "xF", [&] { map.Redraw(view); }, frame);
    // What the view keeps of the map to draw cells smaller than a pixel.
    state.counters["samples_per_cell"] =
        double(map.SampleBytes()) / double(scene.Map.Cells.Count());
}
KORVANE_BENCH_BOTH(BM_DrawZoom, ->ArgNames({"zoom"})
                                    ->DenseRange(ViewMapping::MinZoom, ViewMapping::MaxZoom)
                                    ->UseManualTime()
                                    ->Unit(benchmark::kMillisecond));

} // namespace

KORVANE_BENCH_MAIN()
