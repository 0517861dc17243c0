#pragma once

// What the commands of korvane-tool share: their command lines, their output, their exit
// codes, and loading a map with its tile pack as Open Map does.

#include "formats/PackLocation.h"
#include "platform/Exceptions.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

class TileMap;
class TilePack;

namespace Tool {
// What the process reports: work done, problems found, or nothing done at all.
enum ExitCode { Success = 0, Problems = 1, Failure = 2 };

// A command line that does not make sense; the message says why.
struct EUsage : Exception {
    using Exception::Exception;
};

void Print(const QString& text);      // a line of results on stdout
void PrintError(const QString& text); // a line on stderr
// A value from a file as one field of a line: control characters (tabs and line breaks too)
// replaced, and cut to a few hundred characters.
QString Printable(const QString& text);
QString Native(const QString& path);

// One command's command line. Parse returns false after printing the help when it was asked
// for, and throws EUsage for unknown options or a wrong number of arguments.
class CommandLine {
public:
    // usage: the synopsis after the program's name, e.g. "info [--json] FILE".
    CommandLine(const QString& usage, const QString& description);
    void AddOption(const QCommandLineOption& option) { Parser.addOption(option); }
    bool Parse(const QStringList& args, qsizetype fewest, qsizetype most);

    bool IsSet(const QString& name) const { return Parser.isSet(name); }
    QString Value(const QString& name) const { return Parser.value(name); }
    QStringList Values(const QString& name) const { return Parser.values(name); }
    // An option's whole number within first..last; throws EUsage for anything else.
    qint32 Number(const QString& name, qint32 fallback, qint32 first, qint32 last) const;
    QStringList Args;

private:
    QString Usage;
    QCommandLineParser Parser;
};

// The one rule for every file a command writes, checked before the first is written: never
// through a symbolic link (existing or dangling), never over one of the command's inputs.
// Throws an Exception that names the file and says that nothing was written.
void CheckOutput(const QString& output, const QStringList& inputs);

// The directories beside the tool, as the editor has them beside itself.
QString ToolDir(const QString& name);

// --tiles DIR, which the commands that load a map's pack take, any number of times: folders
// searched first, in order.
QCommandLineOption TilesOption();
// Where those commands look for a map's pack: the --tiles folders, then the places every
// search has (PackLocation).
PackLocation::SearchPlaces PackPlaces(const CommandLine& line);

// A map or a tile pack, read whole. A file that fails to load as the kind asked for but is a
// file of the other kind is refused with a message that says so ("this is a tile pack, not a
// map"), whatever its name.
void LoadMap(TileMap& map, const QString& path);
void LoadPack(TilePack& pack, const QString& path);

// Loads the map, then its pack as Open Map finds it, and returns the pack's file; throws with
// the file that failed, or the folders searched when there was none.
QString LoadMapAndPack(TileMap& map, TilePack& pack, const QString& mapPath,
                       const PackLocation::SearchPlaces& places);
} // namespace Tool
