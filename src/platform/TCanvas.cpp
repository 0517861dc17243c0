#include "platform/TCanvas.h"

#include "platform/TBitmap.h"

#include <QPainter>
#include <algorithm>

TCanvas::TCanvas(QSize size) {
    SetSize(size);
}

TCanvas::~TCanvas() = default;

void TCanvas::SetSize(QSize size) {
    ApplyPendingFill();
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
    ApplyPendingFill();
    if (Painter->isActive())
        Painter->fillRect(rect, BrushColor);
}

void TCanvas::BeginDeferredFill(const QRect& rect, const QColor& color) {
    ApplyPendingFill();
    if (!Painter->isActive())
        return;
    if (!rect.isValid()) {
        // Nothing worth deferring; filled as FillRect would, whatever Qt makes of it.
        Painter->fillRect(rect, color);
        return;
    }
    const QRect area = rect & Surface.rect();
    if (area.isEmpty())
        return;
    if (!Pending)
        Pending.emplace();
    Pending->Area = area;
    Pending->Color = color;
    Pending->Covered.clear();
}

void TCanvas::ApplyPendingFill() const {
    if (!Pending)
        return;
    const QRect area = Pending->Area;
    const QColor color = Pending->Color;
    std::vector<QRect> covered = std::move(Pending->Covered);
    Pending.reset();
    if (!Painter->isActive())
        return;
    if (covered.empty()) {
        Painter->fillRect(area, color);
        return;
    }
    // A sweep from top to bottom: every top and bottom edge starts a band in which each
    // covering rectangle spans the whole height or none of it, so the band's gaps are the
    // spaces between its covering rectangles' columns.
    std::vector<int> edges{area.top(), area.bottom() + 1};
    edges.reserve(2 * covered.size() + 2);
    for (const QRect& r : covered) {
        edges.push_back(r.top());
        edges.push_back(r.bottom() + 1);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::stable_sort(covered.begin(), covered.end(),
                     [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
    std::vector<QRect> active;
    std::vector<std::pair<int, int>> spans;
    std::size_t next = 0;
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
        const int top = edges[i];
        const int height = edges[i + 1] - top;
        while (next < covered.size() && covered[next].top() <= top)
            active.push_back(covered[next++]);
        std::erase_if(active, [top](const QRect& r) { return r.bottom() < top; });
        spans.clear();
        for (const QRect& r : active)
            spans.emplace_back(r.left(), r.right() + 1);
        std::sort(spans.begin(), spans.end());
        int x = area.left();
        for (const auto& [left, right] : spans) {
            if (left > x)
                Painter->fillRect(QRect(x, top, left - x, height), color);
            x = std::max(x, right);
        }
        if (x <= area.right())
            Painter->fillRect(QRect(x, top, area.right() + 1 - x, height), color);
    }
}

void TCanvas::Draw(int x, int y, const TBitmap& bitmap) {
    if (!Painter->isActive() || bitmap.Empty())
        return;
    Painter->drawImage(x, y, bitmap.Picture());
    if (Pending && !bitmap.Picture().hasAlphaChannel()) {
        const QRect drawn = QRect(QPoint(x, y), bitmap.Picture().size()) & Pending->Area;
        if (!drawn.isEmpty())
            Pending->Covered.push_back(drawn);
    }
}

void TCanvas::LineTo(int x, int y) {
    ApplyPendingFill(); // the not-xor pen reads what lies under it
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
