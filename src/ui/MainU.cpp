#include "ui/MainU.h"

#include "model/Document.h"
#include "model/Recovery.h"
#include "model/typeU.h"
#include "ui/Application.h"
#include "ui/MobMap.h"
#include "ui/newmap.h"
#include "ui/propertyU.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStyle>
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
}

void TMapView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (const QRect& area : event->region())
        painter.drawImage(area, Form->Canvas.Image(), area);
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

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent), Label(new QLabel(this)) {
    setFixedHeight(19);
    setSizeGripEnabled(false);
    addWidget(Label, 1);
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
    setWindowTitle(QStringLiteral("Map Editor(ver 0.3)[*]"));
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
    auto* client = new QWidget(this);
    MapView = new TMapView(this, client);
    BuildPalette(client);
    setCentralWidget(client);
    // Any change of the client area or of the palette's width places the controls anew.
    client->installEventFilter(this);
    TileBox_gb->installEventFilter(this);
    Status = new TStatusBar(this);
    setStatusBar(Status);

    // A client area of 747 x 580 below the menu, as the editor has always opened.
    resize(747, 580 + menuBar()->sizeHint().height());
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
    auto action = [this](const QString& text, QKeySequence shortcut = {}) {
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
    Add_tile_act = action(QStringLiteral("Add Tile"));
    Del_Tile_act = action(QStringLiteral("Delete Tile"));
    Prop_Tile_act = action(QStringLiteral("Property"));
    mobmap_act = action(QStringLiteral("2Mobile Map"));
    Exit1 = action(QStringLiteral("Exit"));

    NewMap1 = menuBar()->addMenu(QStringLiteral("File"));
    NewMap1->addActions({New_act, Open_act, Save_act});
    Edit_menu = menuBar()->addMenu(QStringLiteral("Edit"));
    Edit_menu->addActions({Undo_act, Redo_act});
    iles1 = menuBar()->addMenu(QStringLiteral("Tiles"));
    iles1->addActions({Add_tile_act, Del_Tile_act, Prop_Tile_act});
    oolZ1 = menuBar()->addMenu(QStringLiteral("ToolZ"));
    oolZ1->addAction(mobmap_act);
    menuBar()->addAction(Exit1);

    Command(New_act, &QAction::triggered, &TForm1::New_actExecute);
    Command(Open_act, &QAction::triggered, &TForm1::Open_actExecute);
    Command(Save_act, &QAction::triggered, &TForm1::Save_actExecute);
    Command(Undo_act, &QAction::triggered, [] { Document->Undo(); });
    Command(Redo_act, &QAction::triggered, [] { Document->Redo(); });
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
    Destroying = false;
}

void TForm1::FormDestroy() {
    Destroying = true;
    Recovery.reset(); // a normal end: the recovery copy goes
    Document.reset();
    TilePack.reset();
    Map.reset();
}

void TForm1::DocumentChanged(TParts content) {
    if (content.testFlag(TPart::Pack))
        UpdateTileListBox();
    setWindowModified(bool(Document->Unsaved()));
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
            Canvas.Size()};
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

void TForm1::ScrollMap(qint32 direction) {
    if (!ViewShowsMap()) {
        Map->Step(direction);
        RedrawMap();
        return;
    }
    // The pixels already drawn move along; only what the move uncovers is drawn.
    const QPoint moved = Map->Step(direction);
    if (moved.isNull())
        return;
    Canvas.Scroll(-moved);
    const QRegion uncovered = Map->Uncovered(moved);
    for (const QRect& area : uncovered)
        Map->Redraw(area);
    Drawn = DrawnView();
    MapView->scroll(-moved.x(), -moved.y());
    MapView->update(uncovered);
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
    const int clientHeight = height() - menuBar()->height();
    Status->SetText(
        QStringLiteral("w= %1 h= %2 cl= %3").arg(width()).arg(clientHeight).arg(getclWidth()));
}

void TForm1::FormMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    if (button != Qt::LeftButton)
        return;
    Painting = true;
    LastPaintPos = QPoint(x, y);
    PaintSegment(LastPaintPos, LastPaintPos);
}

void TForm1::FormMouseMove(Qt::KeyboardModifiers, int x, int y) {
    if (!Painting)
        return;
    const QPoint to(x, y);
    PaintSegment(LastPaintPos, to);
    LastPaintPos = to;
}

void TForm1::FormMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    Painting = false;
    Document->EndStroke(); // the stroke is one step
}

void TForm1::PaintSegment(QPoint from, QPoint to) {
    // Every pixel of the straight path between two reported positions, so a fast stroke
    // leaves no gaps; only the part over the map view paints, and only the cells that change
    // are drawn again.
    const TileIndex tile = SelectedTile();
    const QRect view = MapView->rect();
    const QPoint d = to - from;
    const int steps = std::max(std::abs(d.x()), std::abs(d.y()));
    QRegion changed;
    for (int i = 0; i <= steps; ++i) {
        const QPoint p = steps == 0 ? from
                                    : from + QPoint(int(std::lround(double(d.x()) * i / steps)),
                                                    int(std::lround(double(d.y()) * i / steps)));
        const std::optional<QPoint> cell =
            view.contains(p) ? Map->CellAt(p.x(), p.y()) : std::nullopt;
        if (cell && Document->Paint(p.x(), p.y(), tile))
            changed += Map->CellArea(*cell);
    }
    RedrawCells(changed & view);
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
    ScrollMap(direction);
    Status->SetText(QStringLiteral("x=%1 y=%2").arg(Map->OffsetX).arg(Map->OffsetY));
    return true;
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
