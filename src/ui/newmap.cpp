#include "ui/newmap.h"

#include "model/Document.h"
#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>

qint32 NewMapWidth = 0;
qint32 NewMapHeight = 0;
qint32 NewMapTileSize = 0;
QString NewMapDescription;

namespace {
// The Windows-1251 code of one character; characters the code page lacks arrive as '?', as
// they do in an ANSI window.
int AnsiCode(const QString& character) {
    const QByteArray bytes = Cp1251::FromUnicode(character);
    return bytes.size() == 1 ? quint8(bytes[0]) : 0;
}

bool NumberKey(int key) {
    return key == 8 || (key >= '0' && key <= '9');
}

bool DescriptionKey(int key) {
    return key == 8 || key == 13 || key == ' ' || key == ',' || key == '.' ||
           (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z') || (key >= 'a' && key <= 'z') ||
           (key >= 192 && key <= 255);
}

} // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("New Map"));
    // A 388 x 270 window with an ordinary border leaves this client area.
    resize(380, 243);
    move(238, 103);

    auto label = [this](const QString& text, int x, int y) {
        auto* l = new QLabel(text, this);
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(8, 8, 121, 21);
    Label1 = label(QStringLiteral("Width Map"), 136, 16);
    Edit2 = new QLineEdit(this);
    Edit2->setGeometry(8, 40, 121, 21);
    Label2 = label(QStringLiteral("Heigth Map"), 136, 48);
    Edit3 = new QLineEdit(this);
    Edit3->setGeometry(200, 8, 121, 21);
    Label4 = label(QStringLiteral("Tile Size"), 328, 16);
    Label3 = label(QStringLiteral("Description:"), 8, 72);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setGeometry(8, 88, 369, 121);
    Memo1->setTabChangesFocus(true); // Tab leaves the memo, as in the other inputs
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                              QStringLiteral("OK"), this);
    BitBtn1->setGeometry(8, 216, 185, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                              QStringLiteral("Cancel"), this);
    BitBtn2->setGeometry(200, 216, 177, 25);

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, Memo1);
    setTabOrder(Memo1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    for (QWidget* input : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Edit2),
                           static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Memo1)})
        input->installEventFilter(this);

    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::OkClicked);
    // Escape rejects a QDialog already, which is what Cancel does.
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The dialog always opens empty; entry starts at the first field, not where it last ended.
    if (!event->spontaneous())
        Edit1->setFocus();
}

void TForm2::OkClicked() {
    // The result is OK before the handler runs, so the dialog closes whatever the handler
    // finds, an error included.
    setResult(QDialog::Accepted);
    TApplication::Guard([this] { BitBtn1Click(); });
    accept();
}

void TForm2::BitBtn1Click() {
    if (Edit1->text().isEmpty() || Edit2->text().isEmpty() || Edit3->text().isEmpty()) {
        Dialogs().ShowMessage(QStringLiteral("Неправильно заданы размеры"));
        return;
    }
    if (Memo1->toPlainText().isEmpty()) {
        Dialogs().ShowMessage(QStringLiteral("Введите описание"));
        return;
    }
    NewMapWidth = StrToInt(Edit1->text());
    NewMapHeight = StrToInt(Edit2->text());
    NewMapTileSize = StrToInt(Edit3->text());
    // Pasted text can hold sizes no map can have; the map stays as it is.
    try {
        tMap::CheckSize(NewMapWidth, NewMapHeight, NewMapTileSize);
    } catch (const ESizeError& e) {
        Dialogs().ShowMessage(e.Message());
        return;
    }
    NewMapDescription = Memo1->toPlainText();
    Document->NewMap(NewMapWidth, NewMapHeight, NewMapTileSize);
}

void TForm2::ClearInputs() {
    Edit1->clear();
    Edit2->clear();
    Edit3->clear();
    Memo1->clear();
}

void TForm2::Edit1KeyPress(QObject*, int& Key) {
    if (!NumberKey(Key))
        Key = 0;
}

void TForm2::Edit2KeyPress(QObject* Sender, int& Key) {
    Edit1KeyPress(Sender, Key);
}

void TForm2::Edit3KeyPress(QObject* Sender, int& Key) {
    Edit1KeyPress(Sender, Key);
}

void TForm2::Memo1KeyPress(QObject*, int& Key) {
    if (!DescriptionKey(Key))
        Key = 0;
}

std::optional<int> TForm2::CharCode(const QKeyEvent& event, bool multiLine) {
    const int key = event.key();
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const bool control =
        modifiers.testFlag(Qt::ControlModifier) && !modifiers.testFlag(Qt::AltModifier);
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
        return std::nullopt;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!multiLine)
            return std::nullopt; // presses the default button
        return control ? 10 : 13;
    case Qt::Key_Backspace:
        return control ? 127 : 8;
    default:
        break;
    }
    // The clipboard keys without a letter (Shift+Insert, Ctrl+Insert, Shift+Delete) are
    // discarded with their Ctrl+letter twins: text is pasted through the context menu only.
    if (event.matches(QKeySequence::Paste))
        return 22;
    if (event.matches(QKeySequence::Copy))
        return 3;
    if (event.matches(QKeySequence::Cut))
        return 24;
    if (event.matches(QKeySequence::Undo))
        return 26;
    if (event.matches(QKeySequence::Redo))
        return 25;
    if (control && key >= '@' && key <= '_')
        return key & 0x1f;
    // Keys such as Delete may carry a control character in their text, but type nothing.
    const QString text = event.text();
    if (text.isEmpty() || (key >= Qt::Key_Escape && key != Qt::Key_unknown))
        return std::nullopt;
    return AnsiCode(text);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    const bool memo = watched == Memo1;
    if (!memo && watched != Edit1 && watched != Edit2 && watched != Edit3)
        return QDialog::eventFilter(watched, event);
    auto filter = [&](int code) {
        int key = code;
        if (memo)
            Memo1KeyPress(watched, key);
        else if (watched == Edit1)
            Edit1KeyPress(watched, key);
        else if (watched == Edit2)
            Edit2KeyPress(watched, key);
        else
            Edit3KeyPress(watched, key);
        return key != 0;
    };
    if (event->type() == QEvent::KeyPress) {
        const std::optional<int> code = CharCode(*static_cast<QKeyEvent*>(event), memo);
        return code && !filter(*code);
    }
    if (event->type() == QEvent::InputMethod) {
        // Text composed by an input method is filtered character by character as well.
        auto* input = static_cast<QInputMethodEvent*>(event);
        const QString commit = input->commitString();
        QString passed;
        for (const QChar c : commit)
            if (filter(AnsiCode(QString(c))))
                passed += c;
        if (passed == commit)
            return false;
        QInputMethodEvent filtered(input->preeditString(), input->attributes());
        filtered.setCommitString(passed, input->replacementStart(), input->replacementLength());
        QCoreApplication::sendEvent(watched, &filtered);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

qint32 TForm2::StrToInt(const QString& text) {
    const auto fail = [&text]() -> qint32 { throw EConvertError(Msg::NotAValidInteger(text)); };
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    int base = 10;
    if (i < text.size() && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == QLatin1Char('0') &&
               (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return fail();
    // Decimal must fit the signed range; hexadecimal may use all 32 bits, so "$FFFFFFFF" is -1.
    const quint64 limit = base == 16 ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return fail();
        value = value * base + quint64(digit);
        if (value > limit)
            return fail();
    }
    const quint32 bits = quint32(value);
    return qint32(negative ? 0u - bits : bits);
}
