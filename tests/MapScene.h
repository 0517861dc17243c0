#pragma once

// A map drawn on a canvas of its own, for tests of what a view of a map draws.

#include "TestSupport.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "render/MapRenderer.h"

#include <QtTest>
#include <memory>

namespace TestSupport {
const QRgb Paper = qRgb(1, 2, 3); // what the canvas showed before the map drew
const QRgb Face = clBtnFace.rgb();
const QRgb Colours[] = {qRgb(200, 0, 0),   qRgb(0, 160, 0),   qRgb(0, 0, 220),
                        qRgb(220, 220, 0), qRgb(0, 200, 200), qRgb(120, 60, 30)};
const QRgb Red = Colours[0], Inverted = qRgb(55, 255, 255), InvertedFace = qRgb(15, 15, 15);

// A map drawn on its own canvas, with tiles 0 .. n-1 in solid Colours.
struct Scene {
    Canvas Surface;
    std::unique_ptr<TilePack> Pack = std::make_unique<TilePack>();
    TileMap Map;
    MapRenderer View;

    Scene(QSize canvas, qint32 tileSize, QSize mapSize, QSize view, int tiles)
        : Surface(canvas), Map(tileSize), View(Map, *Pack, &Surface) {
        View.SetViewSize(view.width(), view.height());
        Map.New(mapSize.width(), mapSize.height(), tileSize);
        Surface.BrushColor = Paper;
        Surface.FillRect(QRect(QPoint(0, 0), canvas));
        for (int i = 0; i < tiles; ++i)
            AddTile(SolidBmp(tileSize, tileSize, Colours[i]));
    }
    void AddTile(const QByteArray& bmp) {
        Pack->Add(std::make_unique<Tile>());
        Pack->Tiles.back()->Image->LoadFromBytes(bmp);
    }
    void Check(std::initializer_list<std::tuple<int, int, QRgb>> pixels) const {
        for (const auto& [x, y, colour] : pixels)
            QVERIFY2(Surface.Image().pixel(x, y) == colour,
                     qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
    }
};

// What a full redraw of a view shows on a canvas of the given size: the canvas filled with
// the window's background, then the map drawn without fill, by a second view of the same map.
inline QImage FullRedraw(const MapRenderer& view, QSize canvasSize) {
    Canvas canvas(canvasSize);
    MapRenderer copy(view.Map(), view.Pack(), &canvas);
    copy.SetViewSize(view.ViewWidth, view.ViewHeight);
    copy.OffsetX = view.OffsetX;
    copy.OffsetY = view.OffsetY;
    copy.ShowGrid = view.ShowGrid;
    copy.Zoom = view.Zoom;
    canvas.BrushColor = clBtnFace;
    canvas.FillRect(QRect(QPoint(0, 0), canvasSize));
    copy.Draw(false);
    return canvas.Image().copy();
}
} // namespace TestSupport
