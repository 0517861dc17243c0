#pragma once

#include <QDialog>
#include <QStringList>

class Dialogs;
class QListWidget;
class QPushButton;
class QDialogButtonBox;

// File > Tile Pack Folders…: the folders searched first for the tile pack a map names, in
// order. The list is edited here and handed back on OK; the window keeps it.
class TilePackFoldersDialog : public QDialog {
    Q_OBJECT
public:
    TilePackFoldersDialog(Dialogs& dialogs, QWidget* parent);

    void SetFolders(const QStringList& folders);
    QStringList Folders() const;

private:
    // Each named as its field, which is how findChild reaches it from outside.
    QListWidget* folderList;
    QPushButton* addFolderButton;
    QPushButton* removeFolderButton;
    QPushButton* moveUpButton;
    QDialogButtonBox* buttons;

    void AddFolder();
    void EnableButtons();

    Dialogs& UserDialogs;
};
