#pragma once

// What the editor keeps between runs, in QSettings: the folders of tile packs the user named
// and the files opened recently.

#include <QString>
#include <QStringList>
#include <memory>

class QSettings;

class EditorSettings {
public:
    // The user's settings of the editor; or, for a file path, an INI file of its own (tests
    // and anyone who wants the editor's settings apart).
    explicit EditorSettings(const QString& file = QString());
    ~EditorSettings();

    // Tile Pack Folders: searched first for a map's pack, in order.
    QStringList TileFolders() const;
    void SetTileFolders(const QStringList& folders);

    // Open Recent: maps and packs, the latest first, each once, at most MostRecent.
    static constexpr qsizetype MostRecent = 10;
    QStringList RecentFiles() const;
    // Puts the file first (by its absolute path), dropping the oldest beyond MostRecent.
    void AddRecentFile(const QString& path);
    void RemoveRecentFile(const QString& path);
    void ClearRecentFiles();

private:
    void SetRecentFiles(const QStringList& files);
    std::unique_ptr<QSettings> Store;
};
