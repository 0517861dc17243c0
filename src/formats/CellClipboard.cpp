#include "formats/CellClipboard.h"

#include "model/CellSelection.h"
#include "model/TileMap.h"
#include "platform/Exceptions.h"
#include "platform/LargeBuffer.h"

#include <QMimeData>
#include <QStringList>
#include <QtEndian>
#include <cstring>

namespace {
constexpr char Magic[] = "KVCELLS1";
constexpr qsizetype MagicSize = sizeof(Magic) - 1;
constexpr qsizetype HeaderSize = MagicSize + 8;

[[noreturn]] void NotCells(const QString& why) {
    throw EFormatError(QStringLiteral("The clipboard holds no cells to paste: %1.").arg(why));
}

// The private form of the grid's cells in box; those outside within, when it is given, -1.
// Written straight from the grid: a whole map's form is 64 MiB, and a copy of the cells on the
// way would cost as much again.
QByteArray PrivateForm(const CellGrid& grid, const QRect& box, const CellSelection* within) {
    const qsizetype height = box.height();
    QByteArray bytes(HeaderSize + qsizetype(box.width()) * height * qsizetype(sizeof(TileIndex)),
                     Qt::Uninitialized);
    char* out = bytes.data();
    AdviseLargePages(out, std::size_t(bytes.size()));
    std::memcpy(out, Magic, MagicSize);
    qToLittleEndian<qint32>(box.width(), out + MagicSize);
    qToLittleEndian<qint32>(box.height(), out + MagicSize + 4);
    char* column = out + HeaderSize;
    for (qint32 x = box.left(); x <= box.right(); ++x, column += height * 4) {
        qToLittleEndian<qint32>(grid[x].data() + box.top(), height, column);
        if (within)
            for (qint32 y = box.top(); y <= box.bottom(); ++y)
                if (!within->Contains(x, y))
                    qToLittleEndian<qint32>(-1, column + (y - box.top()) * 4);
    }
    return bytes;
}
} // namespace

namespace CellClipboard {

QString MimeType() {
    return QStringLiteral("application/x-korvane-cells");
}

QByteArray Bytes(const Stamp& cells) {
    return PrivateForm(cells.Grid(), QRect(0, 0, cells.Width(), cells.Height()), nullptr);
}

Stamp ReadBytes(const QByteArray& bytes) {
    if (bytes.size() < HeaderSize || std::memcmp(bytes.constData(), Magic, MagicSize) != 0)
        NotCells(QStringLiteral("its data is not a block of cells"));
    const qint32 width = qFromLittleEndian<qint32>(bytes.constData() + MagicSize);
    const qint32 height = qFromLittleEndian<qint32>(bytes.constData() + MagicSize + 4);
    const qint64 count = qint64(width) * height;
    // Checked against the bytes there are before anything is allocated.
    if (width < 1 || height < 1 || count > TileMap::MaxCells ||
        count * qint64(sizeof(TileIndex)) != bytes.size() - HeaderSize)
        NotCells(QStringLiteral("its block of cells is damaged"));
    CellGrid cells(width, height);
    qFromLittleEndian<qint32>(bytes.constData() + HeaderSize, count, cells.data());
    return Stamp(std::move(cells));
}

QString Text(const Stamp& cells) {
    QString text;
    text.reserve(qsizetype(cells.Count()) * 3);
    for (qint32 y = 0; y < cells.Height(); ++y) {
        for (qint32 x = 0; x < cells.Width(); ++x) {
            if (x > 0)
                text += u'\t';
            text += QString::number(cells.At(x, y));
        }
        text += u'\n';
    }
    return text;
}

Stamp ReadText(const QString& text) {
    QStringList lines = text.split(u'\n');
    // A spreadsheet ends its block with a line break, and Windows' lines end in "\r\n".
    if (!lines.isEmpty() && lines.back().trimmed().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        NotCells(QStringLiteral("it holds no text"));
    const auto width = qint32(lines.front().split(u'\t').size());
    const auto height = qint32(lines.size());
    if (qint64(width) * height > MaxTextCells)
        NotCells(QStringLiteral("its text holds more than %1 cells").arg(MaxTextCells));
    CellGrid cells(width, height);
    for (qint32 y = 0; y < height; ++y) {
        const QStringList fields = lines[y].split(u'\t');
        if (fields.size() != width)
            NotCells(QStringLiteral("line %1 has %2 cells where line 1 has %3")
                         .arg(y + 1)
                         .arg(fields.size())
                         .arg(width));
        for (qint32 x = 0; x < width; ++x) {
            bool ok = false;
            const qint32 value = fields[x].trimmed().toInt(&ok);
            if (!ok || value < -1)
                NotCells(QStringLiteral("\"%1\" on line %2 is not a tile number")
                             .arg(fields[x].trimmed().left(40))
                             .arg(y + 1));
            cells[x][std::size_t(y)] = value;
        }
    }
    return Stamp(std::move(cells));
}

std::unique_ptr<QMimeData> MimeData(const CellGrid& grid, const CellSelection& selection) {
    const QRect box = selection.Box() & QRect(0, 0, grid.size(), grid.Rows());
    auto data = std::make_unique<QMimeData>();
    data->setData(MimeType(),
                  PrivateForm(grid, box, selection.IsRectangle() ? nullptr : &selection));
    if (qint64(box.width()) * box.height() <= MaxTextCells)
        data->setText(Text(Stamp::Copy(grid, selection)));
    return data;
}

Stamp Read(const QMimeData& data) {
    if (data.hasFormat(MimeType()))
        return ReadBytes(data.data(MimeType()));
    if (data.hasText())
        return ReadText(data.text());
    NotCells(QStringLiteral("it holds neither cells nor text"));
}

} // namespace CellClipboard
