// The map and tile pack file commands, and the commands that open the other windows.

#include "model/typeU.h"
#include "platform/Cp1251.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "ui/MainU.h"
#include "ui/MobMap.h"
#include "ui/newmap.h"

#include <QDir>
#include <QFileInfo>

namespace {
// The file name of a path, as the map file stores it.
QByteArray PackFileName(const QString& path) {
    return Cp1251::FromUnicode(QFileInfo(path).fileName());
}
} // namespace

void TForm1::Open_actExecute() {
    OpenDlg.FilterIndex = 1;
    OpenDlg.DefaultExt = QStringLiteral("*.map");
    if (!Dialogs().Execute(OpenDlg))
        return;
    Map->LoadFromFile(OpenDlg.FileName);
    LoadPackOfMap();
    UpdateTileListBox();
    Status->SetText(QStringLiteral("loading done!"));
}

void TForm1::LoadPackOfMap() {
    // The name comes from the map file: it may only name a file in the tiles directory.
    const QString name = Cp1251::ToUnicode(Map->PackName);
    if (!IsPlainFileName(name))
        throw EFormatError(
            QStringLiteral("The map was opened, but its tile pack \"%1\" was not "
                           "loaded: a map may only name a file in the tiles "
                           "directory \"%2\". Load the tile pack with "
                           "\"Load TilePack\".")
                .arg(name, QDir::toNativeSeparators(AppDir + QStringLiteral("/tiles"))));
    TilePack->LoadFromFile(QDir(AppDir).filePath(QStringLiteral("tiles/") + name));
}

void TForm1::Save_actExecute() {
    SaveDlg.FilterIndex = 1;
    SaveDlg.DefaultExt = QStringLiteral("*.map");
    if (Map->PackName.isEmpty()) {
        Dialogs().Warning(QStringLiteral("Для карты не указан/не сохранен таил пак(Сохраните "
                                         "Текущий Таил Пак) !!!"));
        return;
    }
    if (!Dialogs().Execute(SaveDlg))
        return;
    Map->Text1 = "testing!!!";
    Map->SaveToFile(SaveDlg.FileName);
    Status->SetText(QStringLiteral("saved... ok!"));
}

void TForm1::SpeedButton4Click() {
    SaveDlg.FilterIndex = 2;
    SaveDlg.DefaultExt = QStringLiteral("*.pac");
    if (!Dialogs().Execute(SaveDlg))
        return;
    TilePack->SaveToFile(SaveDlg.FileName, true, QString());
    Map->PackName = PackFileName(SaveDlg.FileName);
}

void TForm1::SpeedButton5Click() {
    OpenDlg.FilterIndex = 2;
    OpenDlg.DefaultExt = QStringLiteral("*.pac");
    if (!Dialogs().Execute(OpenDlg))
        return;
    TilePack->LoadFromFile(OpenDlg.FileName);
    Map->PackName = PackFileName(OpenDlg.FileName);
    UpdateTileListBox();
}

void TForm1::New_actExecute() {
    Dialogs().ExecModal(*Form2);
    Form2->ClearInputs();
}

void TForm1::mobmap_actExecute() {
    Dialogs().ExecModal(*Form3);
}
