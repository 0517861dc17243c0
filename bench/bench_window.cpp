// The two window rows against F: one painting mouse move and one scroll step, end to end
// through the main window. Each step is an event sent to the window as Qt delivers it (through
// the application object), the handler's work (write the cell, redraw the map), and the
// present: the posted update processed until the view has painted the canvas into the
// window's backing store. The map view is 1920 × 1080 pixels, the tiles 48-pixel BMPs.

#include "BenchSupport.h"

#include "model/typeU.h"
#include "ui/Application.h"
#include "ui/MainU.h"

#include <QEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>

namespace {

constexpr int TileKinds = 32;

// Counts the paint events the map view receives, to show that each step presented once.
class PaintCounter : public QObject {
public:
    int Paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

// Sizes the window so the map view is exactly one benchmark frame, loads the tiles and a map
// that fills the view, and lets the window settle.
void SetUpWindow() {
    Form1->show();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QSize missing = QSize(Bench::FrameWidth, Bench::FrameHeight) - Form1->MapView->size();
        if (missing.isNull())
            break;
        Form1->resize(Form1->size() + missing);
        QCoreApplication::processEvents();
    }
    TilePack = Bench::LoadTilePack(48, TileKinds);
    Form1->UpdateTileListBox();
    Form1->TileList_lb->setCurrentRow(3);
    Map->New(Bench::FrameWidth / 48 + 8, Bench::FrameHeight / 48 + 8, 48);
    Bench::FillCells(*Map, TileKinds);
    Form1->RedrawMap();
    QCoreApplication::processEvents();
}

void Present() {
    QCoreApplication::processEvents();
}

void Report(benchmark::State& state, const PaintCounter& counter) {
    state.counters["view_w"] = Form1->MapView->width();
    state.counters["view_h"] = Form1->MapView->height();
    state.counters["paints_per_step"] =
        double(counter.Paints) / double(qMax<qint64>(1, qint64(state.iterations())));
}

void BM_WindowPaintMove(benchmark::State& state) {
    SetUpWindow();
    TMapView* view = Form1->MapView;
    const QPoint start(100, 100);
    QMouseEvent press(QEvent::MouseButtonPress, start, view->mapToGlobal(start), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &press);
    Present();
    PaintCounter counter;
    view->installEventFilter(&counter);
    Bench::FrameCopy frame;
    int step = 0;
    Bench::Paired(
        state, "xF",
        [&] {
            // A drag of a few pixels per event, as a hand moves the mouse, back and forth
            // across the view so the cells it writes keep changing.
            ++step;
            const int x = 100 + (step * 3) % 1600;
            const QPoint at(x, 100 + (step / 533) % 800);
            QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view, &move);
            Present();
        },
        frame);
    view->removeEventFilter(&counter);
    QMouseEvent release(QEvent::MouseButtonRelease, start, view->mapToGlobal(start), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &release);
    Report(state, counter);
}
BENCHMARK(BM_WindowPaintMove)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WindowScrollStep(benchmark::State& state) {
    SetUpWindow();
    // Right and left in turn between two unaligned offsets.
    Map->OffsetX = 24;
    Map->OffsetY = 8;
    Form1->RedrawMap();
    Present();
    PaintCounter counter;
    Form1->MapView->installEventFilter(&counter);
    Bench::FrameCopy frame;
    int step = 0;
    Bench::Paired(
        state, "xF",
        [&] {
            QKeyEvent key(QEvent::KeyPress, ++step % 2 ? Qt::Key_Right : Qt::Key_Left,
                          Qt::NoModifier);
            QCoreApplication::sendEvent(Form1, &key);
            Present();
        },
        frame);
    Form1->MapView->removeEventFilter(&counter);
    Report(state, counter);
}
BENCHMARK(BM_WindowScrollStep)->UseManualTime()->Unit(benchmark::kMillisecond);

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
