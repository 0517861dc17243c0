// The New Map dialog: layout and tab order, the key filters by character code, OK's checks in
// their order, the conversion of the numbers, sizes no map can have, and the inputs emptied
// after every close.

#include "ScriptedDialogs.h"
#include "TestSupport.h"

#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "ui/newmap.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>
#include <memory>

using namespace TestSupport;

namespace {
const QString WrongSizes = QStringLiteral("Неправильно заданы размеры");
const QString NoDescription = QStringLiteral("Введите описание");

// The dialog on screen and active, as the command shows it, so that dialog keys reach its
// buttons and no shortcut of the main window fires.
bool ShowDialog() {
    Form2->show();
    Form2->activateWindow();
    // Not isActiveWindow(): a dialog shares its parent's activation until it has its own.
    return QTest::qWaitFor([] { return QApplication::activeWindow() == Form2; });
}

QString TextOf(QWidget* input) {
    if (auto* edit = qobject_cast<QLineEdit*>(input))
        return edit->text();
    return static_cast<QPlainTextEdit*>(input)->toPlainText();
}

void SetTextOf(QWidget* input, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(input))
        edit->setText(text);
    else
        static_cast<QPlainTextEdit*>(input)->setPlainText(text);
    // The cursor at the end, where typing goes on.
    if (auto* edit = qobject_cast<QLineEdit*>(input))
        edit->end(false);
    else
        static_cast<QPlainTextEdit*>(input)->moveCursor(QTextCursor::End);
}

// Types the character of one Windows-1251 code the way a keyboard delivers it: control codes
// as Ctrl+key (Ctrl+C arrives with the text "\x03"), backspace and Enter as their keys.
void TypeCode(QWidget* input, int code) {
    if (code == 8)
        QTest::keyClick(input, Qt::Key_Backspace);
    else if (code == 13)
        QTest::keyClick(input, Qt::Key_Return);
    else if (code == 127)
        QTest::keyClick(input, Qt::Key_Backspace, Qt::ControlModifier);
    else if (code < 32)
        QTest::sendKeyEvent(QTest::Click, input, Qt::Key(code | 0x40), QString(QChar(code)),
                            Qt::ControlModifier);
    else {
        const QString c = Cp1251::ToUnicode(QByteArray(1, char(code)));
        QTest::sendKeyEvent(QTest::Click, input, Qt::Key(c.toUpper().at(0).unicode()), c,
                            Qt::NoModifier);
    }
}

// Types text character by character, Cyrillic included.
void TypeText(QWidget* input, const QString& text) {
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            QTest::keyClick(input, Qt::Key_Return);
        else
            QTest::sendKeyEvent(QTest::Click, input, Qt::Key(c.toUpper().unicode()), QString(c),
                                Qt::NoModifier);
    }
}

// Pastes through the input's own context menu, the one way text gets past the key filters.
void PasteThroughMenu(QWidget* input, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    std::unique_ptr<QMenu> menu;
    if (auto* edit = qobject_cast<QLineEdit*>(input))
        menu.reset(edit->createStandardContextMenu());
    else
        menu.reset(static_cast<QPlainTextEdit*>(input)->createStandardContextMenu());
    QAction* paste = nullptr;
    for (QAction* action : menu->actions())
        if (action->text().remove(QLatin1Char('&')).startsWith(QLatin1String("Paste")))
            paste = action;
    QVERIFY(paste);
    QVERIFY(paste->isEnabled());
    paste->trigger();
}

// Enters a value as a user can: digits are typed, anything else is pasted.
void Enter(QWidget* input, const QString& text) {
    bool digitsOnly = true;
    for (const QChar c : text)
        digitsOnly = digitsOnly && c.isDigit() && c.unicode() < 128;
    if (digitsOnly && !qobject_cast<QPlainTextEdit*>(input))
        QTest::keyClicks(input, text);
    else if (qobject_cast<QPlainTextEdit*>(input))
        TypeText(input, text);
    else if (!text.isEmpty())
        PasteThroughMenu(input, text);
}

bool DescriptionCode(int code) {
    return code == 8 || code == 13 || code == 32 || code == 44 || code == 46 ||
           (code >= 48 && code <= 57) || (code >= 65 && code <= 90) ||
           (code >= 97 && code <= 122) || (code >= 192 && code <= 255);
}

// What the map holds that New Map would change.
struct TMapState {
    qint32 Width, Height, TileSize;
    QByteArray PackName;
    TileIndex FirstCell;
    bool operator==(const TMapState&) const = default;
};

TMapState MapState() {
    return {Map->Width, Map->Height, Map->TileSize, Map->PackName,
            Map->Cells.empty() || Map->Cells.Rows() == 0 ? -99 : Map->Cells[0][0]};
}

// Runs the New Map command with a script in place of the user.
void RunNewMap(TGuiFixture& f, const std::function<void()>& script) {
    f.Dialogs->OnModal = [&](QDialog& d) {
        if (&d != Form2)
            return int(QDialog::Rejected);
        if (ShowDialog())
            script();
        d.hide();
        return d.result();
    };
    Form1->New_act->trigger();
}
} // namespace

Q_DECLARE_METATYPE(TMessage::TIcon)

class TestNewMap : public QObject {
    Q_OBJECT
private slots:
    void layoutAndTabOrder();
    void numberFiltersByCode_data();
    void numberFiltersByCode();
    void descriptionFilterByCode_data();
    void descriptionFilterByCode();
    void clipboardKeysAreDiscarded_data();
    void clipboardKeysAreDiscarded();
    void editingKeysStillWork();
    void pastingThroughTheMenuPassesTheFilters();
    void dialogKeys();
    void okChecks_data();
    void okChecks();
    void conversion_data();
    void conversion();
    void inputsEmptiedAfterEveryClose_data();
    void inputsEmptiedAfterEveryClose();
};

void TestNewMap::layoutAndTabOrder() {
    TGuiFixture f;
    QCOMPARE(Form2->windowTitle(), QStringLiteral("New Map"));
    QCOMPARE(Form2->Edit1->geometry(), QRect(8, 8, 121, 21));
    QCOMPARE(Form2->Edit2->geometry(), QRect(8, 40, 121, 21));
    QCOMPARE(Form2->Edit3->geometry(), QRect(200, 8, 121, 21));
    QCOMPARE(Form2->Memo1->geometry(), QRect(8, 88, 369, 121));
    QCOMPARE(Form2->BitBtn1->geometry(), QRect(8, 216, 185, 25));
    QCOMPARE(Form2->BitBtn2->geometry(), QRect(200, 216, 177, 25));
    QCOMPARE(Form2->Label1->text(), QStringLiteral("Width Map"));
    QCOMPARE(Form2->Label2->text(), QStringLiteral("Heigth Map"));
    QCOMPARE(Form2->Label3->text(), QStringLiteral("Description:"));
    QCOMPARE(Form2->Label4->text(), QStringLiteral("Tile Size"));
    QCOMPARE(Form2->Label1->pos(), QPoint(136, 16));
    QCOMPARE(Form2->Label4->pos(), QPoint(328, 16));
    QCOMPARE(Form2->BitBtn1->text(), QStringLiteral("OK"));
    QCOMPARE(Form2->BitBtn2->text(), QStringLiteral("Cancel"));
    QVERIFY(Form2->BitBtn1->isDefault());
    QVERIFY(!Form2->BitBtn1->icon().isNull());
    for (QWidget* input :
         {static_cast<QWidget*>(Form2->Edit1), static_cast<QWidget*>(Form2->Edit2),
          static_cast<QWidget*>(Form2->Edit3), static_cast<QWidget*>(Form2->Memo1)})
        QCOMPARE(TextOf(input), QString());

    QVERIFY(ShowDialog());
    Form2->Edit1->setFocus();
    const QList<QWidget*> order = {Form2->Edit2,   Form2->Edit3,   Form2->Memo1,
                                   Form2->BitBtn1, Form2->BitBtn2, Form2->Edit1};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    // Tab moves on without leaving a character behind, in the memo too.
    QCOMPARE(Form2->Memo1->toPlainText(), QString());
    Form2->hide();
}

void TestNewMap::numberFiltersByCode_data() {
    QTest::addColumn<int>("code");
    // Enter is no character in these fields: it presses OK (dialogKeys).
    for (int code = 0; code < 256; ++code)
        if (code != 13)
            QTest::addRow("code %d", code) << code;
}

void TestNewMap::numberFiltersByCode() {
    QFETCH(int, code);
    TGuiFixture f;
    QVERIFY(ShowDialog());
    const bool passes = code == 8 || (code >= '0' && code <= '9');
    for (QLineEdit* edit : {Form2->Edit1, Form2->Edit2, Form2->Edit3}) {
        SetTextOf(edit, QStringLiteral("12"));
        TypeCode(edit, code);
        const QString expected = !passes     ? QStringLiteral("12")
                                 : code == 8 ? QStringLiteral("1")
                                             : QStringLiteral("12") + QChar(code);
        QCOMPARE(edit->text(), expected);
    }
    QVERIFY(Form2->isVisible());
    QVERIFY(f.Dialogs->Messages.isEmpty());
    Form2->hide();
}

void TestNewMap::descriptionFilterByCode_data() {
    QTest::addColumn<int>("code");
    for (int code = 0; code < 256; ++code)
        QTest::addRow("code %d", code) << code;
}

void TestNewMap::descriptionFilterByCode() {
    QFETCH(int, code);
    TGuiFixture f;
    QVERIFY(ShowDialog());
    QPlainTextEdit* memo = Form2->Memo1;
    SetTextOf(memo, QStringLiteral("ab"));
    TypeCode(memo, code);
    QString expected = QStringLiteral("ab");
    if (DescriptionCode(code)) {
        if (code == 8)
            expected = QStringLiteral("a");
        else if (code == 13)
            expected = QStringLiteral("ab\n");
        else
            expected += Cp1251::ToUnicode(QByteArray(1, char(code)));
    }
    QCOMPARE(memo->toPlainText(), expected);
    // No code closes the dialog from the memo, Enter included.
    QVERIFY(Form2->isVisible());
    Form2->hide();
}

void TestNewMap::clipboardKeysAreDiscarded_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    const int ctrl = int(Qt::ControlModifier);
    // As the keyboard delivers them (a control code as text) and as QTest makes them.
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << ctrl << QStringLiteral("\x03");
    QTest::newRow("Ctrl+V") << int(Qt::Key_V) << ctrl << QStringLiteral("\x16");
    QTest::newRow("Ctrl+X") << int(Qt::Key_X) << ctrl << QStringLiteral("\x18");
    QTest::newRow("Ctrl+Z") << int(Qt::Key_Z) << ctrl << QStringLiteral("\x1a");
    QTest::newRow("Ctrl+V, letter text") << int(Qt::Key_V) << ctrl << QStringLiteral("v");
    QTest::newRow("Ctrl+X, letter text") << int(Qt::Key_X) << ctrl << QStringLiteral("x");
    QTest::newRow("Ctrl+Shift+V") << int(Qt::Key_V) << (ctrl | int(Qt::ShiftModifier))
                                  << QStringLiteral("\x16");
    QTest::newRow("Shift+Insert") << int(Qt::Key_Insert) << int(Qt::ShiftModifier) << QString();
    QTest::newRow("Ctrl+Insert") << int(Qt::Key_Insert) << ctrl << QString();
    QTest::newRow("Shift+Delete") << int(Qt::Key_Delete) << int(Qt::ShiftModifier) << QString();
}

void TestNewMap::clipboardKeysAreDiscarded() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    TGuiFixture f;
    QVERIFY(ShowDialog());
    for (QWidget* input :
         {static_cast<QWidget*>(Form2->Edit1), static_cast<QWidget*>(Form2->Edit2),
          static_cast<QWidget*>(Form2->Edit3), static_cast<QWidget*>(Form2->Memo1)}) {
        input->setFocus();
        // Typed, so that there is something to undo; then all of it selected.
        QTest::keyClicks(input, QStringLiteral("12"));
        if (auto* edit = qobject_cast<QLineEdit*>(input))
            edit->selectAll();
        else
            static_cast<QPlainTextEdit*>(input)->selectAll();
        QGuiApplication::clipboard()->setText(QStringLiteral("99"));
        QTest::sendKeyEvent(QTest::Click, input, Qt::Key(key), text,
                            Qt::KeyboardModifiers(modifiers));
        QCOMPARE(TextOf(input), QStringLiteral("12"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("99"));
    }
    Form2->hide();
}

void TestNewMap::editingKeysStillWork() {
    TGuiFixture f;
    QVERIFY(ShowDialog());
    for (QWidget* input :
         {static_cast<QWidget*>(Form2->Edit1), static_cast<QWidget*>(Form2->Edit2),
          static_cast<QWidget*>(Form2->Edit3), static_cast<QWidget*>(Form2->Memo1)}) {
        input->setFocus();
        QTest::keyClicks(input, QStringLiteral("1234"));
        QTest::keyClick(input, Qt::Key_Home);
        QTest::keyClick(input, Qt::Key_Delete);
        QCOMPARE(TextOf(input), QStringLiteral("234"));
        QTest::keyClick(input, Qt::Key_End);
        QTest::keyClick(input, Qt::Key_Left);
        QTest::keyClick(input, Qt::Key_Backspace);
        QCOMPARE(TextOf(input), QStringLiteral("24"));
        QTest::keyClick(input, Qt::Key_Right);
        QTest::keyClick(input, Qt::Key_5);
        QCOMPARE(TextOf(input), QStringLiteral("245"));
    }
    // Line breaks, moved over with the arrows.
    QTest::keyClick(Form2->Memo1, Qt::Key_Return);
    TypeText(Form2->Memo1, QStringLiteral("Лес"));
    QTest::keyClick(Form2->Memo1, Qt::Key_Up);
    QTest::keyClick(Form2->Memo1, Qt::Key_Home);
    TypeText(Form2->Memo1, QStringLiteral("x"));
    QCOMPARE(Form2->Memo1->toPlainText(), QStringLiteral("x245\nЛес"));
    Form2->hide();
}

void TestNewMap::pastingThroughTheMenuPassesTheFilters() {
    TGuiFixture f;
    QVERIFY(ShowDialog());
    PasteThroughMenu(Form2->Edit1, QStringLiteral("-7x"));
    QCOMPARE(Form2->Edit1->text(), QStringLiteral("-7x"));
    PasteThroughMenu(Form2->Memo1, QStringLiteral("Ёлка - ель!\tё"));
    QCOMPARE(Form2->Memo1->toPlainText(), QStringLiteral("Ёлка - ель!\tё"));
    Form2->hide();
}

void TestNewMap::dialogKeys() {
    TGuiFixture f;

    // Enter in a single-line edit presses OK.
    RunNewMap(f, [] {
        QTest::keyClicks(Form2->Edit1, QStringLiteral("3"));
        QTest::keyClicks(Form2->Edit2, QStringLiteral("4"));
        QTest::keyClicks(Form2->Edit3, QStringLiteral("16"));
        TypeText(Form2->Memo1, QStringLiteral("d\n"));
        QVERIFY(Form2->isVisible()); // Enter in the memo was a line break
        QTest::keyClick(Form2->Edit2, Qt::Key_Return);
        QVERIFY(!Form2->isVisible());
        QCOMPARE(Form2->result(), int(QDialog::Accepted));
    });
    QCOMPARE(MapState(), (TMapState{3, 4, 16, {}, 0}));
    QCOMPARE(NewMapDescription, QStringLiteral("d\n"));

    // Escape is Cancel, from any input.
    Map->New(5, 5, 48);
    for (QWidget* input :
         {static_cast<QWidget*>(Form2->Edit1), static_cast<QWidget*>(Form2->Memo1)}) {
        RunNewMap(f, [input] {
            QTest::keyClicks(Form2->Edit1, QStringLiteral("9"));
            QTest::keyClicks(Form2->Edit2, QStringLiteral("9"));
            QTest::keyClicks(Form2->Edit3, QStringLiteral("9"));
            TypeText(Form2->Memo1, QStringLiteral("d"));
            QTest::keyClick(input, Qt::Key_Escape);
            QVERIFY(!Form2->isVisible());
            QCOMPARE(Form2->result(), int(QDialog::Rejected));
        });
        QCOMPARE(Map->Width, 5);
    }
    QVERIFY(f.Dialogs->Messages.isEmpty());
}

void TestNewMap::okChecks_data() {
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("tileSize");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("message"); // the one box OK shows; empty for none
    QTest::addColumn<TMessage::TIcon>("icon");
    QTest::addColumn<QSize>("size"); // of the new map; invalid when the map must stay
    QTest::addColumn<int>("newTileSize");

    const QSize same(-1, -1);
    const auto plain = TMessage::TIcon::None;
    const auto stop = TMessage::TIcon::Stop;
    // The first empty field decides, before the description and before any conversion.
    QTest::newRow("all empty") << ""
                               << ""
                               << ""
                               << "" << WrongSizes << plain << same << 0;
    QTest::newRow("width and description empty") << ""
                                                 << "5"
                                                 << "48"
                                                 << "" << WrongSizes << plain << same << 0;
    QTest::newRow("height empty") << "5"
                                  << ""
                                  << "48"
                                  << "d" << WrongSizes << plain << same << 0;
    QTest::newRow("tile size empty") << "5"
                                     << "5"
                                     << ""
                                     << "d" << WrongSizes << plain << same << 0;
    QTest::newRow("description empty") << "5"
                                       << "5"
                                       << "48"
                                       << "" << NoDescription << plain << same << 0;
    QTest::newRow("description before conversion") << "x"
                                                   << "5"
                                                   << "48"
                                                   << "" << NoDescription << plain << same << 0;
    // Accepted entries.
    QTest::newRow("020 wide") << "020"
                              << "5"
                              << "32"
                              << "Forest 1"
                              << "" << plain << QSize(20, 5) << 32;
    QTest::newRow("line breaks are a description") << "3"
                                                   << "2"
                                                   << "16"
                                                   << "\n\n"
                                                   << "" << plain << QSize(3, 2) << 16;
    QTest::newRow("Cyrillic description") << "2"
                                          << "2"
                                          << "48"
                                          << "Карта, лес."
                                          << "" << plain << QSize(2, 2) << 48;
    QTest::newRow("width 0") << "0"
                             << "7"
                             << "48"
                             << "d"
                             << "" << plain << QSize(0, 7) << 48;
    QTest::newRow("height 0") << "7"
                              << "0"
                              << "48"
                              << "d"
                              << "" << plain << QSize(7, 0) << 48;
    QTest::newRow("width 0, any height") << "0"
                                         << "2000000000"
                                         << "1"
                                         << "d"
                                         << "" << plain << QSize(0, 2000000000) << 1;
    // Text that is no integer: the error box, with its full stop.
    QTest::newRow("pasted letters") << "1x"
                                    << "5"
                                    << "48"
                                    << "d"
                                    << "'1x' is not a valid integer value." << stop << same << 0;
    QTest::newRow("beyond 32 bits")
        << "5"
        << "99999999999"
        << "48"
        << "d"
        << "'99999999999' is not a valid integer value." << stop << same << 0;
    // Sizes no map can have: which value, and what is allowed.
    QTest::newRow("tile size 0") << "5"
                                 << "5"
                                 << "0"
                                 << "d"
                                 << "Tile size 0 is not allowed: the tile size must be at least 1."
                                 << plain << same << 0;
    QTest::newRow("negative tile size")
        << "5"
        << "5"
        << "-48"
        << "d"
        << "Tile size -48 is not allowed: the tile size must be at least 1." << plain << same << 0;
    QTest::newRow("negative width")
        << "-3"
        << "5"
        << "48"
        << "d"
        << "Width -3 is not allowed: the width must be 0 or more." << plain << same << 0;
    QTest::newRow("negative height")
        << "5"
        << "-1"
        << "48"
        << "d"
        << "Height -1 is not allowed: the height must be 0 or more." << plain << same << 0;
    QTest::newRow("2000000000 squared")
        << "2000000000"
        << "2000000000"
        << "48"
        << "d"
        << "A map of 2000000000 × 2000000000 cells is too large: at most 268435456 cells (2^28) "
           "are allowed in all."
        << plain << same << 0;
    QTest::newRow("one row beyond 2^28")
        << "16384"
        << "16385"
        << "48"
        << "d"
        << "A map of 16384 × 16385 cells is too large: at most 268435456 cells (2^28) are allowed "
           "in all."
        << plain << same << 0;
}

void TestNewMap::okChecks() {
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, tileSize);
    QFETCH(QString, description);
    QFETCH(QString, message);
    QFETCH(TMessage::TIcon, icon);
    QFETCH(QSize, size);
    QFETCH(int, newTileSize);

    TGuiFixture f;
    Map->PackName = "keep.pac";
    Map->Cells[0][0] = 5;
    const TMapState before = MapState();
    NewMapWidth = NewMapHeight = NewMapTileSize = -7;
    NewMapDescription = QStringLiteral("old");

    bool closedAfterOk = false;
    RunNewMap(f, [&] {
        Enter(Form2->Edit1, width);
        Enter(Form2->Edit2, height);
        Enter(Form2->Edit3, tileSize);
        Enter(Form2->Memo1, description);
        QTest::mouseClick(Form2->BitBtn1, Qt::LeftButton);
        closedAfterOk = !Form2->isVisible() && Form2->result() == QDialog::Accepted;
    });
    QVERIFY(closedAfterOk); // whatever OK found

    if (message.isEmpty()) {
        QCOMPARE(f.Dialogs->Texts(), QStringList());
    } else {
        QCOMPARE(f.Dialogs->Texts(), QStringList{message});
        QCOMPARE(f.Dialogs->Messages[0].Icon, icon);
        QCOMPARE(f.Dialogs->Messages[0].Caption, TApplication::Title());
        QCOMPARE(f.Dialogs->Messages[0].Buttons, TMessage::TButtons::Ok);
    }
    if (size.isValid()) {
        QCOMPARE(MapState(), (TMapState{size.width(),
                                        size.height(),
                                        newTileSize,
                                        {},
                                        size.width() && size.height() ? 0 : -99}));
        QCOMPARE(Map->Cells.size(), size.width());
        QCOMPARE(NewMapWidth, size.width());
        QCOMPARE(NewMapHeight, size.height());
        QCOMPARE(NewMapTileSize, newTileSize);
        QCOMPARE(NewMapDescription, description);
    } else {
        QCOMPARE(MapState(), before);
        QCOMPARE(NewMapDescription, QStringLiteral("old"));
    }
    // A failed conversion keeps what was converted before it.
    if (QTest::currentDataTag() == QByteArray("beyond 32 bits")) {
        QCOMPARE(NewMapWidth, 5);
        QCOMPARE(NewMapHeight, -7);
    }
    if (QTest::currentDataTag() == QByteArray("pasted letters"))
        QCOMPARE(NewMapWidth, -7);
}

void TestNewMap::conversion_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("leading zero") << "020" << true << 20;
    QTest::newRow("zeros") << "000" << true << 0;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("leading blanks") << "  7" << true << 7;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("minus") << "-7" << true << -7;
    QTest::newRow("blanks then sign") << " -7" << true << -7;
    QTest::newRow("hex $") << "$1F" << true << 31;
    QTest::newRow("hex 0x") << "0x1f" << true << 31;
    QTest::newRow("negative hex") << "-$10" << true << -16;
    QTest::newRow("hex uses all 32 bits") << "$FFFFFFFF" << true << -1;
    QTest::newRow("one too large") << "2147483648" << false << 0;
    QTest::newRow("one too small") << "-2147483649" << false << 0;
    QTest::newRow("hex too large") << "$100000000" << false << 0;
    QTest::newRow("trailing blank") << "7 " << false << 0;
    QTest::newRow("blank inside") << "1 0" << false << 0;
    QTest::newRow("only blanks") << "   " << false << 0;
    QTest::newRow("only a sign") << "-" << false << 0;
    QTest::newRow("sign after blank after sign") << "- 7" << false << 0;
    QTest::newRow("two signs") << "+-7" << false << 0;
    QTest::newRow("only $") << "$" << false << 0;
    QTest::newRow("hex digit without prefix") << "1F" << false << 0;
    QTest::newRow("exponent") << "1e3" << false << 0;
    QTest::newRow("tab before") << "\t7" << false << 0;
    QTest::newRow("other digits") << "٣" << false << 0;
    QTest::newRow("full-width digit") << "７" << false << 0;
}

void TestNewMap::conversion() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    if (valid)
        QCOMPARE(TForm2::StrToInt(text), value);
    else
        QCOMPARE(MessageOf<EConvertError>([&] { TForm2::StrToInt(text); }),
                 QStringLiteral("'%1' is not a valid integer value").arg(text));
}

void TestNewMap::inputsEmptiedAfterEveryClose_data() {
    QTest::addColumn<QString>("close");
    QTest::newRow("OK, map made") << "ok";
    QTest::newRow("OK, conversion error") << "ok, bad number";
    QTest::newRow("OK, size refused") << "ok, tile size 0";
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close box") << "close";
}

void TestNewMap::inputsEmptiedAfterEveryClose() {
    QFETCH(QString, close);
    TGuiFixture f;
    QStringList cleared;
    auto watch = [&](QObject* input, const char* name) {
        if (auto* edit = qobject_cast<QLineEdit*>(input))
            QObject::connect(edit, &QLineEdit::textChanged, edit,
                             [&cleared, name](const QString& t) {
                                 if (t.isEmpty())
                                     cleared << QLatin1String(name);
                             });
        else
            QObject::connect(Form2->Memo1, &QPlainTextEdit::textChanged, Form2->Memo1,
                             [&cleared, name] {
                                 if (Form2->Memo1->toPlainText().isEmpty())
                                     cleared << QLatin1String(name);
                             });
    };
    watch(Form2->Edit1, "Edit1");
    watch(Form2->Edit2, "Edit2");
    watch(Form2->Edit3, "Edit3");
    watch(Form2->Memo1, "Memo1");

    for (int run = 0; run < 2; ++run) {
        RunNewMap(f, [&] {
            QCOMPARE(TextOf(Form2->Edit1) + TextOf(Form2->Edit2) + TextOf(Form2->Edit3) +
                         TextOf(Form2->Memo1),
                     QString()); // opens empty, entry starting in the first field
            QCOMPARE(QApplication::focusWidget(), Form2->Edit1);
            Enter(Form2->Edit1, close == QLatin1String("ok, bad number") ? QStringLiteral("4-")
                                                                         : QStringLiteral("4"));
            Enter(Form2->Edit2, QStringLiteral("4"));
            Enter(Form2->Edit3, close == QLatin1String("ok, tile size 0") ? QStringLiteral("0")
                                                                          : QStringLiteral("8"));
            Enter(Form2->Memo1, QStringLiteral("d"));
            Form2->Memo1->setFocus();
            cleared.clear();
            if (close.startsWith(QLatin1String("ok")))
                QTest::mouseClick(Form2->BitBtn1, Qt::LeftButton);
            else if (close == QLatin1String("cancel"))
                QTest::mouseClick(Form2->BitBtn2, Qt::LeftButton);
            else if (close == QLatin1String("escape"))
                QTest::keyClick(Form2->Edit3, Qt::Key_Escape);
            else
                Form2->close();
            QVERIFY(!Form2->isVisible());
        });
        QCOMPARE(TextOf(Form2->Edit1), QString());
        QCOMPARE(TextOf(Form2->Edit2), QString());
        QCOMPARE(TextOf(Form2->Edit3), QString());
        QCOMPARE(TextOf(Form2->Memo1), QString());
        // Emptied in this order.
        QCOMPARE(cleared, (QStringList{QStringLiteral("Edit1"), QStringLiteral("Edit2"),
                                       QStringLiteral("Edit3"), QStringLiteral("Memo1")}));
    }
    QCOMPARE(f.Dialogs->ModalTitles,
             (QStringList{QStringLiteral("New Map"), QStringLiteral("New Map")}));
}

KORVANE_GUI_TEST_MAIN(TestNewMap)
#include "tst_newmap.moc"
