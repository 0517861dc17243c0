#include "model/TileUsage.h"

#include "model/ColumnBlocks.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

std::vector<qint64> TileUsage(const CellGrid& grid, qint32 tileCount) {
    const auto tiles = std::size_t(std::max(tileCount, 0));
    const std::size_t blocks = ColumnBlocks::CountFor(grid.size(), grid.Count());
    // Four counts a block, one for each of four cells in a row, so that neighbouring cells of
    // one tile do not wait for each other's increments; a block holds fewer than 2^32 cells.
    // Cells that name no tile count in the slot past the last.
    constexpr std::size_t Ways = 4;
    std::vector<std::vector<quint32>> counts(blocks, std::vector<quint32>(Ways * (tiles + 1)));
    ColumnBlocks::Run(grid.size(), blocks, [&](std::size_t block, qint32 first, qint32 end) {
        quint32* const count = counts[block].data();
        const TileIndex* cell = grid[first].data();
        const TileIndex* const stop = cell + qint64(end - first) * grid.Rows();
        auto slot = [&](TileIndex tile) {
            return quint32(tile) < quint32(tiles) ? std::size_t(tile) : tiles;
        };
        for (; stop - cell >= qint64(Ways); cell += Ways)
            for (std::size_t way = 0; way < Ways; ++way)
                ++count[way * (tiles + 1) + slot(cell[way])];
        for (; cell != stop; ++cell)
            ++count[slot(*cell)];
    });
    std::vector<qint64> usage(tiles);
    for (const std::vector<quint32>& count : counts)
        for (std::size_t way = 0; way < Ways; ++way)
            for (std::size_t i = 0; i < tiles; ++i)
                usage[i] += count[way * (tiles + 1) + i];
    return usage;
}

bool RenumberCells(CellGrid& grid, std::span<const TileIndex> newIndex) {
    const auto tiles = quint32(newIndex.size());
    const std::size_t blocks = ColumnBlocks::CountFor(grid.size(), grid.Count());
    std::vector<quint8> changed(blocks, 0);
    ColumnBlocks::Run(grid.size(), blocks, [&](std::size_t block, qint32 first, qint32 end) {
        TileIndex* cell = grid[first].data();
        TileIndex* const stop = cell + qint64(end - first) * grid.Rows();
        bool any = false;
        for (; cell != stop; ++cell)
            if (quint32(*cell) < tiles) {
                const TileIndex now = newIndex[std::size_t(*cell)];
                any |= now != *cell;
                *cell = now;
            }
        changed[block] = quint8(any);
    });
    return std::ranges::any_of(changed, [](quint8 c) { return c != 0; });
}

TileShift TileShift::Move(TileIndex from, TileIndex to) {
    return from < to ? TileShift{from + 1, to, -1, from, to} : TileShift{to, from - 1, 1, from, to};
}

TileShift TileShift::Delete(TileIndex index, qint32 count) {
    return {index + 1, count - 1, -1, index, -1};
}

TileShift TileShift::Undelete(TileIndex index, qint32 count) {
    // From is the range's first tile, which the range's own rule moves: nothing else changes.
    return {index, count - 2, 1, index, index + 1};
}

namespace {
// ShiftCells on count cells; returns whether any changed.
bool ShiftRun(TileIndex* cells, qint64 count, TileShift shift, TileIndex delta, quint32 span) {
    qint64 i = 0;
    quint32 any = 0;
#if defined(__SSE2__)
    // Four cells at a time. SSE2 compares signed only: with the sign bit flipped on both sides,
    // a signed compare is the unsigned one.
    const __m128i bias = _mm_set1_epi32(qint32(0x80000000u));
    const __m128i first = _mm_set1_epi32(shift.First);
    const __m128i last = _mm_xor_si128(_mm_set1_epi32(qint32(span)), bias);
    const __m128i by = _mm_set1_epi32(delta);
    const __m128i from = _mm_set1_epi32(shift.From);
    const __m128i to = _mm_set1_epi32(shift.To);
    __m128i changed = _mm_setzero_si128();
    for (; i + 4 <= count; i += 4) {
        auto* at = reinterpret_cast<__m128i*>(cells + i);
        const __m128i before = _mm_loadu_si128(at);
        const __m128i outside =
            _mm_cmpgt_epi32(_mm_xor_si128(_mm_sub_epi32(before, first), bias), last);
        __m128i after = _mm_add_epi32(before, _mm_andnot_si128(outside, by));
        const __m128i isFrom = _mm_cmpeq_epi32(before, from);
        after = _mm_or_si128(_mm_and_si128(isFrom, to), _mm_andnot_si128(isFrom, after));
        changed = _mm_or_si128(changed, _mm_xor_si128(after, before));
        _mm_storeu_si128(at, after);
    }
    any = quint32(_mm_movemask_epi8(_mm_cmpeq_epi32(changed, _mm_setzero_si128()))) ^ 0xFFFFu;
#endif
    for (; i < count; ++i) {
        const TileIndex before = cells[i];
        const TileIndex after = before == shift.From                    ? shift.To
                                : quint32(before - shift.First) <= span ? before + delta
                                                                        : before;
        any |= quint32(after ^ before);
        cells[i] = after;
    }
    return any != 0;
}
} // namespace

bool ShiftCells(CellGrid& grid, const TileShift& shift) {
    // An empty range moves nothing; unsigned, last - first would wrap and take every cell.
    const TileIndex delta = shift.Last >= shift.First ? shift.Delta : 0;
    const auto span = quint32(std::max(shift.Last - shift.First, 0));
    const std::size_t blocks = ColumnBlocks::CountFor(grid.size(), grid.Count());
    std::vector<quint8> changed(blocks, 0);
    ColumnBlocks::Run(grid.size(), blocks, [&](std::size_t block, qint32 first, qint32 end) {
        changed[block] = quint8(
            ShiftRun(grid[first].data(), qint64(end - first) * grid.Rows(), shift, delta, span));
    });
    return std::ranges::any_of(changed, [](quint8 c) { return c != 0; });
}
