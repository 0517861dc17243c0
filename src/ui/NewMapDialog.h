#pragma once

#include <QDialog>
#include <QString>
#include <optional>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class Dialogs;
class Document;

// The New Map dialog. OK checks the entries and makes the new map in the document itself,
// while the dialog is still on screen; the dialog closes afterwards whatever the checks found.
class NewMapDialog : public QDialog {
    Q_OBJECT
public:
    // The document must outlive the dialog; the dialogs show its messages.
    NewMapDialog(Document& document, Dialogs& dialogs, QWidget* parent);

    // The sizes acceptEntries last converted, each kept as far as the conversion got. The
    // description is checked, never kept.
    struct Entries {
        qint32 Width = 0;
        qint32 Height = 0;
        qint32 TileSize = 0;
    };
    Entries Entered;

    // Empties widthEdit, heightEdit, tileSizeEdit and descriptionEdit, in this order, so the dialog
    // always opens empty.
    void clearInputs();

    // The text-to-integer conversion of the platform library: optional blanks, an optional
    // sign, then decimal digits or hexadecimal ones after "$" or "0x"; anything else, or a
    // value outside the signed 32-bit range, throws EConvertError.
    static qint32 StrToInt(const QString& text);
    // The box OK shows when a size is left empty; Resize Map shows it too.
    static QString EmptySizeMessage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Each named as its field, which is how findChild reaches it from outside.
    QLineEdit* widthEdit;            // width in cells
    QLineEdit* heightEdit;           // height in cells
    QLineEdit* tileSizeEdit;         // tile size in pixels
    QPlainTextEdit* descriptionEdit; // description
    QLabel* widthLabel;
    QLabel* heightLabel;
    QLabel* descriptionLabel;
    QLabel* tileSizeLabel;
    QPushButton* okButton;     // OK
    QPushButton* cancelButton; // Cancel

    // Key filters: Key is the typed character's Windows-1251 code; a filter discards the
    // character by setting Key to 0.
    void widthKeyPress(QObject* Sender, int& Key);
    void heightKeyPress(QObject* Sender, int& Key);
    void tileSizeKeyPress(QObject* Sender, int& Key);
    void descriptionKeyPress(QObject* Sender, int& Key);

    void acceptEntries();

    // The Windows-1251 code of the character a key event types, as an edit's key filter sees
    // it: Ctrl+letter types a control code, keys that type nothing (arrows, Delete, Home, ...)
    // have no code. The dialog keys (Tab, Escape, and Enter outside the memo) have none either:
    // they move the focus or press a button before any character is typed.
    static std::optional<int> CharCode(const QKeyEvent& event, bool multiLine);

    void OkClicked();

    Document& Doc;
    Dialogs& UserDialogs;
};
