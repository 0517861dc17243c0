// The window rows against F: a painting mouse move, a scroll step, a zoom step and a pan step,
// end to end through the main window. Each step is an event sent to the window as Qt delivers it
// (through the application object), the handler's work (write the cell, redraw the map), and the
// present: the posted update processed until the view has painted the canvas into the
// window's backing store. The map view is 1920 × 1080 pixels, the tiles 48-pixel BMPs; the zoom
// and pan steps move over a 4096 × 4096 map.

#include "BenchSupport.h"

#include "document/Document.h"
#include "formats/CellClipboard.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QWheelEvent>
#include <functional>
#include <string>

namespace {

constexpr int TileKinds = 32;

// A part of the window by its field's name. Found once a row: steps that are timed do not
// search for it.
template <class T> T& Part(const MainWindow& window, const char* name) {
    T* part = window.findChild<T*>(QLatin1StringView(name));
    if (!part)
        qFatal("the main window has no part named \"%s\"", name);
    return *part;
}

MapView& MapArea(const MainWindow& window) {
    return Part<MapView>(window, "mapView");
}

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
void SetUpWindow(MainWindow& window, qint32 side = 0) {
    window.show();
    const MapView& view = MapArea(window);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QSize missing = QSize(Bench::FrameWidth, Bench::FrameHeight) - view.size();
        if (missing.isNull())
            break;
        window.resize(window.size() + missing);
        QCoreApplication::processEvents();
    }
    window.Renderer().Zoom = 0;
    window.Renderer().OffsetX = 0;
    window.Renderer().OffsetY = 0;
    TileMap& map = window.CurrentDocument().MutableMap();
    if (!side || map.Width != side || map.Height != side) {
        // The tiles go into the window's own pack, which its views draw from.
        window.CurrentDocument().MutablePack().Tiles =
            std::move(Bench::LoadTilePack(48, TileKinds)->Tiles);
        window.updateTileList();
        map.New(side ? side : Bench::FrameWidth / 48 + 8, side ? side : Bench::FrameHeight / 48 + 8,
                48);
        Bench::FillCells(map, TileKinds - 2); // the last two are for painting
    }
    window.RedrawMap();
    QCoreApplication::processEvents();
}

void Present() {
    QCoreApplication::processEvents();
}

void Report(benchmark::State& state, const MainWindow& window, const PaintCounter& counter,
            qint64 steps) {
    state.counters["view_w"] = MapArea(window).width();
    state.counters["view_h"] = MapArea(window).height();
    state.counters["paints_per_step"] = double(counter.Paints) / double(qMax<qint64>(1, steps));
    state.counters["presented_px_per_step"] =
        double(counter.Pixels) / double(qMax<qint64>(1, steps));
}

void SendMouse(MapView& view, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, view.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &event);
}

// Each step moves the pointer, with the left button down, one cell to the right, so the
// straight path from the last position paints the cell it left (already this tile) and the
// one it enters: one cell changes, as changed_per_step shows. The two tiles painted are not
// among those the map was filled with, and each sweep of the view paints the other one. At the
// end of a row the stroke is ended and begun again on the next row, untimed.
void BM_WindowPaintMove(benchmark::State& state, MainWindow& window, Bench::Cache cache) {
    SetUpWindow(window);
    MapView& view = MapArea(window);
    auto& palette = Part<QListWidget>(window, "tileList");
    constexpr int Cell = 48;
    const int columns = Bench::FrameWidth / Cell, rows = Bench::FrameHeight / Cell;
    int column = 0, row = 0, sweep = 0;
    QPoint at;
    auto begin = [&] {
        palette.setCurrentRow(TileKinds - 1 - sweep % 2);
        at = QPoint(Cell / 2, Cell / 2 + Cell * row);
        SendMouse(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        SendMouse(view, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        Present();
    };
    begin();
    PaintCounter counter;
    view.installEventFilter(&counter);
    qint64 moves = 0, changed = 0;
    // The cell the next move enters, as it was before.
    auto cellAhead = [&] {
        return window.CurrentDocument().Map().Cells[at.x() / Cell + 1][std::size_t(at.y() / Cell)];
    };
    TileIndex ahead = cellAhead();
    Bench::Compare(
        state, cache, "xF",
        [&] {
            at.rx() += Cell;
            SendMouse(view, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
            Present();
        },
        Bench::FrameCopy(),
        [&] {
            ++moves;
            const TileIndex now =
                window.CurrentDocument().Map().Cells[at.x() / Cell][std::size_t(at.y() / Cell)];
            changed += now != ahead && now == window.SelectedTile();
            if (++column == columns - 1) {
                column = 0;
                if (++row == rows) {
                    row = 0;
                    ++sweep;
                }
                view.removeEventFilter(&counter);
                begin();
                view.installEventFilter(&counter);
            }
            ahead = cellAhead();
        });
    view.removeEventFilter(&counter);
    SendMouse(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    Report(state, window, counter, moves);
    state.counters["changed_per_step"] = double(changed) / double(qMax<qint64>(1, moves));
}

// A 64 × 64 stamp pasted and moved under the pointer, one cell to the right a step, without a
// button: the preview leaves the cells it covered and covers the next ones; the map does not
// change. It sweeps the view's width and comes back, untimed.
void BM_WindowStampPreviewMove(benchmark::State& state, MainWindow& window, Bench::Cache cache) {
    SetUpWindow(window);
    constexpr qint32 Side = 64, Cell = 48;
    CellGrid cells(Side, Side);
    for (qint64 i = 0; i < cells.Count(); ++i)
        cells.data()[i] = TileIndex(i % TileKinds);
    CellSelection all(Side, Side);
    all.SelectAll();
    QGuiApplication::clipboard()->setMimeData(CellClipboard::MimeData(cells, all).release());
    Part<QAction>(window, "pasteAction").trigger();
    MapView& view = MapArea(window);
    QPoint at(Cell / 2, Cell / 2);
    SendMouse(view, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    Present();
    PaintCounter counter;
    view.installEventFilter(&counter);
    qint64 moves = 0;
    Bench::Compare(
        state, cache, "xF",
        [&] {
            at.rx() += Cell;
            SendMouse(view, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
            Present();
        },
        Bench::FrameCopy(),
        [&] {
            ++moves;
            if (at.x() + Cell >= Bench::FrameWidth) {
                view.removeEventFilter(&counter);
                at.setX(Cell / 2);
                SendMouse(view, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
                Present();
                view.installEventFilter(&counter);
            }
        });
    view.removeEventFilter(&counter);
    Part<QAction>(window, "cancelAction").trigger();
    Report(state, window, counter, moves);
}

void BM_WindowScrollStep(benchmark::State& state, MainWindow& window, Bench::Cache cache) {
    SetUpWindow(window);
    // Right and left in turn between two unaligned offsets.
    window.Renderer().OffsetX = 24;
    window.Renderer().OffsetY = 8;
    window.RedrawMap();
    Present();
    MapView& view = MapArea(window);
    PaintCounter counter;
    view.installEventFilter(&counter);
    qint64 step = 0;
    Bench::Compare(
        state, cache, "xF",
        [&] {
            QKeyEvent key(QEvent::KeyPress, ++step % 2 ? Qt::Key_Right : Qt::Key_Left,
                          Qt::NoModifier);
            QCoreApplication::sendEvent(&window, &key);
            Present();
        },
        Bench::FrameCopy());
    view.removeEventFilter(&counter);
    Report(state, window, counter, step);
}

// Zooms the window to 2^zoom with the view in the middle of the 4096 × 4096 map.
void SetUpMiddle(MainWindow& window, qint32 zoom) {
    SetUpWindow(window, 4096);
    window.Renderer().Zoom = zoom;
    const QSize shown = window.Renderer().Mapping().MapSize(
        QSize(window.Renderer().ViewWidth, window.Renderer().ViewHeight));
    const qint64 middle =
        qint64(window.CurrentDocument().Map().Width) * window.CurrentDocument().Map().TileSize / 2;
    window.Renderer().ScrollTo(middle - shown.width() / 2, middle - shown.height() / 2);
    window.RedrawMap();
    Present();
}

// One notch of Ctrl+wheel at the middle of the view, in (zoom in) and out in turn, between
// 2^zoom and 2^(zoom + 1): the zoom, the full redraw, the status text, the present.
void BM_WindowZoomStep(benchmark::State& state, MainWindow& window, Bench::Cache cache) {
    const qint32 zoom = qint32(state.range(0));
    SetUpMiddle(window, zoom);
    MapView& view = MapArea(window);
    const QPoint at = view.rect().center();
    PaintCounter counter;
    view.installEventFilter(&counter);
    qint64 step = 0;
    bool zoomsKept = true;
    Bench::Compare(
        state, cache, "xF",
        [&] {
            const int notch = ++step % 2 ? 120 : -120;
            QWheelEvent wheel(at, view.mapToGlobal(at), QPoint(), QPoint(0, notch), Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(&view, &wheel);
            Present();
        },
        Bench::FrameCopy(),
        [&] { zoomsKept &= window.Renderer().Zoom == zoom + qint32(step % 2); });
    view.removeEventFilter(&counter);
    Report(state, window, counter, step);
    if (!zoomsKept)
        state.SkipWithError("a wheel notch did not zoom by one step");
}

// One mouse move of a middle-button drag at 2^zoom, 4 view pixels right and down and back in
// turn: the pan, the redraw of what it uncovers, the present.
void BM_WindowPanStep(benchmark::State& state, MainWindow& window, Bench::Cache cache) {
    SetUpMiddle(window, qint32(state.range(0)));
    MapView& view = MapArea(window);
    const QPoint from = view.rect().center();
    SendMouse(view, QEvent::MouseButtonPress, from, Qt::MiddleButton, Qt::MiddleButton);
    Present();
    const QPoint start(window.Renderer().OffsetX, window.Renderer().OffsetY);
    PaintCounter counter;
    view.installEventFilter(&counter);
    qint64 step = 0;
    bool moved = true;
    Bench::Compare(
        state, cache, "xF",
        [&] {
            const QPoint to = ++step % 2 ? from + QPoint(4, 4) : from;
            SendMouse(view, QEvent::MouseMove, to, Qt::NoButton, Qt::MiddleButton);
            Present();
        },
        Bench::FrameCopy(),
        [&] {
            moved &= (QPoint(window.Renderer().OffsetX, window.Renderer().OffsetY) == start) ==
                     (step % 2 == 0);
        });
    view.removeEventFilter(&counter);
    SendMouse(view, QEvent::MouseButtonRelease, from, Qt::MiddleButton, Qt::NoButton);
    Report(state, window, counter, step);
    if (!moved)
        state.SkipWithError("a drag step did not move the view");
}

} // namespace

int main(int argc, char** argv) {
    if (!Bench::Init(argc, argv))
        return 1;
    Application application(argc, argv);
    QtDialogs dialogs;
    application.ReportErrorsTo(&dialogs);
    MainWindow window(QCoreApplication::applicationDirPath(), dialogs);
    // As KORVANE_BENCH_BOTH registers, name/warm and name/cold, each row driving this window.
    using Row = void (*)(benchmark::State&, MainWindow&, Bench::Cache);
    auto Both = [&window](const std::string& name, Row function,
                          const std::function<void(benchmark::internal::Benchmark*)>& options) {
        for (const Bench::Cache cache : {Bench::Cache::Warm, Bench::Cache::Cold}) {
            benchmark::internal::Benchmark* row = benchmark::RegisterBenchmark(
                (name + (cache == Bench::Cache::Warm ? "/warm" : "/cold")).c_str(),
                [&window, function, cache](benchmark::State& state) {
                    function(state, window, cache);
                });
            if (cache == Bench::Cache::Cold)
                row->Iterations(Bench::ColdRuns);
            options(row);
        }
    };
    Both("BM_WindowPaintMove", BM_WindowPaintMove, [](benchmark::internal::Benchmark* row) {
        row->UseManualTime()->Unit(benchmark::kMillisecond);
    });
    Both("BM_WindowStampPreviewMove", BM_WindowStampPreviewMove,
         [](benchmark::internal::Benchmark* row) {
             row->UseManualTime()->Unit(benchmark::kMillisecond);
         });
    Both("BM_WindowScrollStep", BM_WindowScrollStep, [](benchmark::internal::Benchmark* row) {
        row->UseManualTime()->Unit(benchmark::kMillisecond);
    });
    Both("BM_WindowZoomStep", BM_WindowZoomStep, [](benchmark::internal::Benchmark* row) {
        row->ArgNames({"zoom"})->Arg(-1)->Arg(-4)->Arg(-8)->UseManualTime()->Unit(
            benchmark::kMillisecond);
    });
    Both("BM_WindowPanStep", BM_WindowPanStep, [](benchmark::internal::Benchmark* row) {
        row->ArgNames({"zoom"})->Arg(0)->Arg(-4)->UseManualTime()->Unit(benchmark::kMillisecond);
    });
    Bench::Run();
    return 0;
}
