#pragma once

#include <QDialog>

// The export of the map for the game's mobile version.
class TForm3 : public QDialog {
public:
    explicit TForm3(QWidget* parent);
};
