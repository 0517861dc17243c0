#pragma once

#include "platform/Parallel.h"

#include <QtGlobal>
#include <algorithm>
#include <cstddef>

// The passes over a map's cells (counting, renumbering, finding a tile's cells) split the
// columns into blocks that run on all cores; a block's results stay apart until all are done,
// and are then taken in block order, which is column order.
struct ColumnBlocks {
    // As many blocks as make the cores busy, and none for fewer than a million cells.
    static std::size_t CountFor(qint32 columns, qint64 cells) {
        const qint64 most = std::max<qint64>(1, std::min<qint64>(columns, 8));
        return std::size_t(std::clamp<qint64>(cells >> 20, 1, most));
    }
    // work(block, firstColumn, endColumn) for each of blocks blocks of columns.
    template <class Work> static void Run(qint32 columns, std::size_t blocks, Work&& work) {
        ForEachInParallel(
            blocks,
            [&](std::size_t block) {
                const auto first = qint32(qint64(columns) * qint64(block) / qint64(blocks));
                const auto end = qint32(qint64(columns) * qint64(block + 1) / qint64(blocks));
                work(block, first, end);
            },
            1);
    }
};
