#pragma once

#include "model/Tile.h"

#include <QDialog>
#include <array>

class Dialogs;
class QGroupBox;
class QLineEdit;
class QPushButton;

// The tile property dialog: a tile's name and its seven values, which OK checks as the pack
// file requires and Cancel leaves as they were. It opens centred on the screen.
class TilePropertiesDialog : public QDialog {
    Q_OBJECT
public:
    // The dialogs show why an entry is refused.
    TilePropertiesDialog(Dialogs& dialogs, QWidget* parent);

    // Fills the fields with the properties of the tile at index; -1 for none, which leaves
    // them empty and closed to entries.
    void ShowTile(int index, const TileProperties& properties);
    int Tile = -1; // the index of the tile it is shown for
    // What OK accepted; the tile's own properties until then.
    const TileProperties& Entered() const { return Accepted; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OkClicked();

    Dialogs& UserDialogs;
    TileProperties Accepted;
    // Each named as its field, which is how findChild reaches it from outside.
    QGroupBox* propertiesBox;
    QLineEdit* nameEdit;
    // Param1, Param2, Param3[1] to Param3[4], Param4: the file's order less the name.
    std::array<QLineEdit*, 7> valueEdits;
    QPushButton* okButton;
    QPushButton* cancelButton;
};
