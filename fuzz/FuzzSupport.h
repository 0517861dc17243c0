#pragma once

// What the fuzz targets share: a meter of the heap a reader uses, snapshots of the model that
// compare every field, and independent decoders that say what a file that was accepted must
// save back as.

#include "model/TileMap.h"
#include "model/TilePack.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class Exception;

namespace Fuzz {

// Quietens Qt's warnings about bad images and starts the heap meter. Call once from
// LLVMFuzzerInitialize.
void Init();

// Prints what went wrong and aborts, so libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(const char* what, const QString& detail = {});

// Writes the input to a file of its own in a private temporary directory and returns the path.
QString WriteInput(const QByteArray& bytes);

// Measures the peak of the heap in use between its construction and Check(), relative to what
// was in use at the start, and fails when that peak is more than factor × the input's size
// plus a fixed allowance for the reader's own bookkeeping.
class HeapMeter {
public:
    HeapMeter();
    ~HeapMeter();
    void Check(std::size_t inputSize, std::size_t factor);
    static constexpr std::size_t Allowance = 256 * 1024;

private:
    bool Stopped = false;
};

// While one lives, every new heap block starts filled with the given byte, so a reader that
// shows memory it never wrote gives different results under different bytes.
class HeapDirt {
public:
    explicit HeapDirt(std::uint8_t byte);
    ~HeapDirt();
    HeapDirt(const HeapDirt&) = delete;
    HeapDirt& operator=(const HeapDirt&) = delete;
};

// A refused file must name the file it came from.
void CheckErrorNamesFile(const Exception& error, const QString& path);

struct TileState {
    qint32 Param1 = 0;
    qint32 Param2 = 0;
    std::array<qint32, 4> Param3{};
    qint32 Param4 = 0;
    QByteArray Name;
    bool HasBitmap = false;
    bool Empty = true;
    QByteArray FileBytes;
    QImage Picture;
    const Tile* Object = nullptr;
    const Bitmap* BitmapObject = nullptr;
};

struct PackState {
    std::vector<TileState> Tiles;
};

PackState Snapshot(const TilePack& pack);
// Compares every field, the images' bytes and pixels; with sameObjects also that the very same
// tile and bitmap objects are still there, as a refused load must leave them.
bool Equal(const PackState& a, const PackState& b, bool sameObjects, QString* why);

struct MapState {
    qint32 TileSize = 0;
    qint32 Width = 0, Height = 0;
    qint32 Columns = 0, Rows = 0;
    std::vector<TileIndex> Cells; // column after column, as the grid holds them
    QByteArray Text1, Text2, PackName, Text4;
};

MapState Snapshot(const TileMap& map);
// The file's content: texts, size and cells.
bool SameContent(const MapState& a, const MapState& b, QString* why);
// What a load must not touch: the tile size, which the file does not hold.
bool SameTileSize(const MapState& a, const MapState& b, QString* why);

// Decode a file the way the format describes it, without the model's code, and return the
// bytes its writer must produce for it: lengths of 0 or less become 0, a negative tile count
// becomes 0, the map's first width becomes the third; bytes after the end are dropped.
// Nothing when the file is too short for what it declares.
std::optional<QByteArray> CanonicalPack(const QByteArray& file);
std::optional<QByteArray> CanonicalMap(const QByteArray& file);

// Libfuzzer sees no coverage inside Qt's BMP decoder, which is built without it; this tells it
// which kind of BMP header an input had (header version, depth, compression, direction) and
// whether it loaded, so that inputs reaching new kinds are kept.
void NoteBmp(const QByteArray& bmp, bool loaded);

// A small, real BMP made by Qt's own writer.
QByteArray MakeBmp(int width, int height, QImage::Format format);

} // namespace Fuzz
