#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;

// The tile property dialog. It shows no property yet; neither answer changes a tile. It opens
// centred on the screen.
class TilePropertiesDialog : public QDialog {
    Q_OBJECT
public:
    explicit TilePropertiesDialog(QWidget* parent);

    int Tile = -1; // the index of the tile it is shown for

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Each named as its field, which is how findChild reaches it from outside.
    QGroupBox* propertiesBox;
    QPushButton* okButton;
    QPushButton* cancelButton;
};
