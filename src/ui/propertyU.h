#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;

// The tile property dialog. It shows no property yet; neither answer changes a tile.
class TpropertyF : public QDialog {
public:
    explicit TpropertyF(QWidget* parent);

    QGroupBox* GroupBox1;
    QPushButton* OkButton;
    QPushButton* CancelButton;
};
