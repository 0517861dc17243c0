// The editor as its main block runs it, with a script in place of the user: the dialogs are
// answered by ScriptedDialogs and the input comes from QTest events. tst_recovery starts it
// as a process, kills it, and starts it again.
//
//   recovery_editor edit MAP IMAGE OUT
//                                    opens MAP (its pack in tiles/ beside it), adds IMAGE as a
//                                    tile and paints; once the recovery copy is on disk, writes
//                                    OUT.map and OUT.pac as the map and pack then stand, prints
//                                    "copied" and waits to be killed
//   recovery_editor look             starts, prints what it was offered, and exits
//   recovery_editor restore OUT      restores what it is offered, writes OUT.map and OUT.pac,
//                                    prints what the window shows, and exits with Discard

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"

#include "document/Recovery.h"

#include <QDirIterator>
#include <QListWidget>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

namespace {
void Print(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void WriteState(const MainWindow& window, const QString& out) {
    TestSupport::WriteFile(out + ".map", MapFile::Bytes(window.CurrentDocument().Map()));
    TestSupport::WriteFile(out + ".pac", PackFile::Bytes(window.CurrentDocument().Pack()));
}

bool CopyOnDisk() {
    QDirIterator notes(Recovery::StandardDirectory(), {"note.json"}, QDir::Files,
                       QDirIterator::Subdirectories);
    return notes.hasNext();
}

void Edit(MainWindow& window, ScriptedDialogs& dialogs, const QString& map, const QString& image,
          const QString& out) {
    dialogs.Files << map << image;
    Child<QAction>(window, "openMapAction").trigger();
    Child<QToolButton>(window, "addTileButton").click(); // Add Tile
    Child<QListWidget>(window, "tileList").setCurrentRow(0);
    QWidget* view = &Child(window, "mapView");
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(10, 10));
    for (int x = 10; x < 400; x += 20)
        QTest::mouseMove(view, QPoint(x, 10 + x / 2));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(400, 210));
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(300, 20));
    // The copy comes a few seconds after the last change.
    if (!QTest::qWaitFor(CopyOnDisk, 30000)) {
        Print("no copy");
        QCoreApplication::exit(1);
        return;
    }
    WriteState(window, out);
    Print("copied");
}
} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    ScriptedDialogs dialogs;
    app.ReportErrorsTo(&dialogs);
    const QString mode = args.value(0);
    if (mode == "restore")
        dialogs.Answers << Message::Restore << Message::Discard;
    else
        dialogs.Answers << Message::Cancel; // a copy offered is kept for later
    // In edit the map's directory stands for the application's: its pack is in tiles/ there.
    const QString appDir = mode == "edit" ? QFileInfo(args.value(1)).absolutePath()
                                          : QCoreApplication::applicationDirPath();
    std::unique_ptr<MainWindow> made;
    QTimer::singleShot(0, [&] {
        MainWindow& window = *made;
        // The offer, if any, came before the message loop started.
        Print("offered " + QString::number(dialogs.Messages.size()));
        if (mode == "edit") {
            Edit(window, dialogs, args.value(1), args.value(2), args.value(3));
        } else if (mode == "restore") {
            WriteState(window, args.value(1));
            for (const Message& m : dialogs.Messages)
                Print("message " + m.Text + " | " + QString(m.Detail).replace('\n', " / "));
            Print("title " + window.windowHandle()->title());
            Print("files " + QFileInfo(window.CurrentDocument().MapPath()).fileName() + " " +
                  QFileInfo(window.CurrentDocument().PackPath()).fileName());
            Print("palette " + QString::number(Child<QListWidget>(window, "tileList").count()));
            Child<QAction>(window, "exitAction").trigger();
        } else {
            Child<QAction>(window, "exitAction").trigger();
        }
    });
    made = std::make_unique<MainWindow>(appDir, dialogs);
    return RunEditor(*made);
}
