#include "ui/TilePropertiesDialog.h"

#include <QGroupBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

TilePropertiesDialog::TilePropertiesDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Object Property"));
    setFixedSize(444, 179);
    propertiesBox = new QGroupBox(QStringLiteral("Tile"), this);
    propertiesBox->setGeometry(0, 0, 444, 137);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setGeometry(280, 152, 75, 25);
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setGeometry(360, 152, 75, 25);
    // Each by its field's name, which is how findChild reaches it from outside.
    const std::pair<QObject*, const char*> parts[] = {
        {propertiesBox, "propertiesBox"}, {okButton, "okButton"}, {cancelButton, "cancelButton"}};
    for (const auto& [part, name] : parts)
        part->setObjectName(QLatin1StringView(name));
    // Escape rejects a QDialog already, which is what Cancel does.
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TilePropertiesDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event); // which centres a dialog on its main window
    if (event->spontaneous())
        return;
    // Centred on the screen the main window is on instead.
    QRect frame = frameGeometry();
    frame.moveCenter(screen()->availableGeometry().center());
    move(frame.topLeft());
}
