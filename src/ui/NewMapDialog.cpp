#include "ui/NewMapDialog.h"

#include "document/Document.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/ObjectNames.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>

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

NewMapDialog::NewMapDialog(Document& document, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), Doc(document), UserDialogs(dialogs) {
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
    widthEdit = new QLineEdit(this);
    widthEdit->setGeometry(8, 8, 121, 21);
    widthLabel = label(QStringLiteral("Width Map"), 136, 16);
    heightEdit = new QLineEdit(this);
    heightEdit->setGeometry(8, 40, 121, 21);
    heightLabel = label(QStringLiteral("Heigth Map"), 136, 48);
    tileSizeEdit = new QLineEdit(this);
    tileSizeEdit->setGeometry(200, 8, 121, 21);
    tileSizeLabel = label(QStringLiteral("Tile Size"), 328, 16);
    descriptionLabel = label(QStringLiteral("Description:"), 8, 72);
    descriptionEdit = new QPlainTextEdit(this);
    descriptionEdit->setGeometry(8, 88, 369, 121);
    descriptionEdit->setTabChangesFocus(true); // Tab leaves the memo, as in the other inputs
    okButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                               QStringLiteral("OK"), this);
    okButton->setGeometry(8, 216, 185, 25);
    okButton->setDefault(true);
    cancelButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                   QStringLiteral("Cancel"), this);
    cancelButton->setGeometry(200, 216, 177, 25);

    // Each by its field's name, which is how findChild reaches it from outside.
    SetObjectNames({{widthEdit, "widthEdit"},
                    {heightEdit, "heightEdit"},
                    {tileSizeEdit, "tileSizeEdit"},
                    {descriptionEdit, "descriptionEdit"},
                    {widthLabel, "widthLabel"},
                    {heightLabel, "heightLabel"},
                    {descriptionLabel, "descriptionLabel"},
                    {tileSizeLabel, "tileSizeLabel"},
                    {okButton, "okButton"},
                    {cancelButton, "cancelButton"}});

    setTabOrder(widthEdit, heightEdit);
    setTabOrder(heightEdit, tileSizeEdit);
    setTabOrder(tileSizeEdit, descriptionEdit);
    setTabOrder(descriptionEdit, okButton);
    setTabOrder(okButton, cancelButton);

    for (QWidget* input :
         {static_cast<QWidget*>(widthEdit), static_cast<QWidget*>(heightEdit),
          static_cast<QWidget*>(tileSizeEdit), static_cast<QWidget*>(descriptionEdit)})
        input->installEventFilter(this);

    connect(okButton, &QPushButton::clicked, this, &NewMapDialog::OkClicked);
    // Escape rejects a QDialog already, which is what Cancel does.
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void NewMapDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The dialog always opens empty; entry starts at the first field, not where it last ended.
    if (!event->spontaneous())
        widthEdit->setFocus();
}

void NewMapDialog::OkClicked() {
    // The result is OK before the handler runs, so the dialog closes whatever the handler
    // finds, an error included.
    setResult(QDialog::Accepted);
    UserDialogs.Guard([this] { acceptEntries(); });
    accept();
}

void NewMapDialog::acceptEntries() {
    if (widthEdit->text().isEmpty() || heightEdit->text().isEmpty() ||
        tileSizeEdit->text().isEmpty()) {
        UserDialogs.ShowMessage(EmptySizeMessage());
        return;
    }
    if (descriptionEdit->toPlainText().isEmpty()) {
        UserDialogs.ShowMessage(QStringLiteral("Введите описание"));
        return;
    }
    Entered.Width = StrToInt(widthEdit->text());
    Entered.Height = StrToInt(heightEdit->text());
    Entered.TileSize = StrToInt(tileSizeEdit->text());
    // Pasted text can hold sizes no map can have; the map stays as it is.
    try {
        TileMap::CheckSize(Entered.Width, Entered.Height, Entered.TileSize);
    } catch (const ESizeError& e) {
        UserDialogs.ShowMessage(e.Message());
        return;
    }
    Doc.NewMap(Entered.Width, Entered.Height, Entered.TileSize);
}

QString NewMapDialog::EmptySizeMessage() {
    return QStringLiteral("Неправильно заданы размеры");
}

void NewMapDialog::clearInputs() {
    widthEdit->clear();
    heightEdit->clear();
    tileSizeEdit->clear();
    descriptionEdit->clear();
}

void NewMapDialog::widthKeyPress(QObject*, int& Key) {
    if (!NumberKey(Key))
        Key = 0;
}

void NewMapDialog::heightKeyPress(QObject* Sender, int& Key) {
    widthKeyPress(Sender, Key);
}

void NewMapDialog::tileSizeKeyPress(QObject* Sender, int& Key) {
    widthKeyPress(Sender, Key);
}

void NewMapDialog::descriptionKeyPress(QObject*, int& Key) {
    if (!DescriptionKey(Key))
        Key = 0;
}

std::optional<int> NewMapDialog::CharCode(const QKeyEvent& event, bool multiLine) {
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

bool NewMapDialog::eventFilter(QObject* watched, QEvent* event) {
    const bool memo = watched == descriptionEdit;
    if (!memo && watched != widthEdit && watched != heightEdit && watched != tileSizeEdit)
        return QDialog::eventFilter(watched, event);
    auto filter = [&](int code) {
        int key = code;
        if (memo)
            descriptionKeyPress(watched, key);
        else if (watched == widthEdit)
            widthKeyPress(watched, key);
        else if (watched == heightEdit)
            heightKeyPress(watched, key);
        else
            tileSizeKeyPress(watched, key);
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

qint32 NewMapDialog::StrToInt(const QString& text) {
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
