#include "ui/Application.h"

#include "platform/Exceptions.h"
#include "ui/Dialogs.h"

#include <QFileInfo>
#include <new>

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // The editor's per-user files (its recovery copies) are its own, whatever the executable
    // is called.
    setApplicationName(QStringLiteral("Korvane"));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    Guard([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

QString Application::Title() {
    QString name = QFileInfo(applicationFilePath()).fileName();
    name = name.left(name.indexOf(QLatin1Char('.')));
    return name.left(1) + name.mid(1).toLower();
}

QString Application::ErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void Application::ShowException(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    QString message = own ? own->Message() : QString::fromLocal8Bit(error.what());
    // The library's own words for running out of memory say nothing to a user.
    if (dynamic_cast<const std::bad_alloc*>(&error))
        message = QStringLiteral("There was not enough memory to finish the command; nothing "
                                 "more was changed. Close other programs or work on a smaller "
                                 "map or tile pack");
    CurrentDialogs().ErrorBox(ErrorText(message));
}
