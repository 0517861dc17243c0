#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QPainter;
class Bitmap;

// The system colour of button faces, which is also the main window's background.
inline const QColor clBtnFace(240, 240, 240);

// A persistent drawing surface: the map draws on it and the main window presents it. One
// painter stays open on it, so drawing hundreds of tiles costs no painter set-up each.
class Canvas {
public:
    enum class RasterOp { Copy, NotXor };

    explicit Canvas(QSize size = QSize(0, 0));
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // The surface keeps what it showed where old and new sizes overlap; the rest is filled
    // with clBtnFace.
    void SetSize(QSize size);
    QSize Size() const { return Surface.size(); }
    // Format_RGB32. Applies a pending deferred fill first. It shares the canvas's memory and
    // holds only until the next SetSize or Scroll; copy() it to keep it.
    const QImage& Image() const {
        ApplyPendingFill();
        return Surface;
    }

    QColor BrushColor = Qt::white;
    RasterOp PenMode = RasterOp::Copy;

    // Fills with BrushColor; the right and bottom edges are excluded, as rect says.
    void FillRect(const QRect& rect);
    // Fills rect with color as FillRect would now, but only when EndDeferredFill comes, and
    // then only where no bitmap drawn in between has covered the surface. A view that tiles
    // are about to cover is so written once rather than twice, with the same pixels as a
    // fill at once. Lines, fills, resizes and Image() apply a pending fill before they go on.
    void BeginDeferredFill(const QRect& rect, const QColor& color);
    void EndDeferredFill() { ApplyPendingFill(); }
    // A picture's pixels as drawing reads them, taken once for a picture drawn many times.
    struct Pixels {
        const uchar* Bits = nullptr;
        qsizetype Stride = 0; // bytes per line
        QSize Size{0, 0};
        // The pixels of a picture in the surface's format, Format_RGB32, valid while it lives
        // unchanged.
        static Pixels Of(const QImage& picture);
    };
    // Draws at the bitmap's natural size with its top-left corner at (x, y), as an opaque copy.
    void Draw(int x, int y, const Bitmap& bitmap);
    // The same for a picture in the surface's format, Format_RGB32.
    void Draw(int x, int y, const QImage& picture) { Draw(x, y, Pixels::Of(picture)); }
    void Draw(int x, int y, const Pixels& pixels);
    // Draws the picture with each of its pixels a square of 2^zoom pixels, its top-left corner
    // at (x, y).
    void DrawMagnified(int x, int y, const QImage& picture, int zoom);
    // Hands each row of rect that lies on the surface and in the clip to write: the row's
    // y, the first pixel's x and the pixels from there, as many as the row has in rect. Every
    // pixel handed over counts as drawn, like a bitmap's.
    void WriteRows(const QRect& rect,
                   const std::function<void(int y, int x, std::span<QRgb>)>& write);
    // Confines bitmaps, fills and lines to rect until ResetClip.
    void SetClip(const QRect& rect);
    void ResetClip();
    // Moves every pixel by delta. What moves out is lost; the pixels uncovered at the opposite
    // edges hold anything, for the caller to draw over.
    void Scroll(QPoint delta);
    void MoveTo(int x, int y) { PenPos = QPoint(x, y); }
    // One-pixel black pen from the pen position to (x, y), the end point itself excluded, in
    // PenMode; the end becomes the new pen position.
    void LineTo(int x, int y);

private:
    struct PendingFill {
        QRect Area; // the fill's rectangle within the surface
        QColor Color;
        std::vector<QRect> Covered; // opaque bitmaps drawn since, within Area
    };
    void ApplyPendingFill() const;
    void FillUncovered(const QRect& area, const QColor& color, std::vector<QRect> covered) const;

    // Points Surface, and the painter, at the surface's place in the buffer.
    void Bind(QSize size);
    // The part of rect that drawing reaches: on the surface and in the clip.
    QRect Drawable(const QRect& rect) const;
    // Sets Reachable from the surface and the clip.
    void UpdateReachable();
    QRgb* Pixel(QPoint at) {
        return reinterpret_cast<QRgb*>(Bits + (Origin.y() + at.y()) * Stride) + Origin.x() + at.x();
    }
    // A pending fill leaves alone what was drawn over.
    void MarkDrawn(const QRect& drawn);
    // Moves all of the buffer's pixels by delta.
    void MoveBuffer(QPoint delta);

    // The surface lies at Origin in a larger buffer; bitmaps are copied into the buffer's
    // memory directly, the rest is drawn by a painter on Surface, an image over that memory.
    QImage Buffer;
    uchar* Bits = nullptr;
    qsizetype Stride = 0; // the buffer's bytes per line
    QPoint Origin;
    QImage Surface;
    std::unique_ptr<QPainter> Painter;
    std::optional<QRect> Clip;
    QRect Reachable; // the surface within the clip; empty without a surface
    QPoint PenPos;
    mutable std::optional<PendingFill> Pending;
};

// A deferred fill over the drawing done while it lives (see Canvas::BeginDeferredFill).
class DeferredFill {
public:
    DeferredFill(Canvas& canvas, const QRect& rect, const QColor& color) : Surface(canvas) {
        Surface.BeginDeferredFill(rect, color);
    }
    ~DeferredFill() { Surface.EndDeferredFill(); }
    DeferredFill(const DeferredFill&) = delete;
    DeferredFill& operator=(const DeferredFill&) = delete;

private:
    Canvas& Surface;
};

// A clip on the canvas while it lives (see Canvas::SetClip).
class CanvasClip {
public:
    CanvasClip(Canvas& canvas, const QRect& rect) : Surface(canvas) { Surface.SetClip(rect); }
    ~CanvasClip() { Surface.ResetClip(); }
    CanvasClip(const CanvasClip&) = delete;
    CanvasClip& operator=(const CanvasClip&) = delete;

private:
    Canvas& Surface;
};
