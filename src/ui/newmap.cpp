#include "ui/newmap.h"

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("New Map"));
    resize(388, 270);
}

void TForm2::ClearInputs() {}
