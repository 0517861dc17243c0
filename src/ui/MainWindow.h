#pragma once

#include "document/Document.h"
#include "document/History.h"
#include "editing/Tools.h"
#include "formats/PackLocation.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Canvas.h"
#include "render/MapRenderer.h"
#include "ui/Dialogs.h"

#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QDockWidget;
class OverviewPanel;
class QActionGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QModelIndex;
class QPainter;
class QToolBar;
class QToolButton;
class MainWindow;
class MobileExportDialog;
class NewMapDialog;
class ResizeMapDialog;
class TilePropertiesDialog;
class ReplaceTileDialog;
class TilePackFoldersDialog;
class EditorSettings;
class Recovery;

// The map view: the client area left of the palette and above the status bar. It presents
// the main window's canvas and hands mouse events to the window's handlers in its own
// coordinates, which are the map's view coordinates.
class MapView : public QWidget {
    Q_OBJECT
public:
    MapView(MainWindow* form, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    MainWindow* Form;
};

// A status bar with one line of text, replaced whole by each handler that reports something,
// and on its right where the pointer is: the zoom, and the cell under the pointer with its
// tile index.
class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent);
    void SetText(const QString& text);
    QString Text() const;
    void SetPlace(const QString& text);
    QString Place() const;

private:
    QLabel* Label;
    QLabel* PlaceLabel;
};

// The main window: the map view, the tile palette on the right, menus and the status bar.
// Its handlers are split by concern: MainWindow.cpp (window, painting, keys),
// MainWindowPalette.cpp (palette and tile commands), MainWindowFiles.cpp (map and tile pack
// files). It owns the document and the dialogs, and hands each dialog what it works on.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // appDir: the application's directory, without a trailing separator, where map files name
    // their tile packs (tiles/), the export writes (maps/) and file dialogs start.
    // dialogs: every question and message the window and its dialogs show; it must outlive
    // the window.
    // settingsFile: where the window keeps its settings (EditorSettings); empty for the user's.
    MainWindow(const QString& appDir, Dialogs& dialogs, const QString& settingsFile = QString());
    ~MainWindow() override;

    // The map and the tile pack being edited, and every change of them.
    Document& CurrentDocument() const { return *Doc; }
    // Where the map view shows the map, and its drawing.
    MapRenderer& Renderer() const { return *View; }
    // The surface the map draws on and the map view presents, one pixel per view pixel.
    const Canvas& ViewCanvas() const { return Surface; }

    // Window
    // The client width less the palette's: the map view's width. PlaceControls gives the view
    // this width; everything else reads the view's size.
    int mapViewWidth() const;
    // Zooms by steps powers of two around a view pixel, and redraws the view.
    void ZoomBy(qint32 steps, QPoint at);
    // Clears the view and draws the current map and pack on it.
    void RedrawMap();
    // The folders of the command line's --tiles, searched first for a map's pack in this run.
    void SetCommandLineTileFolders(const QStringList& folders);
    // Where a map's pack is looked for now: the command line's folders, Tile Pack Folders,
    // then the places every search has.
    PackLocation::SearchPlaces PackPlaces() const;
    // Opens a map with its pack, or loads a tile pack (a .pac, or a file whose content is
    // one), as Open Map or Load TilePack do once their dialog is answered, after asking about
    // unsaved work they would replace. Throws what the file's reader throws.
    void OpenFile(const QString& path);
    // Each file as OpenFile, in order; an error is shown and the next file goes on.
    void OpenFiles(const QStringList& paths);
    // Keeps a recovery copy of unsaved work in directory from now on, after offering the
    // copies that editors which did not end normally left there. Nothing for an empty path.
    void StartRecovery(const QString& directory);

    // Palette and tile commands
    void updateTileList();
    // The item under a point of the list, and for (-1, -1), the keyboard's point, the selection.
    int paletteItemAt(QPoint position);
    void drawTileItem(QPainter& painter, int index, const QRect& rect, bool selected);
    // View > Tile Names: a name under each tile of the palette.
    bool tileNamesShown() const;
    int SelectedTile() const;
    // The tool that the left button uses.
    Tool& CurrentTool() const { return *ActiveTool; }
    // What the current tool outlines, in view pixels; empty when nothing.
    QRect ToolOutline() const;

public slots:
    void addTile();
    void deleteSelectedTile();
    void showTileProperties();
    void openMap();
    void saveMap();
    void saveTilePack();
    void loadTilePack();
    void newMap();
    // Map > Resize Map: the dialog resizes the map; the view then stays within it.
    void resizeMap();
    void exportForMobile();
    void editTilePackFolders();
    void clearRecentFiles();
    // File > Export As: the map with its pack as TMX, JSON, CSV or PNG (TiledFormats).
    void exportAs();
    // File > Import: a TMX or JSON map with its tileset, in unsaved and without files.
    void importMap();
    // Edit > Copy: the selected cells on the clipboard (CellClipboard's two forms).
    void copyCells();
    // Edit > Cut: Copy, then the selected cells become empty.
    void cutCells();
    // Edit > Paste: the clipboard's cells become the Brush's stamp, placed by a click.
    void pasteCells();
    // Edit > Replace Tile: every cell holding one tile becomes another.
    void replaceTile();
    void exitEditor();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The map view hands its events to the handlers below, and presents Surface.
    friend class MapView;

    // Components, each named as its field (NameParts): findChild reaches them by that name.
    QMenu* fileMenu; // "File"
    QMenu* editMenu;
    QMenu* viewMenu;
    QMenu* mapMenu;    // "Map"
    QMenu* tilesMenu;  // "Tiles"
    QMenu* exportMenu; // "ToolZ"
    QMenu* toolsMenu;
    QToolBar* toolsBar;
    QAction* exitAction;
    QAction* newMapAction;
    QAction* openMapAction;
    QAction* saveMapAction;
    QMenu* recentMenu; // "Open Recent": a file's action each, then clearRecentAction
    QAction* clearRecentAction;
    QAction* tilePackFoldersAction;
    QAction* importAction;
    QAction* exportAsAction;
    QAction* undoAction;
    QAction* redoAction;
    QAction* zoomInAction;
    QAction* zoomOutAction;
    QAction* actualSizeAction;
    QAction* fitMapAction;
    QAction* topLeftAction;
    QAction* showGridAction;
    // The tools, in the order of Tools: each checkable, one checked at a time.
    QActionGroup* toolGroup;
    QAction* brushAction;
    QAction* eraserAction;
    QAction* rectangleAction;
    QAction* fillAction;
    QAction* pickerAction;
    QAction* selectAction;
    QAction* magicWandAction;
    // The editing verbs (MainWindowEditing.cpp): the Edit menu's, the Tools menu's Random Mode
    // and stamp turns, and Esc.
    QAction* cutAction;
    QAction* copyAction;
    QAction* pasteAction;
    QAction* deleteAction;
    QAction* selectAllAction;
    QAction* selectNoneAction;
    QAction* replaceTileAction;
    QAction* randomModeAction;
    QAction* mirrorLeftRightAction;
    QAction* mirrorTopBottomAction;
    QAction* turnStampAction;
    QAction* cancelAction;
    QAction* addTileAction;
    QAction* deleteTileAction;
    QAction* tilePropertiesAction;
    QAction* mobileExportAction;
    QAction* resizeMapAction;
    MapView* mapView;
    // View > Overview: the whole map beside the palette, off at first.
    QDockWidget* overviewDock = nullptr;
    OverviewPanel* overview = nullptr;
    QGroupBox* paletteBox;
    QFrame* paletteButtons;
    QToolButton* addTileButton;
    QToolButton* deleteTileButton;
    QToolButton* tilePropertiesButton;
    QToolButton* saveTilePackButton;
    QToolButton* loadTilePackButton;
    QListWidget* tileList;
    QMenu* tilePopup;
    QAction* popupAddTile;
    QAction* popupDeleteTile;
    QAction* popupTileProperties;
    // Tile upkeep, in the Tiles menu (Tile Names in the View menu) and the popup.
    QAction* replaceImageAction;
    QAction* moveTileUpAction;
    QAction* moveTileDownAction;
    QAction* tileNamesAction;
    QAction* unusedTilesAction;
    QAction* findTileAction;
    QAction* popupReplaceImage;
    QAction* popupMoveUp;
    QAction* popupMoveDown;
    StatusBar* Status;
    // The windows the commands open, children of this one.
    TilePropertiesDialog* tilePropertiesDialog = nullptr;
    NewMapDialog* newMapDialog = nullptr;
    ResizeMapDialog* resizeMapDialog = nullptr;
    MobileExportDialog* mobileExportDialog = nullptr;
    TilePackFoldersDialog* tilePackFoldersDialog = nullptr;
    ReplaceTileDialog* replaceTileDialog = nullptr;
    FileDialog openPictureDialog;
    FileDialog openDialog;
    FileDialog saveDialog;
    FileDialog importDialog;
    FileDialog exportDialog;
    // The surface the map draws on, one pixel per view pixel.
    Canvas Surface;

    // Window: what the map view and the keys hand on.
    void redrawOnActivate();
    void mapViewResized();
    void mapMousePress(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void mapMouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void mapMouseRelease(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    // Returns whether the key was one of the four arrows, which scroll the map and go
    // no further.
    bool scrollKey(int key, Qt::KeyboardModifiers shift);
    // The wheel scrolls, Shift+wheel scrolls sideways, Ctrl+wheel zooms around the pointer.
    void mapWheel(QPoint position, QPoint angleDelta, Qt::KeyboardModifiers shift);
    // The pointer left the view: the status bar shows no cell.
    void mapMouseLeave();
    void NameParts();
    void createModel();
    void destroyModel();
    void BuildMenus();
    void BuildPalette(QWidget* client);
    void BuildTools();
    // The editing verbs, after the menus and the tools.
    void BuildEditing();
    void NameEditingParts();
    // The cut, copy and delete commands follow the selection, and the view shows it.
    void SelectionChanged();
    // The cells the Brush paints from now on, the Brush taken up.
    void SetBrushStamp(Stamp cells);
    // X, Y and Z: the stamp mirrored or turned.
    void TurnStamp(Stamp (Stamp::*turn)() const);
    // Esc: a drag in progress is taken back; else the stamp is put down; else nothing is
    // selected any more.
    void CancelEdit();
    // The view pixels the stamp's preview covers now: over the cell under the pointer while
    // the Brush holds a stamp; empty otherwise.
    QRect StampPreviewArea() const;
    // Paints the preview where it moved from and to.
    void UpdatePreview();
    // Over the map as drawn: the selection's outline and the stamp's preview.
    void PaintOverlay(QPainter& painter, const QRegion& region);
    // Where the stamp's preview covers every pixel, so the map need not be presented there
    // first: a stamp of tiles in every cell moves at the cost of presenting its pixels once.
    QRect PreviewHidingMap() const;
    void BuildOverview();
    // The overview outlines what the map view shows now.
    void FollowView();
    void SetUpTileList();
    // The one place that works out where the view and the palette go: the view takes the
    // client area left of the palette, the palette the rest.
    void PlaceControls();
    // Opens the list's popup for the item paletteItemAt finds at position; its Delete Tile and
    // Property then act on that item.
    void PopupTiles(QPoint position, QPoint globalPosition);
    // "Delete Tile" and "Property" are enabled for an item, not for -1.
    void EnablePopupEntries(int index);
    // The palette list's keys, popup and right clicks; true when the event goes no further.
    bool TileListEvent(QObject* watched, QEvent* event);
    void DeleteTile(int index);
    void ShowProperty(int index);
    // The tile commands beyond Add, Delete and Property; after the menus and the popup exist.
    void BuildTileUpkeep();
    // The selected tiles, ascending.
    std::vector<qint32> SelectedTiles() const;
    // Deletes the tiles, as one step, after asking; says how many cells become empty.
    void DeleteTiles(const std::vector<qint32>& tiles);
    void ReplaceImage(int index);
    // Moves the selected tile by one place up (-1) or down (1), the selection following it.
    void MoveSelectedTile(int by);
    void SelectUnusedTiles();
    void FindTile();
    // How many cells of the map hold each tile: counted when asked for after a change of the
    // map or the pack, never while painting.
    const std::vector<qint64>& TileUsageNow();
    QString TileToolTip(int index);
    QString FindText; // what Find Tile looked for last
    // Clears the view, runs draw on it, and presents it.
    void Repaint(const std::function<void()>& draw);
    // Connects a trigger to a command (a handler of this window, or a function) that runs
    // guarded and leaves the view up to date.
    template <class Sender, class Signal, class F>
    void Command(Sender* sender, Signal signal, F command);
    // What the view was last drawn from. Drawing parts of it again is exact only while these
    // are as they were: any other change of the map, pack or view needs a full redraw.
    struct DrawnView {
        const TileIndex* Cells;
        QSize MapSize;
        qint32 TileSize;
        QPoint Offset;
        QSize View;
        bool ShowGrid;
        qint32 Tiles;
        QSize Surface;
        qint32 Zoom;
        bool operator==(const DrawnView&) const = default;
    };
    DrawnView ViewAsDrawnNow() const;
    bool ViewShowsMap() const;
    // Draws the changed areas again and presents them, or redraws the view when it may not
    // show the map as it is.
    void RedrawCells(const QRegion& changed);
    // What a change of the document needs drawn again, drawn.
    void RedrawChanged(DocumentParts content, const QRect& cells);
    // Runs a move of the view (a scroll, a pan, a zoom); when the view's pixels move as a
    // whole they move along and only what the move uncovers is drawn.
    void MoveView(const std::function<void()>& move);
    // The status bar's right-hand part for the pointer's place: now, or within PlaceDelay.
    void ShowPlace();
    void ShowPlaceSoon();
    // "x=… y=…": the offsets after a scroll.
    void ScrollOffsetsText();
    // Hands the current tool the cells along the straight path between two reported
    // positions, each cell once, over the view only; then draws what it changed.
    void DragTool(QPoint from, QPoint to);
    // Ends a drag of the current tool, if one is on.
    void EndDrag();
    // Runs an event of the current tool and draws the cells it changed and its outline.
    void ToolEvent(const std::function<void()>& event);
    // The view pixels of a rectangle of cells, as far as tiles drawn there may reach.
    QRect CellsArea(const QRect& cells) const;
    // Runs saveDialog offering a file name, or without one the folder (the application's
    // directory when empty); false if cancelled.
    bool runSaveDialog(const QString& offered, const QString& folder);
    // The palette, the title's modified mark and the Edit menu follow the document.
    void DocumentChanged(DocumentParts content, const QRect& cells);
    // Before a command replaces the parts: when any has unsaved changes, asks whether to save
    // them first. True when the command may go on: nothing unsaved, Discard, or Save and every
    // save done.
    bool ResolveUnsaved(DocumentParts replaced);
    // Open Map and Load TilePack once the file is chosen and unsaved work resolved.
    void OpenMapFile(const QString& mapPath);
    void LoadPackFile(const QString& path);
    // The pack a map names, not found in any folder searched: asks whether to locate it, and
    // returns the file chosen, or nothing when the user cancels. Throws when the file chosen
    // is not of the name the map gives.
    QString LocatePack(const QString& name, const QString& mapPath, const QStringList& searched);
    // Where Save Tile Pack starts for a pack without a file: beside the executable as ever, or
    // where it cannot write there (an installed editor), the user's own folder of packs.
    QString NewPackFolder() const;
    // Open Recent follows the list in the settings.
    void RememberFile(const QString& path);
    void FillRecentMenu();
    void OpenRecent(const QString& path);
    // Offers one claimed recovery copy, or reports it unreadable and moves it aside; true when
    // it was restored. A copy kept for later is released.
    bool OfferRecovery(const QString& copy);

    const QString AppDir;
    Dialogs& UserDialogs;
    std::unique_ptr<EditorSettings> Settings;
    QStringList CommandLineTileFolders;
    std::unique_ptr<Document> Doc;
    bool Painting = false;
    std::unique_ptr<ToolContext> ToolsContext;
    std::vector<std::unique_ptr<Tool>> ToolList; // in the order of the tool actions
    Tool* ActiveTool = nullptr;
    QRegion ToolChanged;       // view pixels the tool's changes need drawn
    std::vector<qint64> Usage; // what TileUsageNow counted, at these map and pack revisions
    std::array<quint64, 2> UsageAt{~quint64(0), ~quint64(0)};
    bool InToolEvent = false; // the tool reports its changes itself, as it makes them
    // A drag with the middle button: where it started and the offsets then.
    struct PanStart {
        QPoint From;
        QPoint Offset;
    };
    std::optional<PanStart> Pan;
    std::optional<QPoint> Pointer; // over the view, for the status bar
    QTimer PlaceTimer;
    static constexpr int PlaceDelay = 40; // ms
    int WheelAngle = 0; // of wheels that turn by less than a notch, until a notch is full
    bool Destroying = false;
    QPoint LastPaintPos;
    int PopupItem = -1; // the item the popup was opened for
    std::optional<DrawnView> Drawn;
    QRect PreviewShown;         // view pixels where the stamp's preview was last painted
    bool StampHidesMap = false; // no cell of the stamp is -1
    std::unique_ptr<MapRenderer> View;
    std::unique_ptr<Recovery> RecoveryService;
    // The folder of the last map opened or saved, where Save starts for a map without a file.
    QString MapFolder;
    bool RecoveryFailureShown = false;
};

// The editor's run over its main window: shows it, offers the work editors that did not end
// normally left behind, opens the files given (maps and packs, in order, each error in the
// error box), and runs the message loop until the window closes.
int RunEditor(MainWindow& window, const QStringList& files = {});

template <class Sender, class Signal, class F>
void MainWindow::Command(Sender* sender, Signal signal, F command) {
    connect(sender, signal, this, [this, command] {
        // A command redraws what it changes: the document's changes through DocumentChanged,
        // a view's own.
        UserDialogs.Guard([this, command] {
            if constexpr (std::is_member_function_pointer_v<F>)
                (this->*command)();
            else
                command();
        });
    });
}
