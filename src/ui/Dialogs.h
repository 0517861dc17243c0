#pragma once

#include <QString>
#include <exception>
#include <utility>

class QDialog;
class QWidget;

// The state of a file dialog that lives as long as its window: the commands set the filter
// index and default extension before each run, and the dialog remembers the last path.
struct FileDialog {
    enum class DialogKind { Open, Save, Picture, Folder };

    DialogKind Kind = DialogKind::Open;
    QString Filter;      // "label|pattern|label|pattern"; empty for Picture
    int FilterIndex = 1; // counts from 1
    QString DefaultExt;  // as the commands give it, e.g. "*.map"
    QString FileName;    // the full path last chosen, offered again next time
    QString Folder;      // where a run that offers no file name starts
};

// A message box: its text, caption, icon and the buttons it offers. Every text is shown as
// plain text: much of it comes from files and file names.
struct Message {
    enum class IconKind { None, Warning, Stop };
    enum class ButtonSet { Ok, YesNo, SaveDiscardCancel, RestoreDiscard };
    enum Answer { Ok, Yes, No, Save, Discard, Cancel, Restore };

    QString Text;
    QString Caption;
    IconKind Icon = IconKind::None;
    ButtonSet Buttons = ButtonSet::Ok;
    QString Detail{};     // shown below the text, e.g. which tile a question is about
    Answer Default = Yes; // the button Enter presses in a box of more than one
};

// Every modal question the editor asks goes through here, so tests can answer them and read
// what would have been shown.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual Message::Answer MessageBox(const Message& message) = 0;
    // Runs the dialog; on OK stores the chosen path in dialog.FileName and the filter the
    // user ended with in dialog.FilterIndex, and returns true.
    virtual bool Execute(FileDialog& dialog) = 0;
    // Shows a dialog modally and returns its result.
    virtual int ExecModal(QDialog& dialog) = 0;
    // Asks for a line of text, offering text; true and the entry in text on OK.
    virtual bool AskText(const QString& caption, const QString& label, QString& text) = 0;

    // A plain box with one OK button, captioned with the application's title.
    void ShowMessage(const QString& text);
    // A Yes/No question; true for Yes.
    bool Confirm(const QString& text, const QString& caption, const QString& detail = {},
                 Message::Answer defaultAnswer = Message::Yes);
    // Unsaved changes a command would replace: Save, Discard or Cancel; Enter saves.
    Message::Answer AskToSave(const QString& text, const QString& detail);
    // Work found from an editor that did not end normally: Restore or Discard; Enter restores.
    Message::Answer OfferRestore(const QString& text, const QString& detail);
    // Captioned "Warning", with an exclamation icon and one OK button.
    void Warning(const QString& text);
    // The application's error box: its title, a stop icon and OK.
    void ErrorBox(const QString& text);
    // The error box for an error a command raised: its message, or plain words for running
    // out of memory.
    void ShowError(const std::exception& error);
    // Runs a command, showing any error it raises. An error ends that command; the editor goes
    // on with the model as it stood.
    template <class F> void Guard(F&& command) {
        try {
            std::forward<F>(command)();
        } catch (const std::exception& error) {
            ShowError(error);
        }
    }

    // The error box text: the message, with a full stop added unless it ends in one (or in a
    // character whose code is "." or lower).
    static QString ErrorText(const QString& message);
};

// Qt's message boxes and file dialogs, parented to the active window.
class QtDialogs : public Dialogs {
public:
    Message::Answer MessageBox(const Message& message) override;
    bool Execute(FileDialog& dialog) override;
    int ExecModal(QDialog& dialog) override;
    bool AskText(const QString& caption, const QString& label, QString& text) override;
};
