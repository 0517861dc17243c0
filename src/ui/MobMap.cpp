#include "ui/MobMap.h"

#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/TMemoryStream.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

#include <QDir>
#include <QFile>
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
class TDirectoryDelegate : public QStyledItemDelegate {
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

// Whether two paths name one file, also through links.
bool SameFile(const QString& a, const QString& b) {
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    const QString dirA = QFileInfo(fa.path()).canonicalFilePath();
    if (!dirA.isEmpty() && dirA == QFileInfo(fb.path()).canonicalFilePath() &&
        fa.fileName() == fb.fileName())
        return true;
    const QString fileA = fa.canonicalFilePath();
    return !fileA.isEmpty() && fileA == fb.canonicalFilePath();
}

// The number of tiles a desktop pack in these bytes holds; 0 when they are no desktop pack.
// Empty packs are the same four bytes in both variants, so they hold nothing to lose.
qsizetype DesktopTiles(const QByteArray& bytes) {
    TMemoryStream stream(bytes);
    try {
        return qsizetype(tTilePack::ReadTiles(stream).size());
    } catch (const Exception&) {
        return 0;
    }
}

// The one failure after which a file has changed: the map could not be written and the pack
// written before it could not be put back.
struct EPartialExport : Exception {
    using Exception::Exception;
};

QString NothingWritten(const QString& reason) {
    return QStringLiteral("Nothing was written: %1").arg(reason);
}
} // namespace

// ---------------------------------------------------------------------------------------------

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new TDirectoryDelegate(this));
    setUniformItemSizes(true);
    setIconSize(QSize(14, 14));
    // The path is read before the list is rebuilt, which deletes the activated entry.
    connect(this, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) { SetDirectory(index.data(PathRole).toString()); });
}

QString TDirectoryListBox::EntryPath(const QListWidgetItem* item) {
    return item ? item->data(PathRole).toString() : QString();
}

void TDirectoryListBox::SetDirectory(const QString& path) {
    if (path.isEmpty())
        return;
    Current = QDir::cleanPath(QDir(path).absolutePath());
    Fill();
    UpdateLabel();
}

void TDirectoryListBox::SetDirLabel(QLabel* label) {
    DirLabel = label;
    UpdateLabel();
}

void TDirectoryListBox::Fill() {
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

void TDirectoryListBox::UpdateLabel() {
    if (!DirLabel)
        return;
    const QString path = Native(Current);
    DirLabel->setText(DirLabel->fontMetrics().elidedText(path, Qt::ElideMiddle, DirLabel->width()));
    DirLabel->setToolTip(PlainToolTip(path));
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace) {
        const QString parent = QFileInfo(Current).path();
        if (parent != Current)
            SetDirectory(parent);
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TDirectoryListBox::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    UpdateLabel();
}

// ---------------------------------------------------------------------------------------------

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("2Mobile Map"));
    setFixedSize(365, 303);
    move(252, 103);

    GroupBox1 = new QGroupBox(QStringLiteral("Каталог с png файлами"), this);
    GroupBox1->setGeometry(0, 0, 365, 303);
    pngDir_cap = new QLabel(QStringLiteral("pngDir_cap"), GroupBox1);
    pngDir_cap->setTextFormat(Qt::PlainText);
    // As tall as its font needs, descenders included, and ending above the list.
    const int labelHeight = pngDir_cap->fontMetrics().height();
    pngDir_cap->setGeometry(2, std::min(17, 33 - labelHeight), 361, labelHeight);
    SpeedButton1 = new QPushButton(QStringLiteral("Создать карту для мобилки !!!!"), GroupBox1);
    SpeedButton1->setGeometry(72, 152, 217, 22);
    // Enter in the directory list opens a directory; it must not run the export as well.
    SpeedButton1->setAutoDefault(false);
    GroupBox2 = new QGroupBox(QStringLiteral("Инфо"), GroupBox1);
    GroupBox2->setGeometry(2, 303 - 2 - 117, 361, 117);
    InfoMem = new QPlainTextEdit(QStringLiteral("InfoMem"), GroupBox2);
    auto* infoLayout = new QVBoxLayout(GroupBox2);
    infoLayout->setContentsMargins(2, 2, 2, 2);
    infoLayout->addWidget(InfoMem);

    DirectoryListBox1 = new TDirectoryListBox(this);
    DirectoryListBox1->setGeometry(8, 33, 353, 112);
    DirectoryListBox1->raise();
    DirectoryListBox1->SetDirLabel(pngDir_cap);
    DirectoryListBox1->SetDirectory(QDir::currentPath());

    setTabOrder(DirectoryListBox1, SpeedButton1);
    setTabOrder(SpeedButton1, InfoMem);

    connect(SpeedButton1, &QPushButton::clicked, this,
            [this] { TApplication::Guard([this] { SpeedButton1Click(); }); });
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm3::FormShow() {
    InfoMem->clear();
    DirectoryListBox1->setFocus(); // choosing the directory comes first
    const QString tiles = AppDir + QStringLiteral("/tiles");
    if (QFileInfo(tiles).isDir()) {
        DirectoryListBox1->SetDirectory(tiles);
    } else {
        DirectoryListBox1->SetDirectory(AppDir);
        Log(QStringLiteral("The directory \"%1\" does not exist; the list starts in \"%2\".")
                .arg(Native(tiles), Native(AppDir)));
    }
}

void TForm3::Log(const QString& line) {
    InfoMem->appendPlainText(line);
}

void TForm3::SpeedButton1Click() {
    bool allFound = true;
    QString pngDir = DirectoryListBox1->Directory();
    if (!pngDir.endsWith(QLatin1Char('/')))
        pngDir += QLatin1Char('/');
    for (qint32 i = 0; i < TilePack->Count(); ++i) {
        const QString name = Cp1251::ToUnicode(TilePack->Tile(i).Name);
        const QString png = pngDir + name + QStringLiteral(".png");
        Dialogs().ShowMessage(Native(png));
        // An empty name is a plain file name here: its image is the file ".png".
        if (!name.isEmpty() && !IsPlainFileName(name)) {
            Log(QStringLiteral("Tile %1 refused: its name \"%2\" is not a file name in the "
                               "chosen directory")
                    .arg(i)
                    .arg(name));
            allFound = false;
        } else if (QFileInfo(png).isFile()) {
            Log(QStringLiteral("Checking OK! (") + name + QStringLiteral(" )"));
        } else {
            Log(QStringLiteral("Scuko!") + name + QStringLiteral(" "));
            allFound = false;
        }
    }
    if (!allFound)
        return;
    try {
        WriteFiles(pngDir);
    } catch (const Exception& e) {
        Log(e.Message());
        throw;
    }
}

void TForm3::WriteFiles(const QString& pngDir) {
    const QString packName = Cp1251::ToUnicode(Map->PackName);
    if (packName.isEmpty())
        throw Exception(NothingWritten(
            QStringLiteral("the map names no tile pack; save or load its tile pack first")));
    if (!IsPlainFileName(packName))
        throw Exception(NothingWritten(
            QStringLiteral("the map's tile pack name \"%1\" is not a file name in the chosen "
                           "directory")
                .arg(packName)));

    const QString packPath = pngDir + packName;
    const QString mapsDir = AppDir + QStringLiteral("/maps");
    const QString mapPath = mapsDir + QStringLiteral("/mob.map");
    const QString desktopPath = AppDir + QStringLiteral("/tiles/") + packName;
    // The mobile pack cannot be read by the editor: it must never take the place of a pack
    // the editor loads.
    if (SameFile(packPath, desktopPath))
        throw Exception(NothingWritten(
            QStringLiteral("\"%1\" is the desktop tile pack this map loads, and the mobile pack "
                           "would replace it; choose the directory with the PNG files")
                .arg(Native(desktopPath))));
    if (SameFile(packPath, mapPath))
        throw Exception(NothingWritten(
            QStringLiteral("the mobile tile pack \"%1\" would replace the mobile map")
                .arg(Native(packPath))));

    try {
        // What the pack file holds now: checked before it is replaced, and put back should
        // the map fail to be written.
        bool hadPack = false;
        QByteArray oldPack;
        if (QFileInfo(packPath).isFile()) {
            TMemoryStream old;
            old.LoadFromFile(packPath);
            oldPack = old.Bytes();
            hadPack = true;
            if (const qsizetype tiles = DesktopTiles(oldPack); tiles > 0)
                throw Exception(
                    QStringLiteral("\"%1\" is a desktop tile pack of %2 tiles, and the mobile "
                                   "pack would replace it")
                        .arg(Native(packPath))
                        .arg(tiles));
        }

        // Both files complete in memory, every PNG read, before either is written.
        const QByteArray mapBytes = Map->SaveToBytes();
        const QByteArray packBytes = TilePack->SaveToBytes(false, pngDir);
        if (!QDir().mkpath(mapsDir))
            throw EFCreateError(Msg::CannotCreateFile(
                mapPath, QStringLiteral("The directory could not be created.")));

        TMemoryStream(packBytes).SaveToFile(packPath);
        try {
            TMemoryStream(mapBytes).SaveToFile(mapPath);
        } catch (const Exception& e) {
            QString undoFailure;
            try {
                if (hadPack)
                    TMemoryStream(oldPack).SaveToFile(packPath);
                else if (!QFile::remove(packPath))
                    undoFailure = QStringLiteral("it could not be removed");
            } catch (const Exception& undo) {
                undoFailure = undo.Message();
            }
            if (!undoFailure.isEmpty())
                throw EPartialExport(QStringLiteral("Only the mobile tile pack \"%1\" was written, "
                                                    "not the map: %2; putting the pack back "
                                                    "failed: %3")
                                         .arg(Native(packPath), e.Message(), undoFailure));
            throw;
        }
    } catch (const EPartialExport&) {
        throw;
    } catch (const Exception& e) {
        throw Exception(NothingWritten(e.Message()));
    } catch (const std::exception& e) {
        throw Exception(NothingWritten(QString::fromLocal8Bit(e.what())));
    }
}
