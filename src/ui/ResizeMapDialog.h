#pragma once

#include <QDialog>
#include <QPoint>
#include <QSize>
#include <optional>

class QButtonGroup;
class QLineEdit;
class QPushButton;
class QSpinBox;
class Dialogs;
class Document;

// Map > Resize Map: the new width and height, and where the old cells go, either one of nine
// anchors or an offset in cells. OK resizes the document's map while the dialog is on screen;
// an entry it refuses is shown as New Map shows it, and the dialog stays open with the map as
// it was.
class ResizeMapDialog : public QDialog {
    Q_OBJECT
public:
    // The document must outlive the dialog; the dialogs show its messages.
    ResizeMapDialog(Document& document, Dialogs& dialogs, QWidget* parent);

    // The entries start from the map as it is now: its size, the top-left anchor, no offset.
    void StartFromMap();

private:
    // Each named as its field, which is how findChild reaches it from outside. The nine anchor
    // buttons are the group's, its ids MapAnchor's values, each named as AnchorButtons says.
    QLineEdit* widthEdit;  // width in cells
    QLineEdit* heightEdit; // height in cells
    QButtonGroup* anchorGroup;
    QSpinBox* offsetXEdit; // where the old column 0 goes
    QSpinBox* offsetYEdit; // where the old row 0 goes
    QPushButton* okButton;
    QPushButton* cancelButton;

    // The entered size, as far as both entries are numbers.
    std::optional<QSize> EnteredSize() const;
    // The offsets show where the checked anchor puts the map at the entered size.
    void FollowAnchor();
    // An offset typed by hand: no anchor stands for it any more.
    void ReleaseAnchor();
    void OkClicked();
    // Resizes the map as entered; false, after saying why, when an entry is refused.
    bool Apply();

    Document& Doc;
    Dialogs& UserDialogs;
};
