#include "platform/TCanvas.h"

#include "platform/TBitmap.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

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
    Bits = nullptr;
    if (Surface.isNull())
        return;
    Painter->begin(&Surface);
    // The image is not shared yet, so this is the very buffer the painter writes.
    Bits = Surface.bits();
    if (Clip)
        Painter->setClipRect(*Clip);
}

void TCanvas::SetClip(const QRect& rect) {
    Clip = rect;
    if (Painter->isActive())
        Painter->setClipRect(rect);
}

void TCanvas::ResetClip() {
    Clip.reset();
    if (Painter->isActive())
        Painter->setClipping(false);
}

void TCanvas::Scroll(QPoint delta) {
    ApplyPendingFill();
    const int width = Surface.width() - qAbs(delta.x());
    const int height = Surface.height() - qAbs(delta.y());
    if (!Bits || width <= 0 || height <= 0)
        return;
    const qsizetype stride = Surface.bytesPerLine();
    const int fromX = std::max(0, -delta.x()), toX = std::max(0, delta.x());
    const int fromY = std::max(0, -delta.y());
    // Rows are moved away from the rows still to be read: from the bottom when they go down.
    for (int i = 0; i < height; ++i) {
        const int y = fromY + (delta.y() > 0 ? height - 1 - i : i);
        std::memmove(Bits + (y + delta.y()) * stride + 4 * toX, Bits + y * stride + 4 * fromX,
                     4 * std::size_t(width));
    }
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
    const QRect area = rect & Surface.rect() & Clip.value_or(rect);
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
    // The area was clipped when the fill began; a clip set since does not cut it.
    if (Clip)
        Painter->setClipping(false);
    FillUncovered(area, color, std::move(covered));
    if (Clip)
        Painter->setClipRect(*Clip);
}

void TCanvas::FillUncovered(const QRect& area, const QColor& color,
                            std::vector<QRect> covered) const {
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
    if (!Bits || bitmap.Empty())
        return;
    // TBitmap keeps its pictures in the surface's own opaque format, so drawing one is a copy
    // of its rows.
    const QImage& picture = bitmap.Picture();
    Q_ASSERT(picture.format() == Surface.format());
    const QRect drawn =
        QRect(QPoint(x, y), picture.size()) & Surface.rect() & Clip.value_or(Surface.rect());
    if (drawn.isEmpty())
        return;
    const qsizetype stride = Surface.bytesPerLine(), pictureStride = picture.bytesPerLine();
    uchar* to = Bits + drawn.top() * stride + 4 * drawn.left();
    const uchar* from =
        picture.constBits() + (drawn.top() - y) * pictureStride + 4 * (drawn.left() - x);
    const std::size_t rowBytes = 4 * std::size_t(drawn.width());
    for (int row = 0; row < drawn.height(); ++row, to += stride, from += pictureStride)
        std::memcpy(to, from, rowBytes);
    if (Pending) {
        const QRect covered = drawn & Pending->Area;
        if (!covered.isEmpty())
            Pending->Covered.push_back(covered);
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
