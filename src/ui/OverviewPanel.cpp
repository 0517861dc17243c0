#include "ui/OverviewPanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <utility>

OverviewPanel::OverviewPanel(const TileMap& map, const TilePack& pack, QWidget* parent)
    : QWidget(parent), View(map, pack, &Surface) {
    setAttribute(Qt::WA_OpaquePaintEvent); // the canvas covers every pixel
    setMinimumSize(120, 120);
    RedrawSoon.setSingleShot(true);
    RedrawSoon.setInterval(0);
    connect(&RedrawSoon, &QTimer::timeout, this, [this] {
        if (Changed.isEmpty()) {
            Redraw();
            return;
        }
        for (const QRect& area : std::exchange(Changed, QRegion()))
            View.Redraw(area);
        update();
    });
}

void OverviewPanel::SetShown(const QRect& mapPixels) {
    if (mapPixels == Shown)
        return;
    Shown = mapPixels;
    if (isVisible())
        update();
}

void OverviewPanel::MapChanged() {
    if (!isVisible())
        return;
    Changed = QRegion(); // all of it
    RedrawSoon.start();
}

void OverviewPanel::CellsChanged(const QRect& cells) {
    if (!isVisible() || cells.isEmpty())
        return;
    // Drawing everything is already due when the timer runs with nothing collected.
    if (RedrawSoon.isActive() && Changed.isEmpty())
        return;
    Changed += View.CellArea(cells.topLeft()) | View.CellArea(cells.bottomRight());
    RedrawSoon.start();
}

QRect OverviewPanel::Outline() const {
    if (Shown.isEmpty())
        return {};
    const ViewMapping mapping = View.Mapping();
    // Zoomed out a view pixel stands for a block of map pixels: the outline takes in every
    // block the main view reaches into.
    const QRect outline(
        QPoint(int(mapping.ViewX(Shown.left())), int(mapping.ViewY(Shown.top()))),
        QPoint(int(mapping.ViewX(Shown.right())), int(mapping.ViewY(Shown.bottom()))));
    return outline & rect();
}

void OverviewPanel::Redraw() {
    View.SetViewSize(width(), height());
    View.Zoom = View.FitZoom();
    View.OffsetX = 0;
    View.OffsetY = 0;
    View.Redraw(rect());
    update();
}

void OverviewPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Surface.Image());
    if (const QRect outline = Outline(); !outline.isEmpty()) {
        // A red line with a white one inside: seen over any tile.
        painter.setPen(QPen(Qt::red, 1));
        painter.drawRect(outline.adjusted(0, 0, -1, -1));
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(outline.adjusted(1, 1, -2, -2));
    }
}

void OverviewPanel::resizeEvent(QResizeEvent*) {
    Surface.SetSize(size());
    Redraw();
}

void OverviewPanel::showEvent(QShowEvent*) {
    Redraw(); // changes made while hidden were not followed
}

void OverviewPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        RequestCentre(event->position().toPoint());
}

void OverviewPanel::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        RequestCentre(event->position().toPoint());
}

void OverviewPanel::RequestCentre(QPoint at) {
    const ViewMapping mapping = View.Mapping();
    emit CentreRequested(QPoint(int(mapping.MapX(at.x())), int(mapping.MapY(at.y()))));
}
