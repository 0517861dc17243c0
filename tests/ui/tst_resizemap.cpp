// Map > Resize Map: the menu, the dialog's entries from the map, anchors and offsets,
// OK's checks (New Map's, shown as New Map shows them, the dialog staying open), and the view
// kept on a smaller map.

#include "ScriptedDialogs.h"
#include "formats/MapFile.h"
#include "ui/NewMapDialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>

using namespace TestSupport;

namespace {
QDialog& Dialog(GuiFixture& f) {
    return f.Find<QDialog>("resizeMapDialog");
}

template <class T = QWidget> T& Part(GuiFixture& f, const char* name) {
    return Child<T>(Dialog(f), name);
}

QPoint Offsets(GuiFixture& f) {
    return {Part<QSpinBox>(f, "offsetXEdit").value(), Part<QSpinBox>(f, "offsetYEdit").value()};
}

// Runs Resize Map with the dialog on screen and a script in place of the user; the dialog is
// cancelled afterwards if the script left it open. Returns whether it was open then.
bool RunResize(GuiFixture& f, const std::function<void()>& script) {
    bool open = false;
    f.Dialogs->OnModal = [&](QDialog& d) {
        d.show();
        script();
        open = d.isVisible();
        if (open)
            d.reject();
        return d.result();
    };
    f.Action("resizeMapAction").trigger();
    f.Dialogs->OnModal = nullptr;
    return open;
}
} // namespace

class TestResizeMap : public QObject {
    Q_OBJECT
    std::unique_ptr<GuiFixture> F;

private slots:
    void initTestCase() { F = std::make_unique<GuiFixture>(); }
    void cleanupTestCase() { F.reset(); }
    void init();
    void mapMenu();
    void resizing_data();
    void resizing();
    void viewStaysOnTheSmallerMap();
};

void TestResizeMap::init() {
    GuiFixture& f = *F;
    f.TheMap().New(4, 3, 48);
    for (qint32 x = 0; x < 4; ++x)
        for (qint32 y = 0; y < 3; ++y)
            f.TheMap().Cells[x][y] = 10 * x + y;
    f.UseTiles(2); // a fresh history with nothing unsaved
    f.Dialogs->Messages.clear();
}

// The menu bar's order, Map between View and Tiles, is tst_undo's.
void TestResizeMap::mapMenu() {
    GuiFixture& f = *F;
    QVERIFY(f.Find<QMenu>("mapMenu").actions() == QList<QAction*>{&f.Action("resizeMapAction")});
    QCOMPARE(f.Action("resizeMapAction").text(), "Resize Map…");
}

void TestResizeMap::resizing_data() {
    QTest::addColumn<QStringList>("entries"); // width, height
    QTest::addColumn<QString>("anchor");      // the button clicked, or "" to type the offset
    QTest::addColumn<QPoint>("offset");       // shown, then applied
    QTest::addColumn<QString>("message");     // the one box OK shows; empty for none
    QTest::addColumn<QString>("close");
    auto row = [](const char* tag, const QStringList& entries, const QString& anchor, QPoint offset,
                  const QString& message = {}, const QString& close = "OK") {
        QTest::newRow(tag) << entries << anchor << offset << message << close;
    };
    row("the map's own size at the top left", {"4", "3"}, "topLeftAnchor", {0, 0});
    row("grown at the centre", {"7", "6"}, "centreAnchor", {1, 1});
    row("shrunk at the bottom right", {"2", "2"}, "bottomRightAnchor", {-2, -1});
    row("wider and lower at the right", {"9", "1"}, "rightAnchor", {5, -1});
    row("offset typed", {"5", "4"}, "", {-1, 2});
    row("cancelled", {"9", "9"}, "bottomAnchor", {2, 6}, "", "Cancel");
    // New Map's checks and boxes; the dialog stays open and the map stays.
    row("width empty", {"", "3"}, "topLeftAnchor", {0, 0}, NewMapDialog::EmptySizeMessage());
    row("letters", {"4", "3x"}, "", {1, 1}, "'3x' is not a valid integer value.");
    row("negative height", {"4", "-1"}, "", {1, 0},
        "Height -1 is not allowed: the height must be 0 or more.");
    row("one row beyond 2^28", {"16384", "16385"}, "topLeftAnchor", {0, 0},
        "A map of 16384 × 16385 cells is too large: at most 268435456 cells (2^28) are allowed "
        "in all.");
}

void TestResizeMap::resizing() {
    QFETCH(QStringList, entries);
    QFETCH(QString, anchor);
    QFETCH(QPoint, offset);
    QFETCH(QString, message);
    QFETCH(QString, close);
    GuiFixture& f = *F;
    const QByteArray before = MapFile::Bytes(f.TheMap());
    const bool open = RunResize(f, [&] {
        // The entries start from the map: its size, the top-left anchor, no offset.
        QCOMPARE(Part<QLineEdit>(f, "widthEdit").text(), "4");
        QCOMPARE(Part<QLineEdit>(f, "heightEdit").text(), "3");
        QCOMPARE(Part<QButtonGroup>(f, "anchorGroup").checkedButton(), &Part(f, "topLeftAnchor"));
        QCOMPARE(Offsets(f), QPoint(0, 0));
        if (!anchor.isEmpty())
            QTest::mouseClick(&Part(f, qPrintable(anchor)), Qt::LeftButton);
        else {
            // Typed offsets stand for themselves: no anchor stays checked.
            Part<QSpinBox>(f, "offsetXEdit").setValue(offset.x());
            Part<QSpinBox>(f, "offsetYEdit").setValue(offset.y());
            QCOMPARE(Part<QButtonGroup>(f, "anchorGroup").checkedButton(), nullptr);
        }
        // Sizes entered after the anchor move the offset along.
        Part<QLineEdit>(f, "widthEdit").setText(entries[0]);
        Part<QLineEdit>(f, "heightEdit").setText(entries[1]);
        if (message.isEmpty())
            QCOMPARE(Offsets(f), offset);
        QTest::mouseClick(&Part(f, close == "OK" ? "okButton" : "cancelButton"), Qt::LeftButton);
    });
    QCOMPARE(F->Dialogs->Texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty()) // the error box for a conversion error, a plain box otherwise
        QCOMPARE(F->Dialogs->Messages[0].Icon,
                 message.startsWith('\'') ? Message::IconKind::Stop : Message::IconKind::None);
    QCOMPARE(open, !message.isEmpty());
    const bool resized = message.isEmpty() && close == "OK" && entries != QStringList{"4", "3"};
    QCOMPARE(f.Action("undoAction").text(), resized ? "Undo Resize Map" : "Undo");
    if (!resized) {
        QCOMPARE(MapFile::Bytes(f.TheMap()), before);
        return;
    }
    const QSize size(entries[0].toInt(), entries[1].toInt());
    QCOMPARE(QSize(f.TheMap().Width, f.TheMap().Height), size);
    for (qint32 x = 0; x < size.width(); ++x)
        for (qint32 y = 0; y < size.height(); ++y) {
            const QPoint old = QPoint(x, y) - offset;
            QCOMPARE(f.TheMap().Cells[x][y],
                     QRect(0, 0, 4, 3).contains(old) ? 10 * old.x() + old.y() : -1);
        }
    QCOMPARE(f.ViewImage(), f.ViewRedrawn());
    f.Action("undoAction").trigger();
    QCOMPARE(MapFile::Bytes(f.TheMap()), before);
}

// A map made smaller than where the view was scrolled, by a resize or an undo, leaves the view
// at its last cells, not past them.
void TestResizeMap::viewStaysOnTheSmallerMap() {
    GuiFixture& f = *F;
    f.TheMap().New(300, 300, 48);
    f.UseTiles(2);
    f.MainView().ScrollTo(qint64(300) * 48, qint64(300) * 48);
    QVERIFY(f.MainView().OffsetX > 0 && f.MainView().OffsetY > 0);
    RunResize(f, [&] {
        Part<QLineEdit>(f, "widthEdit").setText("2");
        Part<QLineEdit>(f, "heightEdit").setText("2");
        QTest::mouseClick(&Part(f, "okButton"), Qt::LeftButton);
    });
    QCOMPARE(QPoint(f.MainView().OffsetX, f.MainView().OffsetY), QPoint(0, 0));
    QCOMPARE(f.ViewImage(), f.ViewRedrawn());
    // So does the history, when a redo (or an undo) makes the map smaller again.
    f.Action("undoAction").trigger();
    f.MainView().ScrollTo(qint64(300) * 48, qint64(300) * 48);
    QVERIFY(f.MainView().OffsetX > 0 && f.MainView().OffsetY > 0);
    f.Action("redoAction").trigger();
    QCOMPARE(QPoint(f.MainView().OffsetX, f.MainView().OffsetY), QPoint(0, 0));
    QCOMPARE(f.ViewImage(), f.ViewRedrawn());
}

KORVANE_GUI_TEST_MAIN(TestResizeMap)
#include "tst_resizemap.moc"
