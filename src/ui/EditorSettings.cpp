#include "ui/EditorSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
const QString TileFoldersKey = QStringLiteral("tilePackFolders");
const QString RecentKey = QStringLiteral("recentFiles");

QString Absolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

EditorSettings::EditorSettings(const QString& file)
    // Named outright rather than after the application, whose name also places the recovery
    // copies: the settings stay where they are whatever the executable is called.
    : Store(file.isEmpty()
                ? std::make_unique<QSettings>(QStringLiteral("korvane"), QStringLiteral("korvane"))
                : std::make_unique<QSettings>(file, QSettings::IniFormat)) {}

EditorSettings::~EditorSettings() = default;

QStringList EditorSettings::TileFolders() const {
    return Store->value(TileFoldersKey).toStringList();
}

void EditorSettings::SetTileFolders(const QStringList& folders) {
    Store->setValue(TileFoldersKey, folders);
    Store->sync();
}

QStringList EditorSettings::RecentFiles() const {
    // The file may have been edited by hand: each once, and no more than are shown.
    QStringList files;
    for (const QString& file : Store->value(RecentKey).toStringList())
        if (!file.isEmpty() && !files.contains(file) && files.size() < MostRecent)
            files << file;
    return files;
}

void EditorSettings::AddRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(Absolute(path));
    files.prepend(Absolute(path));
    SetRecentFiles(files.mid(0, MostRecent));
}

void EditorSettings::RemoveRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.removeAll(Absolute(path));
    SetRecentFiles(files);
}

void EditorSettings::ClearRecentFiles() {
    SetRecentFiles({});
}

void EditorSettings::SetRecentFiles(const QStringList& files) {
    Store->setValue(RecentKey, files);
    // Another editor started next reads the list as this one left it.
    Store->sync();
}
