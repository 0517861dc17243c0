#include "ui/MobMap.h"

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("2Mobile Map"));
    resize(365, 303);
}
