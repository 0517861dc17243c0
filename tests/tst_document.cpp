// The document and its history: every edit undone and redone byte for byte, one step per
// stroke, what counts as saved for the map and for the pack, and the memory the history keeps.

#include "TestSupport.h"
#include "model/Document.h"
#include "platform/TBitmap.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestSupport;

namespace {
// A document over a map and pack of its own, in a directory with tile images and two packs.
struct TWork {
    QTemporaryDir Dir;
    tMap Map{48, nullptr};
    tTilePack Pack;
    TDocument Doc{Map, Pack};

    TWork() {
        const QRgb colours[] = {qRgb(200, 0, 0), qRgb(0, 150, 0), qRgb(0, 0, 210)};
        for (int i = 0; i < 3; ++i)
            WriteFile(Image(i), SolidBmp(8 + 8 * i, 8, colours[i]));
        Map.New(14, 14, 48);
    }
    QString Path(const QString& name) const { return Dir.filePath(name); }
    QString Image(int i) const { return Path(QStringLiteral("tile%1.bmp").arg(i)); }
    // What the files would hold, and the view and file names the history also restores.
    QByteArray State() const {
        return Map.SaveToBytes() + Pack.SaveToBytes(true, QString()) +
               Int32s({Map.TileSize, Map.OffsetX, Map.OffsetY}) +
               (Doc.MapFile() + '|' + Doc.PackFile()).toUtf8();
    }
    void Stroke(std::initializer_list<QPoint> cells, TileIndex tile) {
        for (const QPoint& cell : cells)
            Doc.Paint(cell, tile);
        Doc.EndStroke();
    }
    QString Unsaved() const {
        const TParts parts = Doc.Unsaved();
        QStringList names;
        if (parts.testFlag(TPart::Map))
            names << "map";
        if (parts.testFlag(TPart::Pack))
            names << "pack";
        return names.join(' ');
    }
};
} // namespace

class tst_document : public QObject {
    Q_OBJECT

private slots:
    void undoAllAndRedoAllGiveTheFilesBack_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 12; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    // Random strokes, added and deleted tiles, new maps, loaded packs, with undo and redo
    // among them: undoing everything gives the files opened at the start byte for byte, and
    // redoing everything the end.
    void undoAllAndRedoAllGiveTheFilesBack() {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        TWork w;
        for (int i = 0; i < 3; ++i)
            w.Doc.AddTile(w.Image(i));
        w.Pack.SaveToFile(w.Path("start.pac"), true, QString());
        w.Doc.AddTile(w.Image(1));
        w.Pack.SaveToFile(w.Path("other.pac"), true, QString());
        tMap map(48, nullptr);
        map.New(9, 7, 48);
        for (qint32 x = 0; x < 9; ++x)
            for (qint32 y = 0; y < 7; ++y)
                map.Cells[x][y] = qint32(random.bounded(5)) - 1;
        map.PackName = "start.pac";
        map.SaveToFile(w.Path("start.map"));
        tTilePack pack;
        pack.LoadFromFile(w.Path("start.pac"));
        w.Doc.Open(map, pack, w.Path("start.map"), w.Path("start.pac"));
        const QByteArray start = w.State();
        QCOMPARE(w.Map.SaveToBytes(), ReadFile(w.Path("start.map")));
        QCOMPARE(w.Pack.SaveToBytes(true, QString()), ReadFile(w.Path("start.pac")));

        // A cell of the map or one just beside it.
        auto cell = [&] {
            return QPoint(qint32(random.bounded(-1, w.Map.Width + 1)),
                          qint32(random.bounded(-1, w.Map.Height + 1)));
        };
        bool loaded = false;
        for (int op = 0; op < 80; ++op) {
            const QByteArray before = w.State();
            const qsizetype steps = w.Doc.History().Count();
            switch (random.bounded(8)) {
            case 0:
            case 1: {
                const TileIndex tile = qint32(random.bounded(w.Pack.Count() + 2)) - 1;
                bool changed = false;
                for (int n = int(random.bounded(1, 30)); n > 0; --n)
                    changed |= w.Doc.Paint(cell(), tile);
                w.Doc.EndStroke();
                QCOMPARE(w.Doc.History().UndoName(),
                         changed ? "Paint" : w.Doc.History().UndoName());
                QCOMPARE(w.State() != before, changed);
                break;
            }
            case 2:
                w.Doc.AddTile(w.Image(int(random.bounded(3))));
                break;
            case 3: {
                const qint32 index = qint32(random.bounded(w.Pack.Count() + 2)) - 1;
                if (index < 0 || index >= w.Pack.Count()) {
                    QVERIFY(MessageOf<EListError>([&] { w.Doc.DeleteTile(index); }) !=
                            "<nothing thrown>");
                    QCOMPARE(w.State(), before);
                    QCOMPARE(w.Doc.History().Count(), steps);
                } else {
                    w.Doc.DeleteTile(index);
                }
                break;
            }
            case 4:
                w.Doc.NewMap(qint32(random.bounded(13)), qint32(random.bounded(13)),
                             QList<qint32>{8, 16, 48}[random.bounded(3)]);
                break;
            case 5:
                w.Doc.LoadPack(w.Path(random.bounded(2) ? "start.pac" : "other.pac"),
                               random.bounded(2) ? "start.pac" : "other.pac");
                loaded = true;
                break;
            case 6:
                w.Doc.Undo();
                break;
            case 7:
                w.Doc.Redo();
                break;
            }
        }
        while (w.Doc.History().CanRedo())
            w.Doc.Redo();
        const QByteArray end = w.State();
        const TParts unsavedAtEnd = w.Doc.Unsaved();
        while (w.Doc.History().CanUndo())
            w.Doc.Undo();
        QCOMPARE(w.State(), start);
        // The last Load TilePack set where the pack counts as saved; before it the pack is
        // taken for unsaved even when it is the start's.
        QVERIFY(!w.Doc.Unsaved().testFlag(TPart::Map));
        if (!loaded)
            QCOMPARE(w.Unsaved(), "");
        while (w.Doc.History().CanRedo())
            w.Doc.Redo();
        QCOMPARE(w.State(), end);
        QCOMPARE(w.Doc.Unsaved(), unsavedAtEnd);
    }

    // Each stroke is one step however many cells it paints; one that changes nothing is none.
    // A cell painted twice in a stroke with different tiles comes back as it was.
    void oneStepPerStroke() {
        TWork w;
        QSignalSpy changed(&w.Doc, &TDocument::Changed);
        w.Doc.Paint({0, 0}, 0); // already 0
        QVERIFY(!w.Doc.StrokeOpen());
        w.Doc.EndStroke();
        QCOMPARE(w.Doc.History().Count(), 0);
        QCOMPARE(changed.count(), 0);
        const QByteArray before = w.State();
        w.Stroke({{0, 0}, {1, 0}, {2, 0}, {12, 12}, {-1, 0}, {14, 0}, {0, 14}}, 2);
        QCOMPARE(w.Doc.History().Count(), 1);
        QCOMPARE(w.Doc.History().UndoName(), "Paint");
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.takeFirst().at(0).value<TParts>(), TParts(TPart::Map));
        w.Doc.Paint({0, 0}, 1);
        w.Doc.Paint({0, 0}, 3);
        w.Doc.Paint({1, 0}, 3);
        // Undo closes the open stroke first, then takes it back whole.
        w.Doc.Undo();
        QCOMPARE(w.Doc.History().Count(), 2);
        QCOMPARE(w.Map.Cells[0][0], 2);
        QCOMPARE(w.Map.Cells[1][0], 2);
        w.Doc.Undo();
        QCOMPARE(w.State(), before);
        QCOMPARE(w.Doc.History().RedoName(), "Paint");
        w.Doc.Redo();
        w.Doc.Redo();
        QCOMPARE(w.Map.Cells[0][0], 3);
        QCOMPARE(w.Map.Cells[12][12], 2);
        QCOMPARE(w.Map.Cells[13][0], 0);
    }

    // The oldest steps go once the steps together hold more than the limit (400 strokes of a
    // copy of the map each would keep 20); the newest ones still undo exactly, and a step
    // larger than the limit is not kept at all.
    void historyStaysWithinItsLimit() {
        TWork w;
        w.Doc.SetHistoryLimit(16 * 1024);
        QList<QByteArray> states{w.State()};
        for (int i = 0; i < 400; ++i) {
            w.Stroke({{i % 14, (i / 14) % 14}, {(i + 3) % 14, 0}}, i + 1);
            states << w.State();
            QVERIFY(w.Doc.History().Bytes() <= 16 * 1024);
        }
        const qsizetype kept = w.Doc.History().Count();
        QVERIFY2(kept > 50 && kept < 400, qPrintable(QString::number(kept)));
        for (qsizetype i = 0; i < kept; ++i)
            w.Doc.Undo();
        QVERIFY(!w.Doc.History().CanUndo());
        QCOMPARE(w.State(), states[400 - kept]);
        QCOMPARE(w.Unsaved(), "map");
        // New Map of 64 × 64 cells keeps the old 14 × 14 content: within the limit...
        w.Doc.NewMap(64, 64, 48);
        QCOMPARE(w.Doc.History().UndoName(), "New Map");
        // ... but not a larger one, which also pushes out all before it.
        w.Doc.NewMap(10, 10, 48);
        QVERIFY(!w.Doc.History().CanUndo());
        QCOMPARE(w.Doc.History().Bytes(), 0);
        QCOMPARE(w.Map.Width, 10);
    }

    // The map and the pack each know whether they hold what their file holds, wherever undo
    // and redo lead, whichever steps are dropped, and after saves that change the other part.
    void savedStatePerFile() {
        TWork w;
        QCOMPARE(w.Unsaved(), "");
        w.Stroke({{0, 0}}, 1);
        QCOMPARE(w.Unsaved(), "map");
        w.Doc.Undo();
        QCOMPARE(w.Unsaved(), "");
        w.Doc.AddTile(w.Image(0));
        QCOMPARE(w.Unsaved(), "pack");
        // Saving the pack changes the name the map records: the map's file is behind now.
        w.Doc.SavePack(w.Path("p.pac"), "p.pac");
        QCOMPARE(w.Unsaved(), "map");
        QCOMPARE(w.Map.PackName, QByteArray("p.pac"));
        w.Doc.SaveMap(w.Path("m.map"));
        QCOMPARE(w.Unsaved(), "");
        QCOMPARE(w.Map.Text1, QByteArray("testing!!!"));
        QCOMPARE(ReadFile(w.Path("m.map")), w.Map.SaveToBytes());
        QCOMPARE(ReadFile(w.Path("p.pac")), w.Pack.SaveToBytes(true, {}));
        QCOMPARE(w.Doc.MapFile() + w.Doc.PackFile(), w.Path("m.map") + w.Path("p.pac"));
        // A stroke touches only the map: undoing it and the tile before it leaves the map as
        // saved.
        w.Stroke({{0, 0}}, 2);
        w.Doc.Undo();
        w.Doc.Undo();
        QCOMPARE(w.Unsaved(), "pack");
        w.Doc.Redo();
        QCOMPARE(w.Unsaved(), "");
        // A new step where redo was takes with it a saved state past it, unless none of the
        // steps that go touched that part.
        w.Doc.Redo();
        w.Stroke({{2, 0}}, 3);
        w.Doc.SaveMap(w.Path("m.map"));
        w.Doc.SavePack(w.Path("p.pac"), "p.pac");
        w.Doc.Undo();
        QCOMPARE(w.Unsaved(), "map");
        w.Stroke({{3, 0}}, 3);
        QCOMPARE(w.Unsaved(), "map");
        w.Doc.Undo();
        QCOMPARE(w.Unsaved(), "map");
        // Load TilePack counts the pack as saved, and the map as changed if its name changes.
        w.Doc.SaveMap(w.Path("m.map"));
        w.Doc.LoadPack(w.Path("p.pac"), "p.pac");
        QCOMPARE(w.Unsaved(), "");
        w.Doc.LoadPack(w.Path("p.pac"), "other.pac");
        QCOMPARE(w.Unsaved(), "map");
        QCOMPARE(w.Doc.History().UndoName(), "Load TilePack");
        // Back at the first load the pack counts as unsaved: one saved state per file, and
        // the last load set it.
        w.Doc.Undo();
        QCOMPARE(w.Unsaved(), "pack");
        w.Doc.Redo();
        w.Doc.SaveMap(w.Path("m.map"));
        w.Doc.Undo();
        // Dropping old steps keeps a saved state that is still reachable...
        w.Doc.SetHistoryLimit(1);
        QCOMPARE(w.Doc.History().Count(), 1); // the step to redo stays
        QCOMPARE(w.Unsaved(), "map pack");
        w.Doc.Redo();
        QCOMPARE(w.Unsaved(), "");
        // ... and loses one that is not.
        w.Stroke({{0, 0}}, 1);
        QCOMPARE(w.Doc.History().Count(), 0);
        QCOMPARE(w.Unsaved(), "map");
        // A save that fails leaves the map unsaved when it changed its first text.
        w.Map.New(2, 2, 48); // behind the document's back, as a fixture does
        w.Doc.ResetHistory();
        QVERIFY(MessageOf<EFCreateError>([&] { w.Doc.SaveMap(w.Dir.path()); }) !=
                "<nothing thrown>");
        QCOMPARE(w.Unsaved(), "map");
        QCOMPARE(w.Map.Text1, QByteArray("testing!!!"));
        w.Doc.SaveMap(w.Path("m.map"));
        QVERIFY(MessageOf<EFCreateError>([&] { w.Doc.SaveMap(w.Dir.path()); }) !=
                "<nothing thrown>");
        QCOMPARE(w.Unsaved(), "");
        w.Doc.ResetHistory(TPart::Pack);
        QCOMPARE(w.Unsaved(), "pack");
    }
};

QTEST_GUILESS_MAIN(tst_document)
#include "tst_document.moc"
