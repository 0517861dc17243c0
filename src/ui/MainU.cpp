#include "ui/MainU.h"

#include "model/Document.h"
#include "model/Recovery.h"
#include "model/typeU.h"
#include "ui/Application.h"
#include "ui/MobMap.h"
#include "ui/newmap.h"
#include "ui/propertyU.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cmath>
#include <type_traits>

TForm1* Form1 = nullptr;
TpropertyF* propertyF = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;

void CreateForms() {
    Form1 = new TForm1;
    propertyF = new TpropertyF(Form1);
    Form2 = new TForm2(Form1);
    Form3 = new TForm3(Form1);
}

void DestroyForms() {
    delete Form1; // the dialogs are its children
    Form1 = nullptr;
    propertyF = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
}

int RunEditor() {
    CreateForms();
    Form1->show();
    Form1->StartRecovery(TRecovery::StandardDirectory());
    const int result = QCoreApplication::exec();
    DestroyForms();
    return result;
}

// ---------------------------------------------------------------------------------------------

TMapView::TMapView(TForm1* form, QWidget* parent) : QWidget(parent), Form(form) {
    setAttribute(Qt::WA_OpaquePaintEvent); // the canvas covers every pixel
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true); // the status bar follows the pointer
}

void TMapView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (const QRect& area : event->region())
        painter.drawImage(area, Form->Canvas.Image(), area);
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
}

void TMapView::resizeEvent(QResizeEvent*) {
    Form->FormResize();
}

void TMapView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Form->FormMouseDown(event->button(), event->modifiers(), p.x(), p.y());
}

void TMapView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Form->FormMouseMove(event->modifiers(), p.x(), p.y());
}

void TMapView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Form->FormMouseUp(event->button(), event->modifiers(), p.x(), p.y());
}

void TMapView::wheelEvent(QWheelEvent* event) {
    Form->FormWheel(event->position().toPoint(), event->angleDelta(), event->modifiers());
}

void TMapView::leaveEvent(QEvent*) {
    Form->FormMouseLeave();
}

TStatusBar::TStatusBar(QWidget* parent)
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

void TStatusBar::SetPlace(const QString& text) {
    // Most pointer moves stay in one cell: nothing to lay out or paint again.
    if (text != PlaceLabel->text())
        PlaceLabel->setText(text);
}

QString TStatusBar::Place() const {
    return PlaceLabel->text();
}

void TStatusBar::SetText(const QString& text) {
    Label->setText(text);
}

QString TStatusBar::Text() const {
    return Label->text();
}

// ---------------------------------------------------------------------------------------------

TForm1::TForm1() {
    // The platform's modified mark stands for [*] while the map or the pack is unsaved.
    setWindowTitle(QStringLiteral("Map Editor(ver " KORVANE_VERSION ")[*]"));
    QPalette background = palette();
    background.setColor(QPalette::Window, clBtnFace);
    setPalette(background);

    OpenTile.Kind = TFileDialog::TKind::Picture;
    OpenDlg.Kind = TFileDialog::TKind::Open;
    OpenDlg.Filter = QStringLiteral("Map file|*.map|TilePack|*.pac");
    OpenDlg.DefaultExt = QStringLiteral("*.map");
    SaveDlg.Kind = TFileDialog::TKind::Save;
    SaveDlg.Filter = QStringLiteral("Map |*.map|TilePack|*.pac");

    BuildMenus();
    BuildTools();
    auto* client = new QWidget(this);
    MapView = new TMapView(this, client);
    BuildPalette(client);
    setCentralWidget(client);
    // Any change of the client area or of the palette's width places the controls anew.
    client->installEventFilter(this);
    TileBox_gb->installEventFilter(this);
    Status = new TStatusBar(this);
    setStatusBar(Status);
    PlaceTimer.setSingleShot(true);
    PlaceTimer.setInterval(PlaceDelay);
    connect(&PlaceTimer, &QTimer::timeout, this, &TForm1::ShowPlace);

    // A client area of 747 x 580 below the menu, as the editor has always opened, and the
    // tool bar's height more.
    resize(747, 580 + menuBar()->sizeHint().height() + Tools_bar->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

template <class Sender, class Signal, class F>
void TForm1::Command(Sender* sender, Signal signal, F command) {
    connect(sender, signal, this, [this, command] {
        TApplication::Guard([this, command] {
            if constexpr (std::is_member_function_pointer_v<F>)
                (this->*command)();
            else
                command();
        });
        if (!Destroying)
            RedrawMap();
    });
}

void TForm1::BuildMenus() {
    auto action = [this](const QString& text, const QKeySequence& shortcut = {}) {
        auto* a = new QAction(text, this);
        a->setShortcut(shortcut);
        return a;
    };
    New_act = action(QStringLiteral("New Map"), QKeySequence(Qt::CTRL | Qt::Key_N));
    Open_act = action(QStringLiteral("Open Map"), QKeySequence(Qt::CTRL | Qt::Key_O));
    Save_act = action(QStringLiteral("Save ..."), QKeySequence(Qt::CTRL | Qt::Key_S));
    Undo_act = action(QStringLiteral("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    Redo_act = action(QStringLiteral("Redo"), QKeySequence(Qt::CTRL | Qt::Key_Y));
    Redo_act->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    Undo_act->setEnabled(false);
    Redo_act->setEnabled(false);
    ZoomIn_act = action(QStringLiteral("Zoom In"), QKeySequence(Qt::CTRL | Qt::Key_Equal));
    // Ctrl++ too, which is where many keyboards have the plus sign.
    ZoomIn_act->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    ZoomOut_act = action(QStringLiteral("Zoom Out"), QKeySequence(Qt::CTRL | Qt::Key_Minus));
    ActualSize_act = action(QStringLiteral("Actual Size"), QKeySequence(Qt::CTRL | Qt::Key_0));
    FitMap_act = action(QStringLiteral("Fit Map"));
    // Ctrl+Home: Home alone belongs to the focused control (the palette's first tile).
    TopLeft_act = action(QStringLiteral("Top-Left Corner"), QKeySequence(Qt::CTRL | Qt::Key_Home));
    ShowGrid_act = action(QStringLiteral("Show Grid"), QKeySequence(Qt::CTRL | Qt::Key_G));
    ShowGrid_act->setCheckable(true);
    Add_tile_act = action(QStringLiteral("Add Tile"));
    Del_Tile_act = action(QStringLiteral("Delete Tile"));
    Prop_Tile_act = action(QStringLiteral("Property"));
    mobmap_act = action(QStringLiteral("2Mobile Map"));
    Exit1 = action(QStringLiteral("Exit"));

    NewMap1 = menuBar()->addMenu(QStringLiteral("File"));
    NewMap1->addActions({New_act, Open_act, Save_act});
    Edit_menu = menuBar()->addMenu(QStringLiteral("Edit"));
    Edit_menu->addActions({Undo_act, Redo_act});
    View_menu = menuBar()->addMenu(QStringLiteral("View"));
    View_menu->addActions({ZoomIn_act, ZoomOut_act, ActualSize_act, FitMap_act, TopLeft_act});
    View_menu->addSeparator();
    View_menu->addAction(ShowGrid_act);
    iles1 = menuBar()->addMenu(QStringLiteral("Tiles"));
    iles1->addActions({Add_tile_act, Del_Tile_act, Prop_Tile_act});
    Tools_menu = menuBar()->addMenu(QStringLiteral("Tools"));
    oolZ1 = menuBar()->addMenu(QStringLiteral("ToolZ"));
    oolZ1->addAction(mobmap_act);
    menuBar()->addAction(Exit1);

    Command(New_act, &QAction::triggered, &TForm1::New_actExecute);
    Command(Open_act, &QAction::triggered, &TForm1::Open_actExecute);
    Command(Save_act, &QAction::triggered, &TForm1::Save_actExecute);
    Command(Undo_act, &QAction::triggered, [] { Document->Undo(); });
    Command(Redo_act, &QAction::triggered, [] { Document->Redo(); });
    auto centre = [this] { return MapView->rect().center(); };
    Command(ZoomIn_act, &QAction::triggered, [this, centre] { ZoomBy(1, centre()); });
    Command(ZoomOut_act, &QAction::triggered, [this, centre] { ZoomBy(-1, centre()); });
    Command(ActualSize_act, &QAction::triggered, [this, centre] { ZoomBy(-Map->Zoom, centre()); });
    Command(FitMap_act, &QAction::triggered, [this] {
        Map->Zoom = Map->FitZoom();
        Map->OffsetX = 0;
        Map->OffsetY = 0;
        ShowPlace();
    });
    connect(TopLeft_act, &QAction::triggered, this, [this] {
        MoveView([] { Map->ScrollTo(0, 0); });
        ScrollOffsetsText();
    });
    Command(ShowGrid_act, &QAction::toggled, [this] { Map->ShowGrid = ShowGrid_act->isChecked(); });
    Command(Add_tile_act, &QAction::triggered, &TForm1::Add_tile_actExecute);
    Command(Del_Tile_act, &QAction::triggered, &TForm1::Del_Tile_actExecute);
    Command(Prop_Tile_act, &QAction::triggered, &TForm1::Prop_Tile_actExecute);
    Command(mobmap_act, &QAction::triggered, &TForm1::mobmap_actExecute);
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
}

void TForm1::BuildPalette(QWidget* client) {
    TileBox_gb = new QGroupBox(QStringLiteral("Tile Pack"), client);
    TileBox_gb->setFixedWidth(108);

    Panel1 = new QFrame(TileBox_gb);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setFixedHeight(66);
    auto button = [this](int left, int top, int width) {
        auto* b = new QToolButton(Panel1);
        b->setGeometry(left, top, width, 22);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    SpeedButton4 = button(8, 8, 25);
    SpeedButton4->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    SpeedButton5 = button(72, 8, 25);
    SpeedButton5->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    SpeedButton1 = button(8, 40, 23);
    SpeedButton1->setText(QStringLiteral("+"));
    SpeedButton2 = button(40, 40, 23);
    SpeedButton2->setText(QStringLiteral("−"));
    SpeedButton3 = button(72, 40, 23);
    SpeedButton3->setText(QStringLiteral("…"));
    Command(SpeedButton4, &QToolButton::clicked, &TForm1::SpeedButton4Click);
    Command(SpeedButton5, &QToolButton::clicked, &TForm1::SpeedButton5Click);
    connect(SpeedButton1, &QToolButton::clicked, Add_tile_act, &QAction::trigger);
    connect(SpeedButton2, &QToolButton::clicked, Del_Tile_act, &QAction::trigger);
    connect(SpeedButton3, &QToolButton::clicked, Prop_Tile_act, &QAction::trigger);

    TileList_lb = new QListWidget(TileBox_gb);
    PopupTileList = new QMenu(this);
    PopupAdd = PopupTileList->addAction(QStringLiteral("Add Tile"));
    PopupDelete = PopupTileList->addAction(QStringLiteral("Delete Tile"));
    PopupProperty = PopupTileList->addAction(QStringLiteral("Property"));
    PopupDelete->setEnabled(false);
    PopupProperty->setEnabled(false);
    connect(PopupAdd, &QAction::triggered, Add_tile_act, &QAction::trigger);
    Command(PopupDelete, &QAction::triggered, [this] { DeleteTile(PopupItem); });
    Command(PopupProperty, &QAction::triggered, [this] { ShowProperty(PopupItem); });
    SetUpTileList();
}

void TForm1::BuildTools() {
    Tool_group = new QActionGroup(this);
    auto tool = [this](const QString& text, Qt::Key key) {
        auto* a = new QAction(text, Tool_group);
        a->setShortcut(QKeySequence(key));
        a->setCheckable(true);
        return a;
    };
    Brush_act = tool(QStringLiteral("Brush"), Qt::Key_B);
    Eraser_act = tool(QStringLiteral("Eraser"), Qt::Key_E);
    Rectangle_act = tool(QStringLiteral("Rectangle"), Qt::Key_R);
    Fill_act = tool(QStringLiteral("Fill"), Qt::Key_F);
    Picker_act = tool(QStringLiteral("Picker"), Qt::Key_I);
    Brush_act->setChecked(true);
    Tools_menu->addActions(Tool_group->actions());
    // Below the map, so the map view keeps its place right under the menu, where the editor
    // has always had it.
    Tools_bar = new QToolBar(QStringLiteral("Tools"), this);
    addToolBar(Qt::BottomToolBarArea, Tools_bar);
    Tools_bar->setMovable(false);
    Tools_bar->setFloatable(false);
    Tools_bar->toggleViewAction()->setEnabled(false); // always there
    Tools_bar->addActions(Tool_group->actions());
    for (QAction* a : Tool_group->actions())
        a->setToolTip(QStringLiteral("%1 (%2)").arg(a->text(), a->shortcut().toString()));
    connect(Tool_group, &QActionGroup::triggered, this, [this](QAction* chosen) {
        // A drag in progress ends with the tool it began with.
        EndDrag();
        Tool = ToolList[std::size_t(Tool_group->actions().indexOf(chosen))].get();
    });
}

void TForm1::FormCreate() {
    AppDir = QCoreApplication::applicationDirPath();
    TilePack = std::make_unique<tTilePack>();
    // The map exists before the view size is first read: reading it may deliver a resize.
    Map = std::make_unique<tMap>(48, &Canvas);
    Map->ShowGrid = false;
    Map->SetViewSize(MapView->width(), MapView->height());
    Map->SetTilePackRef(&TilePack);
    Map->New(14, 14, 48);
    Document = std::make_unique<TDocument>(*Map, *TilePack);
    connect(Document.get(), &TDocument::Changed, this, &TForm1::DocumentChanged);
    ToolContext.reset(
        new TToolContext{*Document, [this] { return TileIndex(SelectedTile()); },
                         [this](TileIndex tile) { TileList_lb->setCurrentRow(tile); },
                         [this](const QRect& cells) { ToolChanged += CellsArea(cells); }});
    ToolList.push_back(std::make_unique<TBrushTool>(*ToolContext));
    ToolList.push_back(std::make_unique<TEraserTool>(*ToolContext));
    ToolList.push_back(std::make_unique<TRectangleTool>(*ToolContext));
    ToolList.push_back(std::make_unique<TFillTool>(*ToolContext));
    ToolList.push_back(std::make_unique<TPickerTool>(*ToolContext));
    Tool = ToolList.front().get();
    ShowPlace();
    Destroying = false;
}

void TForm1::FormDestroy() {
    Destroying = true;
    Recovery.reset(); // a normal end: the recovery copy goes
    PlaceTimer.stop();
    Tool = nullptr;
    ToolList.clear();
    ToolContext.reset();
    Document.reset();
    TilePack.reset();
    Map.reset();
}

void TForm1::DocumentChanged(TParts content) {
    if (content.testFlag(TPart::Pack))
        UpdateTileListBox();
    setWindowModified(bool(Document->Unsaved()));
    if (!Document->MapFile().isEmpty())
        MapFolder = QFileInfo(Document->MapFile()).absolutePath();
    const THistory& history = Document->History();
    Undo_act->setEnabled(history.CanUndo());
    Undo_act->setText(history.CanUndo() ? QStringLiteral("Undo ") + history.UndoName()
                                        : QStringLiteral("Undo"));
    Redo_act->setEnabled(history.CanRedo());
    Redo_act->setText(history.CanRedo() ? QStringLiteral("Redo ") + history.RedoName()
                                        : QStringLiteral("Redo"));
}

int TForm1::getclWidth() const {
    return centralWidget()->width() - TileBox_gb->width();
}

void TForm1::PlaceControls() {
    const int height = centralWidget()->height();
    const int view = getclWidth();
    MapView->setGeometry(0, 0, std::max(view, 0), height);
    TileBox_gb->setGeometry(view, 0, TileBox_gb->width(), height);
    // Inside the group box, below its caption, the button panel and under it the list, both
    // as wide as the box less its two-pixel frame.
    const int inner = TileBox_gb->width() - 4;
    const int top = TileBox_gb->contentsRect().top();
    Panel1->setGeometry(2, top, inner, Panel1->height());
    const int listTop = top + Panel1->height();
    TileList_lb->setGeometry(2, listTop, inner, std::max(height - 2 - listTop, 0));
}

TForm1::TDrawnView TForm1::DrawnView() const {
    const tTilePack* pack = Map->TilePackRef ? Map->TilePackRef->get() : nullptr;
    return {Map->Cells.data(),
            QSize(Map->Width, Map->Height),
            Map->TileSize,
            QPoint(Map->OffsetX, Map->OffsetY),
            QSize(Map->ViewWidth, Map->ViewHeight),
            Map->ShowGrid,
            pack,
            pack ? pack->Count() : 0,
            Canvas.Size(),
            Map->Zoom};
}

bool TForm1::ViewShowsMap() const {
    // Drawn parts fit together only on a canvas that is the view itself.
    return Drawn && *Drawn == DrawnView() &&
           Canvas.Size() == QSize(Map->ViewWidth, Map->ViewHeight);
}

void TForm1::RedrawMap() {
    Map->Redraw(QRect(QPoint(0, 0), Canvas.Size()));
    Drawn = DrawnView();
    MapView->update();
}

void TForm1::RedrawCells(const QRegion& changed) {
    if (!ViewShowsMap()) {
        RedrawMap();
        return;
    }
    for (const QRect& area : changed)
        Map->Redraw(area);
    MapView->update(changed);
}

void TForm1::MoveView(const std::function<void()>& move) {
    const bool shown = ViewShowsMap();
    const TViewMapping before = Map->Mapping();
    move();
    const std::optional<QPoint> moved = before.ShiftTo(Map->Mapping());
    if (shown && moved && moved->isNull())
        return;
    if (!shown || !moved || qAbs(moved->x()) >= Map->ViewWidth ||
        qAbs(moved->y()) >= Map->ViewHeight) {
        RedrawMap();
    } else {
        // The pixels already drawn move along; only what the move uncovers is drawn.
        Canvas.Scroll(-*moved);
        const QRegion uncovered = Map->Uncovered(*moved);
        for (const QRect& area : uncovered)
            Map->Redraw(area);
        Drawn = DrawnView();
        MapView->scroll(-moved->x(), -moved->y());
        MapView->update(uncovered);
    }
    ShowPlaceSoon();
}

void TForm1::FormActivate() {
    RedrawMap();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormActivate();
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TForm1::FormResize() {
    if (Destroying || !Map)
        return;
    // The view is the visible map area, so every row and column can be scrolled into it.
    Canvas.SetSize(MapView->size());
    Map->SetViewSize(MapView->width(), MapView->height());
    RedrawMap();
    const int clientHeight = height() - menuBar()->height() - Tools_bar->height();
    Status->SetText(
        QStringLiteral("w= %1 h= %2 cl= %3").arg(width()).arg(clientHeight).arg(getclWidth()));
}

void TForm1::FormMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    if (button == Qt::MiddleButton) {
        Pan = TPan{QPoint(x, y), QPoint(Map->OffsetX, Map->OffsetY)};
        return;
    }
    if (button != Qt::LeftButton)
        return;
    Painting = true;
    LastPaintPos = QPoint(x, y);
    ToolEvent([this] { Tool->Press(Map->Mapping().CellAt(LastPaintPos)); });
}

void TForm1::FormMouseMove(Qt::KeyboardModifiers, int x, int y) {
    const QPoint to(x, y);
    Pointer = to;
    if (Pan) {
        // The map pixel under the pointer at the start stays under it.
        const TViewMapping mapping = Map->Mapping();
        const QPoint dragged = to - Pan->From;
        const qint64 x = Pan->Offset.x() - mapping.ToMap(dragged.x(), 0);
        const qint64 y = Pan->Offset.y() - mapping.ToMap(dragged.y(), 0);
        MoveView([x, y] { Map->ScrollTo(x, y); });
        ScrollOffsetsText();
    }
    if (Painting) {
        DragTool(LastPaintPos, to);
        LastPaintPos = to;
    }
    ShowPlaceSoon();
}

void TForm1::FormMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
    if (button == Qt::MiddleButton)
        Pan.reset();
    // Any button ends the drag: the right button ends a stroke, as it always has.
    EndDrag();
    Document->EndStroke();
}

void TForm1::EndDrag() {
    if (!Painting)
        return;
    Painting = false;
    ToolEvent([this] { Tool->Release(); });
}

void TForm1::DragTool(QPoint from, QPoint to) {
    // Every pixel of the straight path between two reported positions, so a fast stroke
    // leaves no gaps; zoomed out, steps of at most a cell, so no cell is skipped either.
    const TViewMapping mapping = Map->Mapping();
    const qint64 perPixel =
        std::max<qint64>(1, (mapping.Unit() + Map->TileSize - 1) / Map->TileSize);
    const QRect view = MapView->rect();
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
                Tool->Move(cell);
            }
        }
    });
}

void TForm1::ToolEvent(const std::function<void()>& event) {
    const QRect outlined = ToolOutline();
    ToolChanged = QRegion();
    event();
    const QRect view = MapView->rect();
    RedrawCells(ToolChanged & view);
    ToolChanged = QRegion();
    if (const QRect outline = ToolOutline(); outline != outlined)
        MapView->update(QRegion(outline) + outlined);
    ShowPlaceSoon(); // the cell under the pointer may hold another tile now
}

QRect TForm1::CellsArea(const QRect& cells) const {
    return Map->CellArea(cells.topLeft()) | Map->CellArea(cells.bottomRight());
}

QRect TForm1::ToolOutline() const {
    if (!Tool)
        return {};
    const QRect cells = Tool->Outline();
    if (cells.isEmpty())
        return {};
    const TViewMapping mapping = Map->Mapping();
    return mapping.CellArea(cells.topLeft(), QSize(Map->TileSize, Map->TileSize)) |
           mapping.CellArea(cells.bottomRight(), QSize(Map->TileSize, Map->TileSize));
}

bool TForm1::FormKeyDown(int key, Qt::KeyboardModifiers) {
    int direction = 0;
    switch (key) {
    case Qt::Key_Left:
        direction = 2;
        break;
    case Qt::Key_Up:
        if (Map->OffsetY - 4 < 0)
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
    MoveView([direction] { Map->Step(direction); });
    ScrollOffsetsText();
    return true;
}

void TForm1::ScrollOffsetsText() {
    Status->SetText(QStringLiteral("x=%1 y=%2").arg(Map->OffsetX).arg(Map->OffsetY));
}

void TForm1::FormWheel(QPoint position, QPoint angleDelta, Qt::KeyboardModifiers shift) {
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
        RedrawMap();
        return;
    }
    // A notch moves three cells, and at least 48 view pixels where cells are small.
    const TViewMapping mapping = Map->Mapping();
    const qint64 by = std::max<qint64>(3 * qint64(Map->TileSize), mapping.ToMap(48, 0)) * -notches;
    MoveView([sideways, by] {
        Map->ScrollTo(Map->OffsetX + (sideways ? by : 0), Map->OffsetY + (sideways ? 0 : by));
    });
    ScrollOffsetsText();
}

void TForm1::ZoomBy(qint32 steps, QPoint at) {
    Map->ZoomAt(std::clamp(Map->Zoom + steps, TViewMapping::MinZoom, TViewMapping::MaxZoom), at);
    ShowPlace();
}

void TForm1::FormMouseLeave() {
    Pointer.reset();
    ShowPlace();
}

void TForm1::ShowPlaceSoon() {
    // Laying out the text costs more than a painting move: moves faster than anyone reads
    // show their place together, PlaceDelay after the first.
    if (!PlaceTimer.isActive())
        PlaceTimer.start();
}

void TForm1::ShowPlace() {
    PlaceTimer.stop();
    QString place = QStringLiteral("Zoom ") + TViewMapping::ZoomText(Map->Zoom);
    if (Pointer) {
        const QPoint cell = Map->Mapping().CellAt(*Pointer);
        if (Document->Bounds().contains(cell))
            place += QStringLiteral("   Cell %1, %2   Tile %3")
                         .arg(cell.x())
                         .arg(cell.y())
                         .arg(Map->Cells[cell.x()][std::size_t(cell.y())]);
    }
    Status->SetPlace(place);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == centralWidget() || watched == TileBox_gb) && event->type() == QEvent::Resize)
        PlaceControls();
    else if (TileListEvent(watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyDown(event->key(), event->modifiers()))
        QMainWindow::keyPressEvent(event);
}

void TForm1::Exit1Click() {
    close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Every way of closing the window comes here. An error while saving first keeps it open.
    bool close = false;
    TApplication::Guard([&] { close = ResolveUnsaved(TPart::Map | TPart::Pack); });
    if (!close)
        event->ignore();
}
