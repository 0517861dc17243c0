#pragma once

#include "model/CellGrid.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class TilePack;

// Edit > Replace Tile: which tile every cell holding it changes from and to, and whether only
// in the selection.
class ReplaceTileDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReplaceTileDialog(QWidget* parent);

    // Lists "empty" and the pack's tiles, choosing from and to; the selection choice is offered
    // (and made) only when cells are selected.
    void Offer(const TilePack& pack, TileIndex from, TileIndex to, bool selection);
    TileIndex From() const;
    TileIndex To() const;
    bool InSelection() const;

private:
    // Each named as its field, which is how findChild reaches it from outside.
    QComboBox* fromCombo;
    QComboBox* toCombo;
    QCheckBox* selectionCheck;
    QPushButton* okButton;
    QPushButton* cancelButton;
};
