#pragma once

#include <QDialog>
#include <QListWidget>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class TileMap;
class TilePack;
class Dialogs;

// A list of directories in the manner of a directory list box: the current directory's
// ancestors from the root down, the directory itself, and its subdirectories. Activating an
// entry (double click or Enter) opens it; Backspace goes up one level. A bound label always
// shows the current directory.
class DirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirectoryListBox(QWidget* parent);

    QString Directory() const { return Current; }
    void SetDirectory(const QString& path);
    void SetDirLabel(QLabel* label);

    // The directory an entry stands for.
    static QString EntryPath(const QListWidgetItem* item);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Fill();
    void UpdateLabel();

    QString Current;
    QLabel* DirLabel = nullptr;
};

// The export of the map for the game's mobile version: the map to maps/mob.map in the
// application's directory and the mobile tile pack, which carries the PNG images of the chosen
// directory, beside them.
class MobileExportDialog : public QDialog {
    Q_OBJECT
public:
    // The map and the pack must outlive the dialog; appDir is the application's directory,
    // without a trailing separator, which holds tiles/ and maps/.
    // The dialogs show the export's questions and errors.
    MobileExportDialog(const TileMap& map, const TilePack& pack, const QString& appDir,
                       Dialogs& dialogs, QWidget* parent);

    // The file of the desktop pack the map was loaded with, which the mobile pack must never
    // replace; empty for a pack with no file, taken to be in tiles/.
    void SetPackFile(const QString& path) { PackFile = path; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString PackFile;
    // Each named as its field, which is how findChild reaches it from outside.
    QGroupBox* directoryBox;
    QLabel* directoryLabel;
    DirectoryListBox* directoryList;
    QPushButton* exportButton;
    QGroupBox* logBox;
    QPlainTextEdit* logEdit;

    void prepare();
    void exportMap();
    void Log(const QString& line);

    const TileMap& Map;
    const TilePack& Pack;
    const QString AppDir;
    Dialogs& UserDialogs;
};
