// The readers of Tiled's TMX and JSON maps and of CSV tables. A map is first read into a plain
// description (TiledMap), without the cells or images decoded, so that every size is known and
// checked against the input before anything large is allocated; then the cells are decoded
// and the images cut, and only then do the map and pack change.

#include "formats/FileFormat.h"
#include "formats/TiledFormats.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Bitmap.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/InputFile.h"
#include "render/MapImage.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>
#include <QtEndian>
#include <charconv>
#include <map>
#include <new>
#include <zlib.h>

namespace TiledFormats {
namespace {
// The largest file read: a map's or tileset's text, or an image.
constexpr qint64 MaxFileBytes = qint64(1) << 30;
// The most a zlib stream can expand: deflate's limit is about 1032 to 1.
constexpr qint64 MaxInflation = 1100;
// The GID bits for flipped and rotated cells.
constexpr quint32 FlagBits = 0xF0000000u;

// A problem with what was read; the message names the place when it knows one.
struct Problem : EFormatError {
    using EFormatError::EFormatError;
};

[[noreturn]] void Refuse(const QString& what) {
    throw Problem(what);
}

struct Property {
    QString Name;
    QString Type;
    QString Value;
};

// One tile of a tileset: an id and, in an image collection, its own image.
struct TiledTile {
    qint64 Id = -1;
    QString Image; // resolved path, empty in an atlas tileset
    std::vector<Property> Properties;
};

struct TiledTileset {
    qint64 FirstGid = 1;
    qint64 TileWidth = 0, TileHeight = 0;
    qint64 TileCount = -1; // -1: not stated
    qint64 Margin = 0, Spacing = 0;
    QString Image; // resolved path of the atlas, empty in an image collection
    std::vector<TiledTile> Tiles;
};

struct TiledMap {
    QString Orientation;
    bool Infinite = false;
    qint64 Width = -1, Height = -1, TileWidth = 0, TileHeight = 0;
    std::vector<Property> Properties;
    std::vector<TiledTileset> Tilesets;
    qint32 TileLayers = 0;
    // The one tile layer's data.
    QString Encoding; // "csv", "base64", or "" for XML tiles or a JSON array
    QString Compression;
    QString DataText; // CSV or base64 text
    QJsonArray DataArray;
    bool DataIsArray = false;
    // A JSON layer's cells cut from the file before it was parsed (see CutCells): the text
    // between the brackets, a view of the file's bytes.
    QByteArrayView DataCut;
    qint64 LayerWidth = -1, LayerHeight = -1;
};

QString ReadAllowed(const QString& path, QByteArray& bytes) {
    InputFile file(path);
    if (file.Size() > MaxFileBytes)
        return QStringLiteral("the file \"%1\" is %2 bytes long, more than the %3 read at most")
            .arg(QDir::toNativeSeparators(path))
            .arg(file.Size())
            .arg(MaxFileBytes);
    bytes = file.Read(file.Size());
    return QString();
}

QByteArray ReadWhole(const QString& path) {
    QByteArray bytes;
    if (const QString problem = ReadAllowed(path, bytes); !problem.isEmpty())
        Refuse(problem);
    return bytes;
}

// A whole number from a file's text within first..last.
qint64 Number(const QString& text, const QString& what, qint64 first, qint64 last) {
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < first || value > last)
        Refuse(QStringLiteral("%1 is \"%2\", not a whole number from %3 to %4")
                   .arg(what, Msg::Clip(text))
                   .arg(first)
                   .arg(last));
    return value;
}

// Sizes and counts anywhere in a file: far beyond what any map holds, small enough that no
// product of two overflows.
constexpr qint64 MaxCount = qint64(1) << 31;

// ----- TMX

class XmlReader {
public:
    XmlReader(const QByteArray& bytes, const QString& fileName) : Xml(bytes), FileName(fileName) {}

    QXmlStreamReader Xml;
    QString FileName;

    QString Here() const {
        return QStringLiteral("line %1, column %2").arg(Xml.lineNumber()).arg(Xml.columnNumber());
    }
    [[noreturn]] void Fail(const QString& what) const {
        Refuse(QStringLiteral("%1: %2").arg(Here(), what));
    }
    void CheckError() const {
        if (Xml.hasError())
            Fail(Xml.errorString());
    }
    QString Attribute(const char* name) const {
        return Xml.attributes().value(QLatin1String(name)).toString();
    }
    bool Has(const char* name) const { return Xml.attributes().hasAttribute(QLatin1String(name)); }
    qint64 Int(const char* name, qint64 fallback, qint64 first = 0, qint64 last = MaxCount) const {
        if (!Has(name))
            return fallback;
        bool ok = false;
        const qint64 value = Attribute(name).trimmed().toLongLong(&ok);
        if (!ok || value < first || value > last)
            Fail(QStringLiteral("the attribute %1 of <%2> is \"%3\", not a whole number from %4 "
                                "to %5")
                     .arg(QLatin1String(name), Xml.name().toString(), Msg::Clip(Attribute(name)))
                     .arg(first)
                     .arg(last));
        return value;
    }
    // The next child element of the current one, or false at its end.
    bool NextChild() {
        const bool found = Xml.readNextStartElement();
        CheckError();
        return found;
    }
    void Skip() {
        Xml.skipCurrentElement();
        CheckError();
    }
    // Whether the element has any child element, skipping it all.
    bool SkipHasChildren() {
        bool any = false;
        while (NextChild()) {
            any = true;
            Skip();
        }
        return any;
    }
    std::vector<Property> Properties() {
        std::vector<Property> properties;
        while (NextChild()) {
            if (Xml.name() != QLatin1String("property")) {
                Skip();
                continue;
            }
            Property p{Attribute("name"), Attribute("type"), Attribute("value")};
            const bool hasValue = Has("value");
            // A value with line breaks is the element's text.
            const QString text = Xml.readElementText(QXmlStreamReader::SkipChildElements);
            CheckError();
            if (!hasValue)
                p.Value = text;
            properties.push_back(std::move(p));
        }
        return properties;
    }
};

QString ResolvedPath(const QString& baseDir, const QString& source) {
    return QDir::cleanPath(QDir(baseDir).filePath(source));
}

void ReadXmlTilesetBody(XmlReader& r, TiledTileset& set, const QString& baseDir) {
    set.TileWidth = r.Int("tilewidth", 0);
    set.TileHeight = r.Int("tileheight", 0);
    set.TileCount = r.Int("tilecount", -1);
    set.Margin = r.Int("margin", 0);
    set.Spacing = r.Int("spacing", 0);
    while (r.NextChild()) {
        const auto name = r.Xml.name();
        if (name == QLatin1String("image")) {
            set.Image = ResolvedPath(baseDir, r.Attribute("source"));
            if (r.Attribute("source").isEmpty())
                r.Fail(QStringLiteral("the tileset's image names no file"));
            r.Skip();
        } else if (name == QLatin1String("tile")) {
            TiledTile tile;
            tile.Id = r.Int("id", -1, 0, MaxCount);
            if (tile.Id < 0)
                r.Fail(QStringLiteral("a <tile> without its id"));
            while (r.NextChild()) {
                if (r.Xml.name() == QLatin1String("properties")) {
                    tile.Properties = r.Properties();
                } else if (r.Xml.name() == QLatin1String("image")) {
                    if (r.Attribute("source").isEmpty())
                        r.Fail(QStringLiteral("tile %1's image names no file").arg(tile.Id));
                    tile.Image = ResolvedPath(baseDir, r.Attribute("source"));
                    r.Skip();
                } else if (r.Xml.name() == QLatin1String("animation")) {
                    r.Fail(QStringLiteral("tile %1 is animated, which the editor cannot keep")
                               .arg(tile.Id));
                } else {
                    r.Skip(); // collision shapes and the like: nothing the editor has
                }
            }
            set.Tiles.push_back(std::move(tile));
        } else {
            r.Skip();
        }
    }
}

void ReadJsonTileset(const QJsonObject& object, TiledTileset& set, const QString& baseDir,
                     const QString& where);
// Where a file's cells were cut out: the bytes from Start to End (its brackets) became CutMarker.
struct Cut {
    qsizetype Start = -1, End = -1;
};
const char* const CutMarker = "[-0.5]"; // no GID, so a layer never holds it by chance

QJsonObject ParseJson(const QByteArray& bytes, const QByteArray& original = {}, Cut cut = {});

// An external tileset file, .tsx or .tsj, beside the file that names it.
void ReadExternalTileset(TiledTileset& set, const QString& path) {
    const QByteArray bytes = ReadWhole(path);
    const QString baseDir = QFileInfo(path).path();
    const QString suffix = QFileInfo(path).suffix().toLower();
    try {
        if (suffix == QLatin1String("tsj") || suffix == QLatin1String("json")) {
            ReadJsonTileset(ParseJson(bytes), set, baseDir, QDir::toNativeSeparators(path));
            return;
        }
        XmlReader r(bytes, path);
        if (!r.NextChild() || r.Xml.name() != QLatin1String("tileset"))
            r.Fail(QStringLiteral("this is no tileset"));
        ReadXmlTilesetBody(r, set, baseDir);
    } catch (const Problem& e) {
        Refuse(QStringLiteral("its tileset \"%1\": %2")
                   .arg(QDir::toNativeSeparators(path), e.Message()));
    }
}

// A TMX layer's cells in CSV, as Tiled writes them, are nearly all of the file, and Qt's XML
// reader would make them one string of two bytes a character. The first long run of them after
// <data encoding="csv"> is therefore found here and replaced by the marker "-0.5" (no GID) and
// the run's line breaks, so every line and column after it stays where it was; the layer whose
// data is the marker takes its cells from the file's bytes. Start and End are the brackets
// around the run.
Cut CutCsvText(const QByteArray& bytes) {
    static const QByteArray opening = QByteArrayLiteral("<data encoding=\"csv\">");
    constexpr qsizetype Shortest = 4096;
    const qsizetype at = bytes.indexOf(opening);
    if (at < 0)
        return {};
    const qsizetype start = at + opening.size() - 1;
    qsizetype end = start + 1;
    const char* const text = bytes.constData();
    while (end < bytes.size() &&
           ((text[end] >= '0' && text[end] <= '9') || text[end] == ',' || text[end] == ' ' ||
            text[end] == '\n' || text[end] == '\r' || text[end] == '\t'))
        ++end;
    if (end - start <= Shortest || !QByteArrayView(bytes).sliced(end).startsWith("</data>"))
        return {};
    return {start, end};
}

QByteArray WithoutCsvText(const QByteArray& bytes, Cut cut) {
    const QByteArrayView run = QByteArrayView(bytes).sliced(cut.Start + 1, cut.End - cut.Start - 1);
    const qsizetype lastBreak = run.lastIndexOf('\n');
    QByteArray replacement = QByteArrayLiteral("-0.5");
    replacement += QByteArray(run.count('\n'), '\n');
    replacement += QByteArray(lastBreak < 0 ? 0 : run.size() - lastBreak - 1, ' ');
    return QByteArray(bytes).replace(cut.Start + 1, run.size(), replacement);
}

TiledMap ReadTmx(const QByteArray& bytes, const QString& fileName) {
    const Cut cut = CutCsvText(bytes);
    const QByteArray parsed = cut.Start < 0 ? bytes : WithoutCsvText(bytes, cut);
    XmlReader r(parsed, fileName);
    const QString baseDir = QFileInfo(fileName).path();
    TiledMap map;
    if (!r.NextChild() || r.Xml.name() != QLatin1String("map"))
        r.Fail(QStringLiteral("the document is no <map>"));
    map.Orientation = r.Attribute("orientation");
    map.Infinite = r.Attribute("infinite") == QLatin1String("1");
    map.Width = r.Int("width", -1);
    map.Height = r.Int("height", -1);
    map.TileWidth = r.Int("tilewidth", 0);
    map.TileHeight = r.Int("tileheight", 0);
    while (r.NextChild()) {
        const QString name = r.Xml.name().toString();
        if (name == QLatin1String("properties")) {
            map.Properties = r.Properties();
        } else if (name == QLatin1String("tileset")) {
            if (!map.Tilesets.empty())
                r.Fail(QStringLiteral("a second tileset; the editor keeps one tile pack"));
            TiledTileset set;
            set.FirstGid = r.Int("firstgid", 1, 1, MaxCount);
            if (r.Has("source")) {
                const QString source = r.Attribute("source");
                r.Skip();
                ReadExternalTileset(set, ResolvedPath(baseDir, source));
            } else {
                ReadXmlTilesetBody(r, set, baseDir);
            }
            map.Tilesets.push_back(std::move(set));
        } else if (name == QLatin1String("layer")) {
            if (++map.TileLayers > 1)
                r.Fail(QStringLiteral("a second tile layer; the editor keeps one"));
            map.LayerWidth = r.Int("width", -1);
            map.LayerHeight = r.Int("height", -1);
            bool hasData = false;
            while (r.NextChild()) {
                if (r.Xml.name() != QLatin1String("data")) {
                    r.Skip();
                    continue;
                }
                hasData = true;
                map.Encoding = r.Attribute("encoding");
                map.Compression = r.Attribute("compression");
                if (map.Encoding.isEmpty())
                    r.Fail(QStringLiteral("cells as XML elements; only CSV and base64 layer "
                                          "data are read"));
                map.DataText = r.Xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
                if (r.Xml.hasError())
                    r.Fail(map.Infinite || r.Xml.name() == QLatin1String("chunk")
                               ? QStringLiteral("the layer is in chunks, as an infinite map's")
                               : r.Xml.errorString());
                if (cut.Start >= 0 && map.Encoding == QLatin1String("csv") &&
                    map.DataText.trimmed() == QLatin1String("-0.5"))
                    map.DataCut =
                        QByteArrayView(bytes).sliced(cut.Start + 1, cut.End - cut.Start - 1);
            }
            if (!hasData)
                r.Fail(QStringLiteral("the tile layer has no data"));
        } else if (name == QLatin1String("objectgroup")) {
            if (r.SkipHasChildren())
                r.Fail(
                    QStringLiteral("an object layer with objects, which the editor cannot keep"));
        } else if (name == QLatin1String("imagelayer")) {
            if (r.SkipHasChildren())
                r.Fail(QStringLiteral("an image layer, which the editor cannot keep"));
        } else if (name == QLatin1String("group")) {
            if (r.SkipHasChildren())
                r.Fail(QStringLiteral("a group of layers; the editor keeps one tile layer"));
        } else {
            r.Skip();
        }
    }
    r.CheckError();
    // Anything after the root element is an error the reader reports only when asked to go on.
    while (!r.Xml.atEnd())
        r.Xml.readNext();
    r.CheckError();
    return map;
}

// ----- JSON

QString LineAndColumn(const QByteArray& bytes, qsizetype offset) {
    offset = std::clamp<qsizetype>(offset, 0, bytes.size());
    const qsizetype line = bytes.left(offset).count('\n') + 1;
    const qsizetype lineStart = bytes.lastIndexOf('\n', offset - 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(offset - lineStart + 1);
}

QJsonObject ParseJson(const QByteArray& bytes, const QByteArray& original, Cut cut) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        // Places after the cut are shown where they are in the file.
        qsizetype offset = error.offset;
        const qsizetype marker = qsizetype(std::strlen(CutMarker));
        if (cut.Start >= 0 && offset >= cut.Start + marker)
            offset += cut.End + 1 - cut.Start - marker;
        Refuse(QStringLiteral("%1: %2").arg(
            LineAndColumn(cut.Start >= 0 ? original : bytes, offset), error.errorString()));
    }
    if (!document.isObject())
        Refuse(QStringLiteral("the document is no JSON object"));
    return document.object();
}

qint64 JsonInt(const QJsonObject& object, const char* key, qint64 fallback, const QString& where,
               qint64 first = 0, qint64 last = MaxCount) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return fallback;
    const double number = value.toDouble(-1e300);
    if (!value.isDouble() || number != std::floor(number) || number < double(first) ||
        number > double(last))
        Refuse(QStringLiteral("%1: \"%2\" is no whole number from %3 to %4")
                   .arg(where, QLatin1String(key))
                   .arg(first)
                   .arg(last));
    return qint64(number);
}

std::vector<Property> JsonProperties(const QJsonValue& value) {
    std::vector<Property> properties;
    for (const auto& item : value.toArray()) {
        const QJsonObject object = item.toObject();
        const QJsonValue v = object.value(QStringLiteral("value"));
        Property p{object.value(QStringLiteral("name")).toString(),
                   object.value(QStringLiteral("type")).toString(), v.toString()};
        if (v.isDouble())
            p.Value = v.toDouble() == std::floor(v.toDouble()) && std::abs(v.toDouble()) < 1e15
                          ? QString::number(qint64(v.toDouble()))
                          : QString::number(v.toDouble());
        else if (v.isBool())
            p.Value = v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        properties.push_back(std::move(p));
    }
    return properties;
}

void ReadJsonTileset(const QJsonObject& object, TiledTileset& set, const QString& baseDir,
                     const QString& where) {
    set.TileWidth = JsonInt(object, "tilewidth", 0, where);
    set.TileHeight = JsonInt(object, "tileheight", 0, where);
    set.TileCount = JsonInt(object, "tilecount", -1, where);
    set.Margin = JsonInt(object, "margin", 0, where);
    set.Spacing = JsonInt(object, "spacing", 0, where);
    if (const QString image = object.value(QStringLiteral("image")).toString(); !image.isEmpty())
        set.Image = ResolvedPath(baseDir, image);
    for (const auto& item : object.value(QStringLiteral("tiles")).toArray()) {
        const QJsonObject tileObject = item.toObject();
        TiledTile tile;
        tile.Id = JsonInt(tileObject, "id", -1, where + QStringLiteral(", a tile"));
        if (tile.Id < 0)
            Refuse(QStringLiteral("%1: a tile without its id").arg(where));
        if (tileObject.contains(QStringLiteral("animation")))
            Refuse(QStringLiteral("%1: tile %2 is animated, which the editor cannot keep")
                       .arg(where)
                       .arg(tile.Id));
        if (const QString image = tileObject.value(QStringLiteral("image")).toString();
            !image.isEmpty())
            tile.Image = ResolvedPath(baseDir, image);
        tile.Properties = JsonProperties(tileObject.value(QStringLiteral("properties")));
        set.Tiles.push_back(std::move(tile));
    }
}

// Qt's JSON parser holds every array element as a 16-byte value and takes its time over each;
// a tile layer's cells are nearly all of a map file. The first value of a "data" key that is
// a long array of plain whole numbers is therefore found here, outside every string, and
// replaced by CutMarker before the rest is parsed; the layer whose data is the marker takes
// the cells from the file's bytes.
Cut CutCells(const QByteArray& bytes) {
    constexpr qsizetype Shortest = 4096;
    const char* const text = bytes.constData();
    const qsizetype length = bytes.size();
    qsizetype lastStringStart = -1, lastStringEnd = -1;
    for (qsizetype i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '"') {
            lastStringStart = i;
            for (++i; i < length && text[i] != '"'; ++i)
                if (text[i] == '\\')
                    ++i;
            lastStringEnd = i;
            continue;
        }
        if (c != '[' || lastStringStart < 0 || i - lastStringStart < 6 ||
            QByteArrayView(text + lastStringStart, 6) != QByteArrayView("\"data\""))
            continue;
        // "data", then a colon, then the bracket, with only white space between.
        qsizetype k = lastStringEnd + 1;
        while (k < i && (text[k] == ' ' || text[k] == '\t' || text[k] == '\n' || text[k] == '\r'))
            ++k;
        if (lastStringEnd - lastStringStart != 5 || k >= i || text[k] != ':')
            continue;
        for (++k; k < i; ++k)
            if (text[k] != ' ' && text[k] != '\t' && text[k] != '\n' && text[k] != '\r')
                break;
        if (k != i)
            continue;
        qsizetype end = i + 1;
        while (end < length &&
               ((text[end] >= '0' && text[end] <= '9') || text[end] == ',' || text[end] == ' ' ||
                text[end] == '\n' || text[end] == '\r' || text[end] == '\t'))
            ++end;
        if (end < length && text[end] == ']' && end - i > Shortest)
            return {i, end};
        i = end - 1; // not the cells: the scan goes on after them
    }
    return {};
}

TiledMap ReadTmj(const QByteArray& bytes, const QString& fileName) {
    const Cut cut = CutCells(bytes);
    const QJsonObject root =
        cut.Start < 0
            ? ParseJson(bytes)
            : ParseJson(QByteArray(bytes).replace(cut.Start, cut.End + 1 - cut.Start, CutMarker),
                        bytes, cut);
    const QString baseDir = QFileInfo(fileName).path();
    const QString where = QStringLiteral("the map");
    TiledMap map;
    map.Orientation = root.value(QStringLiteral("orientation")).toString();
    map.Infinite = root.value(QStringLiteral("infinite")).toBool();
    map.Width = JsonInt(root, "width", -1, where);
    map.Height = JsonInt(root, "height", -1, where);
    map.TileWidth = JsonInt(root, "tilewidth", 0, where);
    map.TileHeight = JsonInt(root, "tileheight", 0, where);
    map.Properties = JsonProperties(root.value(QStringLiteral("properties")));
    const QJsonArray tilesets = root.value(QStringLiteral("tilesets")).toArray();
    if (tilesets.size() > 1)
        Refuse(QStringLiteral("a second tileset; the editor keeps one tile pack"));
    for (const auto& item : tilesets) {
        const QJsonObject object = item.toObject();
        TiledTileset set;
        set.FirstGid = JsonInt(object, "firstgid", 1, QStringLiteral("the tileset"), 1);
        if (const QString source = object.value(QStringLiteral("source")).toString();
            !source.isEmpty())
            ReadExternalTileset(set, ResolvedPath(baseDir, source));
        else
            ReadJsonTileset(object, set, baseDir, QStringLiteral("the tileset"));
        map.Tilesets.push_back(std::move(set));
    }
    for (const auto& item : root.value(QStringLiteral("layers")).toArray()) {
        const QJsonObject layer = item.toObject();
        const QString type = layer.value(QStringLiteral("type")).toString();
        if (type == QLatin1String("tilelayer")) {
            if (++map.TileLayers > 1)
                Refuse(QStringLiteral("a second tile layer; the editor keeps one"));
            if (layer.contains(QStringLiteral("chunks")))
                Refuse(QStringLiteral("the layer is in chunks, as an infinite map's"));
            map.LayerWidth = JsonInt(layer, "width", -1, QStringLiteral("the tile layer"));
            map.LayerHeight = JsonInt(layer, "height", -1, QStringLiteral("the tile layer"));
            map.Encoding = layer.value(QStringLiteral("encoding")).toString();
            map.Compression = layer.value(QStringLiteral("compression")).toString();
            const QJsonValue data = layer.value(QStringLiteral("data"));
            if (cut.Start >= 0 && data.isArray() && data.toArray().size() == 1 &&
                data.toArray().at(0).toDouble() == -0.5) {
                map.DataCut =
                    QByteArrayView(bytes.constData() + cut.Start + 1, cut.End - cut.Start - 1);
            } else if (data.isArray()) {
                map.DataIsArray = true;
                map.DataArray = data.toArray();
            } else if (data.isString() && map.Encoding == QLatin1String("base64")) {
                map.DataText = data.toString();
            } else {
                Refuse(QStringLiteral("the tile layer's data is neither an array nor base64"));
            }
        } else if (type == QLatin1String("objectgroup")) {
            if (!layer.value(QStringLiteral("objects")).toArray().isEmpty())
                Refuse(QStringLiteral("an object layer with objects, which the editor cannot "
                                      "keep"));
        } else if (type == QLatin1String("imagelayer")) {
            if (!layer.value(QStringLiteral("image")).toString().isEmpty())
                Refuse(QStringLiteral("an image layer, which the editor cannot keep"));
        } else if (type == QLatin1String("group")) {
            if (!layer.value(QStringLiteral("layers")).toArray().isEmpty())
                Refuse(QStringLiteral("a group of layers; the editor keeps one tile layer"));
        } else {
            Refuse(QStringLiteral("a layer of the unknown type \"%1\"").arg(Msg::Clip(type)));
        }
    }
    return map;
}

// ----- The cells

// Parses count CSV values (GIDs, or tile indices for a table) within first..last, giving each
// to store; fails for anything else or another count. A layer's rows end in commas; a table's
// rows are lines, which lineBreaks lets separate values too.
template <class Char, class Store>
void ParseCsvValues(const Char* text, qsizetype length, qint64 count, qint64 first, qint64 last,
                    bool lineBreaks, Store&& store) {
    qint64 n = 0;
    qsizetype i = 0;
    const auto space = [&](qsizetype at) {
        return text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r';
    };
    while (true) {
        while (i < length && space(i))
            ++i;
        if (i == length)
            break;
        bool negative = false;
        if (text[i] == '-') {
            negative = true;
            ++i;
        }
        const qsizetype start = i;
        qint64 value = 0;
        while (i < length && text[i] >= '0' && text[i] <= '9' && i - start < 12)
            value = value * 10 + (text[i++] - '0');
        if (i == start || (i < length && text[i] >= '0' && text[i] <= '9'))
            Refuse(QStringLiteral("value %1 of the cells is no whole number").arg(n + 1));
        if (negative)
            value = -value;
        if (value < first || value > last)
            Refuse(QStringLiteral("value %1 of the cells is %2, outside %3 to %4")
                       .arg(n + 1)
                       .arg(value)
                       .arg(first)
                       .arg(last));
        if (n == count)
            Refuse(QStringLiteral("the layer holds more than its %1 cells").arg(count));
        store(n++, value);
        while (i < length && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r'))
            ++i;
        if (lineBreaks && i < length && text[i] == '\n') {
            ++i;
            continue;
        }
        while (i < length && space(i))
            ++i;
        if (i < length) {
            if (text[i] != ',')
                Refuse(QStringLiteral("value %1 of the cells is followed by \"%2\", not a comma")
                           .arg(n)
                           .arg(QChar(text[i])));
            ++i;
        }
    }
    if (n != count)
        Refuse(QStringLiteral("the layer holds %1 cells, not its %2").arg(n).arg(count));
}

// Inflates zlib or gzip data into exactly size bytes.
QByteArray Inflate(const QByteArray& compressed, qint64 size, bool gzip) {
    QByteArray out(size, Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, gzip ? 16 + MAX_WBITS : MAX_WBITS) != Z_OK)
        throw std::bad_alloc();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(size);
    const int result = inflate(&stream, Z_FINISH);
    const qint64 produced = qint64(stream.total_out);
    inflateEnd(&stream);
    if (result == Z_STREAM_END && produced == size)
        return out;
    if (result == Z_BUF_ERROR && produced == size)
        Refuse(QStringLiteral("the layer's compressed data holds more than its %1 cells")
                   .arg(size / 4));
    if (result == Z_STREAM_END || (result == Z_BUF_ERROR && stream.avail_in == 0))
        Refuse(QStringLiteral("the layer's compressed data holds %1 bytes, not the %2 of its "
                              "cells")
                   .arg(produced)
                   .arg(size));
    Refuse(QStringLiteral("the layer's %1 data is broken: %2")
               .arg(gzip ? QStringLiteral("gzip") : QStringLiteral("zlib"),
                    QString::fromLatin1(stream.msg ? stream.msg : "it does not inflate")));
}

// Takes cells in the files' order, row after row, into the column-major grid a band of rows at
// a time: each column then gets a run of cells at once instead of one cell a cache line, which
// made a large import several times slower.
class RowOrderWriter {
public:
    explicit RowOrderWriter(CellGrid& grid)
        : Grid(grid), Width(grid.size()),
          // A long row goes straight in: the grid then has few rows, and its columns are near.
          Band(qint64(grid.size()) * 16 <= (qint64(1) << 20) ? 16 : 0),
          Buffer(std::size_t(Band * Width)) {}

    void Put(TileIndex value) {
        if (Band == 0)
            Grid[X][std::size_t(RowStart)] = value;
        else
            Buffer[std::size_t(Row * Width + X)] = value;
        if (++X < Width)
            return;
        X = 0;
        if (Band == 0)
            ++RowStart;
        else if (++Row == Band)
            Flush();
    }
    // Writes the rows taken so far into the grid.
    void Flush() {
        for (qint32 x = 0; x < Width; ++x) {
            TileIndex* column = Grid[x].data() + RowStart;
            for (qint64 r = 0; r < Row; ++r)
                column[r] = Buffer[std::size_t(r * Width + x)];
        }
        RowStart += Row;
        Row = 0;
    }
    QString Place() const {
        return QStringLiteral("the cell at column %1, row %2").arg(X).arg(RowStart + Row);
    }

private:
    CellGrid& Grid;
    const qint32 Width;
    const qint64 Band;
    std::vector<TileIndex> Buffer;
    qint32 X = 0;
    qint64 Row = 0;      // within the band
    qint64 RowStart = 0; // the band's first row
};

// Turns a GID into a tile index of the tileset, refusing flags and GIDs outside it.
struct GidMapper {
    qint64 FirstGid;
    qint64 Count;
    TileIndex operator()(quint64 gid, const RowOrderWriter& place) const {
        if (gid == 0)
            return -1;
        if (gid & FlagBits)
            Refuse(QStringLiteral("%1 is flipped or rotated, which the editor cannot keep")
                       .arg(place.Place()));
        if (qint64(gid) < FirstGid || qint64(gid) - FirstGid >= Count)
            Refuse(QStringLiteral("%1 names tile %2, which the tileset lacks")
                       .arg(place.Place())
                       .arg(gid));
        return TileIndex(qint64(gid) - FirstGid);
    }
};

CellGrid DecodeCells(const TiledMap& map, qint64 firstGid, qint64 tileCount) {
    const qint32 width = qint32(map.Width), height = qint32(map.Height);
    const qint64 count = qint64(width) * height;
    const GidMapper gid{firstGid, tileCount};
    const QString compression = map.Compression;
    if (!compression.isEmpty() && compression != QLatin1String("zlib") &&
        compression != QLatin1String("gzip"))
        Refuse(QStringLiteral("the layer's data is compressed with %1; zlib and gzip are read")
                   .arg(Msg::Clip(compression)));
    // Before the grid is made: the input must be able to hold its cells.
    if (!map.DataCut.isNull()) {
        if (count > 0 && 2 * count - 1 > map.DataCut.size())
            Refuse(QStringLiteral("the layer's %1 characters cannot hold its %2 cells")
                       .arg(map.DataCut.size())
                       .arg(count));
    } else if (map.DataIsArray) {
        if (map.DataArray.size() != count)
            Refuse(QStringLiteral("the layer holds %1 cells, not its %2")
                       .arg(map.DataArray.size())
                       .arg(count));
    } else if (map.Encoding == QLatin1String("csv")) {
        if (count > 0 && 2 * count - 1 > map.DataText.size())
            Refuse(QStringLiteral("the layer's %1 characters cannot hold its %2 cells")
                       .arg(map.DataText.size())
                       .arg(count));
    } else if (map.Encoding == QLatin1String("base64")) {
        const qint64 bytes = map.DataText.trimmed().size() * 3 / 4;
        if (compression.isEmpty() ? bytes < 4 * count - 2 : bytes * MaxInflation + 64 < 4 * count)
            Refuse(QStringLiteral("the layer's %1 bytes of data cannot hold its %2 cells")
                       .arg(bytes)
                       .arg(count));
    } else {
        Refuse(QStringLiteral("the layer's data is in the encoding \"%1\"; CSV and base64 are "
                              "read")
                   .arg(Msg::Clip(map.Encoding)));
    }
    CellGrid grid(width, height);
    RowOrderWriter cells(grid);
    const auto store = [&](qint64, quint64 value) { cells.Put(gid(value, cells)); };
    if (!map.DataCut.isNull()) {
        ParseCsvValues(map.DataCut.data(), map.DataCut.size(), count, 0, 0xFFFFFFFFll, false,
                       store);
    } else if (map.DataIsArray) {
        for (qint64 n = 0; n < count; ++n) {
            const QJsonValue value = map.DataArray.at(n);
            const double number = value.toDouble(-1);
            if (!value.isDouble() || number < 0 || number > 4294967295.0 ||
                number != std::floor(number))
                Refuse(QStringLiteral("value %1 of the cells is no GID").arg(n + 1));
            store(n, quint64(number));
        }
    } else if (map.Encoding == QLatin1String("csv")) {
        ParseCsvValues(reinterpret_cast<const char16_t*>(map.DataText.utf16()), map.DataText.size(),
                       count, 0, 0xFFFFFFFFll, false, store);
    } else {
        QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
            map.DataText.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            Refuse(QStringLiteral("the layer's base64 data is broken"));
        QByteArray raw = compression.isEmpty() ? std::move(decoded.decoded)
                                               : Inflate(decoded.decoded, 4 * count,
                                                         compression == QLatin1String("gzip"));
        if (raw.size() != 4 * count)
            Refuse(QStringLiteral("the layer's data holds %1 bytes, not the %2 of its cells")
                       .arg(raw.size())
                       .arg(4 * count));
        for (qint64 n = 0; n < count; ++n)
            store(n, qFromLittleEndian<quint32>(raw.constData() + 4 * n));
    }
    cells.Flush();
    return grid;
}

// ----- Tiles

QImage LoadImage(const QString& path, qint64 maxSide, qint64 maxPixels) {
    const QByteArray bytes = ReadWhole(path);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    const QString shown = QDir::toNativeSeparators(path);
    if (!size.isValid())
        Refuse(
            QStringLiteral("the image \"%1\" cannot be read: %2").arg(shown, reader.errorString()));
    if (size.width() > maxSide || size.height() > maxSide ||
        qint64(size.width()) * size.height() > maxPixels)
        Refuse(QStringLiteral("the image \"%1\" is %2 x %3 pixels, larger than the %4 x %4 and "
                              "%5 pixels read")
                   .arg(shown)
                   .arg(size.width())
                   .arg(size.height())
                   .arg(maxSide)
                   .arg(maxPixels));
    QImage image = reader.read();
    if (image.isNull())
        Refuse(
            QStringLiteral("the image \"%1\" cannot be read: %2").arg(shown, reader.errorString()));
    return image.convertToFormat(QImage::Format_RGB32);
}

QString PropertyValue(const std::vector<Property>& properties, const char* name, bool& found) {
    found = false;
    for (const Property& p : properties)
        if (p.Name == QLatin1String(name)) {
            found = true;
            return p.Value;
        }
    return QString();
}

// A text for the map or pack in Windows-1251, as the game's files hold it.
QByteArray KeptText(const QString& text, const QString& what) {
    if (const QString missing = Cp1251::FirstMissing(text); !missing.isEmpty())
        Refuse(QStringLiteral("%1 holds \"%2\", which Windows-1251 lacks").arg(what, missing));
    QByteArray bytes = Cp1251::FromUnicode(text);
    if (bytes.size() > FileFormat::MaxTextLength)
        Refuse(QStringLiteral("%1 is %2 bytes long, more than the %3 the editor keeps")
                   .arg(what)
                   .arg(bytes.size())
                   .arg(FileFormat::MaxTextLength));
    return bytes;
}

TileRef MakeTile(const QImage& picture, qint64 index, const std::vector<Property>& properties) {
    TileRef tile = std::make_unique<Tile>();
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "BMP"))
        Refuse(QStringLiteral("tile %1's image cannot be made a BMP").arg(index));
    tile->Image->LoadFromBytes(bmp);
    bool found = false;
    const QString name = PropertyValue(properties, "name", found);
    tile->Name = KeptText(found ? name : QStringLiteral("tile %1").arg(index),
                          QStringLiteral("the name of tile %1").arg(index));
    const auto values = ValuesOf(*tile);
    for (std::size_t v = 0; v < TileValueNames.size(); ++v) {
        const QString text = PropertyValue(properties, TileValueNames[v], found);
        if (found)
            *values[v] = qint32(Number(
                text,
                QStringLiteral("tile %1's %2").arg(index).arg(QLatin1String(TileValueNames[v])),
                std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
    }
    return tile;
}

// The tiles of the tileset, and its tile count.
std::vector<TileRef> MakeTiles(const TiledTileset& set, qint64 tileSize) {
    std::vector<TileRef> tiles;
    if (set.TileWidth != tileSize || set.TileHeight != tileSize)
        Refuse(QStringLiteral("the tileset's tiles are %1 x %2 pixels, not the map's %3 x %3")
                   .arg(set.TileWidth)
                   .arg(set.TileHeight)
                   .arg(tileSize));
    std::map<qint64, const TiledTile*> byId;
    for (const TiledTile& tile : set.Tiles)
        if (!byId.emplace(tile.Id, &tile).second)
            Refuse(QStringLiteral("the tileset describes tile %1 twice").arg(tile.Id));
    const std::vector<Property> none;
    const auto propertiesOf = [&](qint64 id) -> const std::vector<Property>& {
        const auto found = byId.find(id);
        return found == byId.end() ? none : found->second->Properties;
    };
    if (!set.Image.isEmpty()) {
        const QImage atlas = LoadImage(set.Image, MapImage::MaxSide * 2, MapImage::MaxPixels * 4);
        const qint64 step = tileSize + set.Spacing;
        const qint64 columns =
            std::max<qint64>(0, (atlas.width() - 2 * set.Margin + set.Spacing) / step);
        const qint64 rows =
            std::max<qint64>(0, (atlas.height() - 2 * set.Margin + set.Spacing) / step);
        const qint64 count = set.TileCount < 0 ? columns * rows : set.TileCount;
        if (count > columns * rows)
            Refuse(QStringLiteral("the tileset has %1 tiles, but its image \"%2\" of %3 x %4 "
                                  "pixels holds only %5")
                       .arg(count)
                       .arg(QDir::toNativeSeparators(set.Image))
                       .arg(atlas.width())
                       .arg(atlas.height())
                       .arg(columns * rows));
        if (!byId.empty() && byId.rbegin()->first >= count)
            Refuse(QStringLiteral("the tileset describes tile %1 of its %2")
                       .arg(byId.rbegin()->first)
                       .arg(count));
        tiles.reserve(std::size_t(count));
        for (qint64 i = 0; i < count; ++i) {
            const QRect cell(int(set.Margin + (i % columns) * step),
                             int(set.Margin + (i / columns) * step), int(tileSize), int(tileSize));
            tiles.push_back(MakeTile(atlas.copy(cell), i, propertiesOf(i)));
        }
        return tiles;
    }
    // An image collection: ids 0, 1, 2 ... each with an image of the tile size.
    qint64 expected = 0;
    for (const auto& [id, tile] : byId) {
        if (id != expected)
            Refuse(QStringLiteral("the tileset's tile ids skip %1; the editor's tiles are "
                                  "numbered without gaps")
                       .arg(expected));
        if (tile->Image.isEmpty())
            Refuse(QStringLiteral("tile %1 has no image").arg(id));
        const QImage image =
            LoadImage(tile->Image, Bitmap::MaxSide, qint64(Bitmap::MaxSide) * Bitmap::MaxSide);
        if (image.width() != tileSize || image.height() != tileSize)
            Refuse(QStringLiteral("tile %1's image is %2 x %3 pixels, not the tiles' %4 x %4")
                       .arg(id)
                       .arg(image.width())
                       .arg(image.height())
                       .arg(tileSize));
        tiles.push_back(MakeTile(image, id, tile->Properties));
        ++expected;
    }
    return tiles;
}

void Build(TiledMap& tiled, TileMap& map, TilePack& pack) {
    if (tiled.Orientation != QLatin1String("orthogonal"))
        Refuse(QStringLiteral("the map is %1, not orthogonal")
                   .arg(tiled.Orientation.isEmpty() ? QStringLiteral("of no orientation")
                                                    : Msg::Clip(tiled.Orientation)));
    if (tiled.Infinite)
        Refuse(QStringLiteral("the map is infinite; the editor's maps have a size"));
    if (tiled.TileWidth != tiled.TileHeight)
        Refuse(QStringLiteral("the map's tiles are %1 x %2 pixels, not square")
                   .arg(tiled.TileWidth)
                   .arg(tiled.TileHeight));
    if (tiled.Width < 0 || tiled.Height < 0)
        Refuse(QStringLiteral("the map states no width or height"));
    if (tiled.TileWidth > Bitmap::MaxSide)
        Refuse(QStringLiteral("the map's tiles are %1 pixels wide, more than the %2 of a tile "
                              "image")
                   .arg(tiled.TileWidth)
                   .arg(Bitmap::MaxSide));
    if (tiled.Width > std::numeric_limits<qint32>::max() ||
        tiled.Height > std::numeric_limits<qint32>::max())
        Refuse(QStringLiteral("the map of %1 x %2 cells is too large")
                   .arg(tiled.Width)
                   .arg(tiled.Height));
    if (const QString problem = TileMap::SizeProblem(qint32(tiled.Width), qint32(tiled.Height),
                                                     qint32(tiled.TileWidth));
        !problem.isEmpty())
        Refuse(problem);
    if (tiled.TileLayers == 0)
        Refuse(QStringLiteral("the map has no tile layer"));
    if (tiled.LayerWidth != tiled.Width || tiled.LayerHeight != tiled.Height)
        Refuse(QStringLiteral("the tile layer is %1 x %2 cells, not the map's %3 x %4")
                   .arg(tiled.LayerWidth)
                   .arg(tiled.LayerHeight)
                   .arg(tiled.Width)
                   .arg(tiled.Height));
    std::array<QByteArray, 4> texts;
    for (std::size_t i = 0; i < MapTextNames.size(); ++i) {
        bool found = false;
        texts[i] = KeptText(PropertyValue(tiled.Properties, MapTextNames[i], found),
                            QStringLiteral("the map's property %1").arg(MapTextNames[i]));
    }
    std::vector<TileRef> tiles;
    qint64 firstGid = 1;
    if (!tiled.Tilesets.empty()) {
        tiles = MakeTiles(tiled.Tilesets[0], tiled.TileWidth);
        firstGid = tiled.Tilesets[0].FirstGid;
    }
    CellGrid cells = DecodeCells(tiled, firstGid, qint64(tiles.size()));

    TileMap result(qint32(tiled.TileWidth));
    result.SetCells(std::move(cells));
    result.Text1 = texts[0];
    result.Text2 = texts[1];
    result.PackName = texts[2];
    result.Text4 = texts[3];
    TilePack resultPack;
    resultPack.Tiles = std::move(tiles);
    // Nothing below throws: the map and pack change together or not at all.
    map.TakeContent(result);
    map.TileSize = result.TileSize;
    pack = std::move(resultPack);
}
} // namespace

void ImportBytes(TileMap& map, TilePack& pack, const QByteArray& bytes, const QString& fileName) {
    try {
        const std::optional<Format> format = FormatOf(fileName);
        if (format != Format::Tmx && format != Format::Tmj)
            Refuse(QStringLiteral("only TMX and JSON maps (.tmx, .tmj, .json) are imported"));
        TiledMap tiled =
            format == Format::Tmx ? ReadTmx(bytes, fileName) : ReadTmj(bytes, fileName);
        Build(tiled, map, pack);
    } catch (const EOutOfMemory&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(Msg::NotEnoughMemory(fileName));
    } catch (const Exception& e) {
        // The files it names too (a tileset, an image) are part of the map.
        throw EFormatError(
            Msg::NotAValidFile(fileName, QStringLiteral("map to import"), e.Message()));
    }
}

void Import(TileMap& map, TilePack& pack, const QString& fileName) {
    QByteArray bytes;
    if (const QString problem = ReadAllowed(fileName, bytes); !problem.isEmpty())
        throw EFormatError(Msg::NotAValidFile(fileName, QStringLiteral("map to import"), problem));
    ImportBytes(map, pack, bytes, fileName);
}

void ReadCsvBytes(TileMap& map, const QByteArray& fileBytes, const QString& fileName) {
    try {
        // Spreadsheets often start their CSV files with a UTF-8 byte order mark.
        const QByteArray bytes =
            fileBytes.startsWith("\xEF\xBB\xBF") ? fileBytes.mid(3) : fileBytes;
        // Rows are lines; a last line break ends the last row, and a line ending in \r is the
        // same row as without it.
        qint64 rows = 0, columns = -1;
        qsizetype start = 0;
        while (start < bytes.size()) {
            qsizetype end = bytes.indexOf('\n', start);
            if (end < 0)
                end = bytes.size();
            const qint64 cells = std::count(bytes.begin() + start, bytes.begin() + end, ',') + 1;
            if (columns >= 0 && cells != columns)
                Refuse(QStringLiteral("line %1 has %2 cells, the first line %3")
                           .arg(rows + 1)
                           .arg(cells)
                           .arg(columns));
            columns = cells;
            ++rows;
            start = end + 1;
        }
        if (rows == 0)
            columns = 0;
        if (columns > std::numeric_limits<qint32>::max() ||
            rows > std::numeric_limits<qint32>::max())
            Refuse(QStringLiteral("%1 x %2 cells are too many").arg(columns).arg(rows));
        if (const QString problem =
                TileMap::SizeProblem(qint32(columns), qint32(rows), map.TileSize);
            !problem.isEmpty())
            Refuse(problem);
        // Counted from the bytes, so the grid is never larger than the file can fill.
        CellGrid grid{qint32(columns), qint32(rows)};
        RowOrderWriter cells(grid);
        ParseCsvValues(bytes.constData(), bytes.size(), columns * rows,
                       std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), true,
                       [&](qint64, qint64 value) { cells.Put(TileIndex(value)); });
        cells.Flush();
        TileMap result(map.TileSize);
        result.SetCells(std::move(grid));
        map.TakeContent(result);
    } catch (const EFormatError& e) {
        throw EFormatError(Msg::NotAValidFile(fileName, QStringLiteral("CSV map"), e.Message()));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory(Msg::NotEnoughMemory(fileName));
    }
}

void ReadCsv(TileMap& map, const QString& fileName) {
    QByteArray bytes;
    if (const QString problem = ReadAllowed(fileName, bytes); !problem.isEmpty())
        throw EFormatError(Msg::NotAValidFile(fileName, QStringLiteral("CSV map"), problem));
    ReadCsvBytes(map, bytes, fileName);
}
} // namespace TiledFormats
