#include "FuzzSupport.h"

#include "platform/Bitmap.h"
#include "platform/Exceptions.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sanitizer/allocator_interface.h>

namespace Fuzz {
namespace {

// The heap in use since the meter started, and its peak. The hooks run on every allocation in
// the process, so they do as little as they can when no meter is running.
std::atomic<bool> Metering{false};
std::atomic<std::int64_t> Live{0};
std::atomic<std::int64_t> Peak{0};

// While set, every new block gets this byte in place of what ASan would leave there (always
// the same), so leftover memory differs from one load to the next. Only blocks the primary
// allocator serves: calloc clears those after the hook, while the larger ones come straight
// from mmap, already zero, and calloc relies on that.
std::atomic<int> DirtByte{-1};
constexpr std::size_t MaxDirtied = std::size_t(1) << 16;

void OnMalloc(const volatile void* ptr, std::size_t size) {
    if (const int dirt = DirtByte.load(std::memory_order_relaxed); dirt >= 0 && size <= MaxDirtied)
        std::memset(const_cast<void*>(ptr), dirt, size);
    if (!Metering.load(std::memory_order_relaxed))
        return;
    const std::int64_t now = Live.fetch_add(std::int64_t(size)) + std::int64_t(size);
    std::int64_t peak = Peak.load();
    while (now > peak && !Peak.compare_exchange_weak(peak, now)) {
    }
}

void OnFree(const volatile void* ptr) {
    if (!Metering.load(std::memory_order_relaxed) || !ptr)
        return;
    const void* p = const_cast<const void*>(ptr);
    if (__sanitizer_get_ownership(p))
        Live.fetch_sub(std::int64_t(__sanitizer_get_allocated_size(p)));
}

// Read by libFuzzer as extra coverage, one counter per kind of BMP header and outcome.
constexpr std::size_t HeaderKinds = 8 * 8 * 8 * 2 * 2 * 4;
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t BmpKinds[HeaderKinds];

void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

QTemporaryDir* TempDir = nullptr;

// Reads the format's integers and lengths with every bound checked.
struct Reader {
    const QByteArray& Bytes;
    qint64 Pos = 0;
    bool Ok = true;

    qint32 Int() {
        if (!Ok || Bytes.size() - Pos < 4) {
            Ok = false;
            return 0;
        }
        const auto v = qFromLittleEndian<qint32>(Bytes.constData() + Pos);
        Pos += 4;
        return v;
    }
    QByteArray Take(qint64 n) {
        if (!Ok || n < 0 || Bytes.size() - Pos < n) {
            Ok = false;
            return {};
        }
        QByteArray out = Bytes.mid(Pos, n);
        Pos += n;
        return out;
    }
    // A length-prefixed block; a length of 0 or less holds nothing.
    QByteArray Block() {
        const qint32 n = Int();
        return n > 0 ? Take(n) : QByteArray();
    }
};

void PutInt(QByteArray& out, qint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void PutBlock(QByteArray& out, const QByteArray& block) {
    PutInt(out, qint32(block.size()));
    out.append(block);
}

template <typename T> bool Same(const T& a, const T& b, const char* field, QString* why) {
    if (a == b)
        return true;
    if (why)
        *why = QString::fromLatin1(field);
    return false;
}
} // namespace

void Init() {
    qInstallMessageHandler(Quiet);
    TempDir = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/korvane-fuzz-XXXXXX"));
    if (!TempDir->isValid())
        Fail("cannot make a temporary directory");
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    std::atexit([] { delete TempDir; });
}

void Fail(const char* what, const QString& detail) {
    std::fprintf(stderr, "\n==== contract failure: %s %s\n", what, qPrintable(detail));
    std::fflush(stderr);
    std::abort();
}

QString WriteInput(const QByteArray& bytes) {
    const QString path = TempDir->filePath(QStringLiteral("input"));
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f || std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), f) !=
                  std::size_t(bytes.size()))
        Fail("cannot write the input file");
    std::fclose(f);
    return path;
}

HeapDirt::HeapDirt(std::uint8_t byte) {
    DirtByte = byte;
}

HeapDirt::~HeapDirt() {
    DirtByte = -1;
}

HeapMeter::HeapMeter() {
    Live = 0;
    Peak = 0;
    Metering = true;
}

HeapMeter::~HeapMeter() {
    Metering = false;
}

void HeapMeter::Check(std::size_t inputSize, std::size_t factor) {
    Metering = false;
    Stopped = true;
    const std::int64_t limit = std::int64_t(factor * inputSize + Allowance);
    if (Peak.load() > limit)
        Fail("the reader used too much memory",
             QStringLiteral("%1 bytes at its peak for a file of %2 bytes (limit %3)")
                 .arg(Peak.load())
                 .arg(inputSize)
                 .arg(limit));
    if (std::getenv("KORVANE_FUZZ_PEAK"))
        std::fprintf(stderr, "peak %lld for %zu bytes (%.1f per byte)\n",
                     static_cast<long long>(Peak.load()), inputSize,
                     inputSize ? double(Peak.load()) / double(inputSize) : 0.0);
}

void CheckErrorNamesFile(const Exception& error, const QString& path) {
    const QString message = error.Message();
    if (!message.contains(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())))
        Fail("the error does not name the file:", message);
}

PackState Snapshot(const TilePack& pack) {
    PackState s;
    for (const TileRef& tile : pack.Tiles) {
        TileState t;
        t.Param1 = tile->Param1;
        t.Param2 = tile->Param2;
        t.Param3 = tile->Param3;
        t.Param4 = tile->Param4;
        t.Name = tile->Name;
        t.HasBitmap = bool(tile->Image);
        if (tile->Image) {
            t.Empty = tile->Image->Empty();
            t.FileBytes = tile->Image->FileBytes();
            t.Picture = tile->Image->Picture();
        }
        t.Object = tile.get();
        t.BitmapObject = tile->Image.get();
        s.Tiles.push_back(std::move(t));
    }
    return s;
}

bool Equal(const PackState& a, const PackState& b, bool sameObjects, QString* why) {
    if (!Same(a.Tiles.size(), b.Tiles.size(), "tile count", why))
        return false;
    for (std::size_t i = 0; i < a.Tiles.size(); ++i) {
        const TileState& x = a.Tiles[i];
        const TileState& y = b.Tiles[i];
        const bool same =
            Same(x.Param1, y.Param1, "Param1", why) && Same(x.Param2, y.Param2, "Param2", why) &&
            Same(x.Param3, y.Param3, "Param3", why) && Same(x.Param4, y.Param4, "Param4", why) &&
            Same(x.Name, y.Name, "Name", why) &&
            Same(x.HasBitmap, y.HasBitmap, "Bitmap present", why) &&
            Same(x.Empty, y.Empty, "Bitmap empty", why) &&
            Same(x.FileBytes, y.FileBytes, "Bitmap bytes", why) &&
            Same(x.Picture.format(), y.Picture.format(), "Bitmap format", why) &&
            Same(x.Picture, y.Picture, "Bitmap pixels", why) &&
            (!sameObjects || (Same(x.Object, y.Object, "tile object", why) &&
                              Same(x.BitmapObject, y.BitmapObject, "bitmap object", why)));
        if (!same) {
            if (why)
                *why = QStringLiteral("tile %1: %2").arg(i).arg(*why);
            return false;
        }
    }
    return true;
}

MapState Snapshot(const TileMap& map) {
    MapState s;
    s.TileSize = map.TileSize;
    s.Width = map.Width;
    s.Height = map.Height;
    s.Columns = map.Cells.size();
    s.Rows = map.Cells.Rows();
    const qint64 n = qint64(s.Columns) * s.Rows;
    if (n > 0)
        s.Cells.assign(map.Cells.data(), map.Cells.data() + n);
    s.Text1 = map.Text1;
    s.Text2 = map.Text2;
    s.PackName = map.PackName;
    s.Text4 = map.Text4;
    return s;
}

bool SameContent(const MapState& a, const MapState& b, QString* why) {
    return Same(a.Width, b.Width, "Width", why) && Same(a.Height, b.Height, "Height", why) &&
           Same(a.Columns, b.Columns, "columns of Cells", why) &&
           Same(a.Rows, b.Rows, "rows of Cells", why) && Same(a.Cells, b.Cells, "Cells", why) &&
           Same(a.Text1, b.Text1, "Text1", why) && Same(a.Text2, b.Text2, "Text2", why) &&
           Same(a.PackName, b.PackName, "PackName", why) && Same(a.Text4, b.Text4, "Text4", why);
}

bool SameTileSize(const MapState& a, const MapState& b, QString* why) {
    return Same(a.TileSize, b.TileSize, "TileSize", why);
}

std::optional<QByteArray> CanonicalPack(const QByteArray& file) {
    Reader in{file};
    QByteArray out;
    const qint32 count = in.Int();
    PutInt(out, qMax(count, 0));
    for (qint32 i = 0; i < count && in.Ok; ++i) {
        PutInt(out, in.Int());      // Param1
        PutBlock(out, in.Block());  // Name
        for (int k = 0; k < 6; ++k) // Param2, Param3[1..4], Param4
            PutInt(out, in.Int());
        PutBlock(out, in.Block()); // the BMP, kept as it was
    }
    if (!in.Ok)
        return std::nullopt;
    return out;
}

std::optional<QByteArray> CanonicalMap(const QByteArray& file) {
    Reader in{file};
    QByteArray out;
    for (int k = 0; k < 4; ++k)
        PutBlock(out, in.Block());
    in.Int(); // the first width is not the one in force
    const qint32 height = in.Int();
    const qint32 width = in.Int();
    if (!in.Ok || width < 0 || height < 0)
        return std::nullopt;
    PutInt(out, width);
    PutInt(out, height);
    PutInt(out, width);
    const qint64 cells = qint64(width) * height;
    if (cells > (file.size() - in.Pos) / 4)
        return std::nullopt;
    out.append(in.Take(4 * cells));
    if (!in.Ok)
        return std::nullopt;
    return out;
}

void NoteBmp(const QByteArray& bmp, bool loaded) {
    if (bmp.size() < 34)
        return;
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bmp.constData() + at); };
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(bmp.constData() + at); };
    std::size_t header = 7;
    const quint32 headerSizes[] = {12, 40, 52, 56, 64, 108, 124};
    for (std::size_t i = 0; i < 7; ++i)
        if (u32(14) == headerSizes[i])
            header = i;
    std::size_t depth = 7;
    const quint16 depths[] = {1, 2, 4, 8, 16, 24, 32};
    for (std::size_t i = 0; i < 7; ++i)
        if (u16(28) == depths[i])
            depth = i;
    const std::size_t compression = std::min<quint32>(u32(30), 7);
    const std::size_t topDown = qint32(u32(22)) < 0;
    const std::size_t colours = bmp.size() >= 50 ? std::min<quint32>(u32(46), 3) : 0;
    const std::size_t kind =
        ((((header * 8 + depth) * 8 + compression) * 2 + topDown) * 2 + loaded) * 4 + colours;
    if (BmpKinds[kind] < 255)
        ++BmpKinds[kind];
}

QByteArray MakeBmp(int width, int height, QImage::Format format) {
    QImage image(width, height, format);
    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono) {
        const int colours = format == QImage::Format_Mono ? 2 : 16;
        image.setColorCount(colours);
        for (int i = 0; i < colours; ++i)
            image.setColor(i, qRgb(i * 15, 255 - i * 15, (i * 77) & 255));
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono)
                image.setPixel(x, y, uint((x + y) % image.colorCount()));
            else
                image.setPixel(x, y, qRgb(x * 20, y * 30, (x ^ y) * 10));
        }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "BMP"))
        Fail("Qt cannot write a BMP");
    return bytes;
}

} // namespace Fuzz
