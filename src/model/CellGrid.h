#pragma once

#include <QtGlobal>
#include <memory>
#include <span>

// Position of a tile in the pack; -1 marks an empty cell.
using TileIndex = qint32;

// Map cells in one contiguous block, column after column, indexed Cells[x][y].
class CellGrid {
public:
    CellGrid() = default;
    // Cell values are left unset; callers fill every one.
    CellGrid(qint32 columns, qint32 rows);

    qint32 size() const { return Columns; }
    bool empty() const { return Columns == 0; }
    qint32 Rows() const { return RowCount; }
    std::span<TileIndex> operator[](qint32 x) {
        return {Data.get() + qsizetype(x) * RowCount, std::size_t(RowCount)};
    }
    std::span<const TileIndex> operator[](qint32 x) const {
        return {Data.get() + qsizetype(x) * RowCount, std::size_t(RowCount)};
    }
    TileIndex* data() { return Data.get(); }
    const TileIndex* data() const { return Data.get(); }
    // Columns × rows: the number of cells.
    qint64 Count() const { return qint64(Columns) * RowCount; }

private:
    qint32 Columns = 0;
    qint32 RowCount = 0;
    std::unique_ptr<TileIndex[]> Data;
};
