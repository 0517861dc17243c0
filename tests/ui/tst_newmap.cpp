// The New Map dialog: the key filters by character code, OK's checks in
// their order, the conversion of the numbers, and the inputs emptied after every close. The
// cases share one set of windows; init() and cleanup() put back what a case changed.

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"

#include "platform/Cp1251.h"
#include "ui/NewMapDialog.h"

#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <climits>

using namespace TestSupport;

namespace {
const QString WrongSizes = QStringLiteral("Неправильно заданы размеры");
const QString NoDescription = QStringLiteral("Введите описание");
const QList<int> none = {-7, -7, -7};

NewMapDialog& Dialog(GuiFixture& f) {
    return f.Find<NewMapDialog>("newMapDialog");
}

// A part of the dialog by its name.
template <class T = QWidget> T& Part(GuiFixture& f, const char* name) {
    return Child<T>(Dialog(f), name);
}

QPlainTextEdit& Memo(GuiFixture& f) {
    return Part<QPlainTextEdit>(f, "descriptionEdit");
}

QList<QWidget*> Inputs(GuiFixture& f) {
    return {&Part(f, "widthEdit"), &Part(f, "heightEdit"), &Part(f, "tileSizeEdit"), &Memo(f)};
}

QString TextOf(GuiFixture& f, QWidget* input) {
    return input->property(input == &Memo(f) ? "plainText" : "text").toString();
}

// Types one character as a keyboard delivers it: a control code as Ctrl+key with the code as
// its text (Ctrl+V arrives as "\x16"), backspace and Enter as their keys, any other code as
// its Windows-1251 character.
void TypeCode(QWidget* input, int code) {
    if (code == 8 || code == 13 || code == 127)
        QTest::keyClick(input, code == 13 ? Qt::Key_Return : Qt::Key_Backspace,
                        code == 127 ? Qt::ControlModifier : Qt::NoModifier);
    else if (code < 32)
        QTest::sendKeyEvent(QTest::Click, input, Qt::Key(code | 0x40), QString(QChar(code)),
                            Qt::ControlModifier);
    else {
        const QString c = Cp1251::ToUnicode(QByteArray(1, char(code)));
        QTest::sendKeyEvent(QTest::Click, input, Qt::Key(c.toUpper().at(0).unicode()), c, {});
    }
}

void TypeText(QWidget* input, const QString& text) {
    for (const QChar c : text)
        TypeCode(input, c == QLatin1Char('\n') ? 13 : quint8(Cp1251::FromUnicode(c).at(0)));
}

// Replaces the text by typing, which leaves the cursor at the end.
void Retype(QWidget* input, const QString& text) {
    QMetaObject::invokeMethod(input, "selectAll");
    QTest::keyClick(input, Qt::Key_Backspace);
    TypeText(input, text);
}

// Pastes as the input's context menu does, the one way past the key filters.
void Paste(QWidget* input, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    QMetaObject::invokeMethod(input, "paste");
}

// Enters width, height, tile size and description as a user can: the description and digits
// are typed, anything else is pasted.
void EnterAll(GuiFixture& f, const QStringList& entries) {
    for (int i = 0; i < 4; ++i) {
        const bool digits = !entries[i].contains(QRegularExpression(QStringLiteral("\\D")));
        if (i == 3 || digits)
            TypeText(Inputs(f)[i], entries[i]);
        else
            Paste(Inputs(f)[i], entries[i]);
    }
}

// Shows the dialog as the command does, on screen and active, so that dialog keys reach its
// buttons and no shortcut of the main window fires.
bool Show(GuiFixture& f) {
    Dialog(f).show();
    Dialog(f).activateWindow();
    return QTest::qWaitFor([&f] { return QApplication::activeWindow() == &Dialog(f); });
}

// Runs the New Map command with a script in place of the user.
void RunNewMap(GuiFixture& f, const std::function<void()>& script) {
    f.Dialogs->OnModal = [&](QDialog& d) {
        if (Show(f))
            script();
        if (d.isVisible())
            d.reject();
        return d.result();
    };
    f.Action("newMapAction").trigger();
}
} // namespace

class TestNewMap : public QObject {
    Q_OBJECT
    std::unique_ptr<GuiFixture> F;

private slots:
    void initTestCase() { F = std::make_unique<GuiFixture>(); }
    void cleanupTestCase() { F.reset(); }
    void init();
    void cleanup();
    void keyFiltersByCode();
    void editingKeysAndTheContextMenu();
    void closing_data();
    void closing();
    void conversion();
};

void TestNewMap::init() {
    GuiFixture& f = *F;
    f.TheMap().New(14, 14, 48);
    f.TheDocument().ResetHistory(); // each row starts from a fresh map with nothing unsaved
    F->Dialogs->Messages.clear();
    for (QWidget* input : Inputs(f))
        input->setProperty(input == &Memo(f) ? "plainText" : "text", QString());
}

void TestNewMap::cleanup() {
    GuiFixture& f = *F;
    if (Dialog(f).isVisible())
        Dialog(f).reject();
}

void TestNewMap::keyFiltersByCode() {
    GuiFixture& f = *F;
    QVERIFY(Show(f));
    // The Windows-1251 codes that pass; every other code of 0 to 255 is discarded, among them
    // tab, the hyphen, the control codes, and Ё (168) and ё (184).
    const QList<std::pair<int, int>> memo = {{8, 8},   {13, 13}, {32, 32},  {44, 44},  {46, 46},
                                             {48, 57}, {65, 90}, {97, 122}, {192, 255}};
    const QList<std::pair<int, int>> number = {{8, 8}, {48, 57}};
    for (QWidget* input : Inputs(f)) {
        const bool isMemo = input == &Memo(f);
        for (int code = 0; code < 256; ++code) {
            if (code == 13 && !isMemo)
                continue; // Enter presses OK there (closing)
            bool passes = false;
            for (const auto& [from, to] : isMemo ? memo : number)
                passes = passes || (code >= from && code <= to);
            Retype(input, QStringLiteral("12"));
            TypeCode(input, code);
            const QString typed = code == 8 ? QStringLiteral("1")
                                  : code == 13
                                      ? QStringLiteral("12\n")
                                      : "12" + Cp1251::ToUnicode(QByteArray(1, char(code)));
            QVERIFY2(TextOf(f, input) == (passes ? typed : QStringLiteral("12")),
                     qPrintable(QStringLiteral("code %1 into input %2 gave \"%3\"")
                                    .arg(code)
                                    .arg(Inputs(f).indexOf(input) + 1)
                                    .arg(TextOf(f, input))));
        }
    }
    // The clipboard keys as the keyboard delivers them (a control code as text), as QTest
    // makes them, and those without a letter; something typed to undo, all of it selected.
    const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
    const QList<std::tuple<Qt::Key, int, QString>> clipboardKeys = {
        {Qt::Key_C, ctrl, "\x03"},         {Qt::Key_V, ctrl, "\x16"},   {Qt::Key_X, ctrl, "\x18"},
        {Qt::Key_Z, ctrl, "\x1a"},         {Qt::Key_V, ctrl, "v"},      {Qt::Key_X, ctrl, "x"},
        {Qt::Key_V, ctrl | shift, "\x16"}, {Qt::Key_Insert, shift, ""}, {Qt::Key_Insert, ctrl, ""},
        {Qt::Key_Delete, shift, ""}};
    for (const auto& [key, modifiers, text] : clipboardKeys) {
        for (QWidget* input : Inputs(f)) {
            Retype(input, "12");
            QMetaObject::invokeMethod(input, "selectAll");
            QGuiApplication::clipboard()->setText("99");
            QTest::sendKeyEvent(QTest::Click, input, key, text, Qt::KeyboardModifiers(modifiers));
            QVERIFY2(TextOf(f, input) == "12" && QGuiApplication::clipboard()->text() == "99",
                     qPrintable(QString("key %1 with %2").arg(key).arg(modifiers)));
        }
    }
    QVERIFY(Dialog(f).isVisible());
    QVERIFY(F->Dialogs->Messages.isEmpty());
}

void TestNewMap::editingKeysAndTheContextMenu() {
    GuiFixture& f = *F;
    QVERIFY(Show(f));
    for (QWidget* input : Inputs(f)) {
        input->setFocus();
        QTest::keyClicks(input, QStringLiteral("1234"));
        for (Qt::Key key : {Qt::Key_Home, Qt::Key_Delete, Qt::Key_End, Qt::Key_Left,
                            Qt::Key_Backspace, Qt::Key_Right, Qt::Key_5})
            QTest::keyClick(input, key);
        QCOMPARE(TextOf(f, input), QStringLiteral("245"));
    }
    TypeText(&Memo(f), QStringLiteral("\nЛес"));
    QTest::keyClick(&Memo(f), Qt::Key_Up);
    QTest::keyClick(&Memo(f), Qt::Key_Home);
    TypeText(&Memo(f), QStringLiteral("x"));
    QCOMPARE(Memo(f).toPlainText(), QStringLiteral("x245\nЛес"));
    // What the filters refuse can still be pasted.
    Paste(&Part(f, "widthEdit"), QStringLiteral("-7x"));
    QCOMPARE(Part<QLineEdit>(f, "widthEdit").text(), QStringLiteral("245-7x"));
    Retype(&Memo(f), QString());
    Paste(&Memo(f), QStringLiteral("Ёлка - ель!\tё"));
    QCOMPARE(Memo(f).toPlainText(), QStringLiteral("Ёлка - ель!\tё"));
    // Tab leaves the memo for OK, as in the other inputs, and types nothing.
    QTest::keyClick(&Memo(f), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), &Part(f, "okButton"));
    QCOMPARE(Memo(f).toPlainText(), QStringLiteral("Ёлка - ель!\tё"));
}

void TestNewMap::closing_data() {
    QTest::addColumn<QStringList>("entries"); // width, height, tile size, description
    QTest::addColumn<QString>("message");     // the one box OK shows; empty for none
    QTest::addColumn<QList<int>>("stored");   // the sizes the dialog converted
    QTest::addColumn<QString>("close");
    auto row = [](const char* tag, const QStringList& entries, const QString& message,
                  const QList<int>& stored = {}, const QString& close = "OK") {
        QTest::newRow(tag) << entries << message << stored << close;
    };
    // The first empty field decides, before the description and before any conversion.
    row("all empty", {"", "", "", ""}, WrongSizes, none);
    row("width and description empty", {"", "5", "48", ""}, WrongSizes, none);
    row("height empty", {"5", "", "48", "d"}, WrongSizes, none);
    row("tile size empty", {"5", "5", "", "d"}, WrongSizes, none);
    row("description empty", {"5", "5", "48", ""}, NoDescription, none);
    row("description before conversion", {"x", "5", "48", ""}, NoDescription, none);
    // A new map of the stored size.
    row("020 wide", {"020", "5", "32", "Forest 1"}, "", {20, 5, 32});
    row("line breaks are a description", {"3", "2", "16", "\n\n"}, "", {3, 2, 16});
    row("Cyrillic description", {"2", "2", "48", "Карта, лес."}, "", {2, 2, 48});
    row("width 0", {"0", "7", "48", "d"}, "", {0, 7, 48});
    row("height 0", {"7", "0", "48", "d"}, "", {7, 0, 48});
    row("width 0, any height", {"0", "2000000000", "1", "d"}, "", {0, 2000000000, 1});
    row("Enter in an edit", {"3", "4", "16", "d"}, "", {3, 4, 16}, "Enter");
    // The error box, with its full stop; what was converted before is kept.
    row("pasted letters", {"1x", "5", "48", "d"}, "'1x' is not a valid integer value.", none);
    row("beyond 32 bits", {"5", "99999999999", "48", "d"},
        "'99999999999' is not a valid integer value.", {5, -7, -7});
    // Sizes no map can have: which value, and what is allowed.
    row("tile size 0", {"5", "5", "0", "d"},
        "Tile size 0 is not allowed: the tile size must be at least 1.");
    row("negative tile size", {"5", "5", "-48", "d"},
        "Tile size -48 is not allowed: the tile size must be at least 1.");
    row("negative width", {"-3", "5", "48", "d"},
        "Width -3 is not allowed: the width must be 0 or more.");
    row("negative height", {"5", "-1", "48", "d"},
        "Height -1 is not allowed: the height must be 0 or more.");
    const QString tooLarge = "A map of %1 × %2 cells is too large: at most 268435456 cells "
                             "(2^28) are allowed in all.";
    row("2000000000 squared", {"2000000000", "2000000000", "48", "d"},
        tooLarge.arg(2000000000).arg(2000000000));
    row("one row beyond 2^28", {"16384", "16385", "48", "d"}, tooLarge.arg(16384).arg(16385));
    // Closed without OK.
    for (const char* close : {"Cancel", "Escape in the memo", "close box"})
        row(close, {"3", "4", "16", "d"}, "", none, close);
}

void TestNewMap::closing() {
    GuiFixture& f = *F;
    QFETCH(QStringList, entries);
    QFETCH(QString, message);
    QFETCH(QList<int>, stored);
    QFETCH(QString, close);
    f.TheMap().PackName = "keep.pac";
    f.TheMap().Cells[0][0] = 5;
    const QByteArray before = MapFile::Bytes(f.TheMap());
    NewMapDialog& dialog = Dialog(f);
    dialog.Entered = {-7, -7, -7};
    int result = -1;
    RunNewMap(*F, [&] {
        QCOMPARE(QApplication::focusWidget(),
                 &Part(f, "widthEdit")); // entry starts in the first field
        EnterAll(f, entries);
        if (close == "OK" || close == "Cancel")
            QTest::mouseClick(close == "OK" ? &Part(f, "okButton") : &Part(f, "cancelButton"),
                              Qt::LeftButton);
        else if (close == "close box")
            dialog.close();
        else
            QTest::keyClick(close == "Enter" ? &Part(f, "heightEdit") : &Memo(f),
                            close == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
        result = dialog.isVisible() ? -1 : dialog.result();
    });
    // OK closes the dialog whatever it found; the command then empties the inputs.
    QCOMPARE(result,
             int(close == "OK" || close == "Enter" ? QDialog::Accepted : QDialog::Rejected));
    for (QWidget* input : Inputs(f))
        QCOMPARE(TextOf(f, input), QString());
    QCOMPARE(F->Dialogs->Texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty()) // the error box for a conversion error, a plain box otherwise
        QCOMPARE(F->Dialogs->Messages[0].Icon,
                 message.startsWith('\'') ? Message::IconKind::Stop : Message::IconKind::None);
    if (!stored.isEmpty())
        QCOMPARE((QList<int>{dialog.Entered.Width, dialog.Entered.Height, dialog.Entered.TileSize}),
                 stored);
    const bool made = message.isEmpty() && stored != none;
    QCOMPARE(MapFile::Bytes(f.TheMap()),
             made ? MapFileBytes({"", "", "", ""}, stored[0], stored[1],
                                 QList<qint32>(qint64(stored[0]) * stored[1], 0))
                  : before);
    QCOMPARE(QSize(f.TheMap().Cells.size(), f.TheMap().TileSize),
             made ? QSize(stored[0], stored[2]) : QSize(14, 48));
}

void TestNewMap::conversion() {
    // Blanks, an optional sign, then decimal digits, or hexadecimal ones after "$" or "0x".
    const QStringList texts = {"2147483647", "-2147483648", "  7",  "+7",   " -7",
                               "000",        "$1F",         "0x1f", "-$10", "$FFFFFFFF"};
    const QList<int> values = {INT_MAX, INT_MIN, 7, 7, -7, 0, 31, 31, -16, -1};
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(QString::number(NewMapDialog::StrToInt(texts[i])) + " from " + texts[i],
                 QString::number(values[i]) + " from " + texts[i]);
    for (const QString text : {"2147483648", "-2147483649", "$100000000", "7 ", "1 0", "   ", "-",
                               "- 7", "+-7", "$", "1F", "1e3", "\t7", "٣", "７"})
        QCOMPARE(MessageOf<EConvertError>([&] { NewMapDialog::StrToInt(text); }),
                 QString("'%1' is not a valid integer value").arg(text));
}

KORVANE_GUI_TEST_MAIN(TestNewMap)
#include "tst_newmap.moc"
