#include "ui/MainU.h"

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Map Editor(ver 0.3)"));
    resize(755, 626);
}
