#include "BenchSupport.h"

#include "model/CellGrid.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstring>
#include <stdexcept>
#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace Bench {

namespace {
// The size of the last-level cache as the system reports it, with room to spare.
std::size_t EvictionBytes() {
    long lastLevel = 0;
#if defined(Q_OS_UNIX) && defined(_SC_LEVEL3_CACHE_SIZE)
    lastLevel = sysconf(_SC_LEVEL3_CACHE_SIZE);
#endif
    const std::size_t reported = std::size_t(std::max(lastLevel, 64L << 20));
    return reported + reported / 4;
}
} // namespace

void EvictCaches() {
    static std::vector<char> buffer(EvictionBytes(), 1);
    for (std::size_t i = 0; i < buffer.size(); i += 64)
        ++buffer[i];
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
}

FrameCopy::FrameCopy()
    : From(std::size_t(FrameWidth) * FrameHeight, 0x00336699u),
      To(std::size_t(FrameWidth) * FrameHeight, 0) {}

void FrameCopy::operator()() {
    std::memcpy(To.data(), From.data(), From.size() * sizeof(quint32));
    benchmark::DoNotOptimize(To.data());
}

FileRead::FileRead(const QString& path)
    : Path(path), Buffer(std::size_t(QFileInfo(path).size()), 1) {}

void FileRead::operator()() {
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw std::runtime_error("cannot open " + Path.toStdString());
    for (qint64 done = 0; done < Size();) {
        const qint64 got = file.read(Buffer.data() + done, Size() - done);
        if (got <= 0)
            throw std::runtime_error("cannot read " + Path.toStdString());
        done += got;
    }
    benchmark::DoNotOptimize(Buffer.data());
}

void FileSave::operator()() {
    QSaveFile file(Path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(Bytes) != Bytes.size() || !file.commit())
        throw std::runtime_error("cannot write " + Path.toStdString());
}

void DecodeImages::operator()() {
    for (const QByteArray& bytes : Files) {
        const QImage image = QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_RGB32);
        if (image.isNull())
            throw std::runtime_error("Qt did not decode a BMP");
        benchmark::DoNotOptimize(image.constBits());
    }
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

namespace {
quint32 Hash(quint32 x) {
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

void PutLE32(QByteArray& bytes, qint32 value) {
    char b[4];
    qToLittleEndian(value, b);
    bytes.append(b, 4);
}

void PutLE16(QByteArray& bytes, qint16 value) {
    char b[2];
    qToLittleEndian(value, b);
    bytes.append(b, 2);
}

// Entry i of the 8-bit tiles' palette.
QRgb PaletteColour(quint32 seed, int i) {
    const quint32 h = Hash(seed * 257 + quint32(i));
    return qRgb(int((h >> 16) & 0xff), int((h >> 8) & 0xff), int(h & 0xff));
}

// What the tile holds at (x, y) from the top: a palette index for 8 bits, a colour for 24; a
// base colour per tile with a little grain, like a ground texture.
quint32 TileValue(int size, int bits, quint32 seed, int x, int y) {
    const quint32 base = Hash(seed);
    const quint32 grain = Hash(seed ^ quint32(y * size + x) * 2654435761u);
    if (bits == 8)
        return (base + (grain & 15) + quint32(x / 4 + y / 4) * 16) & 0xff;
    return qRgb(int(((base >> 16) & 0xff) ^ ((grain >> 16) & 31)),
                int(((base >> 8) & 0xff) ^ ((grain >> 8) & 31)), int((base & 0xff) ^ (grain & 31)));
}

// Whether Qt's reader sees in bytes the tile TilePixel describes.
bool DecodesAsIntended(const QByteArray& bytes, int size, int bits, quint32 seed) {
    const QImage image = QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_RGB32);
    if (image.size() != QSize(size, size))
        return false;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (image.pixel(x, y) != TilePixel(size, bits, seed, x, y))
                return false;
    return true;
}
} // namespace

QRgb TilePixel(int size, int bits, quint32 seed, int x, int y) {
    const quint32 value = TileValue(size, bits, seed, x, y);
    return bits == 8 ? PaletteColour(seed, int(value)) : QRgb(value);
}

QByteArray MakeTileBmp(int size, int bits, quint32 seed) {
    const int paletteEntries = bits == 8 ? 256 : 0;
    const int stride = (size * bits / 8 + 3) & ~3;
    const int pixelOffset = 14 + 40 + 4 * paletteEntries;
    QByteArray bytes;
    bytes.reserve(pixelOffset + stride * size);
    bytes.append("BM", 2);
    PutLE32(bytes, pixelOffset + stride * size);
    PutLE32(bytes, 0);
    PutLE32(bytes, pixelOffset);
    PutLE32(bytes, 40);
    PutLE32(bytes, size);
    PutLE32(bytes, size); // positive: bottom-up
    PutLE16(bytes, 1);
    PutLE16(bytes, qint16(bits));
    PutLE32(bytes, 0); // BI_RGB
    PutLE32(bytes, stride * size);
    PutLE32(bytes, 2835);
    PutLE32(bytes, 2835);
    PutLE32(bytes, paletteEntries);
    PutLE32(bytes, 0);
    for (int i = 0; i < paletteEntries; ++i)
        PutLE32(bytes, qint32(PaletteColour(seed, i) & 0xffffff)); // blue, green, red, 0
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < size; ++x) {
            const quint32 value = TileValue(size, bits, seed, x, y);
            if (bits == 8) {
                row[x] = char(value);
            } else {
                row[3 * x] = char(qBlue(value));
                row[3 * x + 1] = char(qGreen(value));
                row[3 * x + 2] = char(qRed(value));
            }
        }
        bytes.append(row);
    }
    if (bytes.size() != pixelOffset + stride * size || !DecodesAsIntended(bytes, size, bits, seed))
        throw std::runtime_error("a generated tile BMP does not decode to its pixels");
    return bytes;
}

std::unique_ptr<TilePack> LoadTilePack(int size, int kinds) {
    QTemporaryDir dir;
    auto pack = std::make_unique<TilePack>();
    for (int i = 0; i < kinds; ++i) {
        const QString path = dir.filePath(QStringLiteral("tile%1.bmp").arg(i));
        WriteFile(path, MakeTileBmp(size, i % 2 ? 8 : 24, quint32(i)));
        TileRef tile = std::make_unique<Tile>();
        tile->Name = QByteArray("tile") + QByteArray::number(i);
        tile->Image->LoadFromFile(path);
        pack->Add(std::move(tile));
    }
    return pack;
}

void FillCells(TileMap& map, int kinds) {
    quint32 state = 12345;
    for (qint32 x = 0; x < map.Width; ++x)
        for (qint32 y = 0; y < map.Height; ++y) {
            state = state * 1664525u + 1013904223u;
            map.Cells[x][std::size_t(y)] = TileIndex((state >> 16) % quint32(kinds));
        }
}

bool Init(int& argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return false;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}

void Run() {
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

int Main(int argc, char** argv) {
    if (!Init(argc, argv))
        return 1;
    QGuiApplication app(argc, argv);
    Run();
    return 0;
}

double CellPassSeconds(CellGrid& grid) {
    std::vector<double> times;
    for (int i = 0; i < 5; ++i)
        times.push_back(SecondsOf([&] {
            TileIndex* cells = grid.data();
            const qint64 count = grid.Count();
            TileIndex flip = 0; // zero, but the compiler cannot know it
            benchmark::DoNotOptimize(flip);
            for (qint64 c = 0; c < count; ++c)
                cells[c] ^= flip;
            benchmark::DoNotOptimize(cells);
        }));
    return Median(std::move(times));
}

} // namespace Bench
