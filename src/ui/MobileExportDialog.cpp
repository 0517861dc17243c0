#include "ui/MobileExportDialog.h"

#include "formats/MobileExport.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Exceptions.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/ObjectNames.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int PathRole = Qt::UserRole;
constexpr int DepthRole = Qt::UserRole + 1;
constexpr int IndentPerLevel = 8;

// Entries stand indented by their depth below the root, in rows of 16 pixels.
class DirectoryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->rect.adjust(index.data(DepthRole).toInt() * IndentPerLevel, 0, 0, 0);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += index.data(DepthRole).toInt() * IndentPerLevel;
        size.setHeight(16);
        return size;
    }
};

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A tool tip shows rich text when its text looks like markup; a path must show as it is.
QString PlainToolTip(const QString& text) {
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
}
} // namespace

// ---------------------------------------------------------------------------------------------

DirectoryListBox::DirectoryListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new DirectoryDelegate(this));
    setUniformItemSizes(true);
    setIconSize(QSize(14, 14));
    // The path is read before the list is rebuilt, which deletes the activated entry.
    connect(this, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) { SetDirectory(index.data(PathRole).toString()); });
}

QString DirectoryListBox::EntryPath(const QListWidgetItem* item) {
    return item ? item->data(PathRole).toString() : QString();
}

void DirectoryListBox::SetDirectory(const QString& path) {
    if (path.isEmpty())
        return;
    Current = QDir::cleanPath(QDir(path).absolutePath());
    Fill();
    UpdateLabel();
}

void DirectoryListBox::SetDirLabel(QLabel* label) {
    DirLabel = label;
    UpdateLabel();
}

void DirectoryListBox::Fill() {
    clear();
    QStringList chain; // the root first, the current directory last
    for (QString path = Current;; path = QFileInfo(path).path()) {
        chain.prepend(path);
        if (QDir(path).isRoot() || QFileInfo(path).path() == path)
            break;
    }
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto add = [this](const QIcon& icon, const QString& text, const QString& path, int depth) {
        auto* item = new QListWidgetItem(icon, text, this);
        item->setData(PathRole, path);
        item->setData(DepthRole, depth);
        item->setToolTip(PlainToolTip(Native(path)));
        return item;
    };
    QListWidgetItem* current = nullptr;
    for (qsizetype depth = 0; depth < chain.size(); ++depth) {
        const QString& path = chain[depth];
        current =
            add(open, depth == 0 ? Native(path) : QFileInfo(path).fileName(), path, int(depth));
    }
    const QDir dir(Current);
    const QStringList children =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& child : children)
        add(closed, child, dir.filePath(child), int(chain.size()));
    setCurrentItem(current);
    // Centred, so that the subdirectories below it show as well as the way up.
    scrollToItem(current, QAbstractItemView::PositionAtCenter);
}

void DirectoryListBox::UpdateLabel() {
    if (!DirLabel)
        return;
    const QString path = Native(Current);
    DirLabel->setText(DirLabel->fontMetrics().elidedText(path, Qt::ElideMiddle, DirLabel->width()));
    DirLabel->setToolTip(PlainToolTip(path));
}

void DirectoryListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace) {
        const QString parent = QFileInfo(Current).path();
        if (parent != Current)
            SetDirectory(parent);
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirectoryListBox::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    UpdateLabel();
}

// ---------------------------------------------------------------------------------------------

MobileExportDialog::MobileExportDialog(const TileMap& map, const TilePack& pack,
                                       const QString& appDir, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), Map(map), Pack(pack), AppDir(appDir), UserDialogs(dialogs) {
    setWindowTitle(QStringLiteral("2Mobile Map"));
    setFixedSize(365, 303);
    move(252, 103);

    directoryBox = new QGroupBox(QStringLiteral("Каталог с png файлами"), this);
    directoryBox->setGeometry(0, 0, 365, 303);
    directoryLabel = new QLabel(QStringLiteral("directoryLabel"), directoryBox);
    directoryLabel->setTextFormat(Qt::PlainText);
    // As tall as its font needs, descenders included, and ending above the list.
    const int labelHeight = directoryLabel->fontMetrics().height();
    directoryLabel->setGeometry(2, std::min(17, 33 - labelHeight), 361, labelHeight);
    exportButton = new QPushButton(QStringLiteral("Создать карту для мобилки !!!!"), directoryBox);
    exportButton->setGeometry(72, 152, 217, 22);
    // Enter in the directory list opens a directory; it must not run the export as well.
    exportButton->setAutoDefault(false);
    logBox = new QGroupBox(QStringLiteral("Инфо"), directoryBox);
    logBox->setGeometry(2, 303 - 2 - 117, 361, 117);
    logEdit = new QPlainTextEdit(QStringLiteral("logEdit"), logBox);
    auto* infoLayout = new QVBoxLayout(logBox);
    infoLayout->setContentsMargins(2, 2, 2, 2);
    infoLayout->addWidget(logEdit);

    directoryList = new DirectoryListBox(this);
    directoryList->setGeometry(8, 33, 353, 112);
    directoryList->raise();
    directoryList->SetDirLabel(directoryLabel);
    directoryList->SetDirectory(QDir::currentPath());

    // Each by its field's name, which is how findChild reaches it from outside.
    SetObjectNames({{directoryBox, "directoryBox"},
                    {directoryLabel, "directoryLabel"},
                    {directoryList, "directoryList"},
                    {exportButton, "exportButton"},
                    {logBox, "logBox"},
                    {logEdit, "logEdit"}});

    setTabOrder(directoryList, exportButton);
    setTabOrder(exportButton, logEdit);

    connect(exportButton, &QPushButton::clicked, this,
            [this] { UserDialogs.Guard([this] { exportMap(); }); });
}

void MobileExportDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        prepare();
}

void MobileExportDialog::prepare() {
    logEdit->clear();
    directoryList->setFocus(); // choosing the directory comes first
    const QString tiles = AppDir + QStringLiteral("/tiles");
    if (QFileInfo(tiles).isDir()) {
        directoryList->SetDirectory(tiles);
    } else {
        directoryList->SetDirectory(AppDir);
        Log(QStringLiteral("The directory \"%1\" does not exist; the list starts in \"%2\".")
                .arg(Native(tiles), Native(AppDir)));
    }
}

void MobileExportDialog::Log(const QString& line) {
    logEdit->appendPlainText(line);
}

void MobileExportDialog::exportMap() {
    MobileExport job(Map, Pack, directoryList->Directory(),
                     PackFile.isEmpty() ? AppDir + QStringLiteral("/tiles")
                                        : QFileInfo(PackFile).absolutePath(),
                     AppDir + QStringLiteral("/maps"));
    job.Log = [this](const QString& line) { Log(line); };
    job.ShowPath = [this](const QString& path) { UserDialogs.ShowMessage(Native(path)); };
    try {
        job.Run();
    } catch (const Exception& e) {
        Log(e.Message());
        throw;
    }
}
