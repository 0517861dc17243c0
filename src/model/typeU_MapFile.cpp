// The map file (.map): four texts (Text1, Text2, PackName, Text4), each a 32-bit length and
// its bytes; then Width, Height and Width again; then the cells row by row, each a 32-bit
// TileIndex. Integers are little-endian.

#include "model/FileFormat.h"
#include "model/Int32Field.h"
#include "model/typeU.h"
#include "platform/Exceptions.h"
#include "platform/TInputFile.h"
#include "platform/TMemoryStream.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using FileFormat::ReadInt32;
using FileFormat::ReadText;

namespace {
// One cell from row r, column c of a rows × columns matrix to row c, column r of its
// transpose, stored little-endian when read natively and native when read little-endian (the
// same byte swap, or none, serves both directions).
inline void TransposeCell(const char* from, char* to, qint64 rows, qint64 columns, qint64 r,
                          qint64 c) {
    qToLittleEndian(qFromUnaligned<qint32>(from + 4 * (r * columns + c)), to + 4 * (c * rows + r));
}

#if defined(__SSE2__) && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
// Four rows of four cells at (r, c) at a time, in registers: four 16-byte loads and stores
// instead of sixteen single cells.
constexpr qint64 Kernel = 4;
inline void TransposeKernel(const char* from, char* to, qint64 rows, qint64 columns, qint64 r,
                            qint64 c) {
    const char* in = from + 4 * (r * columns + c);
    const qint64 inStride = 4 * columns;
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + inStride));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * inStride));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * inStride));
    const __m128i r01Low = _mm_unpacklo_epi32(r0, r1);
    const __m128i r23Low = _mm_unpacklo_epi32(r2, r3);
    const __m128i r01High = _mm_unpackhi_epi32(r0, r1);
    const __m128i r23High = _mm_unpackhi_epi32(r2, r3);
    char* out = to + 4 * (c * rows + r);
    const qint64 outStride = 4 * rows;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(r01Low, r23Low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + outStride),
                     _mm_unpackhi_epi64(r01Low, r23Low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * outStride),
                     _mm_unpacklo_epi64(r01High, r23High));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * outStride),
                     _mm_unpackhi_epi64(r01High, r23High));
}
#else
constexpr qint64 Kernel = 1;
inline void TransposeKernel(const char* from, char* to, qint64 rows, qint64 columns, qint64 r,
                            qint64 c) {
    TransposeCell(from, to, rows, columns, r, c);
}
#endif

// Transposes a matrix of 32-bit values from rows × columns to columns × rows, one cache-sized
// block at a time, swapping bytes as TransposeCell does.
void TransposeCells(const char* from, char* to, qint64 rows, qint64 columns) {
    // A map of 0 × 2^31-1 cells is allowed; walking its empty rows took seconds.
    if (rows == 0 || columns == 0)
        return;
    constexpr qint64 Block = 32;
    for (qint64 r0 = 0; r0 < rows; r0 += Block) {
        const qint64 r1 = std::min(r0 + Block, rows);
        for (qint64 c0 = 0; c0 < columns; c0 += Block) {
            const qint64 c1 = std::min(c0 + Block, columns);
            // Columns outside, so the output is written along its rows; the edges of a
            // matrix that is no multiple of the kernel go cell by cell.
            qint64 c = c0;
            for (; c + Kernel <= c1; c += Kernel) {
                qint64 r = r0;
                for (; r + Kernel <= r1; r += Kernel)
                    TransposeKernel(from, to, rows, columns, r, c);
                for (; r < r1; ++r)
                    for (qint64 k = c; k < c + Kernel; ++k)
                        TransposeCell(from, to, rows, columns, r, k);
            }
            for (; c < c1; ++c)
                for (qint64 r = r0; r < r1; ++r)
                    TransposeCell(from, to, rows, columns, r, c);
        }
    }
}
} // namespace

QByteArray tMap::SaveToBytes() const {
    TMemoryStream stream;
    // The size written is the grid's own: after Clear alone Width and Height still tell the old
    // size while there are no cells to write.
    const qint32 width = Cells.size();
    const qint32 height = Cells.Rows();
    const qint64 cells = qint64(width) * height;
    stream.Reserve(28 + Text1.size() + Text2.size() + PackName.size() + Text4.size() + 4 * cells);
    const std::pair<const QByteArray*, const char*> texts[] = {
        {&Text1, "length of the first text"},
        {&Text2, "length of the second text"},
        {&PackName, "length of the tile pack name"},
        {&Text4, "length of the fourth text"}};
    for (const auto& [text, field] : texts) {
        stream.WriteInt32(Int32Field(text->size(), field));
        stream.WriteBytes(*text);
    }
    stream.WriteInt32(width);
    stream.WriteInt32(height);
    stream.WriteInt32(width);
    // The file runs row by row, the grid column by column.
    TransposeCells(reinterpret_cast<const char*>(Cells.data()),
                   stream.WriteUninitialized(4 * cells), width, height);
    return stream.Bytes();
}

void tMap::SaveToFile(const QString& fileName) const {
    TMemoryStream(SaveToBytes()).SaveToFile(fileName);
}

// The texts and size of a map file, checked against the file's size.
struct TMapHeader {
    QByteArray Text1, Text2, PackName, Text4;
    qint32 Width = 0;
    qint32 Height = 0;
    qint64 CellBytes() const { return 4 * qint64(Width) * Height; }
};

namespace {
// The most bytes that come before the cells.
constexpr qint64 MaxHeaderSize = 28 + 4 * qint64(FileFormat::MaxTextLength);

// Reads the header from the start of the file in head; fileSize is the whole file's, so that
// a file that cannot hold its cells is refused before they are read. The size must be one a
// map of tileSize pixels can take.
TMapHeader ReadHeader(TMemoryStream& head, qint64 fileSize, qint32 tileSize) {
    TMapHeader header;
    header.Text1 = ReadText(head, "first text");
    header.Text2 = ReadText(head, "second text");
    header.PackName = ReadText(head, "tile pack name");
    header.Text4 = ReadText(head, "fourth text");
    ReadInt32(head, "width");
    header.Height = ReadInt32(head, "height");
    header.Width = ReadInt32(head, "width"); // the second width is the one in force
    if (const QString problem = tMap::SizeProblem(header.Width, header.Height, tileSize);
        !problem.isEmpty())
        throw EFormatError(problem);
    const qint64 remaining = fileSize - head.Position();
    if (header.CellBytes() > remaining)
        throw EFormatError(QStringLiteral("it ends before the last of its %1 × %2 cells")
                               .arg(header.Width)
                               .arg(header.Height));
    // The writer ends the file with the last cell; more bytes mean a foreign file.
    if (header.CellBytes() < remaining)
        throw EFormatError(
            QStringLiteral("%1 bytes follow its last cell").arg(remaining - header.CellBytes()));
    return header;
}
} // namespace

void tMap::LoadFromFile(const QString& fileName) {
    try {
        TInputFile file(fileName);
        TMemoryStream head(file.Read(std::min(file.Size(), MaxHeaderSize)));
        TMapHeader header = ReadHeader(head, file.Size(), TileSize);
        // The cells as the file has them: what the header read took already, then the rest.
        QByteArray rows(header.CellBytes(), Qt::Uninitialized);
        const qint64 inHead = head.Remaining();
        std::memcpy(rows.data(), head.ReadView(inHead).data(), std::size_t(inHead));
        file.ReadInto(rows.data() + inHead, header.CellBytes() - inHead);
        Take(header, rows.constData());
    } catch (const EFormatError& e) {
        throw EFormatError(Msg::NotAValidFile(fileName, QStringLiteral("map"), e.Message()));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(Msg::NotEnoughMemory(fileName));
    }
}

void tMap::LoadFromBytes(const QByteArray& bytes, const QString& fileName) {
    TMemoryStream stream(bytes);
    try {
        TMapHeader header = ReadHeader(stream, stream.Size(), TileSize);
        Take(header, stream.ReadView(header.CellBytes()).data());
    } catch (const EFormatError& e) {
        throw EFormatError(Msg::NotAValidFile(fileName, QStringLiteral("map"), e.Message()));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(Msg::NotEnoughMemory(fileName));
    }
}

void tMap::Take(TMapHeader& header, const char* rows) {
    TCellGrid grid(header.Width, header.Height);
    TransposeCells(rows, reinterpret_cast<char*>(grid.data()), header.Height, header.Width);
    Text1 = std::move(header.Text1);
    Text2 = std::move(header.Text2);
    PackName = std::move(header.PackName);
    Text4 = std::move(header.Text4);
    Adopt(std::move(grid), TileSize);
}
