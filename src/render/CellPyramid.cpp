#include "render/CellPyramid.h"
#include "platform/LargeBuffer.h"

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
        const std::size_t count = std::size_t(qint64(width) * height);
        Levels.push_back({std::make_unique_for_overwrite<TileIndex[]>(count), width, height});
        AdviseLargePages(Levels.back().Cells.get(), count * sizeof(TileIndex));
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
        // From the grid's columns, a block of samples at a time: each column's samples of the
        // block are read down it, as the grid keeps them, into a small block that is then
        // copied out a row at a time. Reading across the columns instead, every other column
        // lying the same distance apart, kept missing the cache.
        constexpr qint32 BlockColumns = 16, BlockRows = 64;
        TileIndex block[BlockRows][BlockColumns];
        const qint64 rows = Map.Cells.Rows();
        const TileIndex* grid = Map.Cells.data();
        for (qint32 left = i0; left <= i1; left += BlockColumns) {
            const qint32 columns = std::min(BlockColumns, i1 - left + 1);
            for (qint32 top = j0; top <= j1; top += BlockRows) {
                const qint32 height = std::min(BlockRows, j1 - top + 1);
                for (qint32 i = 0; i < columns; ++i) {
                    const TileIndex* cells = grid + 2 * (qint64(left + i) * rows + top);
                    for (qint32 j = 0; j < height; ++j)
                        block[j][i] = cells[2 * j];
                }
                for (qint32 j = 0; j < height; ++j)
                    std::copy_n(block[j], columns, out + qint64(top + j) * to.Width + left);
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
