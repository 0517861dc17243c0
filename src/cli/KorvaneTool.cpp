// korvane-tool: the editor's maps and tile packs for a build pipeline, without a window.

#include "cli/Commands.h"
#include "cli/ToolSupport.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>

using namespace Tool;

namespace {
const char* const Usage = R"(Usage: korvane-tool COMMAND [options] [arguments]

Describes, checks, renders and exports the editor's maps (.map) and tile packs (.pac).

Commands:
  info FILE [--json] [--tiles DIR]    what a map or a tile pack holds, and a map's pack file
  check MAP [--tiles DIR]             loads a map and its tile pack as Open Map does and
                                      reports every problem
  render MAP -o OUT.png [--tiles DIR] [--scale N | --size N] [--region X,Y,W,H] [--grid]
                                      draws the map as the editor does, into a PNG image
  pack create OUT.pac IMAGE.bmp...    builds a tile pack from BMP files, in order
  pack list PAC                       lists a tile pack's tiles
  pack extract PAC DIR                writes each tile's BMP file into DIR
  pack set PAC INDEX [--name N] [--param1 V] ... [--param4 V]
                                      sets a tile's name and values in place
  remap OLD.pac NEW.pac MAP...        rewrites maps made for OLD.pac for the same tiles in
                                      NEW.pac's order, matching tiles by name
  export MAP --png DIR [--tiles DIR] [--maps DIR]
                                      the mobile export: mob.map and the mobile tile pack
  convert IN OUT [--tiles DIR] [--pack OUT.pac] [--pack-name NAME]
                                      a map to .tmx, .tmj, .csv or .png, or to a .map
                                      from .tmx, .tmj or .csv, by the files' extensions
  convert --to FORMAT --out-dir DIR IN...
                                      many files at once, each reported on its own line

"korvane-tool COMMAND --help" describes a command. The tile pack of a map is looked for
in each --tiles DIR given, then in tiles/ beside the tool, tiles/ beside the map and in the
folder above it, and korvane/tiles in the data folders ($XDG_DATA_HOME, $XDG_DATA_DIRS).

Exit codes: 0 done; 1 problems found (check), a tile failed its PNG check (export), and
nothing was written, or some of many files failed to convert (convert --to); 2 bad usage, a file that could not be read, or one that could not be
written.)";
} // namespace

int main(int argc, char** argv) {
#if defined(Q_OS_UNIX) && defined(SIGXFSZ)
    // A write past the file-size limit would otherwise end the tool with nothing said; ignored,
    // the write fails with "File too large" and is reported, and nothing is left half-written.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const std::map<QString, std::function<int(const QStringList&)>> commands = {
        {QStringLiteral("info"), Info},       {QStringLiteral("check"), Check},
        {QStringLiteral("render"), Render},   {QStringLiteral("pack"), Pack},
        {QStringLiteral("export"), Export},   {QStringLiteral("remap"), Remap},
        {QStringLiteral("convert"), Convert},
    };
    if (!args.isEmpty() && (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h"))) {
        Print(QString::fromUtf8(Usage));
        return Success;
    }
    const auto command = args.isEmpty() ? commands.end() : commands.find(args[0]);
    if (command == commands.end()) {
        PrintError(args.isEmpty()
                       ? QStringLiteral("no command given")
                       : QStringLiteral("unknown command \"%1\"").arg(Printable(args[0])));
        std::fputs(Usage, stderr);
        std::fputs("\n", stderr);
        return Failure;
    }
    try {
        return command->second(args.mid(1));
    } catch (const Exception& e) {
        PrintError(e.Message());
    } catch (const std::bad_alloc&) {
        PrintError(QStringLiteral("There was not enough memory to finish the command."));
    } catch (const std::exception& e) {
        PrintError(QString::fromLocal8Bit(e.what()));
    }
    return Failure;
}
