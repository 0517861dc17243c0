// The main block: the application object, its command line, the main window, and the message
// loop.

#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <csignal>
#include <cstdio>

namespace {
// What the command line asks for, or the exit code of a run that ends before any window.
struct EditorArguments {
    QStringList Files;
    QStringList TileFolders;
    int ExitCode = -1; // -1: start the editor
};

void Write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = (text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
}

EditorArguments ParseArguments() {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The tile map editor. Opens each map (with its tile pack) and tile pack "
                       "given, in order."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption tiles(QStringLiteral("tiles"),
                                   QStringLiteral("A folder searched first for a map's tile "
                                                  "pack, before Tile Pack Folders and the "
                                                  "built-in places; may be given again."),
                                   QStringLiteral("DIR"));
    parser.addOption(tiles);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A map (.map) or tile pack (.pac) to open."),
                                 QStringLiteral("[FILE...]"));
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    EditorArguments arguments;
    if (!parser.parse(QCoreApplication::arguments())) {
        Write(stderr, QStringLiteral("%1: %2\nTry \"%1 --help\".").arg(name, parser.errorText()));
        arguments.ExitCode = 2;
        return arguments;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        Write(stdout, parser.helpText().trimmed());
        arguments.ExitCode = 0;
        return arguments;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        Write(stdout, QStringLiteral("%1 %2").arg(name, QCoreApplication::applicationVersion()));
        arguments.ExitCode = 0;
        return arguments;
    }
    // A folder that is not there is a mistyped argument: said now, not as a pack not found
    // later.
    for (const QString& folder : parser.values(tiles))
        if (!QFileInfo(folder).isDir()) {
            Write(stderr, QStringLiteral("%1: --tiles \"%2\" is no folder.").arg(name, folder));
            arguments.ExitCode = 2;
            return arguments;
        }
    arguments.TileFolders = parser.values(tiles);
    arguments.Files = parser.positionalArguments();
    return arguments;
}
} // namespace

int main(int argc, char* argv[]) {
#if defined(Q_OS_UNIX) && defined(SIGXFSZ)
    // A save or recovery copy past the file-size limit would otherwise end the editor; ignored,
    // the write fails with "File too large" and is reported like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    Application application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    const EditorArguments arguments = ParseArguments();
    if (arguments.ExitCode >= 0)
        return arguments.ExitCode;
    QtDialogs dialogs;
    application.ReportErrorsTo(&dialogs);
    MainWindow window(QCoreApplication::applicationDirPath(), dialogs);
    window.SetCommandLineTileFolders(arguments.TileFolders);
    return RunEditor(window, arguments.Files);
}
