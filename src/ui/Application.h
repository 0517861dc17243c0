#pragma once

#include <QApplication>
#include <exception>
#include <utility>

// The application object. An error that escapes a command or an event handler ends that
// command and is shown in the error box; the editor goes on with the model as it stood.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The executable's file name without its directory, cut at its first ".", every character
    // after the first in lower case: "Korvane" for Korvane.
    static QString Title();
    // The error box text: the message, with a full stop added unless it ends in one (or in a
    // character whose code is "." or lower).
    static QString ErrorText(const QString& message);
    static void ShowException(const std::exception& error);

    // Runs a command, showing any error it raises.
    template <class F> static void Guard(F&& command) {
        try {
            std::forward<F>(command)();
        } catch (const std::exception& error) {
            ShowException(error);
        }
    }
};
