// The map file (.map): four texts (Text1, Text2, PackName, Text4), each a 32-bit length and
// its bytes; then Width, Height and Width again; then the cells row by row, each a 32-bit
// TileIndex. Integers are little-endian.

#include "formats/MapFile.h"
#include "formats/FileFormat.h"
#include "formats/Int32Field.h"
#include "model/TileMap.h"
#include "platform/Exceptions.h"
#include "platform/InputFile.h"
#include "platform/MemoryStream.h"

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
// A matrix of 32-bit cells: row r, column c at Data + 4 * (r * Stride + c).
struct CellMatrix {
    char* Data;
    qint64 Stride; // cells from one row to the next
    char* At(qint64 r, qint64 c) const { return Data + 4 * (r * Stride + c); }
};

// One cell from row r, column c of the source to row c, column r of the destination, stored
// little-endian when read natively and native when read little-endian (the same byte swap, or
// none, serves both directions).
inline void TransposeCell(CellMatrix from, CellMatrix to, qint64 r, qint64 c) {
    qToLittleEndian(qFromUnaligned<qint32>(from.At(r, c)), to.At(c, r));
}

#if defined(__SSE2__) && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
// Four rows of four cells at (r, c) at a time, in registers: four 16-byte loads and stores
// instead of sixteen single cells. Streaming stores bypass the caches, so the lines written
// are not first read from memory; they need a destination aligned to 16 bytes.
constexpr qint64 Kernel = 4;
template <bool Stream> inline void Store(char* to, __m128i value) {
    if constexpr (Stream)
        _mm_stream_si128(reinterpret_cast<__m128i*>(to), value);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), value);
}
template <bool Stream>
inline void TransposeKernel(CellMatrix from, CellMatrix to, qint64 r, qint64 c) {
    const char* in = from.At(r, c);
    const qint64 inStride = 4 * from.Stride;
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + inStride));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * inStride));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * inStride));
    const __m128i r01Low = _mm_unpacklo_epi32(r0, r1);
    const __m128i r23Low = _mm_unpacklo_epi32(r2, r3);
    const __m128i r01High = _mm_unpackhi_epi32(r0, r1);
    const __m128i r23High = _mm_unpackhi_epi32(r2, r3);
    char* out = to.At(c, r);
    const qint64 outStride = 4 * to.Stride;
    Store<Stream>(out, _mm_unpacklo_epi64(r01Low, r23Low));
    Store<Stream>(out + outStride, _mm_unpackhi_epi64(r01Low, r23Low));
    Store<Stream>(out + 2 * outStride, _mm_unpacklo_epi64(r01High, r23High));
    Store<Stream>(out + 3 * outStride, _mm_unpackhi_epi64(r01High, r23High));
}
bool CanStream(CellMatrix to) {
    return reinterpret_cast<quintptr>(to.Data) % 16 == 0 && to.Stride % 4 == 0;
}
void EndStreaming() {
    _mm_sfence(); // the streamed stores are visible before anything after them
}
#else
constexpr qint64 Kernel = 1;
template <bool Stream>
inline void TransposeKernel(CellMatrix from, CellMatrix to, qint64 r, qint64 c) {
    TransposeCell(from, to, r, c);
}
bool CanStream(CellMatrix) {
    return false;
}
void EndStreaming() {}
#endif

// Transposes rows × columns cells of from into columns × rows cells of to, one cache-sized
// block at a time, swapping bytes as TransposeCell does.
template <bool Stream>
void TransposeBlocks(CellMatrix from, CellMatrix to, qint64 rows, qint64 columns) {
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
                    TransposeKernel<Stream>(from, to, r, c);
                for (; r < r1; ++r)
                    for (qint64 k = c; k < c + Kernel; ++k)
                        TransposeCell(from, to, r, k);
            }
            for (; c < c1; ++c)
                for (qint64 r = r0; r < r1; ++r)
                    TransposeCell(from, to, r, c);
        }
    }
}

void TransposeCells(CellMatrix from, CellMatrix to, qint64 rows, qint64 columns) {
    // A map of 0 × 2^31-1 cells is allowed; walking its empty rows took seconds.
    if (rows == 0 || columns == 0)
        return;
    if (CanStream(to)) {
        TransposeBlocks<true>(from, to, rows, columns);
        EndStreaming();
    } else {
        TransposeBlocks<false>(from, to, rows, columns);
    }
}
} // namespace

QByteArray MapFile::Bytes(const TileMap& map) {
    MemoryStream stream;
    // The size written is the grid's own, which is what there is to write.
    const qint32 width = map.Cells.size();
    const qint32 height = map.Cells.Rows();
    const qint64 cells = qint64(width) * height;
    stream.Reserve(28 + map.Text1.size() + map.Text2.size() + map.PackName.size() +
                   map.Text4.size() + 4 * cells);
    const std::pair<const QByteArray*, const char*> texts[] = {
        {&map.Text1, "length of the first text"},
        {&map.Text2, "length of the second text"},
        {&map.PackName, "length of the tile pack name"},
        {&map.Text4, "length of the fourth text"}};
    for (const auto& [text, field] : texts) {
        stream.WriteInt32(Int32Field(text->size(), field));
        stream.WriteBytes(*text);
    }
    stream.WriteInt32(width);
    stream.WriteInt32(height);
    stream.WriteInt32(width);
    // The file runs row by row, the grid column by column.
    // The grid's columns are the file's rows.
    char* grid = reinterpret_cast<char*>(const_cast<TileIndex*>(map.Cells.data()));
    TransposeCells({grid, height}, {stream.WriteUninitialized(4 * cells), width}, width, height);
    return stream.Bytes();
}

void MapFile::Write(const TileMap& map, const QString& fileName) {
    MemoryStream(Bytes(map)).SaveToFile(fileName);
}

namespace {
// The texts and size of a map file, checked against the file's size.
struct MapHeader {
    QByteArray Text1, Text2, PackName, Text4;
    qint32 Width = 0;
    qint32 Height = 0;
    qint64 CellBytes() const { return 4 * qint64(Width) * Height; }
};

// The most bytes that come before the cells.
constexpr qint64 MaxHeaderSize = 28 + 4 * qint64(FileFormat::MaxTextLength);
// The buffer the cells pass through on their way into the grid: small enough to stay in the
// caches, large enough that reading it costs one system call among many cells.
constexpr qint64 ChunkBytes = qint64(512) << 10;

// Reads the header from the start of the file in head; fileSize is the whole file's, so that
// a file that cannot hold its cells is refused before they are read. The size must be one a
// map of tileSize pixels can take.
MapHeader ReadHeader(MemoryStream& head, qint64 fileSize, qint32 tileSize) {
    MapHeader header;
    header.Text1 = ReadText(head, "first text");
    header.Text2 = ReadText(head, "second text");
    header.PackName = ReadText(head, "tile pack name");
    header.Text4 = ReadText(head, "fourth text");
    ReadInt32(head, "width");
    header.Height = ReadInt32(head, "height");
    header.Width = ReadInt32(head, "width"); // the second width is the one in force
    if (const QString problem = TileMap::SizeProblem(header.Width, header.Height, tileSize);
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

// Fills the grid with the cells that read(to, bytes) delivers in the file's order. They pass
// through a small buffer, transposed into the grid a few rows at a time (or a piece of a row,
// for a row longer than the buffer), so the load holds little more than the grid and touches
// each of its pages once.
template <class Read> void ReadCells(Read&& read, CellGrid& grid) {
    const qint64 width = grid.size(), height = grid.Rows();
    if (width == 0 || height == 0)
        return;
    // Whole rows where they fit, as many whole kernels of them as fit (so the grid is written
    // aligned); a longer row comes in pieces.
    const qint64 piece = std::min(ChunkBytes / 4, width);
    const qint64 fit = ChunkBytes / 4 / width;
    const qint64 rowsAtOnce = piece < width ? 1 : std::max(fit - fit % Kernel, qint64(1));
    const auto chunk = std::make_unique_for_overwrite<char[]>(
        std::size_t(4 * std::min(rowsAtOnce, height) * piece));
    char* cells = reinterpret_cast<char*>(grid.data());
    for (qint64 r = 0; r < height; r += rowsAtOnce) {
        const qint64 rows = std::min(rowsAtOnce, height - r);
        for (qint64 c = 0; c < width; c += piece) {
            const qint64 columns = std::min(piece, width - c);
            read(chunk.get(), 4 * rows * columns);
            TransposeCells({chunk.get(), columns}, {cells + 4 * (c * height + r), height}, rows,
                           columns);
        }
    }
}
// Gives the map a checked header's texts with its cells.
void Take(TileMap& map, MapHeader& header, CellGrid grid) {
    map.Text1 = std::move(header.Text1);
    map.Text2 = std::move(header.Text2);
    map.PackName = std::move(header.PackName);
    map.Text4 = std::move(header.Text4);
    map.SetCells(std::move(grid));
}
} // namespace

void MapFile::Read(TileMap& map, const QString& fileName) {
    FileFormat::ReadingFile(fileName, QStringLiteral("map"), [&] {
        InputFile file(fileName);
        MemoryStream head(file.Read(std::min(file.Size(), MaxHeaderSize)));
        MapHeader header = ReadHeader(head, file.Size(), map.TileSize);
        CellGrid grid(header.Width, header.Height);
        // The cells come first from what the header read took already, then from the file.
        ReadCells(
            [&](char* to, qint64 bytes) {
                const qint64 fromHead = std::min(bytes, head.Remaining());
                if (fromHead > 0)
                    std::memcpy(to, head.ReadView(fromHead).data(), std::size_t(fromHead));
                file.ReadInto(to + fromHead, bytes - fromHead);
            },
            grid);
        Take(map, header, std::move(grid));
    });
}

void MapFile::ReadBytes(TileMap& map, const QByteArray& bytes, const QString& fileName) {
    MemoryStream stream(bytes);
    FileFormat::ReadingFile(fileName, QStringLiteral("map"), [&] {
        MapHeader header = ReadHeader(stream, stream.Size(), map.TileSize);
        CellGrid grid(header.Width, header.Height);
        ReadCells(
            [&](char* to, qint64 bytes) {
                std::memcpy(to, stream.ReadView(bytes).data(), std::size_t(bytes));
            },
            grid);
        Take(map, header, std::move(grid));
    });
}

bool MapFile::IsValid(const QString& fileName) {
    try {
        TileMap map(1);
        Read(map, fileName);
        return true;
    } catch (const Exception&) {
        return false;
    }
}
