#include "model/CellGrid.h"
#include "platform/LargeBuffer.h"

CellGrid::CellGrid(qint32 columns, qint32 rows)
    : Columns(columns), RowCount(rows),
      Data(std::make_unique_for_overwrite<TileIndex[]>(std::size_t(qint64(columns) * rows))) {
    AdviseLargePages(Data.get(), std::size_t(qint64(columns) * rows) * sizeof(TileIndex));
}
