#include "ui/TilePropertiesDialog.h"

#include "formats/PackFile.h"
#include "platform/Cp1251.h"
#include "ui/Dialogs.h"
#include "ui/ObjectNames.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace {
const char* const ValueNames[] = {"Param1",    "Param2",    "Param3[1]", "Param3[2]",
                                  "Param3[3]", "Param3[4]", "Param4"};
} // namespace

TilePropertiesDialog::TilePropertiesDialog(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), UserDialogs(dialogs) {
    setWindowTitle(QStringLiteral("Object Property"));
    setFixedSize(444, 179);
    propertiesBox = new QGroupBox(QStringLiteral("Tile"), this);
    propertiesBox->setGeometry(0, 0, 444, 137);
    auto* nameLabel = new QLabel(QStringLiteral("Name"), propertiesBox);
    nameLabel->setGeometry(8, 20, 48, 22);
    nameEdit = new QLineEdit(propertiesBox);
    nameEdit->setGeometry(60, 20, 376, 22);
    nameEdit->setObjectName(QStringLiteral("nameEdit"));
    nameLabel->setBuddy(nameEdit);
    // Param1, Param2 and Param4 in the first row, Param3's four in the second.
    const QPoint places[] = {{8, 48},   {116, 48}, {8, 92},  {116, 92},
                             {224, 92}, {332, 92}, {224, 48}};
    for (std::size_t i = 0; i < valueEdits.size(); ++i) {
        auto* label = new QLabel(QLatin1StringView(ValueNames[i]), propertiesBox);
        label->setGeometry(QRect(places[i], QSize(104, 16)));
        valueEdits[i] = new QLineEdit(propertiesBox);
        valueEdits[i]->setGeometry(QRect(places[i] + QPoint(0, 16), QSize(100, 22)));
        valueEdits[i]->setObjectName(QStringLiteral("valueEdit%1").arg(i + 1));
        label->setBuddy(valueEdits[i]);
    }
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setGeometry(280, 152, 75, 25);
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setGeometry(360, 152, 75, 25);
    SetObjectNames(
        {{propertiesBox, "propertiesBox"}, {okButton, "okButton"}, {cancelButton, "cancelButton"}});
    // Escape rejects a QDialog already, which is what Cancel does.
    connect(okButton, &QPushButton::clicked, this, &TilePropertiesDialog::OkClicked);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TilePropertiesDialog::ShowTile(int index, const TileProperties& properties) {
    Tile = index;
    Accepted = properties;
    const bool shown = index >= 0;
    nameEdit->setText(shown ? Cp1251::ToUnicode(properties.Name) : QString());
    nameEdit->setEnabled(shown);
    const auto values = ValuesOf(Accepted);
    for (std::size_t i = 0; i < valueEdits.size(); ++i) {
        valueEdits[i]->setText(shown ? QString::number(*values[i]) : QString());
        valueEdits[i]->setEnabled(shown);
    }
}

void TilePropertiesDialog::OkClicked() {
    if (Tile < 0) {
        accept();
        return;
    }
    // A refused entry keeps the dialog open, with the entries as typed.
    if (const QString problem = PackFile::NameProblem(nameEdit->text()); !problem.isEmpty()) {
        UserDialogs.ShowMessage(problem);
        nameEdit->setFocus();
        return;
    }
    TileProperties entered = Accepted;
    entered.Name = Cp1251::FromUnicode(nameEdit->text());
    const auto values = ValuesOf(entered);
    for (std::size_t i = 0; i < valueEdits.size(); ++i) {
        bool ok = false;
        *values[i] = valueEdits[i]->text().trimmed().toInt(&ok);
        if (!ok) {
            UserDialogs.ShowMessage(
                QStringLiteral("%1: \"%2\" is not a whole number from %3 to %4.")
                    .arg(QLatin1StringView(ValueNames[i]), valueEdits[i]->text())
                    .arg(std::numeric_limits<qint32>::min())
                    .arg(std::numeric_limits<qint32>::max()));
            valueEdits[i]->setFocus();
            return;
        }
    }
    Accepted = entered;
    accept();
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
