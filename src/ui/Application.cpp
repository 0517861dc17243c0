#include "ui/Application.h"

#include "ui/Dialogs.h"

#include <QFileInfo>
#include <QIcon>

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // The editor's per-user files (its recovery copies) are its own, whatever the executable
    // is called.
    setApplicationName(QStringLiteral("Korvane"));
    // The icon and desktop entry an install puts in place, by the name they are installed
    // under; run from a build tree there is no such icon, and the platform's own stays.
    setDesktopFileName(QStringLiteral("org.korvane.Korvane"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("org.korvane.Korvane")));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    if (!ErrorDialogs)
        return QApplication::notify(receiver, event);
    bool handled = false;
    ErrorDialogs->Guard([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

QString Application::Title() {
    QString name = QFileInfo(applicationFilePath()).fileName();
    name = name.left(name.indexOf(QLatin1Char('.')));
    return name.left(1) + name.mid(1).toLower();
}
