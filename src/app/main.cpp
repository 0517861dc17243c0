// The main block: the application object, the main window, and the message loop.

#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <csignal>

int main(int argc, char* argv[]) {
#if defined(Q_OS_UNIX) && defined(SIGXFSZ)
    // A save or recovery copy past the file-size limit would otherwise end the editor; ignored,
    // the write fails with "File too large" and is reported like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    Application application(argc, argv);
    QtDialogs dialogs;
    application.ReportErrorsTo(&dialogs);
    MainWindow window(QCoreApplication::applicationDirPath(), dialogs);
    return RunEditor(window);
}
