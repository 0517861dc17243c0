#include "cli/ToolSupport.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "formats/PackLocation.h"

#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Cp1251.h"
#include "platform/FileNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <type_traits>

namespace Tool {
namespace {
bool IsControl(QChar c) {
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
}

// Control characters from a file (an escape sequence in a tile name, say) never reach the
// terminal; line breaks and tabs of the tool's own layout do.
void Write(std::FILE* stream, QString text) {
    for (QChar& c : text)
        if (IsControl(c) && c != QLatin1Char('\n') && c != QLatin1Char('\t'))
            c = QChar::ReplacementCharacter;
    const QByteArray line = (text + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stream);
}

constexpr qsizetype LongestShown = 300;

// Qt's help leaves the description as one line; it reads better in lines of a terminal's width.
QString Wrapped(const QString& text, qsizetype width = 80) {
    QString wrapped;
    qsizetype lineLength = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (lineLength > 0 && lineLength + 1 + word.size() > width) {
            wrapped += QLatin1Char('\n');
            lineLength = 0;
        } else if (lineLength > 0) {
            wrapped += QLatin1Char(' ');
            ++lineLength;
        }
        wrapped += word;
        lineLength += word.size();
    }
    return wrapped;
}
} // namespace

void Print(const QString& text) {
    Write(stdout, text);
}

void PrintError(const QString& text) {
    Write(stderr, QStringLiteral("korvane-tool: ") + text);
}

QString Printable(const QString& text) {
    QString shown = text.size() > LongestShown ? text.left(LongestShown) + QChar(0x2026) : text;
    for (QChar& c : shown)
        if (IsControl(c))
            c = QChar::ReplacementCharacter;
    return shown;
}

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

CommandLine::CommandLine(const QString& usage, const QString& description) : Usage(usage) {
    Parser.setApplicationDescription(Wrapped(description));
    Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    Parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Shows this help.")));
}

bool CommandLine::Parse(const QStringList& args, qsizetype fewest, qsizetype most) {
    const QString synopsis = QStringLiteral("korvane-tool ") + Usage;
    if (!Parser.parse(QStringList{QStringLiteral("korvane-tool")} + args))
        throw EUsage(Parser.errorText() + QStringLiteral("\nUsage: ") + synopsis);
    if (Parser.isSet(QStringLiteral("help"))) {
        // Qt's help begins with a usage line of its own making; ours names the command.
        QString help = Parser.helpText();
        help = QStringLiteral("Usage: ") + synopsis + QLatin1Char('\n') +
               help.mid(help.indexOf(QLatin1Char('\n')));
        Write(stdout, help.trimmed());
        return false;
    }
    Args = Parser.positionalArguments();
    if (Args.size() < fewest || Args.size() > most)
        throw EUsage(QStringLiteral("Usage: ") + synopsis);
    return true;
}

qint32 CommandLine::Number(const QString& name, qint32 fallback, qint32 first, qint32 last) const {
    if (!Parser.isSet(name))
        return fallback;
    bool ok = false;
    const qint32 value = Parser.value(name).toInt(&ok);
    if (!ok || value < first || value > last)
        throw EUsage(QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\"")
                         .arg(name)
                         .arg(first)
                         .arg(last)
                         .arg(Printable(Parser.value(name))));
    return value;
}

void CheckOutput(const QString& output, const QStringList& inputs) {
    if (const QString refusal = LinkRefusal(output, QStringLiteral("korvane-tool"));
        !refusal.isEmpty())
        throw Exception(QStringLiteral("Nothing was written: %1.").arg(refusal));
    for (const QString& input : inputs)
        if (SameFile(output, input))
            throw Exception(QStringLiteral("Nothing was written: \"%1\" is the input \"%2\", "
                                           "which korvane-tool does not replace.")
                                .arg(Native(output), Native(input)));
}

namespace {
// Reads the file as the kind wanted; when that fails, a file of the other kind is named as such
// instead of reported by the fields it broke ("the second text is 327680 bytes long"). Only a
// failed read reads the file again.
template <class Read>
void ReadKind(Read read, bool (*isOther)(const QString&), const QString& path, const char* wanted,
              const char* other) {
    try {
        read();
    } catch (const EFOpenError&) {
        throw;
    } catch (const Exception&) {
        if (isOther(path))
            throw EFormatError(
                Msg::NotAValidFile(path, QLatin1String(wanted),
                                   QStringLiteral("this is a %1, not a %2")
                                       .arg(QLatin1String(other), QLatin1String(wanted))));
        throw;
    }
}
} // namespace

void LoadMap(TileMap& map, const QString& path) {
    ReadKind([&] { MapFile::Read(map, path); }, PackFile::IsValid, path, "map", "tile pack");
}

void LoadPack(TilePack& pack, const QString& path) {
    ReadKind([&] { PackFile::Read(pack, path); }, MapFile::IsValid, path, "tile pack", "map");
}
QString ToolDir(const QString& name) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

QCommandLineOption TilesOption() {
    return QCommandLineOption(QStringLiteral("tiles"),
                              QStringLiteral("A folder searched first for the map's tile pack, "
                                             "before tiles/ beside the tool, beside the map and "
                                             "in the data folders; may be given again."),
                              QStringLiteral("DIR"));
}

PackLocation::SearchPlaces PackPlaces(const CommandLine& line) {
    return PackLocation::StandardPlaces(line.Values(QStringLiteral("tiles")),
                                        QCoreApplication::applicationDirPath());
}

QString LoadMapAndPack(TileMap& map, TilePack& pack, const QString& mapPath,
                       const PackLocation::SearchPlaces& places) {
    LoadMap(map, mapPath);
    QString packPath = PackLocation::PackPath(map.PackName, mapPath, places);
    LoadPack(pack, packPath);
    return packPath;
}
} // namespace Tool
