// The window rows against F: a painting mouse move, a scroll step, a zoom step and a pan step,
// end to end through the main window. Each step is an event sent to the window as Qt delivers it
// (through the application object), the handler's work (write the cell, redraw the map), and the
// present: the posted update processed until the view has painted the canvas into the
// window's backing store. The map view is 1920 × 1080 pixels, the tiles 48-pixel BMPs; the zoom
// and pan steps move over a 4096 × 4096 map.

#include "BenchSupport.h"

#include "model/typeU.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <QEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {

constexpr int TileKinds = 32;

// Counts the paint events the map view receives and the pixels they present, to show what each
// step presented.
class PaintCounter : public QObject {
public:
    int Paints = 0;
    qint64 Pixels = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++Paints;
            for (const QRect& rect : static_cast<QPaintEvent*>(event)->region())
                Pixels += qint64(rect.width()) * rect.height();
        }
        return false;
    }
};

// Sizes the window so the map view is exactly one benchmark frame, loads the tiles and a map
// of side × side cells, by default one just larger than the view, and lets the window settle
// unzoomed at the map's top-left corner. A large map is made once and kept for the rows after.
void SetUpWindow(qint32 side = 0) {
    mainWindow->show();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QSize missing =
            QSize(Bench::FrameWidth, Bench::FrameHeight) - mainWindow->mapView->size();
        if (missing.isNull())
            break;
        mainWindow->resize(mainWindow->size() + missing);
        QCoreApplication::processEvents();
    }
    mainWindow->Renderer().Zoom = 0;
    mainWindow->Renderer().OffsetX = 0;
    mainWindow->Renderer().OffsetY = 0;
    if (!side || Map->Width != side || Map->Height != side) {
        TilePack = Bench::LoadTilePack(48, TileKinds);
        mainWindow->updateTileList();
        Map->New(side ? side : Bench::FrameWidth / 48 + 8,
                 side ? side : Bench::FrameHeight / 48 + 8, 48);
        Bench::FillCells(*Map, TileKinds - 2); // the last two are for painting
    }
    mainWindow->RedrawMap();
    QCoreApplication::processEvents();
}

void Present() {
    QCoreApplication::processEvents();
}

void Report(benchmark::State& state, const PaintCounter& counter, qint64 steps) {
    state.counters["view_w"] = mainWindow->mapView->width();
    state.counters["view_h"] = mainWindow->mapView->height();
    state.counters["paints_per_step"] = double(counter.Paints) / double(qMax<qint64>(1, steps));
    state.counters["presented_px_per_step"] =
        double(counter.Pixels) / double(qMax<qint64>(1, steps));
}

void SendMouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, mainWindow->mapView->mapToGlobal(at), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(mainWindow->mapView, &event);
}

// Each step moves the pointer, with the left button down, one cell to the right, so the
// straight path from the last position paints the cell it left (already this tile) and the
// one it enters: one cell changes, as changed_per_step shows. The two tiles painted are not
// among those the map was filled with, and each sweep of the view paints the other one. At the
// end of a row the stroke is ended and begun again on the next row, untimed.
void BM_WindowPaintMove(benchmark::State& state, Bench::TCache cache) {
    SetUpWindow();
    constexpr int Cell = 48;
    const int columns = Bench::FrameWidth / Cell, rows = Bench::FrameHeight / Cell;
    int column = 0, row = 0, sweep = 0;
    QPoint at;
    auto begin = [&] {
        mainWindow->tileList->setCurrentRow(TileKinds - 1 - sweep % 2);
        at = QPoint(Cell / 2, Cell / 2 + Cell * row);
        SendMouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        SendMouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        Present();
    };
    begin();
    PaintCounter counter;
    mainWindow->mapView->installEventFilter(&counter);
    qint64 moves = 0, changed = 0;
    // The cell the next move enters, as it was before.
    auto cellAhead = [&] { return Map->Cells[at.x() / Cell + 1][std::size_t(at.y() / Cell)]; };
    TileIndex ahead = cellAhead();
    Bench::Compare(
        state, cache, "xF",
        [&] {
            at.rx() += Cell;
            SendMouse(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
            Present();
        },
        Bench::FrameCopy(),
        [&] {
            ++moves;
            const TileIndex now = Map->Cells[at.x() / Cell][std::size_t(at.y() / Cell)];
            changed += now != ahead && now == mainWindow->SelectedTile();
            if (++column == columns - 1) {
                column = 0;
                if (++row == rows) {
                    row = 0;
                    ++sweep;
                }
                mainWindow->mapView->removeEventFilter(&counter);
                begin();
                mainWindow->mapView->installEventFilter(&counter);
            }
            ahead = cellAhead();
        });
    mainWindow->mapView->removeEventFilter(&counter);
    SendMouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    Report(state, counter, moves);
    state.counters["changed_per_step"] = double(changed) / double(qMax<qint64>(1, moves));
}
KORVANE_BENCH_BOTH(BM_WindowPaintMove, ->UseManualTime()->Unit(benchmark::kMillisecond));

void BM_WindowScrollStep(benchmark::State& state, Bench::TCache cache) {
    SetUpWindow();
    // Right and left in turn between two unaligned offsets.
    mainWindow->Renderer().OffsetX = 24;
    mainWindow->Renderer().OffsetY = 8;
    mainWindow->RedrawMap();
    Present();
    PaintCounter counter;
    mainWindow->mapView->installEventFilter(&counter);
    qint64 step = 0;
    Bench::Compare(
        state, cache, "xF",
        [&] {
            QKeyEvent key(QEvent::KeyPress, ++step % 2 ? Qt::Key_Right : Qt::Key_Left,
                          Qt::NoModifier);
            QCoreApplication::sendEvent(mainWindow, &key);
            Present();
        },
        Bench::FrameCopy());
    mainWindow->mapView->removeEventFilter(&counter);
    Report(state, counter, step);
}
KORVANE_BENCH_BOTH(BM_WindowScrollStep, ->UseManualTime()->Unit(benchmark::kMillisecond));

// Zooms the window to 2^zoom with the view in the middle of the 4096 × 4096 map.
void SetUpMiddle(qint32 zoom) {
    SetUpWindow(4096);
    mainWindow->Renderer().Zoom = zoom;
    const QSize shown = mainWindow->Renderer().Mapping().MapSize(
        QSize(mainWindow->Renderer().ViewWidth, mainWindow->Renderer().ViewHeight));
    const qint64 middle = qint64(Map->Width) * Map->TileSize / 2;
    mainWindow->Renderer().ScrollTo(middle - shown.width() / 2, middle - shown.height() / 2);
    mainWindow->RedrawMap();
    Present();
}

// One notch of Ctrl+wheel at the middle of the view, in (zoom in) and out in turn, between
// 2^zoom and 2^(zoom + 1): the zoom, the full redraw, the status text, the present.
void BM_WindowZoomStep(benchmark::State& state, Bench::TCache cache) {
    const qint32 zoom = qint32(state.range(0));
    SetUpMiddle(zoom);
    const QPoint at = mainWindow->mapView->rect().center();
    PaintCounter counter;
    mainWindow->mapView->installEventFilter(&counter);
    qint64 step = 0;
    bool zoomsKept = true;
    Bench::Compare(
        state, cache, "xF",
        [&] {
            const int notch = ++step % 2 ? 120 : -120;
            QWheelEvent wheel(at, mainWindow->mapView->mapToGlobal(at), QPoint(), QPoint(0, notch),
                              Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(mainWindow->mapView, &wheel);
            Present();
        },
        Bench::FrameCopy(),
        [&] { zoomsKept &= mainWindow->Renderer().Zoom == zoom + qint32(step % 2); });
    mainWindow->mapView->removeEventFilter(&counter);
    Report(state, counter, step);
    if (!zoomsKept)
        state.SkipWithError("a wheel notch did not zoom by one step");
}
KORVANE_BENCH_BOTH(
    BM_WindowZoomStep, ->ArgNames({"zoom"})->Arg(-1)->Arg(-4)->Arg(-8)->UseManualTime()->Unit(
                           benchmark::kMillisecond));

// One mouse move of a middle-button drag at 2^zoom, 4 view pixels right and down and back in
// turn: the pan, the redraw of what it uncovers, the present.
void BM_WindowPanStep(benchmark::State& state, Bench::TCache cache) {
    SetUpMiddle(qint32(state.range(0)));
    const QPoint from = mainWindow->mapView->rect().center();
    SendMouse(QEvent::MouseButtonPress, from, Qt::MiddleButton, Qt::MiddleButton);
    Present();
    const QPoint start(mainWindow->Renderer().OffsetX, mainWindow->Renderer().OffsetY);
    PaintCounter counter;
    mainWindow->mapView->installEventFilter(&counter);
    qint64 step = 0;
    bool moved = true;
    Bench::Compare(
        state, cache, "xF",
        [&] {
            const QPoint to = ++step % 2 ? from + QPoint(4, 4) : from;
            SendMouse(QEvent::MouseMove, to, Qt::NoButton, Qt::MiddleButton);
            Present();
        },
        Bench::FrameCopy(),
        [&] {
            moved &= (QPoint(mainWindow->Renderer().OffsetX, mainWindow->Renderer().OffsetY) ==
                      start) == (step % 2 == 0);
        });
    mainWindow->mapView->removeEventFilter(&counter);
    SendMouse(QEvent::MouseButtonRelease, from, Qt::MiddleButton, Qt::NoButton);
    Report(state, counter, step);
    if (!moved)
        state.SkipWithError("a drag step did not move the view");
}
KORVANE_BENCH_BOTH(BM_WindowPanStep, ->ArgNames({"zoom"})->Arg(0)->Arg(-4)->UseManualTime()->Unit(
                                         benchmark::kMillisecond));

} // namespace

int main(int argc, char** argv) {
    if (!Bench::Init(argc, argv))
        return 1;
    TApplication application(argc, argv);
    CreateForms();
    Bench::Run();
    DestroyForms();
    return 0;
}
