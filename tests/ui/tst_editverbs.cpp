// The editing verbs through the window: the Edit menu, the clipboard, stamps under the
// pointer, Esc, and Replace Tile's dialog.

#include "ScriptedDialogs.h"
#include "formats/CellClipboard.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>

namespace {
// A 20 × 12 map of 0 on a pack of three tiles, at actual size, the Brush with tile 1.
void Scene(GuiFixture& f) {
    f.UseTiles(3);
    f.TheDocument().NewMap(20, 12, 48);
    f.TheDocument().ResetHistory();
    f.Window().RedrawMap();
    f.TileList().setCurrentRow(1);
}

QPoint CentreOf(QPoint cell) {
    return cell * 48 + QPoint(24, 24);
}

TileIndex At(GuiFixture& f, qint32 x, qint32 y) {
    return f.TheMap().Cells[x][std::size_t(y)];
}

QStringList Texts(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* a : actions)
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}
} // namespace

class TestEditVerbs : public QObject {
    Q_OBJECT
private slots:
    // Every verb is in its menu with its keys, and those that need a selection wait for one.
    void menusAndKeys() {
        GuiFixture f;
        QCOMPARE(Texts(f.Find<QMenu>("editMenu").actions()),
                 QStringList({"Undo", "Redo", "-", "Cut", "Copy", "Paste", "Delete", "-",
                              "Select All", "Select None", "-", "Replace Tile…"}));
        const QList<std::pair<const char*, QString>> keys{
            {"cutAction", "Ctrl+X"},         {"copyAction", "Ctrl+C"},
            {"pasteAction", "Ctrl+V"},       {"deleteAction", "Del"},
            {"selectAllAction", "Ctrl+A"},   {"selectNoneAction", "Ctrl+Shift+A"},
            {"replaceTileAction", "Ctrl+H"}, {"selectAction", "M"},
            {"magicWandAction", "W"},        {"randomModeAction", "D"},
            {"mirrorLeftRightAction", "X"},  {"mirrorTopBottomAction", "Y"},
            {"turnStampAction", "Z"},        {"cancelAction", "Esc"}};
        for (const auto& [name, key] : keys)
            QCOMPARE(f.Action(name).shortcut().toString(), key);
        for (const char* name : {"cutAction", "copyAction", "deleteAction"})
            QVERIFY(!f.Action(name).isEnabled());
        f.Action("selectAllAction").trigger();
        for (const char* name : {"cutAction", "copyAction", "deleteAction"})
            QVERIFY(f.Action(name).isEnabled());
    }

    // Copy puts both forms on the clipboard; Paste makes them the stamp shown under the
    // pointer, placed by each click; Esc puts it down and the Brush paints its tile again.
    void copyAndPaste() {
        GuiFixture f;
        Scene(f);
        f.TheDocument().MutableMap().Cells[2][1] = 2;
        f.Window().RedrawMap();
        f.TheDocument().Select(QRect(1, 1, 2, 2), CellSelection::Combine::Replace);
        f.Action("copyAction").trigger();
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data->hasFormat(CellClipboard::MimeType()));
        QCOMPARE(data->text(), "0\t2\n0\t0\n");
        QCOMPARE(f.Status().Text(), "Copied 2 × 2 cells.");
        QVERIFY(f.Presented() != f.ViewImage()); // the selection's outline shows

        f.Action("eraserAction").trigger();
        f.Action("pasteAction").trigger();
        QVERIFY(f.Action("brushAction").isChecked());
        QVERIFY(f.TheDocument().Selection().Empty());
        QTest::mouseMove(&f.MapArea(), CentreOf(QPoint(6, 6)));
        const QImage withPreview = f.Presented();
        QVERIFY(withPreview != f.ViewImage());
        f.Action("mirrorLeftRightAction").trigger();
        for (const QPoint at : {QPoint(6, 6), QPoint(9, 2)})
            QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, CentreOf(at));
        QCOMPARE(At(f, 6, 6), 2); // the stamp's right column, now its left
        QCOMPARE(At(f, 6, 7), 0);
        QCOMPARE(At(f, 7, 6), 0);
        QCOMPARE(At(f, 9, 2), 2);
        QCOMPARE(f.TheDocument().UndoHistory().UndoName(), "Stamp");
        QCOMPARE(f.TheDocument().UndoHistory().Count(), 2);

        f.Action("cancelAction").trigger();
        QTest::mouseMove(&f.MapArea(), CentreOf(QPoint(12, 8)));
        QCOMPARE(f.Presented(), f.ViewImage()); // no preview, no outline
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, CentreOf(QPoint(12, 8)));
        QCOMPARE(At(f, 12, 8), 1);
        QCOMPARE(At(f, 12, 9), 0);
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
    }

    // Text that is a block of numbers pastes; any other text is refused in the status bar,
    // and the map, the history and the Brush stay as they were.
    void pasteText() {
        GuiFixture f;
        Scene(f);
        QGuiApplication::clipboard()->setText("a house");
        f.Action("pasteAction").trigger();
        QCOMPARE(f.Status().Text(), "The clipboard holds no cells to paste: \"a house\" on line "
                                    "1 is not a tile number.");
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, CentreOf(QPoint(0, 0)));
        QCOMPARE(At(f, 0, 0), 1);
        QCOMPARE(At(f, 1, 0), 0);

        QGuiApplication::clipboard()->setText("2\t-1\t2\n");
        f.Action("pasteAction").trigger();
        QCOMPARE(f.Status().Text(), "Pasted 3 × 1 cells: click to place them, Esc to stop.");
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, CentreOf(QPoint(4, 4)));
        QCOMPARE(QList<TileIndex>({At(f, 4, 4), At(f, 5, 4), At(f, 6, 4)}),
                 QList<TileIndex>({2, 0, 2}));
    }

    // Cut copies and empties the selection, Delete empties it; each one step, named.
    void cutAndDelete() {
        GuiFixture f;
        Scene(f);
        f.TheDocument().Select(QRect(0, 0, 3, 1), CellSelection::Combine::Replace);
        f.Action("cutAction").trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), "0\t0\t0\n");
        QCOMPARE(At(f, 2, 0), -1);
        QCOMPARE(f.Action("undoAction").text(), "Undo Cut");
        f.TheDocument().Select(QRect(5, 5, 1, 1), CellSelection::Combine::Replace);
        f.Action("deleteAction").trigger();
        QCOMPARE(At(f, 5, 5), -1);
        QCOMPARE(f.Action("undoAction").text(), "Undo Delete");
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
    }

    // Replace Tile offers the tile the picker last took and the palette's, and says how many
    // cells changed; in the selection when there is one.
    void replaceTile() {
        GuiFixture f;
        Scene(f);
        f.TheDocument().MutableMap().Cells[3][3] = 2;
        f.Window().RedrawMap();
        f.Action("pickerAction").trigger();
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, CentreOf(QPoint(0, 0)));
        f.TileList().setCurrentRow(2);
        f.TheDocument().Select(QRect(0, 0, 2, 3), CellSelection::Combine::Replace);
        QStringList offered;
        f.Dialogs->OnModal = [&](QDialog& dialog) {
            offered << Child<QComboBox>(dialog, "fromCombo").currentText()
                    << Child<QComboBox>(dialog, "toCombo").currentText();
            if (Child<QCheckBox>(dialog, "selectionCheck").isChecked())
                offered << "in the selection";
            return int(QDialog::Accepted);
        };
        f.Action("replaceTileAction").trigger();
        QCOMPARE(offered, QStringList({"0: tile0", "2: tile2", "in the selection"}));
        QCOMPARE(f.Status().Text(), "Replace Tile: 6 cells changed.");
        QCOMPARE(At(f, 1, 2), 2);
        QCOMPARE(At(f, 2, 2), 0);
        f.Dialogs->OnModal = [](QDialog& dialog) {
            Child<QComboBox>(dialog, "fromCombo").setCurrentIndex(3); // tile 2
            Child<QComboBox>(dialog, "toCombo").setCurrentIndex(0);   // empty
            Child<QCheckBox>(dialog, "selectionCheck").setChecked(false);
            return int(QDialog::Accepted);
        };
        f.Action("replaceTileAction").trigger();
        QCOMPARE(f.Status().Text(), "Replace Tile: 7 cells changed.");
        QCOMPARE(At(f, 3, 3), -1);
        QCOMPARE(f.ViewImage(), f.ViewRedrawn());
    }

    // Zoomed out so far that a view pixel stands for several cells, the view drawn after each
    // verb equals one drawn from scratch: what the view keeps of the map follows them all.
    void zoomedOutViewFollows() {
        GuiFixture f;
        f.UseTiles(3);
        f.TheDocument().NewMap(2000, 1200, 48);
        f.MainView().Zoom = -7;
        f.Window().RedrawMap();
        f.TileList().setCurrentRow(2);
        const auto check = [&](const char* after) {
            if (f.ViewImage() != f.ViewRedrawn())
                QFAIL(qPrintable(QStringLiteral("the view is stale after ") + after));
        };
        f.TheDocument().Select(QRect(100, 100, 400, 300), CellSelection::Combine::Replace);
        f.Action("cutAction").trigger();
        check("Cut");
        f.Action("pasteAction").trigger();
        // Into the hole the cut left, one cell right and down: cell (101, 101).
        QTest::mouseClick(&f.MapArea(), Qt::LeftButton, {}, QPoint(38, 38));
        check("a stamp");
        f.Action("cancelAction").trigger();
        QTest::mousePress(&f.MapArea(), Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(&f.MapArea(), QPoint(300, 200));
        f.Action("cancelAction").trigger();
        QTest::mouseRelease(&f.MapArea(), Qt::LeftButton, {}, QPoint(300, 200));
        check("a stroke taken back");
        QCOMPARE(f.TheDocument().UndoHistory().UndoName(), "Stamp");
        // The hole's top row and left column stay empty.
        QCOMPARE(f.TheDocument().ReplaceTile(0, 1, false), 2000 * 1200 - 400 - 299);
        check("Replace Tile");
        f.Action("undoAction").trigger();
        f.Action("undoAction").trigger();
        check("undo");
    }
};

KORVANE_GUI_TEST_MAIN(TestEditVerbs)
#include "tst_editverbs.moc"
