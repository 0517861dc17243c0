#pragma once

#include <QDialog>

// The New Map dialog.
class TForm2 : public QDialog {
public:
    explicit TForm2(QWidget* parent);

    // Empties the inputs, so the dialog always opens empty.
    void ClearInputs();
};
