#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;

// The tile property dialog. It shows no property yet; neither answer changes a tile. It opens
// centred on the screen.
class TpropertyF : public QDialog {
public:
    explicit TpropertyF(QWidget* parent);

    QGroupBox* GroupBox1;
    QPushButton* OkButton;
    QPushButton* CancelButton;
    int Tile = -1; // the index of the tile it is shown for

protected:
    void showEvent(QShowEvent* event) override;
};
