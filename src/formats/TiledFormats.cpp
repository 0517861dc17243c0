// The writers of the other formats and the export; the readers are in TiledImport.cpp.

#include "formats/TiledFormats.h"

#include "formats/FileFormat.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/MemoryStream.h"
#include "render/MapImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QXmlStreamWriter>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace TiledFormats {
namespace {
// The Tiled file version the maps are written for: Debian 12's Tiled reads it.
const char* const TiledVersion = "1.8";
// Writers put the layer's cells in place of this marker once the rest of the document is
// written: a document of many millions of cells is never held as XML or JSON values. Inside
// any text the writers escape the quotes and brackets around it, so it occurs only where
// placed.
const char* const CellsMarker = "@@cells@@";

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A text of the map or pack as Unicode, refused when converting it back would not give the
// same bytes (so that an import gives the pack and map back exactly), or, for XML, when it
// holds a control character XML 1.0 cannot carry.
QString ExportedText(const QByteArray& bytes, const QString& what, bool forXml) {
    QString text = Cp1251::ToUnicode(bytes);
    if (Cp1251::FromUnicode(text) != bytes)
        throw EFormatError(QStringLiteral("%1 holds a byte that has no character in "
                                          "Windows-1251, which these formats cannot carry")
                               .arg(what));
    if (forXml)
        for (const QChar c : text)
            if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') &&
                c != QLatin1Char('\r'))
                throw EFormatError(QStringLiteral("%1 holds the control character U+%2, which "
                                                  "XML cannot carry")
                                       .arg(what)
                                       .arg(c.unicode(), 4, 16, QLatin1Char('0')));
    return text;
}

QString TileName(qint32 index) {
    return QStringLiteral("the name of tile %1").arg(index);
}

// Every cell is a tile of the pack or empty: a GID outside the tileset would be a tile no
// reader has.
void CheckCells(const TileMap& map, const TilePack& pack) {
    const quint32 count = quint32(pack.Count());
    const TileIndex* cell = map.Cells.data();
    const qint64 cells = map.Cells.Count();
    for (qint64 i = 0; i < cells; ++i)
        if (cell[i] != -1 && quint32(cell[i]) >= count) {
            const qint64 x = i / map.Cells.Rows(), y = i % map.Cells.Rows();
            throw EFormatError(QStringLiteral("the cell at column %1, row %2 holds tile %3, "
                                              "which the tile pack of %4 tiles lacks")
                                   .arg(x)
                                   .arg(y)
                                   .arg(cell[i])
                                   .arg(count));
        }
}

// The cells row by row, each value transformed by add, separated by commas; rows end with
// rowEnd except the last, which ends with lastEnd.
QByteArray CellText(const TileMap& map, qint32 add, const char* rowEnd, const char* lastEnd) {
    const qint32 width = map.Cells.size(), height = map.Cells.Rows();
    const qsizetype rowEndLength = qsizetype(std::strlen(rowEnd));
    QByteArray text;
    // 12 characters hold any 32-bit value and its comma.
    text.resize(qsizetype(12) * width * height + rowEndLength * height + 16);
    char* out = text.data();
    char* const end = text.data() + text.size();
    for (qint32 y = 0; y < height; ++y) {
        for (qint32 x = 0; x < width; ++x) {
            out = std::to_chars(out, end, qint64(map.Cells[x][std::size_t(y)]) + add).ptr;
            if (x + 1 < width)
                *out++ = ',';
        }
        const char* ending = y + 1 < height ? rowEnd : lastEnd;
        out = std::copy_n(ending, std::strlen(ending), out);
    }
    text.truncate(out - text.data());
    return text;
}

// The document with marker, the first one after placed, replaced by cells.
QByteArray Spliced(const QByteArray& document, const QByteArray& placed, const QByteArray& marker,
                   const QByteArray& cells) {
    const qsizetype at = document.indexOf(marker, document.indexOf(placed));
    Q_ASSERT(at >= 0);
    QByteArray result;
    result.reserve(document.size() + cells.size());
    result.append(document.constData(), at);
    result.append(cells);
    result.append(document.constData() + at + marker.size(), document.size() - at - marker.size());
    return result;
}

QString PackDisplayName(const TileMap& map, bool forXml) {
    const QString name = ExportedText(map.PackName, QStringLiteral("the tile pack name"), forXml);
    return name.isEmpty() ? QStringLiteral("tiles") : name;
}
} // namespace

std::optional<Format> FormatOf(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("tmx"))
        return Format::Tmx;
    if (suffix == QLatin1String("tmj") || suffix == QLatin1String("json"))
        return Format::Tmj;
    if (suffix == QLatin1String("csv"))
        return Format::Csv;
    if (suffix == QLatin1String("png"))
        return Format::Png;
    return std::nullopt;
}

QString Extension(Format format) {
    switch (format) {
    case Format::Tmx:
        return QStringLiteral("tmx");
    case Format::Tmj:
        return QStringLiteral("tmj");
    case Format::Csv:
        return QStringLiteral("csv");
    case Format::Png:
        return QStringLiteral("png");
    }
    return QString();
}

QString AtlasPath(const QString& mapFile) {
    // In the map's directory as the caller names it ("x.tmx" gives "x.tiles.png", not
    // "./x.tiles.png").
    const QFileInfo info(mapFile);
    return mapFile.left(mapFile.size() - info.fileName().size()) + info.completeBaseName() +
           QStringLiteral(".tiles.png");
}

qint32 AtlasColumns(qint32 tiles) {
    // Tiled counts an atlas's tiles from its size, whatever the tileset says: the grid is filled
    // exactly, or Tiled shows tiles the pack lacks. The columns are the smallest divisor of the
    // count that is at least its square root, so the atlas is as square as the count allows.
    qint32 columns = std::max(1, qint32(std::ceil(std::sqrt(double(tiles)))));
    while (columns < tiles && tiles % columns != 0)
        ++columns;
    return columns;
}

QImage Atlas(const TilePack& pack, qint32 tileSize) {
    const qint32 columns = AtlasColumns(pack.Count());
    const qint32 rows = (pack.Count() + columns - 1) / columns;
    const qint64 width = qint64(columns) * tileSize, height = qint64(rows) * tileSize;
    // A long row of tiles is still small: only its pixels are limited.
    if (width > std::numeric_limits<qint32>::max() / 4 || width * height > MapImage::MaxPixels)
        throw ESizeError(QStringLiteral("the atlas of %1 tiles of %2 pixels would be %3 x %4 "
                                        "pixels, more than the %5 pixels written at most")
                             .arg(pack.Count())
                             .arg(tileSize)
                             .arg(width)
                             .arg(height)
                             .arg(MapImage::MaxPixels));
    QImage atlas(int(width), int(height), QImage::Format_RGB32);
    if (atlas.isNull())
        throw std::bad_alloc();
    atlas.fill(clBtnFace);
    // The tiles' resolution travels with the atlas, so the tiles an import cuts from it become
    // BMP files with the resolution the pack's had.
    for (const TileRef& tile : pack.Tiles)
        if (!tile->Image->Picture().isNull()) {
            atlas.setDotsPerMeterX(tile->Image->Picture().dotsPerMeterX());
            atlas.setDotsPerMeterY(tile->Image->Picture().dotsPerMeterY());
            break;
        }
    QPainter painter(&atlas);
    for (qint32 i = 0; i < pack.Count(); ++i) {
        const QImage& picture = pack.Tiles[std::size_t(i)]->Image->Picture();
        if (picture.isNull())
            continue;
        const QPoint corner((i % columns) * tileSize, (i / columns) * tileSize);
        // At actual size the editor draws a picture from its cell's corner, unscaled; an atlas
        // cell holds only the cell, so the rest of a larger picture is cut off.
        painter.drawImage(corner, picture, QRect(0, 0, tileSize, tileSize));
    }
    return atlas;
}

QByteArray TmxBytes(const TileMap& map, const TilePack& pack, const QString& atlasName) {
    CheckCells(map, pack);
    const qint32 width = map.Cells.size(), height = map.Cells.Rows();
    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("map"));
    xml.writeAttribute(QStringLiteral("version"), QLatin1String(TiledVersion));
    xml.writeAttribute(QStringLiteral("orientation"), QStringLiteral("orthogonal"));
    xml.writeAttribute(QStringLiteral("renderorder"), QStringLiteral("right-down"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(width));
    xml.writeAttribute(QStringLiteral("height"), QString::number(height));
    xml.writeAttribute(QStringLiteral("tilewidth"), QString::number(map.TileSize));
    xml.writeAttribute(QStringLiteral("tileheight"), QString::number(map.TileSize));
    xml.writeAttribute(QStringLiteral("infinite"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("nextlayerid"), QStringLiteral("2"));
    xml.writeAttribute(QStringLiteral("nextobjectid"), QStringLiteral("1"));

    const auto stringProperty = [&](const char* name, const QString& value) {
        xml.writeEmptyElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), QLatin1String(name));
        xml.writeAttribute(QStringLiteral("value"), value);
    };
    const QByteArray* texts[] = {&map.Text1, &map.Text2, &map.PackName, &map.Text4};
    xml.writeStartElement(QStringLiteral("properties"));
    for (std::size_t i = 0; i < MapTextNames.size(); ++i)
        stringProperty(MapTextNames[i],
                       ExportedText(*texts[i],
                                    QStringLiteral("the map's text %1").arg(MapTextNames[i]),
                                    true));
    xml.writeEndElement();

    if (pack.Count() > 0) {
        const qint32 columns = AtlasColumns(pack.Count());
        const qint32 rows = (pack.Count() + columns - 1) / columns;
        xml.writeStartElement(QStringLiteral("tileset"));
        xml.writeAttribute(QStringLiteral("firstgid"), QStringLiteral("1"));
        xml.writeAttribute(QStringLiteral("name"), PackDisplayName(map, true));
        xml.writeAttribute(QStringLiteral("tilewidth"), QString::number(map.TileSize));
        xml.writeAttribute(QStringLiteral("tileheight"), QString::number(map.TileSize));
        xml.writeAttribute(QStringLiteral("tilecount"), QString::number(pack.Count()));
        xml.writeAttribute(QStringLiteral("columns"), QString::number(columns));
        xml.writeEmptyElement(QStringLiteral("image"));
        xml.writeAttribute(QStringLiteral("source"), atlasName);
        xml.writeAttribute(QStringLiteral("width"),
                           QString::number(qint64(columns) * map.TileSize));
        xml.writeAttribute(QStringLiteral("height"), QString::number(qint64(rows) * map.TileSize));
        for (qint32 i = 0; i < pack.Count(); ++i) {
            const Tile& tile = pack.At(i);
            xml.writeStartElement(QStringLiteral("tile"));
            xml.writeAttribute(QStringLiteral("id"), QString::number(i));
            xml.writeStartElement(QStringLiteral("properties"));
            stringProperty("name", ExportedText(tile.Name, TileName(i), true));
            const auto values = ValuesOf(tile);
            for (std::size_t v = 0; v < values.size(); ++v) {
                xml.writeEmptyElement(QStringLiteral("property"));
                xml.writeAttribute(QStringLiteral("name"), QLatin1String(TileValueNames[v]));
                xml.writeAttribute(QStringLiteral("type"), QStringLiteral("int"));
                xml.writeAttribute(QStringLiteral("value"), QString::number(*values[v]));
            }
            xml.writeEndElement(); // properties
            xml.writeEndElement(); // tile
        }
        xml.writeEndElement(); // tileset
    }

    xml.writeStartElement(QStringLiteral("layer"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("cells"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(width));
    xml.writeAttribute(QStringLiteral("height"), QString::number(height));
    xml.writeStartElement(QStringLiteral("data"));
    xml.writeAttribute(QStringLiteral("encoding"), QStringLiteral("csv"));
    xml.writeCharacters(QLatin1String(CellsMarker));
    xml.writeEndElement(); // data
    xml.writeEndElement(); // layer
    xml.writeEndElement(); // map
    xml.writeEndDocument();
    // Laid out as Tiled lays it out: a row a line, each ending in its comma.
    const QByteArray cells =
        map.Cells.Count() == 0 ? QByteArray("\n") : "\n" + CellText(map, 1, ",\n", "\n");
    return Spliced(document, QByteArrayLiteral("<data encoding=\"csv\">"), CellsMarker, cells);
}

QByteArray TmjBytes(const TileMap& map, const TilePack& pack, const QString& atlasName) {
    CheckCells(map, pack);
    const qint32 width = map.Cells.size(), height = map.Cells.Rows();
    const auto property = [](const char* name, const char* type, const QJsonValue& value) {
        return QJsonObject{{QStringLiteral("name"), QLatin1String(name)},
                           {QStringLiteral("type"), QLatin1String(type)},
                           {QStringLiteral("value"), value}};
    };
    QJsonArray mapProperties;
    const QByteArray* texts[] = {&map.Text1, &map.Text2, &map.PackName, &map.Text4};
    for (std::size_t i = 0; i < MapTextNames.size(); ++i)
        mapProperties.append(property(
            MapTextNames[i], "string",
            ExportedText(*texts[i], QStringLiteral("the map's text %1").arg(MapTextNames[i]),
                         false)));
    QJsonArray tilesets;
    if (pack.Count() > 0) {
        const qint32 columns = AtlasColumns(pack.Count());
        const qint32 rows = (pack.Count() + columns - 1) / columns;
        QJsonArray tiles;
        for (qint32 i = 0; i < pack.Count(); ++i) {
            const Tile& tile = pack.At(i);
            QJsonArray properties{
                property("name", "string", ExportedText(tile.Name, TileName(i), false))};
            const auto values = ValuesOf(tile);
            for (std::size_t v = 0; v < values.size(); ++v)
                properties.append(property(TileValueNames[v], "int", *values[v]));
            tiles.append(
                QJsonObject{{QStringLiteral("id"), i}, {QStringLiteral("properties"), properties}});
        }
        tilesets.append(QJsonObject{
            {QStringLiteral("firstgid"), 1},
            {QStringLiteral("name"), PackDisplayName(map, false)},
            {QStringLiteral("tilewidth"), map.TileSize},
            {QStringLiteral("tileheight"), map.TileSize},
            {QStringLiteral("tilecount"), pack.Count()},
            {QStringLiteral("columns"), columns},
            {QStringLiteral("margin"), 0},
            {QStringLiteral("spacing"), 0},
            {QStringLiteral("image"), atlasName},
            {QStringLiteral("imagewidth"), qint64(columns) * map.TileSize},
            {QStringLiteral("imageheight"), qint64(rows) * map.TileSize},
            {QStringLiteral("tiles"), tiles},
        });
    }
    const QJsonObject layer{
        {QStringLiteral("type"), QStringLiteral("tilelayer")},
        {QStringLiteral("id"), 1},
        {QStringLiteral("name"), QStringLiteral("cells")},
        {QStringLiteral("width"), width},
        {QStringLiteral("height"), height},
        {QStringLiteral("x"), 0},
        {QStringLiteral("y"), 0},
        {QStringLiteral("opacity"), 1},
        {QStringLiteral("visible"), true},
        {QStringLiteral("data"), QLatin1String(CellsMarker)},
    };
    const QJsonObject root{
        {QStringLiteral("type"), QStringLiteral("map")},
        {QStringLiteral("version"), QLatin1String(TiledVersion)},
        {QStringLiteral("orientation"), QStringLiteral("orthogonal")},
        {QStringLiteral("renderorder"), QStringLiteral("right-down")},
        {QStringLiteral("width"), width},
        {QStringLiteral("height"), height},
        {QStringLiteral("tilewidth"), map.TileSize},
        {QStringLiteral("tileheight"), map.TileSize},
        {QStringLiteral("infinite"), false},
        {QStringLiteral("nextlayerid"), 2},
        {QStringLiteral("nextobjectid"), 1},
        {QStringLiteral("properties"), mapProperties},
        {QStringLiteral("tilesets"), tilesets},
        {QStringLiteral("layers"), QJsonArray{layer}},
    };
    const QByteArray document = QJsonDocument(root).toJson(QJsonDocument::Indented);
    const QByteArray cells =
        map.Cells.Count() == 0 ? QByteArray("[]") : "[" + CellText(map, 1, ",", "") + "]";
    return Spliced(document, QByteArrayLiteral("\"data\": \""),
                   QByteArrayLiteral("\"") + CellsMarker + "\"", cells);
}

QByteArray CsvBytes(const TileMap& map) {
    if (map.Cells.Count() == 0)
        return QByteArray();
    return CellText(map, 0, "\n", "\n");
}

void WriteFiles(const std::vector<std::pair<QString, QByteArray>>& files) {
    for (const auto& [path, bytes] : files)
        if (const QString refusal = LinkRefusal(path, QStringLiteral("the export"));
            !refusal.isEmpty())
            throw Exception(QStringLiteral("Nothing was written: %1.").arg(refusal));
    struct Old {
        QString Path;
        bool Existed;
        QByteArray Bytes;
    };
    std::vector<Old> written;
    for (const auto& [path, bytes] : files) {
        Old old{path, QFileInfo(path).isFile(), {}};
        if (old.Existed) {
            MemoryStream stream;
            stream.LoadFromFile(path);
            old.Bytes = stream.Bytes();
        }
        try {
            MemoryStream(bytes).SaveToFile(path);
        } catch (const Exception& e) {
            QString undoFailure;
            for (auto it = written.rbegin(); it != written.rend(); ++it) {
                try {
                    if (it->Existed)
                        MemoryStream(it->Bytes).SaveToFile(it->Path);
                    else if (!QFile::remove(it->Path))
                        undoFailure +=
                            QStringLiteral(" \"%1\" could not be removed.").arg(Shown(it->Path));
                } catch (const Exception& undo) {
                    undoFailure += QLatin1Char(' ') + undo.Message();
                }
            }
            if (!undoFailure.isEmpty())
                throw EFCreateError(e.Message() +
                                    QStringLiteral(" Putting back the files "
                                                   "written before failed:") +
                                    undoFailure);
            throw;
        }
        written.push_back(std::move(old));
    }
}

QStringList Export(const TileMap& map, const TilePack& pack, const QString& fileName) {
    const std::optional<Format> format = FormatOf(fileName);
    if (!format)
        throw Exception(QStringLiteral("Nothing was written: \"%1\" names no format exported "
                                       "(.tmx, .tmj, .csv or .png).")
                            .arg(Shown(fileName)));
    std::vector<std::pair<QString, QByteArray>> files;
    try {
        switch (*format) {
        case Format::Tmx:
        case Format::Tmj: {
            const QString atlas = AtlasPath(fileName);
            const QString atlasName = QFileInfo(atlas).fileName();
            QByteArray bytes = *format == Format::Tmx ? TmxBytes(map, pack, atlasName)
                                                      : TmjBytes(map, pack, atlasName);
            if (pack.Count() > 0)
                files.emplace_back(atlas, MapImage::PngBytes(Atlas(pack, map.TileSize), atlas));
            files.emplace_back(fileName, std::move(bytes));
            break;
        }
        case Format::Csv:
            files.emplace_back(fileName, CsvBytes(map));
            break;
        case Format::Png: {
            const QRect whole(0, 0, map.Cells.size(), map.Cells.Rows());
            if (whole.isEmpty())
                throw EFormatError(QStringLiteral("the map has no cells to draw"));
            files.emplace_back(
                fileName, MapImage::PngBytes(MapImage::Draw(map, pack, whole, 1, false), fileName));
            break;
        }
        }
    } catch (const EFormatError& e) {
        throw EFormatError(
            QStringLiteral("Nothing was written to \"%1\": %2.").arg(Shown(fileName), e.Message()));
    } catch (const ESizeError& e) {
        throw ESizeError(
            QStringLiteral("Nothing was written to \"%1\": %2.").arg(Shown(fileName), e.Message()));
    }
    WriteFiles(files);
    QStringList written;
    for (const auto& file : files)
        written << file.first;
    return written;
}
} // namespace TiledFormats
