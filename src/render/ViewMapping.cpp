#include "render/ViewMapping.h"

#include <algorithm>
#include <limits>

namespace {
// Division rounding toward negative infinity: view pixels left of or above the view show map
// pixels before the offset.
qint64 FloorDiv(qint64 a, qint64 b) {
    return a / b - (a % b < 0 ? 1 : 0);
}

qint32 ClampToInt(qint64 v) {
    return qint32(std::clamp<qint64>(v, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}
} // namespace

ViewMapping::TileLook ViewMapping::Look() const {
    if (Zoom > 0)
        return TileLook::Magnified;
    if (Zoom == 0)
        return TileLook::Natural;
    return TileSize < SmallestCell * Unit() ? TileLook::Colours : TileLook::Reduced;
}

qint64 ViewMapping::ToMap(qint64 view, qint64 offset) const {
    return Zoom < 0 ? offset + view * Unit() : offset + FloorDiv(view, Scale());
}

qint64 ViewMapping::ToView(qint64 map, qint64 offset) const {
    return Zoom < 0 ? FloorDiv(map - offset, Unit()) : (map - offset) * Scale();
}

qint64 ViewMapping::ViewSpan(qint64 n) const {
    return Zoom < 0 ? (n + Unit() - 1) / Unit() : n * Scale();
}

QPoint ViewMapping::CellAt(QPoint view) const {
    return CellOf(MapX(view.x()), MapY(view.y()));
}

QPoint ViewMapping::CellOf(qint64 mapX, qint64 mapY) const {
    return QPoint(ClampToInt(FloorDiv(mapX, TileSize)), ClampToInt(FloorDiv(mapY, TileSize)));
}

QRect ViewMapping::CellArea(QPoint cell, QSize reach) const {
    // Cells far from the view lie far outside it; kept within what a rectangle can hold.
    constexpr qint64 Far = qint64(1) << 30;
    const qint64 x = qint64(cell.x()) * TileSize, y = qint64(cell.y()) * TileSize;
    const qint64 left = std::clamp(ViewX(x), -Far, Far), top = std::clamp(ViewY(y), -Far, Far);
    const qint64 right = std::clamp(ViewX(x + reach.width() - 1) + Scale(), -Far, Far);
    const qint64 bottom = std::clamp(ViewY(y + reach.height() - 1) + Scale(), -Far, Far);
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

QSize ViewMapping::MapSize(QSize view) const {
    return QSize(ClampToInt(MapEnd(view.width() - 1, 0)), ClampToInt(MapEnd(view.height() - 1, 0)));
}

ViewMapping ViewMapping::ZoomedAt(qint32 zoom, QPoint view) const {
    ViewMapping zoomed = *this;
    zoomed.Zoom = std::clamp(zoom, MinZoom, MaxZoom);
    const qint64 unit = zoomed.Unit();
    auto offset = [&](qint64 map, qint64 at) {
        // The new offset puts map under at; zoomed out it is kept a whole number of units, so
        // the view's pixels line up with the tiles' reduced images.
        const qint64 o = zoomed.Zoom < 0 ? FloorDiv(map, unit) * unit - at * unit
                                         : map - FloorDiv(at, zoomed.Scale());
        return ClampToInt(o);
    };
    zoomed.Offset = QPoint(offset(MapX(view.x()), view.x()), offset(MapY(view.y()), view.y()));
    return zoomed;
}

std::optional<QPoint> ViewMapping::ShiftTo(const ViewMapping& after) const {
    if (after.Zoom != Zoom || after.TileSize != TileSize)
        return std::nullopt;
    const QPoint moved = after.Offset - Offset;
    if (moved.x() % Unit() != 0 || moved.y() % Unit() != 0)
        return std::nullopt;
    return Zoom < 0 ? moved / int(Unit()) : moved * int(Scale());
}

QString ViewMapping::ZoomText(qint32 zoom) {
    // Below 100 % the zooms are halvings: "1/2" says exactly what "0.391%" only rounds.
    return zoom >= 0 ? QString::number(100 << zoom) + QLatin1Char('%')
                     : QStringLiteral("1/%1").arg(1 << -zoom);
}
