// The editor's side of the comparison with a peer editor (bench/peer.sh): makes the same maps
// in both formats, and opens, saves and draws them with the editor's library.
//
//   peer_korvane make DIR               maps of 1024² and 4096² cells and a map of 160 × 90
//                                       cells (7680 × 4320 pixels), each as .map and as .tmx,
//                                       and their 32 tiles of 48 pixels as a pack and as a
//                                       tileset image
//   peer_korvane opensave IN OUT        loads the map IN and saves it as OUT
//   peer_korvane draw MAP PACK IMAGE    draws the whole map with the pack's tiles and saves the
//                                       picture as IMAGE (PNG), as the peer's rasterizer does

#include "BenchSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "render/MapRenderer.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

namespace {

constexpr int TilePixels = 48;
constexpr int Kinds = 32;
constexpr int SheetColumns = 8;

// The same cells for both editors: tiles 0 .. Kinds-1 at random, and now and then none.
void MakeMap(qint32 width, qint32 height, const QString& stem, const QString& tileset) {
    TileMap map(TilePixels);
    map.New(width, height, TilePixels);
    map.PackName = "tiles.pac";
    quint32 state = 7;
    for (qint32 x = 0; x < width; ++x)
        for (qint32 y = 0; y < height; ++y) {
            state = state * 1664525u + 1013904223u;
            const quint32 pick = (state >> 16) % (Kinds + 1);
            map.Cells[x][std::size_t(y)] = pick == Kinds ? -1 : TileIndex(pick);
        }
    MapFile::Write(map, stem + ".map");

    // The peer's own format, with its layer in CSV, as it writes maps by default. TilePixels ids
    // count from 1; 0 is an empty cell.
    QFile tmx(stem + ".tmx");
    if (!tmx.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write " + stem.toStdString());
    QByteArray text;
    text += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    text +=
        QStringLiteral("<map version=\"1.8\" orientation=\"orthogonal\" renderorder=\"right-down\" "
                       "width=\"%1\" height=\"%2\" tilewidth=\"%3\" tileheight=\"%3\" "
                       "infinite=\"0\" nextlayerid=\"2\" nextobjectid=\"1\">\n")
            .arg(width)
            .arg(height)
            .arg(TilePixels)
            .toUtf8();
    text +=
        QStringLiteral(" <tileset firstgid=\"1\" name=\"tiles\" tilewidth=\"%1\" tileheight=\"%1\" "
                       "tilecount=\"%2\" columns=\"%3\">\n  <image source=\"%4\" width=\"%5\" "
                       "height=\"%6\"/>\n </tileset>\n")
            .arg(TilePixels)
            .arg(Kinds)
            .arg(SheetColumns)
            .arg(tileset)
            .arg(SheetColumns * TilePixels)
            .arg(Kinds / SheetColumns * TilePixels)
            .toUtf8();
    text += QStringLiteral(" <layer id=\"1\" name=\"ground\" width=\"%1\" height=\"%2\">\n  <data "
                           "encoding=\"csv\">\n")
                .arg(width)
                .arg(height)
                .toUtf8();
    tmx.write(text);
    QByteArray row;
    for (qint32 y = 0; y < height; ++y) {
        row.clear();
        for (qint32 x = 0; x < width; ++x) {
            row += QByteArray::number(map.Cells[x][std::size_t(y)] + 1);
            if (x + 1 < width || y + 1 < height)
                row += ',';
        }
        row += '\n';
        tmx.write(row);
    }
    tmx.write("</data>\n </layer>\n</map>\n");
}

void Make(const QString& dir) {
    QDir().mkpath(dir);
    TilePack pack;
    QImage sheet(SheetColumns * TilePixels, Kinds / SheetColumns * TilePixels,
                 QImage::Format_RGB32);
    QPainter painter(&sheet);
    for (int i = 0; i < Kinds; ++i) {
        TileRef tile = std::make_unique<Tile>();
        tile->Name = "tile" + QByteArray::number(i);
        tile->Image->LoadFromBytes(Bench::MakeTileBmp(TilePixels, i % 2 ? 8 : 24, quint32(i)));
        painter.drawImage(i % SheetColumns * TilePixels, i / SheetColumns * TilePixels,
                          tile->Image->Picture());
        pack.Add(std::move(tile));
    }
    painter.end();
    PackFile::Write(pack, dir + "/tiles.pac");
    if (!sheet.save(dir + "/tiles.png"))
        throw std::runtime_error("cannot write the tileset image");
    MakeMap(1024, 1024, dir + "/map1024", "tiles.png");
    MakeMap(4096, 4096, dir + "/map4096", "tiles.png");
    MakeMap(160, 90, dir + "/region", "tiles.png");
}

void OpenSave(const QString& from, const QString& to) {
    TileMap map(TilePixels);
    MapFile::Read(map, from);
    MapFile::Write(map, to);
}

void Draw(const QString& mapFile, const QString& packFile, const QString& image) {
    TilePack pack;
    PackFile::Read(pack, packFile);
    TileMap map(TilePixels);
    MapFile::Read(map, mapFile);
    Canvas canvas;
    MapRenderer view(map, pack, &canvas);
    const QSize size(map.Width * TilePixels, map.Height * TilePixels);
    canvas.SetSize(size);
    view.SetViewSize(size.width(), size.height());
    view.Redraw(QRect(QPoint(0, 0), size));
    if (!canvas.Image().save(image))
        throw std::runtime_error("cannot write the picture");
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    try {
        if (args.size() == 2 && args[0] == "make")
            Make(args[1]);
        else if (args.size() == 3 && args[0] == "opensave")
            OpenSave(args[1], args[2]);
        else if (args.size() == 4 && args[0] == "draw")
            Draw(args[1], args[2], args[3]);
        else {
            std::fputs("usage: peer_korvane make DIR | opensave IN OUT | draw MAP PACK IMAGE\n",
                       stderr);
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "peer_korvane: %s\n", e.what());
        return 1;
    }
    return 0;
}
