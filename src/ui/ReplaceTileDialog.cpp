#include "ui/ReplaceTileDialog.h"

#include "model/TilePack.h"
#include "platform/Cp1251.h"
#include "ui/ObjectNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>

ReplaceTileDialog::ReplaceTileDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Replace Tile"));
    fromCombo = new QComboBox(this);
    toCombo = new QComboBox(this);
    selectionCheck = new QCheckBox(QStringLiteral("Only in the selection"), this);
    auto* buttons = new QDialogButtonBox(this);
    okButton = buttons->addButton(QStringLiteral("Replace"), QDialogButtonBox::AcceptRole);
    cancelButton = buttons->addButton(QDialogButtonBox::Cancel);
    okButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Every cell holding:"), fromCombo);
    form->addRow(QStringLiteral("becomes:"), toCombo);
    form->addRow(selectionCheck);
    form->addRow(buttons);
    SetObjectNames({{fromCombo, "fromCombo"},
                    {toCombo, "toCombo"},
                    {selectionCheck, "selectionCheck"},
                    {okButton, "okButton"},
                    {cancelButton, "cancelButton"}});
}

void ReplaceTileDialog::Offer(const TilePack& pack, TileIndex from, TileIndex to, bool selection) {
    for (QComboBox* combo : {fromCombo, toCombo}) {
        combo->clear();
        combo->addItem(QStringLiteral("empty"), -1);
        for (qint32 i = 0; i < pack.Count(); ++i)
            combo->addItem(QStringLiteral("%1: %2").arg(i).arg(Cp1251::ToUnicode(pack.At(i).Name)),
                           i);
    }
    fromCombo->setCurrentIndex(std::max(fromCombo->findData(from), 0));
    toCombo->setCurrentIndex(std::max(toCombo->findData(to), 0));
    selectionCheck->setEnabled(selection);
    selectionCheck->setChecked(selection);
}

TileIndex ReplaceTileDialog::From() const {
    return fromCombo->currentData().toInt();
}

TileIndex ReplaceTileDialog::To() const {
    return toCombo->currentData().toInt();
}

bool ReplaceTileDialog::InSelection() const {
    return selectionCheck->isChecked();
}
