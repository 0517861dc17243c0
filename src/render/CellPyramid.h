#pragma once

#include "model/TileMap.h"

#include <QRect>
#include <memory>
#include <vector>

// Sampled cells of a map, for views whose cells are smaller than a view pixel. Level k (1 and
// up) holds the cell at column i·2^k, row j·2^k for every i and j, row after row: a view row's
// cells are then one contiguous run, where the grid, which keeps columns, would scatter them
// over the whole map. Levels are made on first use, each from the one before, and kept
// current cell by cell; they take at most a third of the grid's bytes in all.
class CellPyramid {
public:
    // The map must outlive the pyramid.
    explicit CellPyramid(const TileMap& map) : Map(map) {}

    // The samples of a level, Width × Height of them, row after row.
    struct Level {
        const TileIndex* Cells = nullptr;
        qint32 Width = 0;
        qint32 Height = 0;
    };
    // The samples at level (1 and up), made now with the levels before it if they are missing,
    // or made anew if the map's grid is another than they were taken from.
    Level At(qint32 level);

    // The cells within cells (columns across, rows down) changed: their samples are taken again.
    // Costs a quarter of the box's cells at most, nothing while no level is made.
    void CellsChanged(const QRect& cells);
    // Any cell may have changed, or the map is another: the levels go, and their memory.
    void Drop();

    // The bytes the levels hold.
    qint64 Bytes() const;

private:
    struct Samples {
        std::unique_ptr<TileIndex[]> Cells;
        qint32 Width = 0;
        qint32 Height = 0;
    };
    // Takes the samples of level (index + 1) within the samples' box [i0, i1] × [j0, j1] from
    // the grid or from the level before.
    void Take(std::size_t index, qint32 i0, qint32 j0, qint32 i1, qint32 j1);

    const TileMap& Map;
    std::vector<Samples> Levels; // level k at k - 1
    // The grid the levels were taken from.
    const TileIndex* TakenFrom = nullptr;
    QSize TakenSize;
};
