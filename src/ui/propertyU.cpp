#include "ui/propertyU.h"

#include <QGroupBox>
#include <QPushButton>

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
