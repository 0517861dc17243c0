// The document and its history: every edit undone and redone byte for byte, one step per
// stroke, what counts as saved for the map and for the pack, and the memory the history keeps.

#include "TestSupport.h"
#include "document/Document.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "platform/Bitmap.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <climits>
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <new>

using namespace TestSupport;

namespace {
// Allocations left before operator new fails; negative for never.
int AllocationsLeft = -1;
} // namespace

void* operator new(std::size_t size) {
    if (AllocationsLeft >= 0 && AllocationsLeft-- == 0)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
// Arrays too: a sanitizer's own operator new[] would not come here.
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {
// A document over a map and pack of its own, in a directory with tile images and two packs.
struct Work {
    QTemporaryDir Dir;
    Document Doc;
    TileMap& Map = Doc.MutableMap();
    TilePack& Pack = Doc.MutablePack();

    Work() {
        const QRgb colours[] = {qRgb(200, 0, 0), qRgb(0, 150, 0), qRgb(0, 0, 210)};
        for (int i = 0; i < 3; ++i)
            WriteFile(Image(i), SolidBmp(8 + 8 * i, 8, colours[i]));
        Map.New(14, 14, 48);
    }
    QString Path(const QString& name) const { return Dir.filePath(name); }
    QString Image(int i) const { return Path(QStringLiteral("tile%1.bmp").arg(i)); }
    // What the files would hold, and the tile size and file names the history also restores.
    QByteArray State() const {
        return MapFile::Bytes(Map) + PackFile::Bytes(Pack) + Int32s({Map.TileSize}) +
               (Doc.MapPath() + '|' + Doc.PackPath()).toUtf8();
    }
    void Stroke(std::initializer_list<QPoint> cells, TileIndex tile) {
        for (const QPoint& cell : cells)
            Doc.Paint(cell, tile);
        Doc.EndStroke();
    }
    // What each cell shows: its tile, or for a cell that names none of the pack, its value.
    std::vector<std::pair<const Tile*, TileIndex>> CellTiles() const {
        std::vector<std::pair<const Tile*, TileIndex>> tiles;
        for (qint32 x = 0; x < Map.Width; ++x)
            for (const TileIndex cell : Map.Cells[x])
                tiles.emplace_back(cell >= 0 && cell < Pack.Count() ? &Pack.At(cell) : nullptr,
                                   cell >= 0 && cell < Pack.Count() ? 0 : cell);
        return tiles;
    }
    QString Unsaved() const {
        const DocumentParts parts = Doc.Unsaved();
        QStringList names;
        if (parts.testFlag(DocumentPart::Map))
            names << "map";
        if (parts.testFlag(DocumentPart::Pack))
            names << "pack";
        return names.join(' ');
    }
};
} // namespace

class tst_document : public QObject {
    Q_OBJECT

private slots:
    void undoAndRedoGiveEveryStateBack_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 12; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    // Random strokes, added, deleted, moved and edited tiles, new and resized maps, loaded packs,
    // with undo and redo among them: every undo and redo gives back the files and view of the state
    // it leads to, byte for byte, all the way to the files opened at the start and back to the end.
    // Deleting and moving tiles leave every other cell showing the tile it showed.
    void undoAndRedoGiveEveryStateBack() {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        Work w;
        for (int i = 0; i < 3; ++i)
            w.Doc.AddTile(w.Image(i));
        PackFile::Write(w.Pack, w.Path("start.pac"));
        w.Doc.AddTile(w.Image(1));
        PackFile::Write(w.Pack, w.Path("other.pac"));
        TileMap map(48);
        map.New(9, 7, 48);
        for (qint32 x = 0; x < 9; ++x)
            for (qint32 y = 0; y < 7; ++y)
                map.Cells[x][y] = qint32(random.bounded(5)) - 1;
        map.PackName = "start.pac";
        MapFile::Write(map, w.Path("start.map"));
        TilePack pack;
        PackFile::Read(pack, w.Path("start.pac"));
        w.Doc.Open(map, pack, w.Path("start.map"), w.Path("start.pac"));
        QCOMPARE(MapFile::Bytes(w.Map), ReadFile(w.Path("start.map")));
        QCOMPARE(PackFile::Bytes(w.Pack), ReadFile(w.Path("start.pac")));

        // A cell of the map or one just beside it; a tile of the pack, one past it, or -1.
        auto cell = [&] {
            return QPoint(qint32(random.bounded(-1, w.Map.Width + 1)),
                          qint32(random.bounded(-1, w.Map.Height + 1)));
        };
        auto tile = [&] { return qint32(random.bounded(w.Pack.Count() + 2)) - 1; };
        QList<QByteArray> states{w.State()}; // states[i]: after the first i steps
        qsizetype at = 0;
        int cellsChangedTwice = 0;
        bool loaded = false;
        for (int op = 0; op < 120; ++op) {
            const QByteArray before = w.State();
            const qsizetype steps = w.Doc.UndoHistory().Count();
            const bool couldRedo = w.Doc.UndoHistory().CanRedo();
            bool makesStep = false;
            QString name;
            switch (random.bounded(15)) {
            case 0:
            case 1: {
                // Few cells painted over and over with different tiles: undo gives each its
                // first tile only when it replays the stroke backwards, redo its last only
                // forwards.
                const QPoint cells[] = {cell(), cell(), cell()};
                QHash<QPoint, int> changes;
                for (int n = int(random.bounded(1, 30)); n > 0; --n) {
                    const QPoint c = cells[random.bounded(3)];
                    if (w.Doc.Paint(c, tile()) && ++changes[c] == 2)
                        ++cellsChangedTwice;
                }
                w.Doc.EndStroke();
                makesStep = !changes.isEmpty();
                name = "Paint";
                break;
            }
            case 2:
                w.Doc.AddTile(w.Image(int(random.bounded(3))));
                makesStep = true;
                name = "Add Tile";
                break;
            case 3: {
                const qint32 index = tile();
                makesStep = index >= 0 && index < w.Pack.Count();
                name = "Delete Tile";
                if (!makesStep) {
                    QVERIFY(MessageOf<EListError>([&] { w.Doc.DeleteTile(index); }) !=
                            "<nothing thrown>");
                    break;
                }
                auto expected = w.CellTiles();
                for (auto& [shown, value] : expected)
                    if (shown == &w.Pack.At(index))
                        shown = nullptr, value = -1;
                w.Doc.DeleteTile(index);
                QVERIFY(w.CellTiles() == expected);
                break;
            }
            case 11: {
                const qint32 from = tile(), to = tile();
                const qint32 count = w.Pack.Count();
                makesStep = from >= 0 && from < count && to >= 0 && to < count && from != to;
                name = "Move Tile";
                if (from < 0 || from >= count || to < 0 || to >= count) {
                    QVERIFY(MessageOf<EListError>([&] { w.Doc.MoveTile(from, to); }) !=
                            "<nothing thrown>");
                    break;
                }
                const auto expected = w.CellTiles();
                w.Doc.MoveTile(from, to);
                QVERIFY(w.CellTiles() == expected);
                break;
            }
            case 12: {
                const qint32 index = qint32(random.bounded(qMax(w.Pack.Count(), 1)));
                makesStep = index < w.Pack.Count() && random.bounded(4) > 0;
                name = "Tile Properties";
                if (!makesStep)
                    break;
                TileProperties properties = w.Pack.At(index).Properties();
                properties.Name += char('a' + random.bounded(26));
                properties.Param3[random.bounded(4)] = qint32(random.generate());
                w.Doc.SetTileProperties(index, properties);
                break;
            }
            case 13:
                makesStep = w.Pack.Count() > 0;
                name = "Replace Image";
                if (makesStep)
                    w.Doc.ReplaceTileImage(qint32(random.bounded(w.Pack.Count())),
                                           w.Image(int(random.bounded(3))));
                break;
            case 4:
                w.Doc.NewMap(qint32(random.bounded(13)), qint32(random.bounded(13)),
                             QList<qint32>{8, 16, 48}[random.bounded(3)]);
                makesStep = true;
                name = "New Map";
                break;
            case 14: {
                const qint32 width = qint32(random.bounded(13)),
                             height = qint32(random.bounded(13));
                const QPoint offset(qint32(random.bounded(-4, 5)), qint32(random.bounded(-4, 5)));
                makesStep = width != w.Map.Width || height != w.Map.Height || !offset.isNull();
                w.Doc.ResizeMap(width, height, offset);
                name = "Resize Map";
                break;
            }
            case 5:
                w.Doc.LoadPack(w.Path(random.bounded(2) ? "start.pac" : "other.pac"),
                               random.bounded(2) ? "start.pac" : "other.pac");
                makesStep = loaded = true;
                name = "Load TilePack";
                break;
            case 6:
                at -= w.Doc.UndoHistory().CanUndo();
                w.Doc.Undo();
                QCOMPARE(w.State(), states[at]);
                continue;
            case 7:
                at += w.Doc.UndoHistory().CanRedo();
                w.Doc.Redo();
                QCOMPARE(w.State(), states[at]);
                continue;
            case 8: {
                bool changed = false;
                for (int n = int(random.bounded(1, 10)); n > 0; --n)
                    changed |= w.Doc.Erase(cell());
                w.Doc.EndStroke();
                makesStep = changed;
                name = "Erase";
                break;
            }
            case 9:
                // A fill or rectangle is a step exactly when it reports changed cells.
                makesStep = !w.Doc.FillRegion(cell(), tile()).isEmpty();
                name = "Fill";
                break;
            case 10: {
                const QPoint a = cell(), b = cell();
                makesStep = !w.Doc.FillRectangle(QRect(a, b).normalized(), tile()).isEmpty();
                name = "Rectangle";
                break;
            }
            }
            // A new step takes the place of the steps that could be redone.
            const bool added = w.Doc.UndoHistory().Count() != steps ||
                               (couldRedo && !w.Doc.UndoHistory().CanRedo());
            QCOMPARE(added, makesStep);
            if (!added) {
                QCOMPARE(w.State(), before);
                continue;
            }
            QCOMPARE(w.Doc.UndoHistory().UndoName(), name);
            states.resize(++at);
            states << w.State();
            QCOMPARE(w.Doc.UndoHistory().Count(), at);
        }
        QVERIFY(cellsChangedTwice > 0);
        while (w.Doc.UndoHistory().CanRedo()) {
            w.Doc.Redo();
            QCOMPARE(w.State(), states[++at]);
        }
        const DocumentParts unsavedAtEnd = w.Doc.Unsaved();
        while (w.Doc.UndoHistory().CanUndo()) {
            w.Doc.Undo();
            QCOMPARE(w.State(), states[--at]);
        }
        QCOMPARE(at, 0);
        // The last Load TilePack set where the pack counts as saved; before it the pack is
        // taken for unsaved even when it is the start's.
        QVERIFY(!w.Doc.Unsaved().testFlag(DocumentPart::Map));
        if (!loaded)
            QCOMPARE(w.Unsaved(), "");
        while (w.Doc.UndoHistory().CanRedo())
            w.Doc.Redo();
        QCOMPARE(w.State(), states.constLast());
        QCOMPARE(w.Doc.Unsaved(), unsavedAtEnd);
    }

    void editsSayWhatChanged_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QPoint>("cell");
        QTest::addColumn<bool>("changes");
        for (const char* edit : {"Paint", "Erase", "Fill", "Rectangle"}) {
            QTest::addRow("%s", edit) << QString(edit) << QPoint(3, 4) << true;
            QTest::addRow("%s beyond the map", edit) << QString(edit) << QPoint(14, 4) << false;
            // Cells are stored column by column: one unchecked row would be the next column's.
            QTest::addRow("%s below the map", edit) << QString(edit) << QPoint(4, 14) << false;
        }
        QTest::newRow("Paint over its own tile") << "Paint" << QPoint(0, 0) << false;
        QTest::newRow("Erase of an empty cell") << "Erase" << QPoint(13, 13) << false;
        QTest::newRow("Fill with the region's tile") << "Fill" << QPoint(0, 0) << false;
        QTest::newRow("Rectangle over its own tile") << "Rectangle" << QPoint(0, 0) << false;
    }
    // Each edit of the map says the map changed, moves the map's revision on and counts as
    // unsaved; one that changes nothing does none of this. (That each is one step named after
    // it exactly when it changes cells, the random test checks.)
    void editsSayWhatChanged() {
        QFETCH(QString, edit);
        QFETCH(QPoint, cell);
        QFETCH(bool, changes);
        Work w;
        w.Map.Cells[13][13] = -1;
        for (const QPoint& c : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)})
            w.Map.Cells[c.x()][c.y()] = 2;
        const QByteArray before = w.State();
        const quint64 revision = w.Doc.Revision(DocumentPart::Map);
        QSignalSpy changed(&w.Doc, &Document::Changed);
        QRect box(cell, QSize(1, 1)); // the cells it changes
        if (edit == "Paint")
            w.Stroke({cell}, 2);
        if (edit == "Erase") {
            w.Doc.Erase(cell);
            w.Doc.EndStroke();
        }
        if (edit == "Fill")
            box = w.Doc.FillRegion(cell, 2);
        if (edit == "Rectangle")
            box = w.Doc.FillRectangle(QRect(cell, QSize(2, 2)), 2);
        if (edit == "Fill" || edit == "Rectangle")
            QCOMPARE(box.isEmpty(), !changes);
        QCOMPARE(w.State() != before, changes);
        QCOMPARE(changed.count(), changes ? 1 : 0);
        if (changes)
            QCOMPARE(changed[0][0].value<DocumentParts>(), DocumentParts(DocumentPart::Map));
        QCOMPARE(w.Doc.Revision(DocumentPart::Map) > revision, changes);
        QCOMPARE(w.Unsaved(), changes ? "map" : "");
        if (!changes)
            return;
        // The change names its cells, and so do its undo and redo, for views to draw only those.
        w.Doc.Undo();
        w.Doc.Redo();
        QCOMPARE(changed.count(), 3);
        for (const QList<QVariant>& signal : changed)
            QCOMPARE(signal[1].toRect(), box);
    }

    // A stroke says it changed once, at its end, however many cells it paints. Paint and Erase
    // keep strokes of their own: one of the other kind open ends first, and a fill or rectangle
    // ends either; Undo closes an open stroke first and takes it back whole.
    void strokesOfEachKind() {
        Work w;
        QSignalSpy changed(&w.Doc, &Document::Changed);
        w.Stroke({{0, 0}, {1, 0}, {2, 0}, {12, 12}, {-1, 0}}, 2);
        QCOMPARE(changed.count(), 1);
        w.Doc.Paint({0, 0}, 1);
        w.Doc.Paint({1, 0}, 1);
        w.Doc.Erase({0, 0});
        w.Doc.Erase({2, 0});
        w.Doc.Paint({3, 0}, 2);
        w.Doc.FillRectangle(QRect(5, 5, 1, 1), 2);
        w.Doc.Erase({4, 0});
        w.Doc.FillRegion({6, 6}, 1);
        QVERIFY(!w.Doc.StrokeOpen());
        const QByteArray filled = w.State();
        w.Doc.Paint({0, 0}, 3);
        w.Doc.Paint({1, 0}, 3);
        QVERIFY(w.Doc.StrokeOpen());
        w.Doc.Undo();
        QCOMPARE(w.State(), filled);
        QStringList names;
        while (w.Doc.UndoHistory().CanUndo()) {
            names.prepend(w.Doc.UndoHistory().UndoName());
            w.Doc.Undo();
        }
        QCOMPARE(names,
                 QStringList({"Paint", "Paint", "Erase", "Paint", "Rectangle", "Erase", "Fill"}));
    }

    void rectangleIsClippedToTheMap_data() {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QRect>("changed");
        QTest::newRow("inside") << QRect(2, 3, 4, 5) << QRect(2, 3, 4, 5);
        QTest::newRow("one cell") << QRect(13, 0, 1, 1) << QRect(13, 0, 1, 1);
        QTest::newRow("negative size, as normalized") << QRect(6, 7, -3, -2) << QRect(3, 5, 3, 2);
        QTest::newRow("over the left and top edges") << QRect(-3, -1, 5, 3) << QRect(0, 0, 2, 2);
        QTest::newRow("over the right and bottom edges")
            << QRect(12, 10, 9, 9) << QRect(12, 10, 2, 4);
        QTest::newRow("around the map") << QRect(-5, -5, 30, 30) << QRect(0, 0, 14, 14);
        QTest::newRow("left of the map") << QRect(-4, 2, 4, 4) << QRect();
        QTest::newRow("below the map") << QRect(2, 14, 3, 3) << QRect();
        QTest::newRow("empty") << QRect() << QRect();
    }
    // The cells a rectangle changes are those of the normalized rect within the map; it
    // returns their box.
    void rectangleIsClippedToTheMap() {
        QFETCH(QRect, rect);
        QFETCH(QRect, changed);
        Work w;
        QCOMPARE(w.Doc.FillRectangle(rect, 2), changed);
        for (qint32 x = 0; x < 14; ++x)
            for (qint32 y = 0; y < 14; ++y)
                QCOMPARE(w.Map.Cells[x][y], changed.contains(x, y) ? 2 : 0);
    }

    void anchorOffsets_data() {
        QTest::addColumn<QSize>("from");
        QTest::addColumn<QSize>("to");
        QTest::addColumn<QList<QPoint>>("offsets"); // top-left, top, ... bottom-right
        QTest::newRow("grown by odd amounts")
            << QSize(5, 4) << QSize(8, 9) << QList<QPoint>{{0, 0}, {1, 0}, {3, 0}, {0, 2}, {1, 2},
                                                           {3, 2}, {0, 5}, {1, 5}, {3, 5}};
        // Half of -3 rounds to -2: the old map's place goes toward the top and left.
        QTest::newRow("shrunk by odd amounts")
            << QSize(5, 4) << QSize(2, 1)
            << QList<QPoint>{{0, 0},   {-2, 0}, {-3, 0},  {0, -2}, {-2, -2},
                             {-3, -2}, {0, -3}, {-2, -3}, {-3, -3}};
        QTest::newRow("wider and lower, by even amounts")
            << QSize(4, 6) << QSize(8, 2)
            << QList<QPoint>{{0, 0},  {2, 0},  {4, 0},  {0, -2}, {2, -2},
                             {4, -2}, {0, -4}, {2, -4}, {4, -4}};
        // Half of an odd difference still rounds down at the 32-bit limits.
        QTest::newRow("the largest differences")
            << QSize(0, INT_MAX) << QSize(INT_MAX, 0)
            << QList<QPoint>{{0, 0},           {1073741823, 0},           {INT_MAX, 0},
                             {0, -1073741824}, {1073741823, -1073741824}, {INT_MAX, -1073741824},
                             {0, -INT_MAX},    {1073741823, -INT_MAX},    {INT_MAX, -INT_MAX}};
    }
    void anchorOffsets() {
        QFETCH(QSize, from);
        QFETCH(QSize, to);
        QFETCH(QList<QPoint>, offsets);
        for (int anchor = 0; anchor < 9; ++anchor)
            QCOMPARE(Document::AnchorOffset(from, to, MapAnchor(anchor)), offsets[anchor]);
    }

    void resizeMovesCells_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("offset");
        QTest::newRow("same size, moved right and up") << QSize(5, 4) << QPoint(2, -1);
        QTest::newRow("grown, moved right and down") << QSize(9, 7) << QPoint(3, 2);
        QTest::newRow("shrunk, moved left and up") << QSize(3, 2) << QPoint(-2, -1);
        QTest::newRow("wider and lower") << QSize(8, 2) << QPoint(1, -2);
        QTest::newRow("narrower and higher") << QSize(2, 9) << QPoint(-3, 4);
        QTest::newRow("size only") << QSize(7, 3) << QPoint(0, 0);
        QTest::newRow("moved past the right") << QSize(5, 4) << QPoint(5, 0);
        QTest::newRow("moved past the top") << QSize(5, 4) << QPoint(0, -4);
        QTest::newRow("the farthest offsets") << QSize(6, 6) << QPoint(INT_MIN, INT_MAX);
        QTest::newRow("to no cells") << QSize(0, 3) << QPoint(1, 1);
    }
    // Each old cell goes where the offset puts it inside the new size, and every other cell is
    // -1; the texts stay. One step, "Resize Map", says the whole map changed; its undo gives
    // the old map back byte for byte and holds no more than the old grid.
    void resizeMovesCells() {
        QFETCH(QSize, size);
        QFETCH(QPoint, offset);
        Work w;
        w.Map.New(5, 4, 48);
        w.Map.Text2 = "kept";
        for (qint32 x = 0; x < 5; ++x)
            for (qint32 y = 0; y < 4; ++y)
                w.Map.Cells[x][y] = 10 * x + y;
        const QByteArray before = w.State();
        QSignalSpy changed(&w.Doc, &Document::Changed);
        w.Doc.ResizeMap(size.width(), size.height(), offset);
        QCOMPARE(QSize(w.Map.Width, w.Map.Height), size);
        QCOMPARE(QSize(w.Map.Cells.size(), w.Map.Cells.Rows()), size);
        for (qint32 x = 0; x < size.width(); ++x)
            for (qint32 y = 0; y < size.height(); ++y) {
                const qint64 oldX = qint64(x) - offset.x(), oldY = qint64(y) - offset.y();
                const bool kept = oldX >= 0 && oldX < 5 && oldY >= 0 && oldY < 4;
                QCOMPARE(w.Map.Cells[x][y], kept ? TileIndex(10 * oldX + oldY) : -1);
            }
        QCOMPARE(w.Map.Text2, QByteArray("kept"));
        QCOMPARE(w.Doc.UndoHistory().UndoName(), "Resize Map");
        QVERIFY(w.Doc.UndoHistory().Bytes() <= HeapBytes(20 * 4) + 128);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].value<DocumentParts>(), DocumentParts(DocumentPart::Map));
        QCOMPARE(changed[0][1].toRect(), QRect());
        QCOMPARE(w.Unsaved(), "map");
        const QByteArray resized = w.State();
        w.Doc.Undo();
        QCOMPARE(w.State(), before);
        QCOMPARE(w.Unsaved(), "");
        w.Doc.Redo();
        QCOMPARE(w.State(), resized);
    }

    void resizeRefusesWhatNewMapRefuses_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("negative width") << QSize(-1, 5);
        QTest::newRow("negative height") << QSize(5, -3);
        QTest::newRow("one row beyond 2^28 cells") << QSize(16384, 16385);
        QTest::newRow("the largest sizes") << QSize(INT_MAX, INT_MAX);
        QTest::newRow("the same size, not moved") << QSize(14, 14); // no step, nothing to say
    }
    // Refused with New Map's message, or a resize to the same place: the map, the history and
    // the revision stay, and no change is signalled.
    void resizeRefusesWhatNewMapRefuses() {
        QFETCH(QSize, size);
        Work w;
        w.Stroke({{1, 1}}, 2);
        const QByteArray before = w.State();
        const quint64 revision = w.Doc.Revision(DocumentPart::Map);
        QSignalSpy changed(&w.Doc, &Document::Changed);
        const QString problem = TileMap::SizeProblem(size.width(), size.height(), 48);
        QCOMPARE(MessageOf<ESizeError>([&] { w.Doc.ResizeMap(size.width(), size.height(), {}); }),
                 problem.isEmpty() ? "<nothing thrown>" : problem + '.');
        QCOMPARE(w.State(), before);
        QCOMPARE(w.Doc.UndoHistory().Count(), 1);
        QCOMPARE(w.Doc.Revision(DocumentPart::Map), revision);
        QCOMPARE(changed.count(), 0);
    }

    // A fill of a whole 4096 × 4096 map keeps an eighth of a byte a cell, and undo and redo
    // give every cell back.
    void wholeMapFillStepMemory() {
        Work w;
        constexpr qint32 side = 4096;
        w.Map.New(side, side, 48);
        w.Doc.ResetHistory();
        const auto all = [&](TileIndex value) {
            return std::all_of(w.Map.Cells.data(), w.Map.Cells.data() + w.Map.Cells.Count(),
                               [&](TileIndex v) { return v == value; });
        };
        QCOMPARE(w.Doc.FillRegion({side / 2, side / 3}, 3), QRect(0, 0, side, side));
        QVERIFY(all(3));
        const qint64 cells = qint64(side) * side, bytes = w.Doc.UndoHistory().Bytes();
        QVERIFY2(bytes <= cells / 8 + 1024, qPrintable(QString::number(bytes)));
        w.Doc.Undo();
        QVERIFY(all(0));
        w.Doc.Redo();
        QVERIFY(all(3));
    }

    // What the history counts for its steps is what they take from the heap, and never less:
    // one-cell strokes are the smallest steps, and the most a designer makes.
    void historyCountsTheHeapItUses_data() {
        QTest::addColumn<int>("cellsPerStroke");
        QTest::newRow("one cell") << 1;
        QTest::newRow("five cells") << 5;
    }
    void historyCountsTheHeapItUses() {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
        QFETCH(int, cellsPerStroke);
        Work w;
        w.Doc.ResetHistory();
        constexpr int strokes = 20000;
        const std::size_t before = mallinfo2().uordblks;
        for (int i = 0; i < strokes; ++i) {
            for (int c = 0; c < cellsPerStroke; ++c)
                w.Doc.Paint({c, i % 14}, i % 3 + 1 + c);
            w.Doc.EndStroke();
        }
        const qint64 used = qint64(mallinfo2().uordblks - before);
        const qint64 counted = w.Doc.UndoHistory().Bytes();
        QCOMPARE(w.Doc.UndoHistory().Count(), strokes);
        QVERIFY2(counted >= used && counted <= used + used / 8,
                 qPrintable(QString("counted %1, used %2").arg(counted).arg(used)));
#else
        QSKIP("needs glibc's own malloc to see the heap in use");
#endif
    }

    // Undo and redo that make a step hold more (a tile taken out of the pack) keep the history
    // within its limit: the oldest done steps go first, then the newest ones to redo.
    void historyStaysWithinItsLimitThroughUndoAndRedo() {
        Work w;
        w.Doc.AddTile(w.Image(2));
        w.Doc.Undo(); // the step holds the tile now
        const qint64 oneTile = w.Doc.UndoHistory().Bytes();
        w.Doc.Redo();
        w.Doc.SetHistoryLimit(oneTile + oneTile / 2);
        w.Doc.AddTile(w.Image(1));
        w.Doc.AddTile(w.Image(2));
        const auto within = [&] {
            return w.Doc.UndoHistory().Bytes() <= w.Doc.UndoHistory().Limit();
        };
        for (int i = 0; i < 3; ++i) {
            w.Doc.Undo();
            QVERIFY2(within(), qPrintable(QString::number(w.Doc.UndoHistory().Bytes())));
        }
        QVERIFY(w.Doc.UndoHistory().CanRedo());
        while (w.Doc.UndoHistory().CanRedo()) {
            w.Doc.Redo();
            QVERIFY(within());
        }
        // Delete Tile grows when it is redone.
        w.Doc.DeleteTile(0);
        w.Doc.Undo();
        w.Doc.Redo();
        QVERIFY(within());
    }

    void outOfMemoryChangesNothing_data() {
        QTest::addColumn<QString>("edit");
        QTest::newRow("Fill") << "Fill";
        QTest::newRow("Rectangle") << "Rectangle";
        QTest::newRow("Resize Map") << "Resize Map";
    }
    // Whichever allocation of a fill, rectangle or resize fails, the map, the history and what
    // counts as saved are as they were; so each can always be undone.
    void outOfMemoryChangesNothing() {
        QFETCH(QString, edit);
        int failures = 0;
        for (int failAt = 0;; ++failAt) {
            Work w;
            // A comb of walls, so the fill takes many spans and seeds.
            for (qint32 x = 1; x < 14; x += 2)
                for (qint32 y = x % 4 == 1 ? 0 : 1; y < (x % 4 == 1 ? 13 : 14); ++y)
                    w.Map.Cells[x][y] = 1;
            w.Stroke({{0, 0}}, 2);
            const QByteArray before = w.State();
            const quint64 revision = w.Doc.Revision(DocumentPart::Map);
            bool failed = false;
            AllocationsLeft = failAt;
            try {
                if (edit == "Fill")
                    w.Doc.FillRegion({0, 1}, 3);
                else if (edit == "Rectangle")
                    w.Doc.FillRectangle(QRect(0, 0, 14, 14), 3);
                else
                    w.Doc.ResizeMap(20, 9, {3, -2});
            } catch (const std::bad_alloc&) {
                failed = true;
            }
            AllocationsLeft = -1;
            if (!failed) {
                QCOMPARE(w.Doc.UndoHistory().UndoName(), edit);
                break;
            }
            ++failures;
            QCOMPARE(w.State(), before);
            QCOMPARE(w.Doc.UndoHistory().Count(), 1);
            QCOMPARE(w.Doc.Revision(DocumentPart::Map), revision);
        }
        QVERIFY(failures >= 2);
    }

    // The oldest steps go once the steps together hold more than the limit (400 strokes of a
    // copy of the map each would keep 20); the newest ones still undo exactly, and a step
    // larger than the limit is not kept at all.
    void historyStaysWithinItsLimit() {
        Work w;
        w.Doc.SetHistoryLimit(16 * 1024);
        QList<QByteArray> states{w.State()};
        for (int i = 0; i < 400; ++i) {
            w.Stroke({{i % 14, (i / 14) % 14}, {(i + 3) % 14, 0}}, i + 1);
            states << w.State();
            QVERIFY(w.Doc.UndoHistory().Bytes() <= 16 * 1024);
        }
        const qsizetype kept = w.Doc.UndoHistory().Count();
        QVERIFY2(kept > 50 && kept < 400, qPrintable(QString::number(kept)));
        for (qsizetype i = 0; i < kept; ++i)
            w.Doc.Undo();
        QVERIFY(!w.Doc.UndoHistory().CanUndo());
        QCOMPARE(w.State(), states[400 - kept]);
        QCOMPARE(w.Unsaved(), "map");
        // New Map of 64 × 64 cells keeps the old 14 × 14 content: within the limit...
        w.Doc.NewMap(64, 64, 48);
        QCOMPARE(w.Doc.UndoHistory().UndoName(), "New Map");
        // ... but not a larger one, which also pushes out all before it.
        w.Doc.NewMap(10, 10, 48);
        QVERIFY(!w.Doc.UndoHistory().CanUndo());
        QCOMPARE(w.Doc.UndoHistory().Bytes(), 0);
        QCOMPARE(w.Map.Width, 10);
    }

    void savedStatePerFile_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QStringList>("unsaved"); // after each edit
        auto row = [](const char* name, const QStringList& edits, const QStringList& unsaved) {
            QTest::newRow(name) << edits << unsaved;
        };
        row("a stroke undone", {"stroke", "undo"}, {"map", ""});
        // Saving the pack changes the name the map records: the map's file is behind then.
        row("pack saved, then map", {"add", "save pack", "save map"}, {"pack", "map", ""});
        // A stroke touches only the map: undoing it and the tile before it leaves the map as
        // saved.
        row("undo and redo across parts",
            {"add", "save pack", "save map", "stroke", "undo", "undo", "redo"},
            {"pack", "map", "", "map", "", "pack", ""});
        // A new step where redo was takes with it a saved state past it, unless none of the
        // steps that go touched that part.
        row("saved state dropped with the steps to redo",
            {"add", "stroke", "save pack", "save map", "undo", "stroke", "undo"},
            {"pack", "map pack", "map", "", "map", "map", "map"});
        // Load TilePack counts the pack as saved, and the map as changed if its name changes.
        // Back at the first load the pack is unsaved: one saved state per file, the last
        // load's.
        row("Load TilePack", {"add", "save pack", "save map", "load", "load other", "undo", "redo"},
            {"pack", "map", "", "", "map", "pack", "map"});
        // Dropping old steps keeps a saved state that is still reachable (the step to redo
        // stays), and loses one that is not (a step larger than the limit).
        row("history limit",
            {"stroke", "add", "save pack", "save map", "undo", "limit", "redo", "stroke"},
            {"map", "map pack", "map", "", "pack", "pack", "", "map"});
        // A save that fails leaves the map unsaved when it changed its first text.
        row("failed saves", {"failed save", "save map", "failed save"}, {"map", "", ""});
        row("history reset", {"stroke", "add", "reset pack"}, {"map", "map pack", "pack"});
    }
    // The map and the pack each know whether they hold what their file holds, wherever undo
    // and redo lead, whichever steps are dropped, and after saves that change the other part.
    void savedStatePerFile() {
        QFETCH(QStringList, edits);
        QFETCH(QStringList, unsaved);
        Work w;
        QStringList after;
        qint32 strokes = 0;
        for (const QString& edit : edits) {
            if (edit == "stroke") {
                w.Stroke({{strokes, 0}}, strokes + 1);
                ++strokes;
            } else if (edit == "add") {
                w.Doc.AddTile(w.Image(0));
            } else if (edit == "save pack") {
                w.Doc.SavePack(w.Path("p.pac"), "p.pac");
                QCOMPARE(ReadFile(w.Path("p.pac")), PackFile::Bytes(w.Pack));
                QCOMPARE(w.Doc.PackPath(), w.Path("p.pac"));
                QCOMPARE(w.Map.PackName, QByteArray("p.pac"));
            } else if (edit == "save map") {
                w.Doc.SaveMap(w.Path("m.map"));
                QCOMPARE(ReadFile(w.Path("m.map")), MapFile::Bytes(w.Map));
                QCOMPARE(w.Doc.MapPath(), w.Path("m.map"));
            } else if (edit == "failed save") {
                QVERIFY(MessageOf<EFCreateError>([&] { w.Doc.SaveMap(w.Dir.path()); }) !=
                        "<nothing thrown>");
                QCOMPARE(w.Map.Text1, QByteArray("testing!!!"));
            } else if (edit.startsWith("load")) {
                w.Doc.LoadPack(w.Path("p.pac"), edit == "load" ? "p.pac" : "other.pac");
            } else if (edit == "undo") {
                w.Doc.Undo();
            } else if (edit == "redo") {
                w.Doc.Redo();
            } else if (edit == "limit") {
                w.Doc.SetHistoryLimit(1);
            } else {
                QCOMPARE(edit, "reset pack");
                w.Doc.ResetHistory(DocumentPart::Pack);
            }
            after << w.Unsaved();
        }
        QCOMPARE(after, unsaved);
    }
};

QTEST_GUILESS_MAIN(tst_document)
#include "tst_document.moc"
