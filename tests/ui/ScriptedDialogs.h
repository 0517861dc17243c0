#pragma once

// What the GUI tests put in place of every modal window: scripted answers in, a record of
// what would have been shown out.

#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/MainU.h"

#include <QList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <optional>

class TScriptedDialogs : public TDialogs {
public:
    TMessage::TAnswer MessageBox(const TMessage& message) override;
    bool Execute(TFileDialog& dialog) override;
    int ExecModal(QDialog& dialog) override;

    // Every message box, in order.
    QList<TMessage> Messages;
    // Runs when a message box is shown, after it has been recorded: the moment the user
    // would be looking at it.
    std::function<void(const TMessage&)> OnMessage;
    // Answers to Yes/No boxes, in order; Yes when none is left.
    QList<TMessage::TAnswer> Answers;
    // Answers to file dialogs, in order: a path, or nullopt for Cancel (also when none is
    // left).
    QList<std::optional<QString>> Files;
    // Each file dialog as it was when it was run.
    QList<TFileDialog> FileDialogs;
    // Runs a modal window instead of the user; by default it is closed with Cancel.
    std::function<int(QDialog&)> OnModal;
    QList<QString> ModalTitles;

    // The texts of the message boxes, for short comparisons.
    QStringList Texts() const;
};

// Each test function gets fresh windows and a fresh model, dialogs answered by a script, and
// an AppDir of its own with tiles/ and maps/ beside the executable's stand-in.
class TGuiFixture {
public:
    TGuiFixture();
    ~TGuiFixture();

    TScriptedDialogs* Dialogs; // owned by the dialogs registry
    QTemporaryDir Dir;
    QString Path(const QString& name) const { return Dir.filePath(name); }
};

// Qt Test's main, with the editor's application object so errors reach the error box.
#define KORVANE_GUI_TEST_MAIN(TestObject)                                                          \
    int main(int argc, char** argv) {                                                              \
        TApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject test;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
