// Map.Draw of a full 1920 × 1080 view against F, one memcpy of such a frame. The tiles are
// loaded from real BMP files, half of them 24-bit and half 8-bit with a palette, as the editor
// gets them from users; cells pick tiles at random so neighbours differ.

#include "BenchSupport.h"

#include "model/typeU.h"
#include "platform/TCanvas.h"

namespace {

constexpr int TileKinds = 32;

// A full-frame view over a map, larger than the view, of randomly chosen tiles.
struct TScene {
    explicit TScene(int tileSize)
        : Pack(Bench::LoadTilePack(tileSize, TileKinds)),
          Canvas(QSize(Bench::FrameWidth, Bench::FrameHeight)), Map(tileSize, &Canvas) {
        Map.SetViewSize(Bench::FrameWidth, Bench::FrameHeight);
        Map.SetTilePackRef(&Pack);
        Map.New(Bench::FrameWidth / tileSize + 8, Bench::FrameHeight / tileSize + 8, tileSize);
        Bench::FillCells(Map, TileKinds);
    }
    std::unique_ptr<tTilePack> Pack;
    TCanvas Canvas;
    tMap Map;
};

// args: tile size in pixels, scroll offset in pixels (both axes)
void BM_Draw(benchmark::State& state, Bench::TCache cache) {
    const int shift = int(state.range(1));
    TScene scene(int(state.range(0)));
    tMap& map = scene.Map;
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
void BM_Scroll(benchmark::State& state, Bench::TCache cache) {
    TScene scene(int(state.range(0)));
    tMap& map = scene.Map;
    map.OffsetX = 8;
    Bench::FrameCopy frame;
    int step = 0;
    Bench::Compare(
        state, cache, "xF", [&] { map.Scroll(++step % 2 ? 1 : 2); }, frame);
}
KORVANE_BENCH_BOTH(
    BM_Scroll, ->ArgNames({"tile"})->Arg(48)->UseManualTime()->Unit(benchmark::kMillisecond));

} // namespace

KORVANE_BENCH_MAIN()
