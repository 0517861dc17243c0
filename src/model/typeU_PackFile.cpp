// The tile pack file (.pac). A file is a tile count followed by that many records:
//   desktop: Param1, name length, name, Param2, Param3[1..4], Param4, image length, BMP file
//   mobile:  Param1, Param2, Param3[1..4], Param4, image length, PNG file
// Integers are 32-bit little-endian; the tile count is 0 or more, and lengths of 0 or less mean
// nothing follows.

#include "model/FileFormat.h"
#include "model/Int32Field.h"
#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/Parallel.h"
#include "platform/TBitmap.h"
#include "platform/TMemoryStream.h"

#include <QDir>
#include <atomic>
#include <exception>
#include <new>

using FileFormat::ReadInt32;

namespace {
// The smallest desktop record: eight integers, an empty name and no image.
constexpr qint64 MinRecordSize = 36;
} // namespace

void tTile::SaveToStream(TMemoryStream& stream, bool embed, const QString& imageDir) const {
    if (!embed) {
        SaveMobileToStream(stream, ReadPng(imageDir));
        return;
    }
    TMemoryStream image;
    Bitmap->SaveToStream(image);
    WriteRecord(stream, true, image.Bytes());
}

void tTile::SaveMobileToStream(TMemoryStream& stream, QByteArrayView png) const {
    WriteRecord(stream, false, png);
}

void tTile::WriteRecord(TMemoryStream& stream, bool withName, QByteArrayView image) const {
    stream.WriteInt32(Param1);
    if (withName) {
        stream.WriteInt32(Int32Field(Name.size(), "name length"));
        stream.WriteBytes(Name);
    }
    stream.WriteInt32(Param2);
    for (qint32 value : Param3)
        stream.WriteInt32(value);
    stream.WriteInt32(Param4);
    stream.WriteInt32(Int32Field(image.size(), "image length"));
    stream.WriteBytes(image);
}

QString tTile::PngFile(const QString& imageDir) const {
    return imageDir + Cp1251::ToUnicode(Name) + QStringLiteral(".png");
}

bool tTile::NameIsFileName() const {
    return Name.isEmpty() || IsPlainFileName(Cp1251::ToUnicode(Name));
}

QByteArray tTile::ReadPng(const QString& imageDir) const {
    const QString path = PngFile(imageDir);
    if (!NameIsFileName())
        throw EFOpenError(Msg::CannotOpenFile(
            path, QStringLiteral("The tile's name is not a file name in \"%1\".")
                      .arg(QDir::toNativeSeparators(imageDir))));
    TMemoryStream png;
    png.LoadFromFile(path);
    return png.Bytes();
}

QByteArray tTile::ReadRecord(TMemoryStream& stream) {
    Param1 = ReadInt32(stream, "Param1");
    Name = FileFormat::ReadText(stream, "name");
    Param2 = ReadInt32(stream, "Param2");
    for (qint32& value : Param3)
        value = ReadInt32(stream, "Param3");
    Param4 = ReadInt32(stream, "Param4");
    return stream.ReadBytes(FileFormat::ReadLength(stream, "image"));
}

void tTile::LoadImage(const QByteArray& bmp) {
    try {
        Bitmap->LoadFromBytes(bmp);
    } catch (const Exception& e) {
        throw EFormatError(QStringLiteral("its image: %1").arg(e.Message()));
    }
}

namespace {
// A pack file: the tile count, then each tile's record as writeTile appends it.
template <class WriteTile>
QByteArray PackBytes(const std::vector<TileRef>& tiles, WriteTile writeTile) {
    TMemoryStream stream;
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
} // namespace

QByteArray tTilePack::SaveToBytes(bool embed, const QString& imageDir) const {
    return PackBytes(Tiles, [&](const tTile& tile, std::size_t, TMemoryStream& stream) {
        tile.SaveToStream(stream, embed, imageDir);
    });
}

QByteArray tTilePack::SaveMobileToBytes(const std::vector<QByteArray>& pngs) const {
    Q_ASSERT(pngs.size() == Tiles.size());
    return PackBytes(Tiles, [&](const tTile& tile, std::size_t i, TMemoryStream& stream) {
        tile.SaveMobileToStream(stream, pngs[i]);
    });
}

void tTilePack::SaveToFile(const QString& fileName, bool embed, const QString& imageDir) const {
    TMemoryStream(SaveToBytes(embed, imageDir)).SaveToFile(fileName);
}

namespace {
// The error of tile index, named as far as it was read.
EFormatError TileError(qint64 index, const tTile& tile, const EFormatError& e) {
    return EFormatError(QStringLiteral("tile %1 (\"%2\"): %3")
                            .arg(index)
                            .arg(Msg::Clip(Cp1251::ToUnicode(tile.Name)), e.Message()));
}
} // namespace

std::vector<TileRef> tTilePack::ReadTiles(TMemoryStream& stream) {
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
        auto tile = std::make_unique<tTile>();
        try {
            images.push_back(tile->ReadRecord(stream));
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
            tiles[i]->LoadImage(images[i]);
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

void tTilePack::LoadFromFile(const QString& fileName) {
    TMemoryStream stream;
    stream.LoadFromFile(fileName);
    LoadFromBytes(stream.Bytes(), fileName);
}

void tTilePack::LoadFromBytes(const QByteArray& bytes, const QString& fileName) {
    TMemoryStream stream(bytes);
    try {
        std::vector<TileRef> tiles = ReadTiles(stream);
        // The writer ends the file with the last record; bytes behind it mean a foreign file,
        // which would otherwise load as an empty pack when its first bytes read as a count of
        // 0 or less.
        if (stream.Remaining() > 0)
            throw EFormatError(
                QStringLiteral("%1 bytes follow its last tile").arg(stream.Remaining()));
        Tiles = std::move(tiles);
    } catch (const EFormatError& e) {
        throw EFormatError(Msg::NotAValidFile(fileName, QStringLiteral("tile pack"), e.Message()));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(Msg::NotEnoughMemory(fileName));
    }
}
