#include "render/CellPyramid.h"

#include <algorithm>

CellPyramid::Level CellPyramid::At(qint32 level) {
    const CellGrid& grid = Map.Cells;
    if (TakenFrom != grid.data() || TakenSize != QSize(grid.size(), grid.Rows()))
        Drop();
    TakenFrom = grid.data();
    TakenSize = QSize(grid.size(), grid.Rows());
    while (Levels.size() < std::size_t(level)) {
        const std::size_t index = Levels.size();
        // Each side halved, rounded up: the last sample of a level is the last of the one
        // before when that one's count is odd.
        const QSize before =
            index == 0 ? TakenSize : QSize(Levels.back().Width, Levels.back().Height);
        const qint32 width = before.width() / 2 + before.width() % 2;
        const qint32 height = before.height() / 2 + before.height() % 2;
        Levels.push_back(
            {std::make_unique_for_overwrite<TileIndex[]>(std::size_t(qint64(width) * height)),
             width, height});
        Take(index, 0, 0, width - 1, height - 1);
    }
    const Samples& samples = Levels[std::size_t(level - 1)];
    return {samples.Cells.get(), samples.Width, samples.Height};
}

void CellPyramid::CellsChanged(const QRect& cells) {
    if (Levels.empty() || cells.isEmpty() || TakenFrom != Map.Cells.data())
        return;
    const QRect within = cells & QRect(QPoint(0, 0), TakenSize);
    for (std::size_t index = 0; index < Levels.size(); ++index) {
        // The samples whose cells lie in the box: those from the first multiple of 2^k on.
        const qint32 shift = qint32(index) + 1, step = (1 << shift) - 1;
        Take(index, (within.left() + step) >> shift, (within.top() + step) >> shift,
             within.right() >> shift, within.bottom() >> shift);
    }
}

void CellPyramid::Drop() {
    Levels.clear();
    Levels.shrink_to_fit();
    TakenFrom = nullptr;
    TakenSize = QSize();
}

qint64 CellPyramid::Bytes() const {
    qint64 bytes = 0;
    for (const Samples& samples : Levels)
        bytes += qint64(samples.Width) * samples.Height * qint64(sizeof(TileIndex));
    return bytes;
}

void CellPyramid::Take(std::size_t index, qint32 i0, qint32 j0, qint32 i1, qint32 j1) {
    Samples& to = Levels[index];
    TileIndex* const out = to.Cells.get();
    if (index == 0) {
        // From the grid's columns, a few at a time, so each row of samples is written a cache
        // line at once while the columns are read down.
        constexpr qint32 Columns = 16;
        const qint64 rows = Map.Cells.Rows();
        const TileIndex* grid = Map.Cells.data();
        for (qint32 first = i0; first <= i1; first += Columns) {
            const qint32 last = std::min(i1, first + Columns - 1);
            for (qint32 j = j0; j <= j1; ++j) {
                TileIndex* row = out + qint64(j) * to.Width;
                const TileIndex* cell = grid + 2 * qint64(j);
                for (qint32 i = first; i <= last; ++i)
                    row[i] = cell[2 * qint64(i) * rows];
            }
        }
        return;
    }
    // From every other sample of every other row of the level before.
    const Samples& from = Levels[index - 1];
    for (qint32 j = j0; j <= j1; ++j) {
        TileIndex* row = out + qint64(j) * to.Width;
        const TileIndex* above = from.Cells.get() + 2 * qint64(j) * from.Width;
        for (qint32 i = i0; i <= i1; ++i)
            row[i] = above[2 * qint64(i)];
    }
}
