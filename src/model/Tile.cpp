#include "model/Tile.h"
#include "platform/Bitmap.h"
#include "platform/Cp1251.h"

#include <QFileInfo>

Tile::Tile() : Image(std::make_unique<Bitmap>()) {}

Tile::~Tile() = default;

void Tile::SetProperties(const TileProperties& properties) {
    Name = properties.Name;
    Param1 = properties.Param1;
    Param2 = properties.Param2;
    Param3 = properties.Param3;
    Param4 = properties.Param4;
}

QByteArray Tile::NameOfFile(const QString& path) {
    const QString fileName = QFileInfo(path).fileName();
    return Cp1251::FromUnicode(fileName.size() > 3 ? fileName.chopped(4) : fileName);
}
