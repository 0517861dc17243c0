#include "ui/propertyU.h"

#include <QGroupBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

TpropertyF::TpropertyF(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Object Property"));
    setFixedSize(444, 179);
    GroupBox1 = new QGroupBox(QStringLiteral("Tile"), this);
    GroupBox1->setGeometry(0, 0, 444, 137);
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setGeometry(280, 152, 75, 25);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(360, 152, 75, 25);
    // Escape rejects a QDialog already, which is what Cancel does.
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TpropertyF::showEvent(QShowEvent* event) {
    QDialog::showEvent(event); // which centres a dialog on its main window
    if (event->spontaneous())
        return;
    // Centred on the screen the main window is on instead.
    QRect frame = frameGeometry();
    frame.moveCenter(screen()->availableGeometry().center());
    move(frame.topLeft());
}
