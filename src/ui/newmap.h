#pragma once

#include <QDialog>
#include <QString>
#include <optional>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The New Map dialog. OK checks the entries and makes the new map itself, while the dialog is
// still on screen; the dialog closes afterwards whatever the checks found.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent);

    QLineEdit* Edit1;      // width in cells
    QLineEdit* Edit2;      // height in cells
    QLineEdit* Edit3;      // tile size in pixels
    QPlainTextEdit* Memo1; // description
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QPushButton* BitBtn1; // OK
    QPushButton* BitBtn2; // Cancel

    // Key filters: Key is the typed character's Windows-1251 code; a filter discards the
    // character by setting Key to 0.
    void Edit1KeyPress(QObject* Sender, int& Key);
    void Edit2KeyPress(QObject* Sender, int& Key);
    void Edit3KeyPress(QObject* Sender, int& Key);
    void Memo1KeyPress(QObject* Sender, int& Key);

    void BitBtn1Click();

    // Empties Edit1, Edit2, Edit3 and Memo1, in this order, so the dialog always opens empty.
    void ClearInputs();

    // The Windows-1251 code of the character a key event types, as an edit's key filter sees
    // it: Ctrl+letter types a control code, keys that type nothing (arrows, Delete, Home, ...)
    // have no code. The dialog keys (Tab, Escape, and Enter outside the memo) have none either:
    // they move the focus or press a button before any character is typed.
    static std::optional<int> CharCode(const QKeyEvent& event, bool multiLine);

    // The text-to-integer conversion of the platform library: optional blanks, an optional
    // sign, then decimal digits or hexadecimal ones after "$" or "0x"; anything else, or a
    // value outside the signed 32-bit range, throws EConvertError.
    static qint32 StrToInt(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OkClicked();
};

// The dialog's results, set by BitBtn1Click when the entries pass.
extern qint32 NewMapWidth;
extern qint32 NewMapHeight;
extern qint32 NewMapTileSize;
extern QString NewMapDescription;
