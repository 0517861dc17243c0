// Writes the seed corpora of the pack and map fuzz targets: small, valid files of several
// shapes, the packs holding the real BMPs kept in the bitmap corpus.
//
// usage: make_seeds <corpus directory>

#include "FuzzSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace {
QDir Corpus;

void Write(const QString& sub, const QString& name, const QByteArray& bytes) {
    Corpus.mkpath(sub);
    QFile file(Corpus.filePath(sub + QLatin1Char('/') + name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        Fuzz::Fail("cannot write", file.fileName());
    std::printf("%-40s %7lld bytes\n", qPrintable(sub + QLatin1Char('/') + name),
                static_cast<long long>(bytes.size()));
}

TileRef MakeTile(const QByteArray& name, qint32 seed) {
    TileRef tile = std::make_unique<Tile>();
    tile->Name = name;
    tile->Param1 = seed;
    tile->Param2 = -seed;
    tile->Param3 = {seed + 1, seed + 2, 0x7fffffff, qint32(0x80000000u)};
    tile->Param4 = seed * 1000;
    return tile;
}

// A pack of the named BMPs, each a tile called after its file.
void Pack(const QString& name, const QStringList& bmps) {
    TilePack pack;
    qint32 seed = 0;
    for (const QString& bmp : bmps) {
        TileRef tile = MakeTile(QFileInfo(bmp).completeBaseName().toLatin1(), ++seed);
        try {
            tile->Image->LoadFromFile(Corpus.filePath(QStringLiteral("bitmap/") + bmp));
        } catch (const Exception& e) {
            Fuzz::Fail("a seed image does not load:", bmp + QStringLiteral(": ") + e.Message());
        }
        pack.Add(std::move(tile));
    }
    Write(QStringLiteral("pack"), name, PackFile::Bytes(pack));
}

void MapSeed(const QString& name, qint32 width, qint32 height, const QByteArray& packName,
             qint32 cellSeed) {
    TileMap map(48);
    map.New(width, height, 48);
    map.Text1 = "testing!!!";
    map.PackName = packName;
    for (qint32 x = 0; x < width; ++x)
        for (qint32 y = 0; y < height; ++y)
            map.Cells[x][std::size_t(y)] = cellSeed < 0 ? -1 : (x * 7 + y * 3 + cellSeed) % 11 - 1;
    Write(QStringLiteral("map"), name, MapFile::Bytes(map));
}

QByteArray Int(qint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((quint32(v) >> (8 * i)) & 0xff);
    return b;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    Fuzz::Init();
    Corpus = QDir(QString::fromLocal8Bit(argv[1]));
    try {
        // Packs: empty, the smallest record, and real BMPs of every depth and header kind.
        Write(QStringLiteral("pack"), QStringLiteral("empty.pac"), Int(0));
        {
            TilePack pack;
            pack.Add(MakeTile("ab", 0));
            pack.Tiles[0]->Param3 = {};
            pack.Tiles[0]->Param2 = 0;
            pack.Tiles[0]->Param4 = 0;
            Write(QStringLiteral("pack"), QStringLiteral("one-blank-tile.pac"),
                  PackFile::Bytes(pack));
        }
        Pack(QStringLiteral("palettes.pac"),
             {QStringLiteral("pal1.bmp"), QStringLiteral("pal1bg.bmp"), QStringLiteral("pal4.bmp"),
              QStringLiteral("pal8.bmp")});
        Pack(QStringLiteral("rle.pac"),
             {QStringLiteral("pal4rle.bmp"), QStringLiteral("pal8rle.bmp")});
        Pack(QStringLiteral("headers.pac"),
             {QStringLiteral("pal8os2.bmp"), QStringLiteral("pal8v4.bmp"),
              QStringLiteral("pal8v5.bmp"), QStringLiteral("pal8topdown.bmp")});
        Pack(QStringLiteral("odd-widths.pac"),
             {QStringLiteral("pal8w124.bmp"), QStringLiteral("pal8w125.bmp"),
              QStringLiteral("pal8nonsquare.bmp")});
        Pack(QStringLiteral("rgb16-24.pac"),
             {QStringLiteral("rgb16-565.bmp"), QStringLiteral("rgb24.bmp")});
        Pack(QStringLiteral("rgb32.pac"), {QStringLiteral("rgb32bf.bmp")});
        {
            // Many tiles with small pictures, a Windows-1251 name and one empty image.
            TilePack pack;
            const QImage::Format formats[] = {QImage::Format_Mono, QImage::Format_Indexed8,
                                              QImage::Format_RGB32, QImage::Format_RGB888};
            for (int i = 0; i < 8; ++i) {
                TileRef tile = MakeTile(QByteArray("tile") + QByteArray::number(i), i);
                tile->Image->LoadFromBytes(Fuzz::MakeBmp(1 + i, 1 + (i * 3) % 5, formats[i % 4]));
                pack.Add(std::move(tile));
            }
            TileRef named = MakeTile("\xC2\xEE\xE4\xE0 \xF2\xF0\xE0\xE2\xE0", 42);
            named->Image->LoadFromBytes(Fuzz::MakeBmp(2, 2, QImage::Format_RGB32));
            pack.Add(std::move(named));
            pack.Add(MakeTile(QByteArray(), -7));
            Write(QStringLiteral("pack"), QStringLiteral("small-tiles.pac"), PackFile::Bytes(pack));
        }
        {
            // Negative lengths read as nothing.
            QByteArray bytes = Int(1) + Int(5) + Int(-3) + Int(1) + Int(2) + Int(3) + Int(4) +
                               Int(5) + Int(6) + Int(-1);
            Write(QStringLiteral("pack"), QStringLiteral("negative-lengths.pac"), bytes);
        }

        // Maps of several shapes.
        MapSeed(QStringLiteral("14x14.map"), 14, 14, QByteArray(), 1);
        MapSeed(QStringLiteral("2x1.map"), 2, 1, "a.pac", 1);
        MapSeed(QStringLiteral("0x0.map"), 0, 0, "none.pac", 0);
        MapSeed(QStringLiteral("5x0.map"), 5, 0, "wide.pac", 0);
        MapSeed(QStringLiteral("0x7.map"), 0, 7, "tall.pac", 0);
        MapSeed(QStringLiteral("1x1.map"), 1, 1, "\xEA\xE0\xF0\xF2\xE0.pac", -1);
        MapSeed(QStringLiteral("40x30.map"), 40, 30, "big.pac", 3);
        MapSeed(QStringLiteral("1x60.map"), 1, 60, "column.pac", 5);
        {
            // All four texts set, and the first width differs from the one in force.
            QByteArray bytes = Int(3) + "abc" + Int(2) + "\xFF\x80" + Int(6) + "p1.pac" + Int(1) +
                               "z" + Int(9) + Int(2) + Int(3);
            for (int i = 0; i < 6; ++i)
                bytes += Int(i - 2);
            Write(QStringLiteral("map"), QStringLiteral("texts-and-widths.map"), bytes);
            QByteArray negative = Int(-1) + Int(-100) + Int(0) + Int(qint32(0x80000000u)) + Int(1) +
                                  Int(1) + Int(1) + Int(12345);
            Write(QStringLiteral("map"), QStringLiteral("negative-lengths.map"), negative);
        }
    } catch (const Exception& e) {
        Fuzz::Fail("cannot make the seeds:", e.Message());
    }
    return 0;
}
