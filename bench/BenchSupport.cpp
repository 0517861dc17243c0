#include "BenchSupport.h"

#include "model/typeU.h"
#include "platform/TBitmap.h"

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstring>
#include <stdexcept>

namespace Bench {

FrameCopy::FrameCopy()
    : From(std::size_t(FrameWidth) * FrameHeight, 0x00336699u),
      To(std::size_t(FrameWidth) * FrameHeight, 0) {}

void FrameCopy::operator()() {
    std::memcpy(To.data(), From.data(), From.size() * sizeof(quint32));
    benchmark::DoNotOptimize(To.data());
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot open " + path.toStdString());
    return file.readAll();
}

void SaveAll(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error("cannot write " + path.toStdString());
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
} // namespace

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
    const quint32 base = Hash(seed);
    for (int i = 0; i < paletteEntries; ++i) {
        const quint32 h = Hash(seed * 257 + quint32(i));
        bytes.append(char(h), 1);
        bytes.append(char(h >> 8), 1);
        bytes.append(char(h >> 16), 1);
        bytes.append('\0');
    }
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < size; ++x) {
            // A base colour per tile with a little grain, like a ground texture.
            const quint32 grain = Hash(seed ^ quint32(y * size + x) * 2654435761u);
            if (bits == 8) {
                row[x] = char((base + (grain & 15) + (x / 4 + y / 4) * 16) & 0xff);
            } else {
                row[3 * x] = char((base & 0xff) ^ (grain & 31));
                row[3 * x + 1] = char(((base >> 8) & 0xff) ^ ((grain >> 8) & 31));
                row[3 * x + 2] = char(((base >> 16) & 0xff) ^ ((grain >> 16) & 31));
            }
        }
        bytes.append(row);
    }
    return bytes;
}

std::unique_ptr<tTilePack> LoadTilePack(int size, int kinds) {
    QTemporaryDir dir;
    auto pack = std::make_unique<tTilePack>();
    for (int i = 0; i < kinds; ++i) {
        const QString path = dir.filePath(QStringLiteral("tile%1.bmp").arg(i));
        WriteFile(path, MakeTileBmp(size, i % 2 ? 8 : 24, quint32(i)));
        TileRef tile = pack->NewTile();
        tile->Name = QByteArray("tile") + QByteArray::number(i);
        tile->Bitmap->LoadFromFile(path);
        pack->Add(std::move(tile));
    }
    return pack;
}

void FillCells(tMap& map, int kinds) {
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

} // namespace Bench
