// The map and tile pack file commands, and the commands that open the other windows.

#include "document/Document.h"
#include "document/Recovery.h"
#include "formats/MapFile.h"
#include "formats/PackFile.h"
#include "formats/PackLocation.h"
#include "formats/TiledFormats.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "ui/Application.h"
#include "ui/EditorSettings.h"
#include "ui/MainWindow.h"
#include "ui/MobileExportDialog.h"
#include "ui/NewMapDialog.h"
#include "ui/TilePackFoldersDialog.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace {
QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Save and Save Tile Pack replace the file the map or pack came from without asking, as they
// always have; any other existing file only when the user says so, since one slip of Enter in
// the save dialog would otherwise lose another map, or a pack, for good.
// The question before a command writes over an existing file; No is the default.
bool AskToReplace(Dialogs& dialogs, const QString& path,
                  const QString& question = QStringLiteral("\"%1\" already exists. Replace it?")) {
    return dialogs.Confirm(question.arg(Native(path)), QStringLiteral("Confirm"), QString(),
                           Message::No);
}

bool MayReplace(Dialogs& dialogs, const QString& path, const QString& ownFile, bool savingMap) {
    const QFileInfo target(path);
    if (!target.exists() || (!ownFile.isEmpty() &&
                             target.canonicalFilePath() == QFileInfo(ownFile).canonicalFilePath()))
        return true;
    if (target.isFile() && (savingMap ? PackFile::IsValid(path) : MapFile::IsValid(path)))
        return AskToReplace(
            dialogs, path,
            savingMap ? QStringLiteral("\"%1\" is a tile pack. Replace it with the map?")
                      : QStringLiteral("\"%1\" is a map. Replace it with the tile pack?"));
    return AskToReplace(dialogs, path);
}

// Whether a file given to open is a tile pack: by its name, and for any other name by its
// content (a map is the default, and its reader says what is wrong with anything else).
bool IsPackToOpen(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("pac") || suffix == QLatin1String("map"))
        return suffix == QLatin1String("pac");
    return PackFile::IsValid(path);
}

// The local files of a drag, or none when it carries anything else.
QStringList DraggedFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        files << url.toLocalFile();
    }
    return files;
}

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseSensitive;
#endif
} // namespace

void MainWindow::openMap() {
    if (!ResolveUnsaved(DocumentPart::Map | DocumentPart::Pack))
        return;
    openDialog.FilterIndex = 1;
    openDialog.DefaultExt = QStringLiteral("*.map");
    if (!UserDialogs.Execute(openDialog))
        return;
    OpenMapFile(openDialog.FileName);
}

void MainWindow::OpenMapFile(const QString& mapPath) {
    // The map and its pack are both read before either replaces what the editor holds: the
    // new cells shown or saved with the old pack would name the wrong tiles.
    TileMap map(Doc->Map().TileSize);
    MapFile::Read(map, mapPath);
    const PackLocation::Found found = PackLocation::Find(map.PackName, mapPath, PackPlaces());
    QString packPath = found.File;
    if (packPath.isEmpty()) {
        packPath = LocatePack(Cp1251::ToUnicode(map.PackName), mapPath, found.Searched);
        if (packPath.isEmpty())
            return;
    }
    TilePack pack;
    try {
        PackFile::Read(pack, packPath);
    } catch (const Exception& e) {
        throw Exception(QStringLiteral("The map \"%1\" was not opened: its tile pack could not be "
                                       "loaded. %2")
                            .arg(Native(QFileInfo(mapPath).absoluteFilePath()), e.Message()));
    }
    Doc->Open(map, pack, mapPath, packPath);
    RememberFile(mapPath);
    Status->SetText(QStringLiteral("loading done!"));
}

QString MainWindow::LocatePack(const QString& name, const QString& mapPath,
                               const QStringList& searched) {
    QStringList folders;
    for (const QString& folder : searched)
        folders << Native(folder);
    const QString shownMap = Native(QFileInfo(mapPath).absoluteFilePath());
    if (!UserDialogs.Confirm(
            QStringLiteral("The tile pack \"%1\" of the map \"%2\" was not found. Locate it?")
                .arg(name, shownMap),
            QStringLiteral("Tile Pack Not Found"),
            QStringLiteral("Folders searched:\n") + folders.join(QLatin1Char('\n'))))
        return QString();
    // A dialog of its own: Open Map's keeps offering the map it opened last.
    FileDialog locate = openDialog;
    locate.FilterIndex = 2;
    locate.DefaultExt = QStringLiteral("*.pac");
    locate.FileName.clear();
    locate.Folder = QFileInfo(mapPath).absolutePath();
    if (!UserDialogs.Execute(locate))
        return QString();
    // The map keeps naming its pack by file name: any other file would be saved under the
    // name of one that is not there.
    if (QFileInfo(locate.FileName).fileName().compare(name, FileNameCase) != 0)
        throw Exception(QStringLiteral("The map \"%1\" was not opened: it names the tile pack "
                                       "\"%2\", and \"%3\" has another name.")
                            .arg(shownMap, name, Native(locate.FileName)));
    return locate.FileName;
}

PackLocation::SearchPlaces MainWindow::PackPlaces() const {
    return PackLocation::StandardPlaces(CommandLineTileFolders + Settings->TileFolders(), AppDir);
}

void MainWindow::SetCommandLineTileFolders(const QStringList& folders) {
    CommandLineTileFolders = folders;
}

void MainWindow::OpenFile(const QString& path) {
    const bool pack = IsPackToOpen(path);
    if (!ResolveUnsaved(pack ? DocumentParts(DocumentPart::Pack)
                             : DocumentPart::Map | DocumentPart::Pack))
        return;
    if (pack)
        LoadPackFile(path);
    else
        OpenMapFile(path);
}

void MainWindow::OpenFiles(const QStringList& paths) {
    for (const QString& path : paths)
        UserDialogs.Guard([&] { OpenFile(path); });
    RedrawMap();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QStringList files = DraggedFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened once the drop is over: the questions it may ask would hold up the file manager
    // the file came from.
    QTimer::singleShot(0, this, [this, files] { OpenFiles(files); });
}

void MainWindow::RememberFile(const QString& path) {
    Settings->AddRecentFile(path);
    FillRecentMenu();
}

void MainWindow::FillRecentMenu() {
    recentMenu->clear();
    const QStringList files = Settings->RecentFiles();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QFileInfo file(files[i]);
        // The name first, where the eye looks; the folder tells two of one name apart. An "&"
        // of either is shown, not taken for a shortcut.
        const QString key = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
        QAction* open = recentMenu->addAction(
            QStringLiteral("%1 %2  (%3)")
                .arg(key, file.fileName().replace(QLatin1Char('&'), QStringLiteral("&&")),
                     Native(file.path()).replace(QLatin1Char('&'), QStringLiteral("&&"))));
        open->setData(files[i]);
        connect(open, &QAction::triggered, this,
                [this, path = files[i]] { UserDialogs.Guard([&] { OpenRecent(path); }); });
    }
    recentMenu->addSeparator();
    recentMenu->addAction(clearRecentAction);
    clearRecentAction->setEnabled(!files.isEmpty());
}

void MainWindow::OpenRecent(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        Settings->RemoveRecentFile(path);
        FillRecentMenu();
        UserDialogs.Warning(QStringLiteral("\"%1\" is no longer there; it was removed from Open "
                                           "Recent.")
                                .arg(Native(path)));
        return;
    }
    OpenFile(path);
    RedrawMap();
}

void MainWindow::clearRecentFiles() {
    Settings->ClearRecentFiles();
    FillRecentMenu();
}

void MainWindow::editTilePackFolders() {
    tilePackFoldersDialog->SetFolders(Settings->TileFolders());
    if (UserDialogs.ExecModal(*tilePackFoldersDialog) == QDialog::Accepted)
        Settings->SetTileFolders(tilePackFoldersDialog->Folders());
}

QString MainWindow::NewPackFolder() const {
    if (QFileInfo(AppDir).isWritable())
        return AppDir;
    QString own = PackLocation::UserDataFolder();
    QDir().mkpath(own);
    return own;
}

void MainWindow::saveMap() {
    saveDialog.FilterIndex = 1;
    saveDialog.DefaultExt = QStringLiteral("*.map");
    if (Doc->Map().PackName.isEmpty()) {
        UserDialogs.Warning(QStringLiteral("Для карты не указан/не сохранен таил пак(Сохраните "
                                           "Текущий Таил Пак) !!!"));
        return;
    }
    if (!runSaveDialog(Doc->MapPath(), MapFolder) ||
        !MayReplace(UserDialogs, saveDialog.FileName, Doc->MapPath(), true))
        return;
    Doc->SaveMap(saveDialog.FileName);
    RememberFile(saveDialog.FileName);
    Status->SetText(QStringLiteral("saved... ok!"));
}

void MainWindow::saveTilePack() {
    saveDialog.FilterIndex = 2;
    saveDialog.DefaultExt = QStringLiteral("*.pac");
    if (!runSaveDialog(Doc->PackPath(), NewPackFolder()))
        return;
    const QString path = saveDialog.FileName;
    // A name the map cannot record exactly would name a file that is not there.
    const QString name = QFileInfo(path).fileName();
    if (const QString refusal = PackNameRefusal(name); !refusal.isEmpty())
        throw Exception(QStringLiteral("The tile pack was not saved as \"%1\": %2.")
                            .arg(Native(path), refusal));
    if (!MayReplace(UserDialogs, path, Doc->PackPath(), false))
        return;
    Doc->SavePack(path, Cp1251::FromUnicode(name));
    RememberFile(path);
}

bool MainWindow::runSaveDialog(const QString& offered, const QString& folder) {
    // The one save dialog serves maps and packs; each offers the file of its own kind.
    saveDialog.FileName = offered;
    saveDialog.Folder = folder.isEmpty() ? AppDir : folder;
    return UserDialogs.Execute(saveDialog);
}

void MainWindow::loadTilePack() {
    if (!ResolveUnsaved(DocumentPart::Pack))
        return;
    openDialog.FilterIndex = 2;
    openDialog.DefaultExt = QStringLiteral("*.pac");
    // Packs are kept together: the dialog starts at the pack of the map being edited.
    if (!Doc->PackPath().isEmpty())
        openDialog.FileName = Doc->PackPath();
    if (!UserDialogs.Execute(openDialog))
        return;
    LoadPackFile(openDialog.FileName);
}

void MainWindow::LoadPackFile(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const QString refusal = PackNameRefusal(name);
    Doc->LoadPack(path, refusal.isEmpty() ? Cp1251::FromUnicode(name) : Doc->Map().PackName);
    RememberFile(path);
    if (refusal.isEmpty())
        return;
    // The pack is usable; only a map cannot name it.
    const QString kept = Doc->Map().PackName.isEmpty()
                             ? QStringLiteral("The map still names no tile pack.")
                             : QStringLiteral("The map still names \"%1\".")
                                   .arg(Cp1251::ToUnicode(Doc->Map().PackName));
    UserDialogs.Warning(QStringLiteral("The tile pack \"%1\" was loaded, but a map cannot name it "
                                       "until the file is renamed: %2. %3")
                            .arg(Native(path), refusal, kept));
}

void MainWindow::newMap() {
    if (!ResolveUnsaved(DocumentPart::Map))
        return;
    const TileIndex* before = Doc->Map().Cells.data();
    UserDialogs.ExecModal(*newMapDialog);
    newMapDialog->clearInputs();
    // A new map, which has cells of its own, is shown from its top-left corner.
    if (Doc->Map().Cells.data() != before) {
        View->OffsetX = 0;
        View->OffsetY = 0;
    }
}

void MainWindow::importMap() {
    if (!ResolveUnsaved(DocumentPart::Map | DocumentPart::Pack))
        return;
    if (!UserDialogs.Execute(importDialog))
        return;
    // Read whole before anything is replaced; a refusal leaves the map and pack as they are.
    TileMap map(Doc->Map().TileSize);
    TilePack pack;
    TiledFormats::Import(map, pack, importDialog.FileName);
    // Neither came from a file of ours: Save and Save Tile Pack ask where they go. The view
    // starts at the top-left corner; the document's change redraws it.
    View->OffsetX = 0;
    View->OffsetY = 0;
    Doc->Restore(map, pack, QString(), QString(), DocumentPart::Map | DocumentPart::Pack);
    Status->SetText(QStringLiteral("imported... ok!"));
}

void MainWindow::exportAs() {
    if (!UserDialogs.Execute(exportDialog))
        return;
    QString path = exportDialog.FileName;
    // A name without a known extension takes the chosen type's.
    if (!TiledFormats::FormatOf(path)) {
        static const TiledFormats::Format byFilter[] = {
            TiledFormats::Format::Tmx, TiledFormats::Format::Tmj, TiledFormats::Format::Csv,
            TiledFormats::Format::Png};
        const int index = std::clamp(exportDialog.FilterIndex, 1, 4) - 1;
        path += QLatin1Char('.') + TiledFormats::Extension(byFilter[index]);
    }
    const std::optional<TiledFormats::Format> format = TiledFormats::FormatOf(path);
    QStringList targets{path};
    if ((format == TiledFormats::Format::Tmx || format == TiledFormats::Format::Tmj) &&
        Doc->Pack().Count() > 0)
        targets << TiledFormats::AtlasPath(path);
    for (const QString& target : targets)
        if (QFileInfo::exists(target) && !AskToReplace(UserDialogs, target))
            return;
    TiledFormats::Export(Doc->Map(), Doc->Pack(), path);
    Status->SetText(QStringLiteral("exported... ok!"));
}

void MainWindow::exportForMobile() {
    mobileExportDialog->SetPackFile(Doc->PackPath());
    UserDialogs.ExecModal(*mobileExportDialog);
}

bool MainWindow::ResolveUnsaved(DocumentParts replaced) {
    // Saving the pack can change the name the map records, so the question comes again
    // while anything replaced is unsaved.
    for (DocumentParts unsaved; (unsaved = Doc->Unsaved() & replaced);) {
        const QString what = unsaved == (DocumentPart::Map | DocumentPart::Pack)
                                 ? QStringLiteral("The map and the tile pack have")
                             : unsaved == DocumentPart::Map ? QStringLiteral("The map has")
                                                            : QStringLiteral("The tile pack has");
        switch (UserDialogs.AskToSave(what + QStringLiteral(" unsaved changes."),
                                      QStringLiteral("Save them before going on?"))) {
        case Message::Save:
            break;
        case Message::Discard:
            return true;
        default:
            return false;
        }
        // The pack first: the map then records the name it was saved under.
        if (unsaved.testFlag(DocumentPart::Pack)) {
            saveTilePack();
            if (Doc->Unsaved().testFlag(DocumentPart::Pack))
                return false; // cancelled, or refused
        }
        if (unsaved.testFlag(DocumentPart::Map)) {
            saveMap();
            if (Doc->Unsaved().testFlag(DocumentPart::Map))
                return false;
        }
    }
    return true;
}

void MainWindow::StartRecovery(const QString& directory) {
    if (directory.isEmpty())
        return;
    RecoveryService = std::make_unique<Recovery>(*Doc, directory);
    connect(RecoveryService.get(), &Recovery::WriteFailed, this, [this](const QString& message) {
        // Once: the copy is tried again and again, and a box each time would stop all work.
        if (std::exchange(RecoveryFailureShown, true))
            return;
        UserDialogs.Warning(QStringLiteral("The recovery copy of your unsaved work could not be "
                                           "written, so a crash now would lose that work. The "
                                           "editor goes on trying. %1")
                                .arg(message));
    });
    connect(RecoveryService.get(), &Recovery::Unprotected, this, [this](const QString& reason) {
        Status->SetText(QStringLiteral("Unsaved work is not protected: the editor keeps no "
                                       "recovery copy."));
        UserDialogs.Warning(QStringLiteral("Your unsaved work is not protected: the editor cannot "
                                           "lock its recovery directory, so it keeps no copy of "
                                           "that work and a crash now would lose it. The editor "
                                           "goes on trying. %1")
                                .arg(reason));
    });
    UserDialogs.Guard([this, directory] {
        // Every copy an editor that is gone left, one after another; each is claimed only
        // while it is offered, so a copy kept for later is free for any editor to offer.
        for (const QString& copy : RecoveryService->Orphans())
            if (RecoveryService->Claim(copy))
                OfferRecovery(copy);
        if (const QStringList unclaimable = RecoveryService->Unclaimable();
            !unclaimable.isEmpty()) {
            QStringList shown;
            for (const QString& copy : unclaimable)
                shown << QStringLiteral("\"%1\"").arg(Native(copy));
            UserDialogs.Warning(
                QStringLiteral("Work from an earlier run of the editor was kept in %1, but it "
                               "cannot be offered: %2")
                    .arg(shown.join(QStringLiteral(", ")),
                         QFileInfo(directory).isWritable()
                             ? QStringLiteral("its lock cannot be taken.")
                             : QStringLiteral("the directory \"%1\" cannot be written.")
                                   .arg(Native(directory))));
        }
    });
    RedrawMap();
}

bool MainWindow::OfferRecovery(const QString& copy) {
    RecoveredWork work;
    try {
        work = RecoveryService->Read(copy);
    } catch (const Exception& e) {
        const QString aside = RecoveryService->MoveAside(copy);
        // The reason may end without a full stop; the sentence after it needs one.
        QString reason = e.Message();
        if (!reason.endsWith(QLatin1Char('.')))
            reason += QLatin1Char('.');
        UserDialogs.Warning(QStringLiteral("%1 It was kept in \"%2\".").arg(reason, Native(aside)));
        return false;
    }
    auto part = [&work](const QString& kind, const QString& file, const QString& size,
                        DocumentPart unsaved) {
        return QStringLiteral("%1: %2, %3%4.")
            .arg(kind,
                 file.isEmpty() ? QStringLiteral("never saved")
                                : QStringLiteral("\"%1\"").arg(Native(file)),
                 size,
                 work.Unsaved.testFlag(unsaved) ? QStringLiteral(", with unsaved changes")
                                                : QString());
    };
    const QString detail =
        part(QStringLiteral("Map"), work.MapFile,
             QStringLiteral("%1 × %2 cells").arg(work.Map->Width).arg(work.Map->Height),
             DocumentPart::Map) +
        QLatin1Char('\n') +
        part(QStringLiteral("Tile pack"), work.PackFile,
             QStringLiteral("%1 tiles").arg(work.Pack->Count()), DocumentPart::Pack) +
        QStringLiteral("\nCopied %1.")
            .arg(QLocale().toString(work.Written.toLocalTime(), QLocale::ShortFormat));
    switch (UserDialogs.OfferRestore(QStringLiteral("The editor did not end normally last time, "
                                                    "and its unsaved work was kept. Restore it?"),
                                     detail)) {
    case Message::Restore:
        // Work restored from an earlier copy is asked about as any work it would replace.
        if (!ResolveUnsaved(DocumentPart::Map | DocumentPart::Pack)) {
            RecoveryService->Release(copy);
            return false;
        }
        RecoveryService->Restore(work);
        return true;
    case Message::Discard:
        RecoveryService->Discard(copy);
        return false;
    default:
        RecoveryService->Release(copy); // kept for the next start, or an editor started meanwhile
        return false;
    }
}
