#include "model/TileMap.h"
#include "platform/Exceptions.h"

#include <algorithm>

TileMap::TileMap(qint32 tileSize) : TileSize(tileSize) {
    CheckSize(0, 0, tileSize);
}

QString TileMap::SizeProblem(qint32 width, qint32 height, qint32 tileSize) {
    if (tileSize < 1)
        return QStringLiteral("Tile size %1 is not allowed: the tile size must be at least 1")
            .arg(tileSize);
    if (width < 0)
        return QStringLiteral("Width %1 is not allowed: the width must be 0 or more").arg(width);
    if (height < 0)
        return QStringLiteral("Height %1 is not allowed: the height must be 0 or more").arg(height);
    if (qint64(width) * height > MaxCells)
        return QStringLiteral("A map of %1 × %2 cells is too large: at most %3 cells (2^28) are "
                              "allowed in all")
            .arg(width)
            .arg(height)
            .arg(MaxCells);
    return QString();
}

void TileMap::CheckSize(qint32 width, qint32 height, qint32 tileSize) {
    if (const QString problem = SizeProblem(width, height, tileSize); !problem.isEmpty())
        throw ESizeError(problem + QLatin1Char('.'));
}

void TileMap::New(qint32 width, qint32 height, qint32 tileSize) {
    // The new cells are made first: a size refused or memory that runs out leaves the map as
    // it was.
    CheckSize(width, height, tileSize);
    CellGrid cells(width, height);
    std::fill_n(cells.data(), qint64(width) * height, 0);
    Text1.clear();
    Text2.clear();
    PackName.clear();
    Text4.clear();
    SetCells(std::move(cells));
    TileSize = tileSize;
}

void TileMap::SetCells(CellGrid cells) {
    Width = cells.size();
    Height = cells.Rows();
    Cells = std::move(cells);
}

void TileMap::TakeContent(TileMap& from) {
    Text1 = std::move(from.Text1);
    Text2 = std::move(from.Text2);
    PackName = std::move(from.PackName);
    Text4 = std::move(from.Text4);
    SetCells(std::move(from.Cells));
}

void TileMap::SwapContent(TileMap& other) noexcept {
    std::swap(Text1, other.Text1);
    std::swap(Text2, other.Text2);
    std::swap(PackName, other.PackName);
    std::swap(Text4, other.Text4);
    std::swap(Cells, other.Cells);
    std::swap(Width, other.Width);
    std::swap(Height, other.Height);
    std::swap(TileSize, other.TileSize);
}

void TileMap::CopyContent(const TileMap& from) {
    if (Cells.size() != from.Cells.size() || Cells.Rows() != from.Cells.Rows())
        Cells = CellGrid(from.Cells.size(), from.Cells.Rows());
    std::copy_n(from.Cells.data(), from.Cells.Count(), Cells.data());
    Width = Cells.size();
    Height = Cells.Rows();
    Text1 = from.Text1;
    Text2 = from.Text2;
    PackName = from.PackName;
    Text4 = from.Text4;
}
