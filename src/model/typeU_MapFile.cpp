// The map file (.map): four texts (Text1, Text2, PackName, Text4), each a 32-bit length and
// its bytes; then Width, Height and Width again; then the cells row by row, each a 32-bit
// TileIndex. Integers are little-endian.

#include "model/FileFormat.h"
#include "model/typeU.h"
#include "platform/Exceptions.h"
#include "platform/TMemoryStream.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
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
    for (const QByteArray* text : {&Text1, &Text2, &PackName, &Text4}) {
        stream.WriteInt32(qint32(text->size()));
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

void tMap::LoadFromFile(const QString& fileName) {
    TMemoryStream stream;
    stream.LoadFromFile(fileName);
    try {
        QByteArray text1 = ReadText(stream, "first text");
        QByteArray text2 = ReadText(stream, "second text");
        QByteArray packName = ReadText(stream, "tile pack name");
        QByteArray text4 = ReadText(stream, "fourth text");
        ReadInt32(stream, "width");
        const qint32 height = ReadInt32(stream, "height");
        const qint32 width = ReadInt32(stream, "width"); // the second width is the one in force
        if (const QString problem = SizeProblem(width, height, TileSize); !problem.isEmpty())
            throw EFormatError(problem);
        const qint64 cells = qint64(width) * height;
        if (4 * cells > stream.Remaining())
            throw EFormatError(QStringLiteral("it ends before the last of its %1 × %2 cells")
                                   .arg(width)
                                   .arg(height));
        // The writer ends the file with the last cell; more bytes mean a foreign file.
        if (4 * cells < stream.Remaining())
            throw EFormatError(QStringLiteral("%1 bytes follow its last cell")
                                   .arg(stream.Remaining() - 4 * cells));
        TCellGrid grid(width, height);
        TransposeCells(stream.ReadView(4 * cells).data(), reinterpret_cast<char*>(grid.data()),
                       height, width);

        Text1 = std::move(text1);
        Text2 = std::move(text2);
        PackName = std::move(packName);
        Text4 = std::move(text4);
        Adopt(std::move(grid), TileSize);
    } catch (const EFormatError& e) {
        throw EFormatError(Msg::NotAValidFile(fileName, QStringLiteral("map"), e.Message()));
    }
}
