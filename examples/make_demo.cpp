// Draws the demo tile set and writes it as it ships in examples/: a 48 x 48 BMP and a PNG of
// each tile, the desktop tile pack demo.pac, and the map demo.map that uses it.
//
//   make_demo <examples directory>

#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <cstdio>
#include <functional>

namespace {
constexpr int Size = 48;

void Speckle(QPainter& p, QRandomGenerator& random, QColor colour, int count) {
    p.setPen(colour);
    for (int i = 0; i < count; ++i)
        p.drawPoint(random.bounded(Size), random.bounded(Size));
}

struct DemoTile {
    const char* Name;
    std::function<void(QPainter&, QRandomGenerator&)> Paint;
};

const DemoTile DemoTiles[] = {
    {"grass",
     [](QPainter& p, QRandomGenerator& r) {
         p.fillRect(0, 0, Size, Size, QColor(86, 160, 60));
         Speckle(p, r, QColor(60, 130, 45), 140);
         Speckle(p, r, QColor(120, 190, 80), 60);
     }},
    {"water",
     [](QPainter& p, QRandomGenerator&) {
         p.fillRect(0, 0, Size, Size, QColor(48, 104, 190));
         p.setPen(QPen(QColor(120, 170, 230), 2));
         for (int y = 8; y < Size; y += 16)
             for (int x = 2; x < Size; x += 16)
                 p.drawArc(x, y, 12, 8, 0, 180 * 16);
     }},
    {"sand",
     [](QPainter& p, QRandomGenerator& r) {
         p.fillRect(0, 0, Size, Size, QColor(226, 204, 140));
         Speckle(p, r, QColor(196, 170, 110), 120);
     }},
    {"stone",
     [](QPainter& p, QRandomGenerator&) {
         p.fillRect(0, 0, Size, Size, QColor(150, 150, 150));
         p.setPen(QColor(100, 100, 100));
         for (int y = 0; y < Size; y += 12) {
             p.drawLine(0, y, Size, y);
             for (int x = (y / 12) % 2 * 12; x < Size; x += 24)
                 p.drawLine(x, y, x, y + 12);
         }
     }},
    {"tree",
     [](QPainter& p, QRandomGenerator& r) {
         p.fillRect(0, 0, Size, Size, QColor(86, 160, 60));
         Speckle(p, r, QColor(60, 130, 45), 80);
         p.setRenderHint(QPainter::Antialiasing);
         p.fillRect(21, 28, 6, 16, QColor(110, 70, 30));
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(30, 100, 40));
         p.drawEllipse(8, 4, 32, 30);
     }},
    {"road",
     [](QPainter& p, QRandomGenerator& r) {
         p.fillRect(0, 0, Size, Size, QColor(160, 130, 90));
         Speckle(p, r, QColor(130, 100, 70), 120);
     }},
};

enum : TileIndex { Grass, Water, Sand, Stone, Tree, Road };

// A small island scene: a lake with a sandy shore, a road across, a stone wall and trees.
void PaintMap(TileMap& map) {
    auto set = [&](int x, int y, TileIndex tile) {
        if (x >= 0 && y >= 0 && x < map.Width && y < map.Height)
            map.Cells[x][std::size_t(y)] = tile;
    };
    for (int x = 0; x < map.Width; ++x)
        for (int y = 0; y < map.Height; ++y) {
            const int dx = x - 15, dy = y - 6;
            const int d = dx * dx * 2 + dy * dy * 3;
            set(x, y, d < 50 ? Water : d < 90 ? Sand : Grass);
        }
    for (int x = 0; x < map.Width; ++x)
        set(x, 13, Road);
    for (int y = 0; y < 13; ++y)
        set(5, y, Road);
    for (int x = 0; x < 9; ++x)
        set(x, 16, Stone);
    const QPoint trees[] = {{1, 1},   {2, 3},   {8, 2},  {9, 9},   {3, 9}, {22, 15},
                            {19, 16}, {12, 16}, {23, 1}, {21, 11}, {1, 6}, {14, 15}};
    for (const QPoint& t : trees)
        set(t.x(), t.y(), Tree);
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo <examples directory>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("tiles"));
    out.mkpath(QStringLiteral("png"));
    try {
        QRandomGenerator random(1251); // the same picture every time
        TilePack pack;
        for (const DemoTile& demo : DemoTiles) {
            QImage image(Size, Size, QImage::Format_RGB32);
            QPainter painter(&image);
            demo.Paint(painter, random);
            painter.end();
            const QString name = QString::fromLatin1(demo.Name);
            const QString bmp = out.filePath(QStringLiteral("tiles/%1.bmp").arg(name));
            const QString png = out.filePath(QStringLiteral("png/%1.png").arg(name));
            if (!image.convertToFormat(QImage::Format_RGB888).save(bmp, "BMP") ||
                !image.save(png, "PNG"))
                throw Exception(QStringLiteral("cannot write the images of %1").arg(name));
            TileRef tile = std::make_unique<Tile>();
            tile->Name = demo.Name;
            tile->Image->LoadFromFile(bmp);
            pack.Add(std::move(tile));
        }
        PackFile::Write(pack, out.filePath(QStringLiteral("demo.pac")));

        TileMap map(Size);
        map.New(24, 18, Size);
        PaintMap(map);
        map.Text1 = "testing!!!";
        map.PackName = "demo.pac";
        MapFile::Write(map, out.filePath(QStringLiteral("demo.map")));
    } catch (const Exception& e) {
        std::fprintf(stderr, "make_demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
