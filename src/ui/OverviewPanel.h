#pragma once

#include "platform/Canvas.h"
#include "render/MapRenderer.h"

#include <QRegion>
#include <QTimer>
#include <QWidget>

// The whole map at the largest zoom that fits, drawn by a view of its own over the same map and
// pack as the main view, with the main view's visible area outlined. A click or a drag asks for
// the main view to be centred on the map pixel under the pointer.
class OverviewPanel : public QWidget {
    Q_OBJECT
public:
    // The map and the pack must outlive the panel.
    OverviewPanel(const TileMap& map, const TilePack& pack, QWidget* parent);

    // The map pixels the main view shows, outlined here.
    void SetShown(const QRect& mapPixels);
    // The map or the pack changed: drawn again once the changes of this event are done, so a
    // stroke costs one drawing of the panel, not one a cell.
    void MapChanged();
    // Only these cells of the map changed (a box of columns and rows): only what they cover is
    // drawn again, once the changes of this event are done.
    void CellsChanged(const QRect& cells);

    const MapRenderer& Renderer() const { return View; }
    // Draws from the samples of the map that view keeps current.
    void ShareSamples(const MapRenderer& view) { View.ShareSamples(view); }
    const QImage& Image() const { return Surface.Image(); }
    // The outline of the main view's area, in the panel's pixels; empty when none.
    QRect Outline() const;

signals:
    void CentreRequested(QPoint mapPixel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void Redraw();
    void RequestCentre(QPoint at);

    Canvas Surface;
    MapRenderer View;
    QRect Shown; // map pixels
    QTimer RedrawSoon;
    QRegion Changed; // the panel's pixels to draw again, when not all of them
};
