#pragma once

#include <QApplication>

class Dialogs;

// The application object. An error that escapes an event handler ends that handler and is
// shown in the error box of the dialogs given to ReportErrorsTo; the editor goes on with the
// model as it stood.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    // The dialogs that show errors from now on; none, and errors go on to Qt.
    void ReportErrorsTo(Dialogs* dialogs) { ErrorDialogs = dialogs; }

    bool notify(QObject* receiver, QEvent* event) override;

    // The executable's file name without its directory, cut at its first ".", every character
    // after the first in lower case: "Korvane" for Korvane.
    static QString Title();

private:
    Dialogs* ErrorDialogs = nullptr;
};
