// The tile pack file (.pac). A file is a tile count followed by that many records:
//   desktop: Param1, name length, name, Param2, Param3[1..4], Param4, image length, BMP file
//   mobile:  Param1, Param2, Param3[1..4], Param4, image length, PNG file
// Integers are 32-bit little-endian; the tile count is 0 or more, and lengths of 0 or less mean
// nothing follows.

#include "formats/PackFile.h"
#include "formats/FileFormat.h"
#include "formats/Int32Field.h"
#include "platform/Bitmap.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/MemoryStream.h"
#include "platform/Parallel.h"

#include <QDir>
#include <atomic>
#include <exception>
#include <new>

using FileFormat::ReadInt32;

namespace {
// The smallest desktop record: eight integers, an empty name and no image.
constexpr qint64 MinRecordSize = 36;

// The one record layout of both forms; the name only in the desktop one.
void WriteRecord(MemoryStream& stream, const Tile& tile, bool withName, QByteArrayView image) {
    stream.WriteInt32(tile.Param1);
    if (withName) {
        stream.WriteInt32(Int32Field(tile.Name.size(), "name length"));
        stream.WriteBytes(tile.Name);
    }
    stream.WriteInt32(tile.Param2);
    for (qint32 value : tile.Param3)
        stream.WriteInt32(value);
    stream.WriteInt32(tile.Param4);
    stream.WriteInt32(Int32Field(image.size(), "image length"));
    stream.WriteBytes(image);
}

// Reads one desktop record from the stream's position into the tile and leaves the position
// behind it, all but its image, whose BMP bytes it returns for DecodeImage. Throws
// EFormatError when the record does not fit in what remains.
QByteArray ReadRecord(MemoryStream& stream, Tile& tile) {
    tile.Param1 = ReadInt32(stream, "Param1");
    tile.Name = FileFormat::ReadText(stream, "name");
    tile.Param2 = ReadInt32(stream, "Param2");
    for (qint32& value : tile.Param3)
        value = ReadInt32(stream, "Param3");
    tile.Param4 = ReadInt32(stream, "Param4");
    return stream.ReadBytes(FileFormat::ReadLength(stream, "image"));
}

// Decodes a record's image into the tile. Throws EFormatError for a bad image.
void DecodeImage(Tile& tile, const QByteArray& bmp) {
    try {
        tile.Image->LoadFromBytes(bmp);
    } catch (const Exception& e) {
        throw EFormatError(QStringLiteral("its image: %1").arg(e.Message()));
    }
}

// A pack file: the tile count, then each tile's record as writeTile appends it.
template <class WriteTile>
QByteArray FileBytes(const std::vector<TileRef>& tiles, WriteTile writeTile) {
    MemoryStream stream;
    stream.WriteInt32(Int32Field(qint64(tiles.size()), "tile count"));
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        try {
            writeTile(*tiles[i], i, stream);
        } catch (const ESizeError& e) {
            throw ESizeError(QStringLiteral("Tile %1 (\"%2\"): %3")
                                 .arg(i)
                                 .arg(Cp1251::ToUnicode(tiles[i]->Name), e.Message()));
        }
    }
    return stream.Bytes();
}

// The error of tile index, named as far as it was read.
EFormatError TileError(qint64 index, const Tile& tile, const EFormatError& e) {
    return EFormatError(QStringLiteral("tile %1 (\"%2\"): %3")
                            .arg(index)
                            .arg(Msg::Clip(Cp1251::ToUnicode(tile.Name)), e.Message()));
}
} // namespace

QByteArray PackFile::Bytes(const TilePack& pack) {
    return FileBytes(pack.Tiles, [](const Tile& tile, std::size_t, MemoryStream& stream) {
        MemoryStream image;
        tile.Image->SaveToStream(image);
        WriteRecord(stream, tile, true, image.Bytes());
    });
}

void PackFile::Write(const TilePack& pack, const QString& fileName) {
    MemoryStream(Bytes(pack)).SaveToFile(fileName);
}

QByteArray MobilePackFile::Bytes(const TilePack& pack, const std::vector<QByteArray>& pngs) {
    Q_ASSERT(pngs.size() == pack.Tiles.size());
    return FileBytes(pack.Tiles, [&](const Tile& tile, std::size_t i, MemoryStream& stream) {
        WriteRecord(stream, tile, false, pngs[i]);
    });
}

QString MobilePackFile::PngFile(const Tile& tile, const QString& imageDir) {
    return imageDir + Cp1251::ToUnicode(tile.Name) + QStringLiteral(".png");
}

bool MobilePackFile::NameIsFileName(const Tile& tile) {
    return tile.Name.isEmpty() || IsPlainFileName(Cp1251::ToUnicode(tile.Name));
}

QByteArray MobilePackFile::ReadPng(const Tile& tile, const QString& imageDir) {
    const QString path = PngFile(tile, imageDir);
    if (!NameIsFileName(tile))
        throw EFOpenError(Msg::CannotOpenFile(
            path, QStringLiteral("The tile's name is not a file name in \"%1\".")
                      .arg(QDir::toNativeSeparators(imageDir))));
    MemoryStream png;
    png.LoadFromFile(path);
    return png.Bytes();
}

std::vector<TileRef> PackFile::ReadTiles(MemoryStream& stream) {
    const qint32 count = ReadInt32(stream, "tile count");
    // No writer makes a negative count; read as "no tiles", any damaged file starting with one
    // would open as an empty pack.
    if (count < 0)
        throw EFormatError(QStringLiteral("its tile count is %1").arg(count));
    // Every record takes at least MinRecordSize bytes, so a count the file cannot hold is
    // refused before anything is allocated for it.
    if (count > stream.Remaining() / MinRecordSize)
        throw EFormatError(QStringLiteral("it claims %1 tiles, but its %2 bytes hold at most %3")
                               .arg(count)
                               .arg(stream.Size())
                               .arg(stream.Remaining() / MinRecordSize));
    std::vector<TileRef> tiles;
    std::vector<QByteArray> images;
    tiles.reserve(std::size_t(count));
    images.reserve(tiles.capacity());
    // The records first, in file order, up to the first that does not fit; the images before
    // it may still hold an earlier error.
    std::exception_ptr recordError;
    for (qint32 i = 0; i < count; ++i) {
        auto tile = std::make_unique<Tile>();
        try {
            images.push_back(ReadRecord(stream, *tile));
        } catch (const EFormatError& e) {
            recordError = std::make_exception_ptr(TileError(i, *tile, e));
            break;
        }
        tiles.push_back(std::move(tile));
    }
    // Then the images, on all cores. Each error is kept with its tile, and the first in file
    // order is thrown; tiles behind a known error are not decoded.
    std::vector<std::exception_ptr> errors(tiles.size());
    std::atomic<std::size_t> firstError = tiles.size();
    ForEachInParallel(tiles.size(), [&](std::size_t i) {
        if (i > firstError)
            return;
        try {
            DecodeImage(*tiles[i], images[i]);
        } catch (...) {
            errors[i] = std::current_exception();
            for (std::size_t known = firstError; i < known;)
                firstError.compare_exchange_weak(known, i);
        }
    });
    for (std::size_t i = 0; i < errors.size(); ++i) {
        if (!errors[i])
            continue;
        try {
            std::rethrow_exception(errors[i]);
        } catch (const EFormatError& e) {
            throw TileError(qint64(i), *tiles[i], e);
        }
    }
    if (recordError)
        std::rethrow_exception(recordError);
    return tiles;
}

void PackFile::Read(TilePack& pack, const QString& fileName) {
    MemoryStream stream;
    stream.LoadFromFile(fileName);
    ReadBytes(pack, stream.Bytes(), fileName);
}

void PackFile::ReadBytes(TilePack& pack, const QByteArray& bytes, const QString& fileName) {
    MemoryStream stream(bytes);
    FileFormat::ReadingFile(fileName, QStringLiteral("tile pack"), [&] {
        std::vector<TileRef> tiles = ReadTiles(stream);
        // The writer ends the file with the last record; bytes behind it mean a foreign file,
        // which would otherwise load as an empty pack when its first bytes read as a count of
        // 0 or less.
        if (stream.Remaining() > 0)
            throw EFormatError(
                QStringLiteral("%1 bytes follow its last tile").arg(stream.Remaining()));
        pack.Tiles = std::move(tiles);
    });
}

bool PackFile::IsValid(const QString& fileName) {
    try {
        TilePack pack;
        Read(pack, fileName);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

QString PackFile::NameProblem(const QString& name) {
    if (const QString missing = Cp1251::FirstMissing(name); !missing.isEmpty())
        return QStringLiteral("The name cannot hold \"%1\": a tile pack keeps names in "
                              "Windows-1251, which has no such character.")
            .arg(missing);
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("The name cannot hold a backslash (\\).");
    if (const qsizetype bytes = Cp1251::FromUnicode(name).size(); bytes > FileFormat::MaxTextLength)
        return QStringLiteral("The name is %1 characters long; a tile pack holds at most %2.")
            .arg(bytes)
            .arg(FileFormat::MaxTextLength);
    return QString();
}
