#pragma once

#include <QRect>
#include <QtGlobal>
#include <cstddef>
#include <vector>

class CellRegion;

// The cells the editing verbs work on: any set of a map's cells, a rectangle or the shape of a
// fill. One bit a cell, column by column as the grid, once anything is selected: a whole
// 8192 × 8192 map takes 8 MiB, and asking for a cell costs the same whatever the shape.
class CellSelection {
public:
    // How a new set of cells meets the cells already selected.
    enum class Combine { Replace, Add, Subtract };

    CellSelection() = default;
    // Nothing selected, over a map of width × height cells.
    CellSelection(qint32 width, qint32 height);

    qint32 Width() const { return Columns; }
    qint32 Height() const { return Rows; }
    bool Empty() const { return Selected == 0; }
    qint64 Count() const { return Selected; }
    // The smallest rect of cells holding every selected one; empty when none is.
    const QRect& Box() const { return Bounds; }
    // Whether every cell of the box is selected: the selection is a rectangle.
    bool IsRectangle() const { return Selected == qint64(Bounds.width()) * Bounds.height(); }
    // False for a cell outside the map.
    bool Contains(qint32 x, qint32 y) const {
        if (Bits.empty() || quint32(x) >= quint32(Columns) || quint32(y) >= quint32(Rows))
            return false;
        const std::size_t bit = BitOf(x, y);
        return (Bits[bit / 64] >> (bit % 64)) & 1;
    }
    bool Contains(QPoint cell) const { return Contains(cell.x(), cell.y()); }

    // The cells of a rect, clipped to the map.
    void Apply(const QRect& cells, Combine how);
    // The cells of a region, which lies within the map.
    void Apply(const CellRegion& region, Combine how);
    void SelectAll();
    void Clear();

private:
    std::size_t BitOf(qint32 x, qint32 y) const {
        return std::size_t(x) * std::size_t(WordsPerColumn) * 64 + std::size_t(y);
    }
    // Before a change: the bits there, and none set for Replace.
    void Prepare(Combine how);
    // Sets (or clears) rows y0 to y1 of column x.
    void SetRun(qint32 x, qint32 y0, qint32 y1, bool on);
    // After a change: the count and the box again, from the bits.
    void Recount();

    qint32 Columns = 0;
    qint32 Rows = 0;
    qint32 WordsPerColumn = 0; // each column starts on a word, so a run is set a word at a time
    std::vector<quint64> Bits; // none while nothing was selected: most maps never are

    qint64 Selected = 0;
    QRect Bounds;
};
