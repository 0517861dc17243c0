#include "model/CellRegion.h"

#include "model/CellSelection.h"
#include "model/ColumnBlocks.h"

#include <algorithm>
#include <bit>
#include <span>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

CellRegion::CellRegion(const QRect& box, const std::vector<CellSpan>& spans) : Bounds(box) {
    for (const CellSpan& span : spans)
        Cells += span.Y1 - span.Y0 + 1;
    const qint64 bitBytes = (qint64(box.width()) * box.height() + 63) / 64 * 8;
    if (qint64(spans.size() * sizeof(CellSpan)) <= bitBytes) {
        Spans = spans;
        std::sort(Spans.begin(), Spans.end(), [](const CellSpan& a, const CellSpan& b) {
            return a.X != b.X ? a.X < b.X : a.Y0 < b.Y0;
        });
        return;
    }
    Bits.resize(std::size_t(bitBytes / 8));
    // A span is a run of bits, set a word at a time.
    for (const CellSpan& span : spans)
        for (qint64 bit = BitIndex(span.X, span.Y0), end = BitIndex(span.X, span.Y1) + 1;
             bit < end;) {
            const qint64 inWord = std::min<qint64>(64 - bit % 64, end - bit);
            const quint64 mask = (inWord == 64 ? ~quint64(0) : ((quint64(1) << inWord) - 1))
                                 << (bit % 64);
            Bits[std::size_t(bit / 64)] |= mask;
            bit += inWord;
        }
}

bool CellRegion::Contains(qint32 x, qint32 y) const {
    if (!Bounds.contains(x, y))
        return false;
    if (Bits.empty()) {
        // The last span that starts at or before (x, y).
        const auto after = std::upper_bound(
            Spans.begin(), Spans.end(), std::pair(x, y),
            [](const std::pair<qint32, qint32>& at, const CellSpan& span) {
                return at.first != span.X ? at.first < span.X : at.second < span.Y0;
            });
        if (after == Spans.begin())
            return false;
        const CellSpan& span = *std::prev(after);
        return span.X == x && y <= span.Y1;
    }
    const qint64 bit = BitIndex(x, y);
    return (Bits[std::size_t(bit / 64)] >> (bit % 64)) & 1;
}

void CellRegion::Fill(CellGrid& grid, TileIndex value) const {
    ForEachSpan([&](const CellSpan& span) {
        std::fill_n(grid[span.X].begin() + span.Y0, span.Y1 - span.Y0 + 1, value);
    });
}

namespace {
// Cells are compared a block at a time where they can be: a loop without an early exit over a
// block vectorises, and a large region is mostly whole blocks of one value.
constexpr qint32 Block = 16;

// One bit for each of the Block cells from p that holds value.
inline int EqualMask(const TileIndex* p, TileIndex value) {
#if defined(__SSE2__)
    // Four compares and the signs of their results gathered: the compiler leaves a plain
    // loop over 16 cells scalar.
    const __m128i v = _mm_set1_epi32(value);
    auto equal = [&](int k) {
        return _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k)), v);
    };
    const __m128i low = _mm_packs_epi32(equal(0), equal(4));
    const __m128i high = _mm_packs_epi32(equal(8), equal(12));
    return _mm_movemask_epi8(_mm_packs_epi16(low, high));
#else
    int mask = 0;
    for (int k = 0; k < Block; ++k)
        mask |= int(p[k] == value) << k;
    return mask;
#endif
}
constexpr int AllCells = (1 << Block) - 1;

// The last row at or below y (the first at or above, when up) of the run of value through y.
qint32 RunEnd(std::span<const TileIndex> column, qint32 y, TileIndex value, bool up) {
    const qint32 rows = qint32(column.size());
    if (up) {
        while (y >= Block && EqualMask(&column[std::size_t(y - Block)], value) == AllCells)
            y -= Block;
        while (y > 0 && column[std::size_t(y - 1)] == value)
            --y;
    } else {
        while (y + Block < rows && EqualMask(&column[std::size_t(y + 1)], value) == AllCells)
            y += Block;
        while (y < rows - 1 && column[std::size_t(y + 1)] == value)
            ++y;
    }
    return y;
}

// Calls run(first, last) for each run of value within y0..y1, cut to that range.
template <class Run>
void RunsWithin(std::span<const TileIndex> column, qint32 y0, qint32 y1, TileIndex value,
                Run&& run) {
    qint32 start = -1; // of the run being read, -1 outside runs
    for (qint32 y = y0; y <= y1;) {
        if (y + Block <= y1 + 1) {
            const int equal = EqualMask(&column[std::size_t(y)], value);
            if (equal == (start >= 0 ? AllCells : 0)) {
                y += Block; // the run, or the gap between runs, goes on
                continue;
            }
        }
        if (column[std::size_t(y)] == value) {
            if (start < 0)
                start = y;
        } else if (start >= 0) {
            run(start, y - 1);
            start = -1;
        }
        ++y;
    }
    if (start >= 0)
        run(start, y1);
}
} // namespace

CellRegion FloodFill(CellGrid& grid, qint32 x, qint32 y, TileIndex value) {
    const qint32 columns = grid.size();
    const qint32 rows = grid.Rows();
    if (x < 0 || y < 0 || x >= columns || y >= rows)
        return {};
    const TileIndex old = grid[x][std::size_t(y)];
    if (old == value)
        return {};
    // Spans along columns, which are contiguous in the grid. Every filled cell stops holding
    // old, so nothing is visited twice; the spans are kept to build the region afterwards,
    // once its bounding box is known.
    // A run of old cells found beside a filled span: every cell of it is still old when it
    // comes to be filled, or none is (a fill takes a whole run), so only its ends need reading.
    struct Seed {
        qint32 X, Y0, Y1;
        CellSpan From; // the span it was found beside, filled already
    };
    std::vector<CellSpan> spans;
    std::vector<Seed> seeds{{x, y, y, {-1, 0, -1}}};
    try {
        QRect box;
        while (!seeds.empty()) {
            const Seed seed = seeds.back();
            seeds.pop_back();
            const auto column = grid[seed.X];
            if (column[std::size_t(seed.Y0)] != old)
                continue;
            const qint32 y0 = RunEnd(column, seed.Y0, old, true);
            const qint32 y1 = RunEnd(column, seed.Y1, old, false);
            spans.push_back({seed.X, y0, y1}); // kept before it is filled, to be undone below
            std::fill(column.begin() + y0, column.begin() + y1 + 1, value);
            box |= QRect(seed.X, y0, 1, y1 - y0 + 1);
            // The runs of old cells beside the span, left and right; beside the span this one
            // was found from, that span's rows hold value already.
            const CellSpan filled{seed.X, y0, y1};
            auto look = [&](qint32 nx, qint32 from, qint32 to) {
                if (from <= to)
                    RunsWithin(grid[nx], from, to, old, [&](qint32 a, qint32 b) {
                        seeds.push_back({nx, a, b, filled});
                    });
            };
            for (const qint32 nx : {seed.X - 1, seed.X + 1}) {
                if (nx < 0 || nx >= columns)
                    continue;
                if (nx != seed.From.X) {
                    look(nx, y0, y1);
                    continue;
                }
                look(nx, y0, std::min(y1, seed.From.Y0 - 1));
                look(nx, std::max(y0, seed.From.Y1 + 1), y1);
            }
        }
        // The spans stay here until the region is made, to be undone if that fails.
        return CellRegion(box, spans);
    } catch (...) {
        // Out of memory: a fill that cannot report its region changes nothing, or it could
        // never be undone.
        for (const CellSpan& span : spans)
            std::fill_n(grid[span.X].begin() + span.Y0, span.Y1 - span.Y0 + 1, old);
        throw;
    }
}

namespace {
// The first cell from p on that holds value, or end: four cells at a time where SSE2 is.
const TileIndex* FindValue(const TileIndex* p, const TileIndex* end, TileIndex value) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi32(value);
    for (; end - p >= 4; p += 4) {
        const auto equal = unsigned(_mm_movemask_epi8(
            _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), wanted)));
        if (equal != 0)
            return p + std::countr_zero(equal) / 4;
    }
#endif
    return std::find(p, end, value);
}
} // namespace

std::vector<CellRegion> CellsHolding(const CellGrid& grid, qint32 tileCount,
                                     std::span<const TileIndex> tiles, bool* holdsLater) {
    const TileIndex first = tiles.empty() ? tileCount : tiles.front();
    const auto count = quint32(std::max(tileCount, 0));
    // Which of the regions a tile's cells go to, for every tile of the pack; -1 for none.
    std::vector<qint32> regionOf(count, -1);
    for (std::size_t i = 0; i < tiles.size(); ++i)
        regionOf[std::size_t(tiles[i])] = qint32(i);
    // Each block's spans and boxes of each region, and whether it holds a later tile.
    struct Found {
        std::vector<std::vector<CellSpan>> Spans;
        std::vector<QRect> Boxes;
        bool Later = false;
    };
    const std::size_t blocks = ColumnBlocks::CountFor(grid.size(), grid.Count());
    std::vector<Found> found(blocks, Found{std::vector<std::vector<CellSpan>>(tiles.size()),
                                           std::vector<QRect>(tiles.size()), false});
    auto holdsLaterTile = [&](std::span<const TileIndex> column) {
        return std::ranges::any_of(column, [&](TileIndex tile) {
            return quint32(tile - first) < quint32(tileCount - first);
        });
    };
    ColumnBlocks::Run(grid.size(), blocks, [&](std::size_t block, qint32 firstColumn, qint32 end) {
        Found& mine = found[block];
        auto add = [&](std::size_t region, qint32 x, qint32 y0, qint32 y1) {
            std::vector<CellSpan>& spans = mine.Spans[region];
            if (!spans.empty() && spans.back().X == x && spans.back().Y1 == y0 - 1)
                spans.back().Y1 = y1;
            else
                spans.push_back({x, y0, y1});
            mine.Boxes[region] |= QRect(x, y0, 1, y1 - y0 + 1);
        };
        for (qint32 x = firstColumn; x < end; ++x) {
            const auto column = grid[x];
            // Stops looking at the first later tile: most maps have one in their first column.
            mine.Later = mine.Later || holdsLaterTile(column);
            if (tiles.size() == 1) {
                // One tile, the usual case: its cells are few, and found four at a time.
                const TileIndex* const top = column.data();
                const TileIndex* const bottom = top + column.size();
                for (const TileIndex* at = FindValue(top, bottom, first); at != bottom;) {
                    const TileIndex* run = at;
                    while (run != bottom && *run == first)
                        ++run;
                    add(0, x, qint32(at - top), qint32(run - top) - 1);
                    at = FindValue(run, bottom, first);
                }
                continue;
            }
            for (qint32 y = 0; y < qint32(column.size()); ++y) {
                const TileIndex tile = column[std::size_t(y)];
                if (quint32(tile) < count && regionOf[std::size_t(tile)] >= 0)
                    add(std::size_t(regionOf[std::size_t(tile)]), x, y, y);
            }
        }
    });
    std::vector<CellRegion> regions;
    regions.reserve(tiles.size());
    bool later = false;
    for (const Found& block : found)
        later = later || block.Later;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        std::vector<CellSpan> spans;
        QRect box;
        for (const Found& block : found) {
            spans.insert(spans.end(), block.Spans[i].begin(), block.Spans[i].end());
            box |= block.Boxes[i];
        }
        regions.emplace_back(box, spans);
    }
    if (holdsLater)
        *holdsLater = later;
    return regions;
}

CellRegion RegionAround(const CellGrid& grid, qint32 x, qint32 y, const CellSelection* within) {
    const qint32 columns = grid.size();
    const qint32 rows = grid.Rows();
    if (x < 0 || y < 0 || x >= columns || y >= rows || (within && !within->Contains(x, y)))
        return {};
    const TileIndex value = grid[x][std::size_t(y)];
    auto joins = [&](qint32 cx, qint32 cy) {
        return grid[cx][std::size_t(cy)] == value && (!within || within->Contains(cx, cy));
    };
    // Cells already taken into a span. A run of joining cells is taken whole, so a seed in a
    // taken cell is a run found twice.
    std::vector<bool> taken(std::size_t(grid.Count()));
    auto isTaken = [&](qint32 cx, qint32 cy) {
        return bool(taken[std::size_t(cx) * std::size_t(rows) + std::size_t(cy)]);
    };
    std::vector<CellSpan> spans;
    std::vector<QPoint> seeds{{x, y}};
    QRect box;
    while (!seeds.empty()) {
        const QPoint seed = seeds.back();
        seeds.pop_back();
        if (isTaken(seed.x(), seed.y()))
            continue;
        qint32 y0 = seed.y(), y1 = seed.y();
        while (y0 > 0 && joins(seed.x(), y0 - 1))
            --y0;
        while (y1 < rows - 1 && joins(seed.x(), y1 + 1))
            ++y1;
        const auto first = taken.begin() + std::ptrdiff_t(seed.x()) * rows;
        std::fill(first + y0, first + y1 + 1, true);
        spans.push_back({seed.x(), y0, y1});
        box |= QRect(seed.x(), y0, 1, y1 - y0 + 1);
        for (const qint32 nx : {seed.x() - 1, seed.x() + 1}) {
            if (nx < 0 || nx >= columns)
                continue;
            // One seed for each run of joining cells beside the span.
            bool inRun = false;
            for (qint32 ny = y0; ny <= y1; ++ny) {
                const bool join = !isTaken(nx, ny) && joins(nx, ny);
                if (join && !inRun)
                    seeds.push_back({nx, ny});
                inRun = join;
            }
        }
    }
    return CellRegion(box, spans);
}

CellRegion CellsHoldingTile(const CellGrid& grid, TileIndex tile, const QRect& area,
                            const CellSelection* within) {
    const QRect cells = area & QRect(0, 0, grid.size(), grid.Rows());
    std::vector<CellSpan> spans;
    QRect box;
    auto add = [&](qint32 x, qint32 y0, qint32 y1) {
        spans.push_back({x, y0, y1});
        box |= QRect(x, y0, 1, y1 - y0 + 1);
    };
    for (qint32 x = cells.left(); x <= cells.right(); ++x)
        RunsWithin(grid[x], cells.top(), cells.bottom(), tile, [&](qint32 y0, qint32 y1) {
            if (!within) {
                add(x, y0, y1);
                return;
            }
            // The run, cut where the selection leaves it.
            for (qint32 y = y0; y <= y1;) {
                if (!within->Contains(x, y)) {
                    ++y;
                    continue;
                }
                qint32 end = y;
                while (end < y1 && within->Contains(x, end + 1))
                    ++end;
                add(x, y, end);
                y = end + 1;
            }
        });
    return CellRegion(box, spans);
}
