#include "ui/TilePackFoldersDialog.h"

#include "ui/Dialogs.h"
#include "ui/ObjectNames.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TilePackFoldersDialog::TilePackFoldersDialog(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), UserDialogs(dialogs) {
    setWindowTitle(QStringLiteral("Tile Pack Folders"));
    auto* explanation = new QLabel(
        QStringLiteral("A map's tile pack is looked for in these folders first, top to bottom; "
                       "then in tiles/ beside the editor, beside the map and in the folder above "
                       "it, and in the editor's data folders."),
        this);
    explanation->setWordWrap(true);
    folderList = new QListWidget(this);
    addFolderButton = new QPushButton(QStringLiteral("Add…"), this);
    removeFolderButton = new QPushButton(QStringLiteral("Remove"), this);
    moveUpButton = new QPushButton(QStringLiteral("Move Up"), this);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetObjectNames({{folderList, "folderList"},
                    {addFolderButton, "addFolderButton"},
                    {removeFolderButton, "removeFolderButton"},
                    {moveUpButton, "moveUpButton"},
                    {buttons, "buttons"}});

    auto* side = new QVBoxLayout;
    side->addWidget(addFolderButton);
    side->addWidget(removeFolderButton);
    side->addWidget(moveUpButton);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(folderList, 1);
    middle->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addLayout(middle, 1);
    layout->addWidget(buttons);
    resize(520, 300);

    connect(addFolderButton, &QPushButton::clicked, this,
            [this] { UserDialogs.Guard([this] { AddFolder(); }); });
    connect(removeFolderButton, &QPushButton::clicked, this,
            [this] { delete folderList->takeItem(folderList->currentRow()); });
    connect(moveUpButton, &QPushButton::clicked, this, [this] {
        const int row = folderList->currentRow();
        if (row < 1)
            return;
        folderList->insertItem(row - 1, folderList->takeItem(row));
        folderList->setCurrentRow(row - 1);
    });
    connect(folderList, &QListWidget::currentRowChanged, this, [this] { EnableButtons(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    EnableButtons();
}

void TilePackFoldersDialog::SetFolders(const QStringList& folders) {
    folderList->clear();
    for (const QString& folder : folders)
        folderList->addItem(QDir::toNativeSeparators(folder));
    EnableButtons();
}

QStringList TilePackFoldersDialog::Folders() const {
    QStringList folders;
    for (int i = 0; i < folderList->count(); ++i)
        folders << QDir::fromNativeSeparators(folderList->item(i)->text());
    return folders;
}

void TilePackFoldersDialog::AddFolder() {
    FileDialog choose;
    choose.Kind = FileDialog::DialogKind::Folder;
    choose.Folder = QDir::homePath();
    if (!UserDialogs.Execute(choose))
        return;
    const QString folder = QDir::cleanPath(choose.FileName);
    if (!Folders().contains(folder))
        folderList->addItem(QDir::toNativeSeparators(folder));
    folderList->setCurrentRow(int(Folders().indexOf(folder)));
}

void TilePackFoldersDialog::EnableButtons() {
    const int row = folderList->currentRow();
    removeFolderButton->setEnabled(row >= 0);
    moveUpButton->setEnabled(row > 0);
}
