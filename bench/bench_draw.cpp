// Map.Draw of a full 1920 × 1080 view against F, one memcpy of such a frame. The tiles are
// loaded from real BMP files, half of them 24-bit and half 8-bit with a palette, as the editor
// gets them from users; cells pick tiles at random so neighbours differ.

#include "BenchSupport.h"

#include "model/typeU.h"
#include "platform/TCanvas.h"

namespace {

constexpr int TileKinds = 32;

// args: tile size in pixels, scroll offset in pixels (both axes)
void BM_Draw(benchmark::State& state) {
    const int tileSize = int(state.range(0));
    const int shift = int(state.range(1));
    std::unique_ptr<tTilePack> pack = Bench::LoadTilePack(tileSize, TileKinds);
    TCanvas canvas(QSize(Bench::FrameWidth, Bench::FrameHeight));
    tMap map(tileSize, &canvas);
    map.SetViewSize(Bench::FrameWidth, Bench::FrameHeight);
    map.SetTilePackRef(&pack);
    map.New(Bench::FrameWidth / tileSize + 8, Bench::FrameHeight / tileSize + 8, tileSize);
    Bench::FillCells(map, TileKinds);
    map.OffsetX = shift;
    map.OffsetY = shift;
    Bench::FrameCopy frame;
    map.Draw(true);
    Bench::Paired(
        state, "xF", [&] { map.Draw(false); }, frame);
}
BENCHMARK(BM_Draw)
    ->ArgNames({"tile", "shift"})
    ->Args({48, 0})
    ->Args({16, 0})
    ->Args({48, 4})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The scroll step as the keys do it: erase the grid (off here), move 4 pixels, redraw. The
// view moves back and forth across an unaligned position.
void BM_Scroll(benchmark::State& state) {
    const int tileSize = int(state.range(0));
    std::unique_ptr<tTilePack> pack = Bench::LoadTilePack(tileSize, TileKinds);
    TCanvas canvas(QSize(Bench::FrameWidth, Bench::FrameHeight));
    tMap map(tileSize, &canvas);
    map.SetViewSize(Bench::FrameWidth, Bench::FrameHeight);
    map.SetTilePackRef(&pack);
    map.New(Bench::FrameWidth / tileSize + 8, Bench::FrameHeight / tileSize + 8, tileSize);
    Bench::FillCells(map, TileKinds);
    map.OffsetX = 8;
    Bench::FrameCopy frame;
    int step = 0;
    Bench::Paired(
        state, "xF", [&] { map.Scroll(++step % 2 ? 1 : 2); }, frame);
}
BENCHMARK(BM_Scroll)->ArgNames({"tile"})->Arg(48)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

KORVANE_BENCH_MAIN()
