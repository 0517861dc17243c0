#include "platform/TCanvas.h"

#include "platform/TBitmap.h"

#include <QPainter>

TCanvas::TCanvas(QSize size) {
    SetSize(size);
}

TCanvas::~TCanvas() = default;

void TCanvas::SetSize(QSize size) {
    size = size.expandedTo(QSize(0, 0));
    if (Painter && size == Surface.size())
        return;
    Painter.reset();
    QImage surface(size, QImage::Format_RGB32);
    surface.fill(clBtnFace);
    if (!Surface.isNull()) {
        QPainter copy(&surface);
        copy.drawImage(0, 0, Surface);
    }
    Surface = std::move(surface);
    Painter = std::make_unique<QPainter>();
    if (!Surface.isNull())
        Painter->begin(&Surface);
}

void TCanvas::FillRect(const QRect& rect) {
    if (Painter->isActive())
        Painter->fillRect(rect, BrushColor);
}

void TCanvas::Draw(int x, int y, const TBitmap& bitmap) {
    if (Painter->isActive() && !bitmap.Empty())
        Painter->drawImage(x, y, bitmap.Picture());
}

void TCanvas::LineTo(int x, int y) {
    const QPoint from = PenPos;
    const QPoint to(x, y);
    PenPos = to;
    if (!Painter->isActive() || from == to)
        return;
    // Qt draws both end points; the end point is not part of the line here, so the line stops
    // one pixel short along its longer axis.
    const QPoint d = to - from;
    QPoint last = to;
    if (qAbs(d.x()) >= qAbs(d.y()))
        last.rx() -= d.x() > 0 ? 1 : -1;
    else
        last.ry() -= d.y() > 0 ? 1 : -1;
    Painter->setPen(QPen(Qt::black, 0));
    if (PenMode == TPenMode::NotXor)
        Painter->setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    Painter->drawLine(from, last);
    Painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}
