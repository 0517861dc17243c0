#include "platform/Canvas.h"

#include "platform/Bitmap.h"

#include <QPainter>
#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

Canvas::Canvas(QSize size) {
    SetSize(size);
}

Canvas::~Canvas() = default;

namespace {
// Spare pixels on every side of the surface in its buffer: a scroll step moves where the
// surface lies in the buffer instead of moving its pixels, and only when it reaches the
// buffer's edge are the pixels moved back to the middle, every 16th step of 4 pixels.
constexpr int Margin = 64;

// One row of pixels. Short rows, as of small tiles, are many: they are copied in place rather
// than by a call, which would cost more than the copy.
inline void CopyRow(uchar* to, const uchar* from, std::size_t bytes) {
#if defined(__SSE2__)
    if (bytes <= 128) {
        std::size_t i = 0;
        for (; i + 16 <= bytes; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
        for (; i + 8 <= bytes; i += 8)
            std::memcpy(to + i, from + i, 8);
        if (i < bytes)
            std::memcpy(to + i, from + i, 4);
        return;
    }
#endif
    std::memcpy(to, from, bytes);
}
} // namespace

void Canvas::SetSize(QSize size) {
    ApplyPendingFill();
    size = size.expandedTo(QSize(0, 0));
    if (Painter && size == Surface.size())
        return;
    Painter.reset();
    QImage buffer;
    if (!size.isEmpty()) {
        // Rows of an odd multiple of 64 bytes: a power of two would put the rows of a tile in
        // the same cache sets, and drawing it would evict itself.
        const int width = size.width() + 2 * Margin;
        buffer = QImage(width + (48 - width % 32) % 32, size.height() + 2 * Margin,
                        QImage::Format_RGB32);
        buffer.fill(clBtnFace);
        if (!Surface.isNull())
            QPainter(&buffer).drawImage(Margin, Margin, Surface);
    }
    Surface = QImage();
    Buffer = std::move(buffer);
    // The buffer is not shared, so this is the very memory every surface over it shows.
    Bits = Buffer.isNull() ? nullptr : Buffer.bits();
    Stride = Buffer.bytesPerLine();
    Origin = QPoint(Margin, Margin);
    Painter = std::make_unique<QPainter>();
    Bind(size);
}

void Canvas::Bind(QSize size) {
    if (Painter->isActive())
        Painter->end();
    // A new image each time, never one that someone else shares and painting would detach.
    Surface = Bits
                  ? QImage(Bits + Origin.y() * Buffer.bytesPerLine() + 4 * Origin.x(), size.width(),
                           size.height(), Buffer.bytesPerLine(), QImage::Format_RGB32)
                  : QImage();
    UpdateReachable();
    if (Surface.isNull())
        return;
    Painter->begin(&Surface);
    if (Clip)
        Painter->setClipRect(*Clip);
}

void Canvas::SetClip(const QRect& rect) {
    Clip = rect;
    UpdateReachable();
    if (Painter->isActive())
        Painter->setClipRect(rect);
}

void Canvas::ResetClip() {
    Clip.reset();
    UpdateReachable();
    if (Painter->isActive())
        Painter->setClipping(false);
}

void Canvas::UpdateReachable() {
    Reachable = Bits ? Surface.rect() & Clip.value_or(Surface.rect()) : QRect();
}

void Canvas::Scroll(QPoint delta) {
    ApplyPendingFill();
    if (Surface.isNull())
        return;
    QPoint origin = Origin - delta;
    if (!QRect(QPoint(0, 0), Buffer.size() - Surface.size() + QSize(1, 1)).contains(origin)) {
        MoveBuffer(QPoint(Margin, Margin) - origin);
        origin = QPoint(Margin, Margin);
    }
    Origin = origin;
    Bind(Surface.size());
}

void Canvas::MoveBuffer(QPoint delta) {
    const int width = Buffer.width() - qAbs(delta.x());
    const int height = Buffer.height() - qAbs(delta.y());
    if (width <= 0 || height <= 0)
        return;
    const qsizetype stride = Buffer.bytesPerLine();
    const int fromX = std::max(0, -delta.x()), toX = std::max(0, delta.x());
    const int fromY = std::max(0, -delta.y());
    // Rows are moved away from the rows still to be read: from the bottom when they go down.
    for (int i = 0; i < height; ++i) {
        const int y = fromY + (delta.y() > 0 ? height - 1 - i : i);
        std::memmove(Bits + (y + delta.y()) * stride + 4 * toX, Bits + y * stride + 4 * fromX,
                     4 * std::size_t(width));
    }
}

void Canvas::FillRect(const QRect& rect) {
    ApplyPendingFill();
    if (Painter->isActive())
        Painter->fillRect(rect, BrushColor);
}

void Canvas::BeginDeferredFill(const QRect& rect, const QColor& color) {
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

void Canvas::ApplyPendingFill() const {
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

void Canvas::FillUncovered(const QRect& area, const QColor& color,
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

void Canvas::Draw(int x, int y, const Bitmap& bitmap) {
    // Bitmap keeps its pictures in the surface's own opaque format, so drawing one is a copy
    // of its rows.
    if (!bitmap.Empty())
        Draw(x, y, bitmap.Picture());
}

namespace {
// a & b for normalised rectangles, by hand: QRect's operator& is not inlined, and small tiles
// are drawn by the ten thousand.
QRect Intersection(const QRect& a, const QRect& b) {
    const int left = std::max(a.left(), b.left()), top = std::max(a.top(), b.top());
    const int right = std::min(a.right(), b.right()), bottom = std::min(a.bottom(), b.bottom());
    return left <= right && top <= bottom ? QRect(QPoint(left, top), QPoint(right, bottom))
                                          : QRect();
}
} // namespace

QRect Canvas::Drawable(const QRect& rect) const {
    return Intersection(rect, Reachable);
}

void Canvas::MarkDrawn(const QRect& drawn) {
    if (!Pending)
        return;
    const QRect covered = Intersection(drawn, Pending->Area);
    if (covered.isEmpty())
        return;
    // A row of tiles drawn left to right is kept as one rectangle, so that a view of small
    // tiles leaves a few hundred rectangles for the fill to go round rather than tens of
    // thousands.
    std::vector<QRect>& all = Pending->Covered;
    if (!all.empty() && all.back().top() == covered.top() &&
        all.back().bottom() == covered.bottom() && all.back().right() + 1 == covered.left())
        all.back().setRight(covered.right());
    else
        all.push_back(covered);
}

Canvas::Pixels Canvas::Pixels::Of(const QImage& picture) {
    Q_ASSERT(picture.isNull() || picture.format() == QImage::Format_RGB32);
    return picture.isNull() ? Pixels()
                            : Pixels{picture.constBits(), picture.bytesPerLine(), picture.size()};
}

void Canvas::Draw(int x, int y, const Pixels& pixels) {
    // Clipped in plain numbers: tiles are drawn by the ten thousand when they are small.
    const int left = std::max(x, Reachable.left()), top = std::max(y, Reachable.top());
    const int right = std::min(x + pixels.Size.width(), Reachable.right() + 1);
    const int bottom = std::min(y + pixels.Size.height(), Reachable.bottom() + 1);
    if (left >= right || top >= bottom)
        return;
    auto* to = reinterpret_cast<uchar*>(Pixel(QPoint(left, top)));
    const uchar* from = pixels.Bits + (top - y) * pixels.Stride + 4 * (left - x);
    const std::size_t rowBytes = 4 * std::size_t(right - left);
    for (int row = top; row < bottom; ++row, to += Stride, from += pixels.Stride)
        CopyRow(to, from, rowBytes);
    if (Pending)
        MarkDrawn(QRect(left, top, right - left, bottom - top));
}

namespace {
// Writes squares picture pixels from from on, each n times.
template <int n> QRgb* SpreadSquares(QRgb* to, const QRgb* from, qsizetype squares) {
    for (qsizetype i = 0; i < squares; ++i, to += n)
        for (int r = 0; r < n; ++r)
            to[r] = from[i];
    return to;
}

// Writes count pixels of a picture row magnified by 2^zoom, from its pixel first on: each
// picture pixel 2^zoom times. The common zooms have their own loops, with the number of
// copies fixed, which the compiler turns into a few wide stores per pixel.
void Spread(QRgb* to, const QRgb* from, int first, int count, int zoom) {
    const int n = 1 << zoom;
    QRgb* const end = to + count;
    // What lies to the left of the first whole square.
    for (; first % n != 0 && to != end; ++first)
        *to++ = from[first >> zoom];
    from += first >> zoom;
    const qsizetype squares = (end - to) >> zoom;
    switch (zoom) {
    case 1:
        to = SpreadSquares<2>(to, from, squares);
        break;
    case 2:
        to = SpreadSquares<4>(to, from, squares);
        break;
    case 3:
        to = SpreadSquares<8>(to, from, squares);
        break;
    default:
        for (qsizetype i = 0; i < squares; ++i)
            to = std::fill_n(to, n, from[i]);
        break;
    }
    // What is left of the last square.
    if (to != end)
        std::fill(to, end, from[squares]);
}
} // namespace

void Canvas::DrawMagnified(int x, int y, const QImage& picture, int zoom) {
    Q_ASSERT(picture.isNull() || picture.format() == QImage::Format_RGB32);
    const QRect drawn = Drawable(QRect(x, y, picture.width() << zoom, picture.height() << zoom));
    if (drawn.isEmpty())
        return;
    const std::size_t rowBytes = 4 * std::size_t(drawn.width());
    // Each picture row is spread once into the first view row it covers, which the others copy.
    for (int top = drawn.top(); top <= drawn.bottom();) {
        const int row = (top - y) >> zoom;
        const int bottom = std::min(drawn.bottom(), y + ((row + 1) << zoom) - 1);
        const auto* from = reinterpret_cast<const QRgb*>(picture.constScanLine(row));
        QRgb* to = Pixel(QPoint(drawn.left(), top));
        Spread(to, from, drawn.left() - x, drawn.width(), zoom);
        for (int other = top + 1; other <= bottom; ++other)
            std::memcpy(Pixel(QPoint(drawn.left(), other)), to, rowBytes);
        top = bottom + 1;
    }
    MarkDrawn(drawn);
}

void Canvas::WriteRows(const QRect& rect,
                       const std::function<void(int y, int x, std::span<QRgb>)>& write) {
    const QRect drawn = Drawable(rect);
    if (drawn.isEmpty())
        return;
    for (int y = drawn.top(); y <= drawn.bottom(); ++y)
        write(y, drawn.left(), std::span<QRgb>(Pixel(QPoint(drawn.left(), y)), drawn.width()));
    MarkDrawn(drawn);
}

void Canvas::LineTo(int x, int y) {
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
    if (PenMode == RasterOp::NotXor)
        Painter->setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    Painter->drawLine(from, last);
    Painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}
