#include "model/CellSelection.h"

#include "model/CellRegion.h"

#include <algorithm>
#include <bit>

CellSelection::CellSelection(qint32 width, qint32 height)
    : Columns(std::max(width, 0)), Rows(std::max(height, 0)), WordsPerColumn((Rows + 63) / 64),
      Bits() {}

void CellSelection::Prepare(Combine how) {
    if (Bits.empty())
        Bits.resize(std::size_t(Columns) * std::size_t(WordsPerColumn));
    else if (how == Combine::Replace)
        std::ranges::fill(Bits, 0);
}

void CellSelection::SetRun(qint32 x, qint32 y0, qint32 y1, bool on) {
    for (std::size_t bit = BitOf(x, y0), end = BitOf(x, y1) + 1; bit < end;) {
        const std::size_t inWord = std::min<std::size_t>(64 - bit % 64, end - bit);
        const quint64 mask = (inWord == 64 ? ~quint64(0) : ((quint64(1) << inWord) - 1))
                             << (bit % 64);
        quint64& word = Bits[bit / 64];
        word = on ? word | mask : word & ~mask;
        bit += inWord;
    }
}

void CellSelection::Recount() {
    Selected = 0;
    qint32 left = Columns, right = -1, top = Rows, bottom = -1;
    for (qint32 x = 0; x < Columns; ++x) {
        const quint64* column = Bits.data() + std::size_t(x) * std::size_t(WordsPerColumn);
        qint64 inColumn = 0;
        for (qint32 w = 0; w < WordsPerColumn; ++w)
            inColumn += std::popcount(column[w]);
        if (inColumn == 0)
            continue;
        Selected += inColumn;
        left = std::min(left, x);
        right = x;
        const auto first =
            std::find_if(column, column + WordsPerColumn, [](quint64 w) { return w; });
        const auto last = std::find_if(std::reverse_iterator(column + WordsPerColumn),
                                       std::reverse_iterator(column), [](quint64 w) { return w; });
        top = std::min(top, qint32((first - column) * 64 + std::countr_zero(*first)));
        const qint32 lastWord = qint32(last.base() - column - 1);
        bottom = std::max(bottom, lastWord * 64 + 63 - std::countl_zero(*last));
    }
    Bounds = Selected ? QRect(QPoint(left, top), QPoint(right, bottom)) : QRect();
}

void CellSelection::Apply(const QRect& cells, Combine how) {
    Prepare(how);
    const QRect area = cells.normalized() & QRect(0, 0, Columns, Rows);
    if (!area.isEmpty())
        for (qint32 x = area.left(); x <= area.right(); ++x)
            SetRun(x, area.top(), area.bottom(), how != Combine::Subtract);
    Recount();
}

void CellSelection::Apply(const CellRegion& region, Combine how) {
    Prepare(how);
    if (QRect(0, 0, Columns, Rows).contains(region.Box()))
        region.ForEachSpan([&](const CellSpan& span) {
            SetRun(span.X, span.Y0, span.Y1, how != Combine::Subtract);
        });
    Recount();
}

void CellSelection::SelectAll() {
    Apply(QRect(0, 0, Columns, Rows), Combine::Replace);
}

void CellSelection::Clear() {
    Bits = {};
    Selected = 0;
    Bounds = QRect();
}
