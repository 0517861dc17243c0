#include "render/SelectionOutline.h"

#include <functional>

namespace {
// Along one axis of the view, the runs of view pixels that show one cell: where each starts,
// and the cell. The runs cover first to last, and one more on each side, so that an edge at
// the area's border is seen.
struct Runs {
    std::vector<qint64> Start; // one more than Cell: the end of the last run
    std::vector<qint32> Cell;
};

Runs RunsAlong(qint64 first, qint64 last, qint64 tileSize,
               const std::function<qint64(qint64)>& toMap) {
    Runs runs;
    auto cellOf = [&](qint64 view) {
        const qint64 map = toMap(view);
        return qint32(map >= 0 ? map / tileSize : -((-map + tileSize - 1) / tileSize));
    };
    for (qint64 view = first - 1; view <= last + 1; ++view) {
        const qint32 cell = cellOf(view);
        if (runs.Cell.empty() || runs.Cell.back() != cell) {
            runs.Start.push_back(view);
            runs.Cell.push_back(cell);
        }
    }
    runs.Start.push_back(last + 2);
    return runs;
}
} // namespace

std::vector<QLine> SelectionOutline(const CellSelection& selection, const ViewMapping& mapping,
                                    const QRect& area) {
    std::vector<QLine> lines;
    if (selection.Empty() || area.isEmpty())
        return lines;
    const Runs across = RunsAlong(area.left(), area.right(), mapping.TileSize,
                                  [&](qint64 v) { return mapping.MapX(v); });
    const Runs down = RunsAlong(area.top(), area.bottom(), mapping.TileSize,
                                [&](qint64 v) { return mapping.MapY(v); });
    const std::size_t columns = across.Cell.size(), rows = down.Cell.size();
    std::vector<quint8> selected(columns * rows);
    for (std::size_t i = 0; i < columns; ++i)
        for (std::size_t j = 0; j < rows; ++j)
            selected[i * rows + j] = selection.Contains(across.Cell[i], down.Cell[j]) ? 1 : 0;
    auto at = [&](std::size_t i, std::size_t j) { return selected[i * rows + j] != 0; };
    auto clip = [&](QLine line) {
        const QRect box = QRect(line.p1(), line.p2()).normalized() & area;
        if (!box.isEmpty())
            lines.emplace_back(box.topLeft(), box.bottomRight());
    };
    // Vertical edges, between run i - 1 and run i: a line down the selected run's pixel next
    // to the edge, one line for each stretch of rows with the same edge.
    for (std::size_t i = 1; i < columns; ++i) {
        for (std::size_t j = 0; j < rows;) {
            const bool left = at(i - 1, j), right = at(i, j);
            std::size_t end = j + 1;
            while (end < rows && at(i - 1, end) == left && at(i, end) == right)
                ++end;
            if (left != right) {
                const auto x = int(right ? across.Start[i] : across.Start[i] - 1);
                clip(QLine(x, int(down.Start[j]), x, int(down.Start[end] - 1)));
            }
            j = end;
        }
    }
    // Horizontal edges, between run j - 1 and run j.
    for (std::size_t j = 1; j < rows; ++j) {
        for (std::size_t i = 0; i < columns;) {
            const bool above = at(i, j - 1), below = at(i, j);
            std::size_t end = i + 1;
            while (end < columns && at(end, j - 1) == above && at(end, j) == below)
                ++end;
            if (above != below) {
                const auto y = int(below ? down.Start[j] : down.Start[j] - 1);
                clip(QLine(int(across.Start[i]), y, int(across.Start[end] - 1), y));
            }
            i = end;
        }
    }
    return lines;
}
