#include "ui/MainWindow.h"

#include "document/Document.h"
#include "document/Recovery.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "ui/Application.h"
#include "ui/EditorSettings.h"
#include "ui/MobileExportDialog.h"
#include "ui/NewMapDialog.h"
#include "ui/ObjectNames.h"
#include "ui/OverviewPanel.h"
#include "ui/ReplaceTileDialog.h"
#include "ui/ResizeMapDialog.h"
#include "ui/TilePackFoldersDialog.h"
#include "ui/TilePropertiesDialog.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cmath>
#include <type_traits>

int RunEditor(MainWindow& window, const QStringList& files) {
    window.show();
    window.StartRecovery(Recovery::StandardDirectory());
    window.OpenFiles(files);
    return QCoreApplication::exec();
}

// ---------------------------------------------------------------------------------------------

MapView::MapView(MainWindow* form, QWidget* parent) : QWidget(parent), Form(form) {
    setAttribute(Qt::WA_OpaquePaintEvent); // the canvas covers every pixel
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true); // the status bar follows the pointer
}

void MapView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (const QRect& area : event->region() - Form->PreviewHidingMap())
        painter.drawImage(area, Form->Surface.Image(), area);
    // The rectangle being dragged, over the map as drawn.
    if (const QRect outline = Form->ToolOutline(); !outline.isEmpty()) {
        // Black dashes on white: visible over any tile, and over the grid, whose inverting
        // lines an inverting outline would cancel where the two meet.
        const QRect edge = outline.adjusted(0, 0, -1, -1);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(edge);
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawRect(edge);
    }
    Form->PaintOverlay(painter, event->region());
}

void MapView::resizeEvent(QResizeEvent*) {
    Form->mapViewResized();
}

void MapView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Form->mapMousePress(event->button(), event->modifiers(), p.x(), p.y());
}

void MapView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Form->mapMouseMove(event->modifiers(), p.x(), p.y());
}

void MapView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Form->mapMouseRelease(event->button(), event->modifiers(), p.x(), p.y());
}

void MapView::wheelEvent(QWheelEvent* event) {
    Form->mapWheel(event->position().toPoint(), event->angleDelta(), event->modifiers());
}

void MapView::leaveEvent(QEvent*) {
    Form->mapMouseLeave();
}

StatusBar::StatusBar(QWidget* parent)
    : QStatusBar(parent), Label(new QLabel(this)), PlaceLabel(new QLabel(this)) {
    setFixedHeight(19);
    setSizeGripEnabled(false);
    addWidget(Label, 1);
    // Wide enough for most places, so a pointer move repaints the text without laying out
    // the bar again.
    PlaceLabel->setTextFormat(Qt::PlainText);
    PlaceLabel->setAutoFillBackground(true); // opaque: the bar under it is not painted again
    PlaceLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    PlaceLabel->setMinimumWidth(PlaceLabel->fontMetrics().horizontalAdvance(
        QStringLiteral("Zoom 1/256   Cell 99999, 99999   Tile 99999")));
    addPermanentWidget(PlaceLabel);
}

void StatusBar::SetPlace(const QString& text) {
    // Most pointer moves stay in one cell: nothing to lay out or paint again.
    if (text != PlaceLabel->text())
        PlaceLabel->setText(text);
}

QString StatusBar::Place() const {
    return PlaceLabel->text();
}

void StatusBar::SetText(const QString& text) {
    Label->setText(text);
}

QString StatusBar::Text() const {
    return Label->text();
}

// ---------------------------------------------------------------------------------------------

MainWindow::MainWindow(const QString& appDir, Dialogs& dialogs, const QString& settingsFile)
    : AppDir(appDir), UserDialogs(dialogs),
      Settings(std::make_unique<EditorSettings>(settingsFile)) {
    // The platform's modified mark stands for [*] while the map or the pack is unsaved.
    setWindowTitle(QStringLiteral("Map Editor(ver " KORVANE_VERSION ")[*]"));
    QPalette background = palette();
    background.setColor(QPalette::Window, clBtnFace);
    setPalette(background);

    // Without a file to offer, the file dialogs start where the editor keeps its tiles and maps.
    openPictureDialog.Kind = FileDialog::DialogKind::Picture;
    openPictureDialog.Folder = AppDir;
    openDialog.Folder = AppDir;
    openDialog.Kind = FileDialog::DialogKind::Open;
    openDialog.Filter = QStringLiteral("Map file|*.map|TilePack|*.pac");
    openDialog.DefaultExt = QStringLiteral("*.map");
    saveDialog.Kind = FileDialog::DialogKind::Save;
    saveDialog.Filter = QStringLiteral("Map |*.map|TilePack|*.pac");
    importDialog.Folder = AppDir;
    importDialog.Kind = FileDialog::DialogKind::Open;
    importDialog.Filter = QStringLiteral("TMX map|*.tmx|JSON map|*.tmj;*.json");
    importDialog.DefaultExt = QStringLiteral("*.tmx");
    exportDialog.Folder = AppDir;
    exportDialog.Kind = FileDialog::DialogKind::Save;
    exportDialog.Filter =
        QStringLiteral("TMX map|*.tmx|JSON map|*.tmj|CSV table|*.csv|PNG image|*.png");
    exportDialog.DefaultExt = QStringLiteral("*.tmx");

    BuildMenus();
    BuildTools();
    BuildEditing();
    auto* client = new QWidget(this);
    mapView = new MapView(this, client);
    BuildPalette(client);
    setCentralWidget(client);
    // Any change of the client area or of the palette's width places the controls anew.
    client->installEventFilter(this);
    paletteBox->installEventFilter(this);
    Status = new StatusBar(this);
    setStatusBar(Status);
    PlaceTimer.setSingleShot(true);
    PlaceTimer.setInterval(PlaceDelay);
    connect(&PlaceTimer, &QTimer::timeout, this, &MainWindow::ShowPlace);

    // A client area of 747 x 580 below the menu, as the editor has always opened, and the
    // tool bar's height more.
    resize(747, 580 + menuBar()->sizeHint().height() + toolsBar->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    createModel();
    BuildOverview();
    // In the order the editor has always created its windows.
    tilePropertiesDialog = new TilePropertiesDialog(UserDialogs, this);
    newMapDialog = new NewMapDialog(*Doc, UserDialogs, this);
    mobileExportDialog = new MobileExportDialog(Doc->Map(), Doc->Pack(), AppDir, UserDialogs, this);
    tilePackFoldersDialog = new TilePackFoldersDialog(UserDialogs, this);
    resizeMapDialog = new ResizeMapDialog(*Doc, UserDialogs, this);
    replaceTileDialog = new ReplaceTileDialog(this);
    NameParts();
    NameEditingParts();
    SelectionChanged();
    // A map or pack dropped from a file manager opens as from File > Open Map.
    setAcceptDrops(true);
}

void MainWindow::NameParts() {
    // Each part by its field's name, which is how findChild reaches it from outside.
    SetObjectNames({{fileMenu, "fileMenu"},
                    {editMenu, "editMenu"},
                    {viewMenu, "viewMenu"},
                    {mapMenu, "mapMenu"},
                    {tilesMenu, "tilesMenu"},
                    {exportMenu, "exportMenu"},
                    {toolsMenu, "toolsMenu"},
                    {toolsBar, "toolsBar"},
                    {exitAction, "exitAction"},
                    {newMapAction, "newMapAction"},
                    {openMapAction, "openMapAction"},
                    {saveMapAction, "saveMapAction"},
                    {recentMenu, "recentMenu"},
                    {clearRecentAction, "clearRecentAction"},
                    {tilePackFoldersAction, "tilePackFoldersAction"},
                    {importAction, "importAction"},
                    {exportAsAction, "exportAsAction"},
                    {undoAction, "undoAction"},
                    {redoAction, "redoAction"},
                    {zoomInAction, "zoomInAction"},
                    {zoomOutAction, "zoomOutAction"},
                    {actualSizeAction, "actualSizeAction"},
                    {fitMapAction, "fitMapAction"},
                    {topLeftAction, "topLeftAction"},
                    {showGridAction, "showGridAction"},
                    {toolGroup, "toolGroup"},
                    {brushAction, "brushAction"},
                    {eraserAction, "eraserAction"},
                    {rectangleAction, "rectangleAction"},
                    {fillAction, "fillAction"},
                    {pickerAction, "pickerAction"},
                    {addTileAction, "addTileAction"},
                    {deleteTileAction, "deleteTileAction"},
                    {tilePropertiesAction, "tilePropertiesAction"},
                    {mobileExportAction, "mobileExportAction"},
                    {resizeMapAction, "resizeMapAction"},
                    {mapView, "mapView"},
                    {overviewDock, "overviewDock"},
                    {overview, "overview"},
                    {paletteBox, "paletteBox"},
                    {paletteButtons, "paletteButtons"},
                    {addTileButton, "addTileButton"},
                    {deleteTileButton, "deleteTileButton"},
                    {tilePropertiesButton, "tilePropertiesButton"},
                    {saveTilePackButton, "saveTilePackButton"},
                    {loadTilePackButton, "loadTilePackButton"},
                    {tileList, "tileList"},
                    {tilePopup, "tilePopup"},
                    {popupAddTile, "popupAddTile"},
                    {popupDeleteTile, "popupDeleteTile"},
                    {popupTileProperties, "popupTileProperties"},
                    {Status, "Status"},
                    {tilePropertiesDialog, "tilePropertiesDialog"},
                    {newMapDialog, "newMapDialog"},
                    {resizeMapDialog, "resizeMapDialog"},
                    {mobileExportDialog, "mobileExportDialog"},
                    {tilePackFoldersDialog, "tilePackFoldersDialog"}});
}

void MainWindow::BuildOverview() {
    overviewDock = new QDockWidget(QStringLiteral("Overview"), this);
    overviewDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    overview = new OverviewPanel(Doc->Map(), Doc->Pack(), overviewDock);
    overview->ShareSamples(*View);
    overviewDock->setWidget(overview);
    addDockWidget(Qt::RightDockWidgetArea, overviewDock);
    overviewDock->hide(); // off until asked for: the window opens as it always has
    QAction* show = overviewDock->toggleViewAction();
    show->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    viewMenu->addSeparator();
    viewMenu->addAction(show);
    connect(overview, &OverviewPanel::CentreRequested, this, [this](QPoint mapPixel) {
        const QSize shown = View->Mapping().MapSize(QSize(View->ViewWidth, View->ViewHeight));
        MoveView([&] {
            View->ScrollTo(qint64(mapPixel.x()) - shown.width() / 2,
                           qint64(mapPixel.y()) - shown.height() / 2);
        });
    });
    FollowView();
}

void MainWindow::FollowView() {
    if (!overview)
        return;
    const ViewMapping mapping = View->Mapping();
    const QSize shown = mapping.MapSize(QSize(View->ViewWidth, View->ViewHeight));
    overview->SetShown(QRect(QPoint(View->OffsetX, View->OffsetY), shown) &
                       QRect(0, 0, Doc->Map().Width * Doc->Map().TileSize,
                             Doc->Map().Height * Doc->Map().TileSize));
}

MainWindow::~MainWindow() {
    destroyModel();
}

void MainWindow::BuildMenus() {
    auto action = [this](const QString& text, const QKeySequence& shortcut = {}) {
        auto* a = new QAction(text, this);
        a->setShortcut(shortcut);
        return a;
    };
    newMapAction = action(QStringLiteral("New Map"), QKeySequence(Qt::CTRL | Qt::Key_N));
    openMapAction = action(QStringLiteral("Open Map"), QKeySequence(Qt::CTRL | Qt::Key_O));
    saveMapAction = action(QStringLiteral("Save ..."), QKeySequence(Qt::CTRL | Qt::Key_S));
    importAction = action(QStringLiteral("Import..."));
    exportAsAction = action(QStringLiteral("Export As..."));
    undoAction = action(QStringLiteral("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAction = action(QStringLiteral("Redo"), QKeySequence(Qt::CTRL | Qt::Key_Y));
    redoAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    undoAction->setEnabled(false);
    redoAction->setEnabled(false);
    zoomInAction = action(QStringLiteral("Zoom In"), QKeySequence(Qt::CTRL | Qt::Key_Equal));
    // Ctrl++ too, which is where many keyboards have the plus sign.
    zoomInAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    zoomOutAction = action(QStringLiteral("Zoom Out"), QKeySequence(Qt::CTRL | Qt::Key_Minus));
    actualSizeAction = action(QStringLiteral("Actual Size"), QKeySequence(Qt::CTRL | Qt::Key_0));
    fitMapAction = action(QStringLiteral("Fit Map"));
    // Ctrl+Home: Home alone belongs to the focused control (the palette's first tile).
    topLeftAction =
        action(QStringLiteral("Top-Left Corner"), QKeySequence(Qt::CTRL | Qt::Key_Home));
    showGridAction = action(QStringLiteral("Show Grid"), QKeySequence(Qt::CTRL | Qt::Key_G));
    showGridAction->setCheckable(true);
    addTileAction = action(QStringLiteral("Add Tile"));
    deleteTileAction = action(QStringLiteral("Delete Tile"));
    tilePropertiesAction = action(QStringLiteral("Property"));
    mobileExportAction = action(QStringLiteral("2Mobile Map"));
    resizeMapAction = action(QStringLiteral("Resize Map…"));
    exitAction = action(QStringLiteral("Exit"));

    clearRecentAction = action(QStringLiteral("Clear Recently Opened"));
    tilePackFoldersAction = action(QStringLiteral("Tile Pack Folders…"));

    fileMenu = menuBar()->addMenu(QStringLiteral("File"));
    fileMenu->addActions({newMapAction, openMapAction});
    recentMenu = fileMenu->addMenu(QStringLiteral("Open Recent"));
    fileMenu->addAction(saveMapAction);
    fileMenu->addSeparator();
    fileMenu->addAction(tilePackFoldersAction);
    FillRecentMenu();
    fileMenu->addSeparator();
    fileMenu->addActions({importAction, exportAsAction});
    editMenu = menuBar()->addMenu(QStringLiteral("Edit"));
    editMenu->addActions({undoAction, redoAction});
    viewMenu = menuBar()->addMenu(QStringLiteral("View"));
    viewMenu->addActions(
        {zoomInAction, zoomOutAction, actualSizeAction, fitMapAction, topLeftAction});
    viewMenu->addSeparator();
    viewMenu->addAction(showGridAction);
    mapMenu = menuBar()->addMenu(QStringLiteral("Map"));
    mapMenu->addAction(resizeMapAction);
    tilesMenu = menuBar()->addMenu(QStringLiteral("Tiles"));
    tilesMenu->addActions({addTileAction, deleteTileAction, tilePropertiesAction});
    toolsMenu = menuBar()->addMenu(QStringLiteral("Tools"));
    exportMenu = menuBar()->addMenu(QStringLiteral("ToolZ"));
    exportMenu->addAction(mobileExportAction);
    menuBar()->addAction(exitAction);

    Command(newMapAction, &QAction::triggered, &MainWindow::newMap);
    Command(openMapAction, &QAction::triggered, &MainWindow::openMap);
    Command(saveMapAction, &QAction::triggered, &MainWindow::saveMap);
    Command(clearRecentAction, &QAction::triggered, &MainWindow::clearRecentFiles);
    Command(tilePackFoldersAction, &QAction::triggered, &MainWindow::editTilePackFolders);
    Command(importAction, &QAction::triggered, &MainWindow::importMap);
    Command(exportAsAction, &QAction::triggered, &MainWindow::exportAs);
    Command(undoAction, &QAction::triggered, [this] { Doc->Undo(); });
    Command(redoAction, &QAction::triggered, [this] { Doc->Redo(); });
    auto centre = [this] { return mapView->rect().center(); };
    Command(zoomInAction, &QAction::triggered, [this, centre] { ZoomBy(1, centre()); });
    Command(zoomOutAction, &QAction::triggered, [this, centre] { ZoomBy(-1, centre()); });
    Command(actualSizeAction, &QAction::triggered,
            [this, centre] { ZoomBy(-View->Zoom, centre()); });
    Command(fitMapAction, &QAction::triggered, [this] {
        View->Zoom = View->FitZoom();
        View->OffsetX = 0;
        View->OffsetY = 0;
        RedrawMap();
        ShowPlace();
    });
    connect(topLeftAction, &QAction::triggered, this, [this] {
        MoveView([this] { View->ScrollTo(0, 0); });
        ScrollOffsetsText();
    });
    Command(showGridAction, &QAction::toggled, [this] {
        View->ShowGrid = showGridAction->isChecked();
        RedrawMap();
    });
    Command(addTileAction, &QAction::triggered, &MainWindow::addTile);
    Command(deleteTileAction, &QAction::triggered, &MainWindow::deleteSelectedTile);
    Command(tilePropertiesAction, &QAction::triggered, &MainWindow::showTileProperties);
    Command(mobileExportAction, &QAction::triggered, &MainWindow::exportForMobile);
    Command(resizeMapAction, &QAction::triggered, &MainWindow::resizeMap);
    connect(exitAction, &QAction::triggered, this, &MainWindow::exitEditor);
}

void MainWindow::BuildPalette(QWidget* client) {
    paletteBox = new QGroupBox(QStringLiteral("Tile Pack"), client);
    paletteBox->setFixedWidth(108);

    paletteButtons = new QFrame(paletteBox);
    paletteButtons->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    paletteButtons->setFixedHeight(66);
    auto button = [this](int left, int top, int width) {
        auto* b = new QToolButton(paletteButtons);
        b->setGeometry(left, top, width, 22);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    saveTilePackButton = button(8, 8, 25);
    saveTilePackButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    loadTilePackButton = button(72, 8, 25);
    loadTilePackButton->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    addTileButton = button(8, 40, 23);
    addTileButton->setText(QStringLiteral("+"));
    deleteTileButton = button(40, 40, 23);
    deleteTileButton->setText(QStringLiteral("−"));
    tilePropertiesButton = button(72, 40, 23);
    tilePropertiesButton->setText(QStringLiteral("…"));
    Command(saveTilePackButton, &QToolButton::clicked, &MainWindow::saveTilePack);
    Command(loadTilePackButton, &QToolButton::clicked, &MainWindow::loadTilePack);
    connect(addTileButton, &QToolButton::clicked, addTileAction, &QAction::trigger);
    connect(deleteTileButton, &QToolButton::clicked, deleteTileAction, &QAction::trigger);
    connect(tilePropertiesButton, &QToolButton::clicked, tilePropertiesAction, &QAction::trigger);

    tileList = new QListWidget(paletteBox);
    tilePopup = new QMenu(this);
    popupAddTile = tilePopup->addAction(QStringLiteral("Add Tile"));
    popupDeleteTile = tilePopup->addAction(QStringLiteral("Delete Tile"));
    popupTileProperties = tilePopup->addAction(QStringLiteral("Property"));
    popupDeleteTile->setEnabled(false);
    popupTileProperties->setEnabled(false);
    connect(popupAddTile, &QAction::triggered, addTileAction, &QAction::trigger);
    Command(popupDeleteTile, &QAction::triggered, [this] { DeleteTile(PopupItem); });
    Command(popupTileProperties, &QAction::triggered, [this] { ShowProperty(PopupItem); });
    SetUpTileList();
    BuildTileUpkeep();
}

void MainWindow::BuildTools() {
    toolGroup = new QActionGroup(this);
    auto tool = [this](const QString& text, Qt::Key key) {
        auto* a = new QAction(text, toolGroup);
        a->setShortcut(QKeySequence(key));
        a->setCheckable(true);
        return a;
    };
    brushAction = tool(QStringLiteral("Brush"), Qt::Key_B);
    eraserAction = tool(QStringLiteral("Eraser"), Qt::Key_E);
    rectangleAction = tool(QStringLiteral("Rectangle"), Qt::Key_R);
    fillAction = tool(QStringLiteral("Fill"), Qt::Key_F);
    pickerAction = tool(QStringLiteral("Picker"), Qt::Key_I);
    selectAction = tool(QStringLiteral("Select"), Qt::Key_M);
    magicWandAction = tool(QStringLiteral("Magic Wand"), Qt::Key_W);
    brushAction->setChecked(true);
    toolsMenu->addActions(toolGroup->actions());
    // Below the map, so the map view keeps its place right under the menu, where the editor
    // has always had it.
    toolsBar = new QToolBar(QStringLiteral("Tools"), this);
    addToolBar(Qt::BottomToolBarArea, toolsBar);
    toolsBar->setMovable(false);
    toolsBar->setFloatable(false);
    toolsBar->toggleViewAction()->setEnabled(false); // always there
    toolsBar->addActions(toolGroup->actions());
    for (QAction* a : toolGroup->actions())
        a->setToolTip(QStringLiteral("%1 (%2)").arg(a->text(), a->shortcut().toString()));
    connect(toolGroup, &QActionGroup::triggered, this, [this](QAction* chosen) {
        // A drag in progress ends with the tool it began with.
        EndDrag();
        ActiveTool = ToolList[std::size_t(toolGroup->actions().indexOf(chosen))].get();
        UpdatePreview();
    });
}

void MainWindow::createModel() {
    // The map exists before the view size is first read: reading it may deliver a resize.
    Doc = std::make_unique<Document>(48);
    View = std::make_unique<MapRenderer>(Doc->Map(), Doc->Pack(), &Surface);
    View->SetViewSize(mapView->width(), mapView->height());
    // The first map is where undo stops: no step of the document.
    Doc->MutableMap().New(14, 14, 48);
    connect(Doc.get(), &Document::Changed, this, &MainWindow::DocumentChanged);
    ToolsContext.reset(new ToolContext{*Doc, [this] { return TileIndex(SelectedTile()); },
                                       [this](TileIndex tile) { tileList->setCurrentRow(tile); },
                                       [this](const QRect& cells) {
                                           View->CellsChanged(cells);
                                           ToolChanged += CellsArea(cells);
                                           if (overview)
                                               overview->CellsChanged(cells); // as the stroke goes
                                       }});
    ToolsContext->TakeStamp = [this](Stamp cells) { SetBrushStamp(std::move(cells)); };
    ToolsContext->SelectedTiles = [this] { return SelectedTiles(); };
    connect(Doc.get(), &Document::SelectionChanged, this, &MainWindow::SelectionChanged);
    ToolList.push_back(std::make_unique<BrushTool>(*ToolsContext));
    ToolList.push_back(std::make_unique<EraserTool>(*ToolsContext));
    ToolList.push_back(std::make_unique<RectangleTool>(*ToolsContext));
    ToolList.push_back(std::make_unique<FillTool>(*ToolsContext));
    ToolList.push_back(std::make_unique<PickerTool>(*ToolsContext));
    ToolList.push_back(std::make_unique<SelectTool>(*ToolsContext));
    ToolList.push_back(std::make_unique<MagicWandTool>(*ToolsContext));
    ActiveTool = ToolList.front().get();
    ShowPlace();
    Destroying = false;
}

void MainWindow::destroyModel() {
    Destroying = true;
    RecoveryService.reset(); // a normal end: the recovery copy goes
    PlaceTimer.stop();
    ActiveTool = nullptr;
    ToolList.clear();
    ToolsContext.reset();
    View.reset(); // which draws the document's map and pack
    Doc.reset();
}

void MainWindow::DocumentChanged(DocumentParts content, const QRect& cells) {
    // The views' samples of the map follow every change of cells, whether drawn now or not.
    if (content.testFlag(DocumentPart::Map)) {
        if (cells.isEmpty())
            View->MapReplaced();
        else if (!InToolEvent) // a tool's cells came as it changed them
            View->CellsChanged(cells);
    }
    if (overview && content) {
        if (cells.isEmpty())
            overview->MapChanged();
        else
            overview->CellsChanged(cells);
    }
    if (content.testFlag(DocumentPart::Pack))
        updateTileList();
    RedrawChanged(content, cells);
    setWindowModified(bool(Doc->Unsaved()));
    if (!Doc->MapPath().isEmpty())
        MapFolder = QFileInfo(Doc->MapPath()).absolutePath();
    const History& history = Doc->UndoHistory();
    undoAction->setEnabled(history.CanUndo());
    undoAction->setText(history.CanUndo() ? QStringLiteral("Undo ") + history.UndoName()
                                          : QStringLiteral("Undo"));
    redoAction->setEnabled(history.CanRedo());
    redoAction->setText(history.CanRedo() ? QStringLiteral("Redo ") + history.RedoName()
                                          : QStringLiteral("Redo"));
}

void MainWindow::RedrawChanged(DocumentParts content, const QRect& cells) {
    if (InToolEvent || Destroying || !content)
        return;
    // New tiles, or tiles whose pictures may differ: every cell may look different. A map
    // replaced or resized is caught by ViewShowsMap; a change of its texts alone draws nothing.
    if (content.testFlag(DocumentPart::Pack) || !ViewShowsMap()) {
        // A map made smaller by an edit (a resize, New Map, or the undo or redo of one) may end
        // before where the view was: the view goes back as far as its last cells, as a scroll
        // would leave it. Opening files keeps the view where it was, as the editor always has.
        if (content == DocumentParts(DocumentPart::Map) && Drawn &&
            Drawn->MapSize != QSize(Doc->Map().Width, Doc->Map().Height)) {
            const QPoint limit = View->MaxOffset();
            View->OffsetX = std::min(View->OffsetX, limit.x());
            View->OffsetY = std::min(View->OffsetY, limit.y());
        }
        RedrawMap();
    } else if (!cells.isEmpty())
        RedrawCells(CellsArea(cells) & mapView->rect());
}

int MainWindow::mapViewWidth() const {
    return centralWidget()->width() - paletteBox->width();
}

void MainWindow::PlaceControls() {
    const int height = centralWidget()->height();
    const int view = mapViewWidth();
    mapView->setGeometry(0, 0, std::max(view, 0), height);
    paletteBox->setGeometry(view, 0, paletteBox->width(), height);
    // Inside the group box, below its caption, the button panel and under it the list, both
    // as wide as the box less its two-pixel frame.
    const int inner = paletteBox->width() - 4;
    const int top = paletteBox->contentsRect().top();
    paletteButtons->setGeometry(2, top, inner, paletteButtons->height());
    const int listTop = top + paletteButtons->height();
    tileList->setGeometry(2, listTop, inner, std::max(height - 2 - listTop, 0));
}

MainWindow::DrawnView MainWindow::ViewAsDrawnNow() const {
    return {Doc->Map().Cells.data(),
            QSize(Doc->Map().Width, Doc->Map().Height),
            Doc->Map().TileSize,
            QPoint(View->OffsetX, View->OffsetY),
            QSize(View->ViewWidth, View->ViewHeight),
            View->ShowGrid,
            View->Pack().Count(),
            Surface.Size(),
            View->Zoom};
}

bool MainWindow::ViewShowsMap() const {
    // Drawn parts fit together only on a canvas that is the view itself.
    return Drawn && *Drawn == ViewAsDrawnNow() &&
           Surface.Size() == QSize(View->ViewWidth, View->ViewHeight);
}

void MainWindow::RedrawMap() {
    View->Redraw(QRect(QPoint(0, 0), Surface.Size()));
    Drawn = ViewAsDrawnNow();
    mapView->update();
    FollowView();
}

void MainWindow::RedrawCells(const QRegion& changed) {
    if (!ViewShowsMap()) {
        RedrawMap();
        return;
    }
    for (const QRect& area : changed)
        View->Redraw(area);
    mapView->update(changed);
}

void MainWindow::MoveView(const std::function<void()>& move) {
    const bool shown = ViewShowsMap();
    const ViewMapping before = View->Mapping();
    move();
    const std::optional<QPoint> moved = before.ShiftTo(View->Mapping());
    if (shown && moved && moved->isNull())
        return;
    if (!shown || !moved || qAbs(moved->x()) >= View->ViewWidth ||
        qAbs(moved->y()) >= View->ViewHeight) {
        RedrawMap();
    } else {
        // The pixels already drawn move along; only what the move uncovers is drawn.
        Surface.Scroll(-*moved);
        const QRegion uncovered = View->Uncovered(*moved);
        for (const QRect& area : uncovered)
            View->Redraw(area);
        Drawn = ViewAsDrawnNow();
        mapView->scroll(-moved->x(), -moved->y());
        mapView->update(uncovered);
        PreviewShown.translate(-*moved); // the preview's pixels moved along
    }
    UpdatePreview(); // the pointer is over another cell now
    FollowView();
    ShowPlaceSoon();
}

void MainWindow::redrawOnActivate() {
    RedrawMap();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    redrawOnActivate();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        redrawOnActivate();
}

void MainWindow::mapViewResized() {
    if (Destroying || !Doc)
        return;
    // The view is the visible map area, so every row and column can be scrolled into it.
    Surface.SetSize(mapView->size());
    View->SetViewSize(mapView->width(), mapView->height());
    RedrawMap();
    const int clientHeight = height() - menuBar()->height() - toolsBar->height();
    Status->SetText(
        QStringLiteral("w= %1 h= %2 cl= %3").arg(width()).arg(clientHeight).arg(mapViewWidth()));
}

void MainWindow::mapMousePress(Qt::MouseButton button, Qt::KeyboardModifiers keys, int x, int y) {
    if (button == Qt::MiddleButton) {
        Pan = PanStart{QPoint(x, y), QPoint(View->OffsetX, View->OffsetY)};
        return;
    }
    if (button != Qt::LeftButton)
        return;
    Painting = true;
    LastPaintPos = QPoint(x, y);
    ToolEvent([this, keys] { ActiveTool->Press(View->Mapping().CellAt(LastPaintPos), keys); });
}

void MainWindow::mapMouseMove(Qt::KeyboardModifiers, int x, int y) {
    const QPoint to(x, y);
    Pointer = to;
    if (Pan) {
        // The map pixel under the pointer at the start stays under it.
        const ViewMapping mapping = View->Mapping();
        const QPoint dragged = to - Pan->From;
        const qint64 x = Pan->Offset.x() - mapping.ToMap(dragged.x(), 0);
        const qint64 y = Pan->Offset.y() - mapping.ToMap(dragged.y(), 0);
        MoveView([this, x, y] { View->ScrollTo(x, y); });
        ScrollOffsetsText();
    }
    if (Painting) {
        DragTool(LastPaintPos, to);
        LastPaintPos = to;
    }
    UpdatePreview();
    ShowPlaceSoon();
}

void MainWindow::mapMouseRelease(Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
    if (button == Qt::MiddleButton)
        Pan.reset();
    // Any button ends the drag: the right button ends a stroke, as it always has.
    EndDrag();
    Doc->EndStroke();
}

void MainWindow::EndDrag() {
    if (!Painting)
        return;
    Painting = false;
    ToolEvent([this] { ActiveTool->Release(); });
}

void MainWindow::DragTool(QPoint from, QPoint to) {
    // Every pixel of the straight path between two reported positions, so a fast stroke
    // leaves no gaps; zoomed out, steps of at most a cell, so no cell is skipped either.
    const ViewMapping mapping = View->Mapping();
    const qint64 perPixel =
        std::max<qint64>(1, (mapping.Unit() + Doc->Map().TileSize - 1) / Doc->Map().TileSize);
    const QRect view = mapView->rect();
    const QPoint d = to - from;
    const qint64 steps = std::max(std::abs(d.x()), std::abs(d.y())) * perPixel;
    // The path in map pixels, rounded along it as the editor always has.
    const qint64 beginX = mapping.MapX(from.x()), beginY = mapping.MapY(from.y());
    const qint64 endX = mapping.MapX(to.x()), endY = mapping.MapY(to.y());
    auto along = [steps](qint64 start, qint64 finish, qint64 i) {
        return steps == 0
                   ? start
                   : start + std::llround(double(finish - start) * double(i) / double(steps));
    };
    ToolEvent([&] {
        std::optional<QPoint> last;
        for (qint64 i = 0; i <= steps; ++i) {
            const qint64 mapX = along(beginX, endX, i);
            const qint64 mapY = along(beginY, endY, i);
            if (!view.contains(QPoint(int(mapping.ViewX(mapX)), int(mapping.ViewY(mapY)))))
                continue;
            const QPoint cell = mapping.CellOf(mapX, mapY);
            if (cell != last) {
                last = cell;
                ActiveTool->Move(cell);
            }
        }
    });
}

void MainWindow::ToolEvent(const std::function<void()>& event) {
    const QRect outlined = ToolOutline();
    ToolChanged = QRegion();
    InToolEvent = true;
    const auto done = qScopeGuard([this] { InToolEvent = false; });
    event();
    const QRect view = mapView->rect();
    RedrawCells(ToolChanged & view);
    ToolChanged = QRegion();
    if (const QRect outline = ToolOutline(); outline != outlined)
        mapView->update(QRegion(outline) + outlined);
    ShowPlaceSoon(); // the cell under the pointer may hold another tile now
}

QRect MainWindow::CellsArea(const QRect& cells) const {
    return View->CellArea(cells.topLeft()) | View->CellArea(cells.bottomRight());
}

QRect MainWindow::ToolOutline() const {
    if (!ActiveTool)
        return {};
    const QRect cells = ActiveTool->Outline();
    if (cells.isEmpty())
        return {};
    const ViewMapping mapping = View->Mapping();
    return mapping.CellArea(cells.topLeft(), QSize(Doc->Map().TileSize, Doc->Map().TileSize)) |
           mapping.CellArea(cells.bottomRight(), QSize(Doc->Map().TileSize, Doc->Map().TileSize));
}

bool MainWindow::scrollKey(int key, Qt::KeyboardModifiers) {
    int direction = 0;
    switch (key) {
    case Qt::Key_Left:
        direction = 2;
        break;
    case Qt::Key_Up:
        if (View->OffsetY - 4 < 0)
            return true; // nothing at all, not even the status text
        direction = 3;
        break;
    case Qt::Key_Right:
        direction = 1;
        break;
    case Qt::Key_Down:
        direction = 4;
        break;
    default:
        return false;
    }
    MoveView([this, direction] { View->Step(direction); });
    ScrollOffsetsText();
    return true;
}

void MainWindow::ScrollOffsetsText() {
    Status->SetText(QStringLiteral("x=%1 y=%2").arg(View->OffsetX).arg(View->OffsetY));
}

void MainWindow::mapWheel(QPoint position, QPoint angleDelta, Qt::KeyboardModifiers shift) {
    // Wheels that turn finely report parts of a notch (120); a notch acts once it is full.
    const bool sideways = shift.testFlag(Qt::ShiftModifier) || angleDelta.y() == 0;
    WheelAngle += sideways && angleDelta.x() != 0 ? angleDelta.x() : angleDelta.y();
    const int notches = WheelAngle / 120;
    WheelAngle %= 120;
    if (notches == 0)
        return;
    Pointer = position;
    if (shift.testFlag(Qt::ControlModifier)) {
        ZoomBy(notches, position);
        return;
    }
    // A notch moves three cells, and at least 48 view pixels where cells are small.
    const ViewMapping mapping = View->Mapping();
    const qint64 by =
        std::max<qint64>(3 * qint64(Doc->Map().TileSize), mapping.ToMap(48, 0)) * -notches;
    MoveView([this, sideways, by] {
        View->ScrollTo(View->OffsetX + (sideways ? by : 0), View->OffsetY + (sideways ? 0 : by));
    });
    ScrollOffsetsText();
}

void MainWindow::ZoomBy(qint32 steps, QPoint at) {
    View->ZoomAt(std::clamp(View->Zoom + steps, ViewMapping::MinZoom, ViewMapping::MaxZoom), at);
    RedrawMap();
    ShowPlace();
}

void MainWindow::mapMouseLeave() {
    Pointer.reset();
    UpdatePreview();
    ShowPlace();
}

void MainWindow::ShowPlaceSoon() {
    // Laying out the text costs more than a painting move: moves faster than anyone reads
    // show their place together, PlaceDelay after the first.
    if (!PlaceTimer.isActive())
        PlaceTimer.start();
}

void MainWindow::ShowPlace() {
    PlaceTimer.stop();
    QString place = QStringLiteral("Zoom ") + ViewMapping::ZoomText(View->Zoom);
    if (Pointer) {
        const QPoint cell = View->Mapping().CellAt(*Pointer);
        if (Doc->Bounds().contains(cell))
            place += QStringLiteral("   Cell %1, %2   Tile %3")
                         .arg(cell.x())
                         .arg(cell.y())
                         .arg(Doc->Map().Cells[cell.x()][std::size_t(cell.y())]);
    }
    Status->SetPlace(place);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == centralWidget() || watched == paletteBox) && event->type() == QEvent::Resize)
        PlaceControls();
    else if (TileListEvent(watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (!scrollKey(event->key(), event->modifiers()))
        QMainWindow::keyPressEvent(event);
}

void MainWindow::exitEditor() {
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Every way of closing the window comes here. An error while saving first keeps it open.
    bool close = false;
    UserDialogs.Guard([&] { close = ResolveUnsaved(DocumentPart::Map | DocumentPart::Pack); });
    if (!close)
        event->ignore();
}
