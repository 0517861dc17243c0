#include "ui/ResizeMapDialog.h"

#include "document/Document.h"
#include "platform/Exceptions.h"
#include "ui/Dialogs.h"
#include "ui/NewMapDialog.h"
#include "ui/ObjectNames.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <climits>

namespace {
// The anchor buttons, in MapAnchor's order: each one's name, the arrow it shows, its tooltip.
struct AnchorButton {
    const char* Name;
    const char* Arrow;
    const char* Tip;
};
constexpr AnchorButton AnchorButtons[] = {
    {"topLeftAnchor", "↖", "Top left"},        {"topAnchor", "↑", "Top"},
    {"topRightAnchor", "↗", "Top right"},      {"leftAnchor", "←", "Left"},
    {"centreAnchor", "•", "Centre"},           {"rightAnchor", "→", "Right"},
    {"bottomLeftAnchor", "↙", "Bottom left"},  {"bottomAnchor", "↓", "Bottom"},
    {"bottomRightAnchor", "↘", "Bottom right"}};
} // namespace

ResizeMapDialog::ResizeMapDialog(Document& document, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), Doc(document), UserDialogs(dialogs) {
    setWindowTitle(QStringLiteral("Resize Map"));

    widthEdit = new QLineEdit(this);
    heightEdit = new QLineEdit(this);
    auto* sizes = new QFormLayout;
    sizes->addRow(QStringLiteral("Width"), widthEdit);
    sizes->addRow(QStringLiteral("Height"), heightEdit);

    auto* place = new QGroupBox(QStringLiteral("Where the old cells go"), this);
    auto* anchors = new QGridLayout;
    anchorGroup = new QButtonGroup(this);
    for (int anchor = 0; anchor < 9; ++anchor) {
        auto* button = new QToolButton(place);
        button->setText(QString::fromUtf8(AnchorButtons[anchor].Arrow));
        button->setToolTip(QString::fromUtf8(AnchorButtons[anchor].Tip));
        button->setObjectName(QLatin1StringView(AnchorButtons[anchor].Name));
        button->setCheckable(true);
        button->setFixedSize(28, 28);
        anchorGroup->addButton(button, anchor);
        anchors->addWidget(button, anchor / 3, anchor % 3);
    }
    offsetXEdit = new QSpinBox(place);
    offsetYEdit = new QSpinBox(place);
    auto* offsets = new QFormLayout;
    for (QSpinBox* offset : {offsetXEdit, offsetYEdit})
        offset->setRange(INT_MIN, INT_MAX);
    offsets->addRow(QStringLiteral("Offset X"), offsetXEdit);
    offsets->addRow(QStringLiteral("Offset Y"), offsetYEdit);
    auto* placeLayout = new QHBoxLayout(place);
    placeLayout->addLayout(anchors);
    placeLayout->addLayout(offsets);

    auto* buttons = new QDialogButtonBox(this);
    okButton = buttons->addButton(QDialogButtonBox::Ok);
    cancelButton = buttons->addButton(QDialogButtonBox::Cancel);
    okButton->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sizes);
    layout->addWidget(place);
    layout->addWidget(buttons);

    // Each by its field's name, which is how findChild reaches it from outside.
    SetObjectNames({{widthEdit, "widthEdit"},
                    {heightEdit, "heightEdit"},
                    {anchorGroup, "anchorGroup"},
                    {offsetXEdit, "offsetXEdit"},
                    {offsetYEdit, "offsetYEdit"},
                    {okButton, "okButton"},
                    {cancelButton, "cancelButton"}});

    connect(widthEdit, &QLineEdit::textChanged, this, &ResizeMapDialog::FollowAnchor);
    connect(heightEdit, &QLineEdit::textChanged, this, &ResizeMapDialog::FollowAnchor);
    connect(anchorGroup, &QButtonGroup::idClicked, this, &ResizeMapDialog::FollowAnchor);
    for (QSpinBox* offset : {offsetXEdit, offsetYEdit})
        connect(offset, &QSpinBox::valueChanged, this, &ResizeMapDialog::ReleaseAnchor);
    connect(okButton, &QPushButton::clicked, this, &ResizeMapDialog::OkClicked);
    // Escape rejects a QDialog already, which is what Cancel does.
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void ResizeMapDialog::StartFromMap() {
    anchorGroup->button(int(MapAnchor::TopLeft))->setChecked(true);
    widthEdit->setText(QString::number(Doc.Map().Width));
    heightEdit->setText(QString::number(Doc.Map().Height));
    FollowAnchor();
    widthEdit->setFocus();
    widthEdit->selectAll();
}

std::optional<QSize> ResizeMapDialog::EnteredSize() const {
    try {
        return QSize(NewMapDialog::StrToInt(widthEdit->text()),
                     NewMapDialog::StrToInt(heightEdit->text()));
    } catch (const EConvertError&) {
        return std::nullopt; // OK says what is wrong
    }
}

void ResizeMapDialog::FollowAnchor() {
    const int anchor = anchorGroup->checkedId();
    const std::optional<QSize> size = EnteredSize();
    if (anchor < 0 || !size)
        return;
    const QPoint offset =
        Document::AnchorOffset(QSize(Doc.Map().Width, Doc.Map().Height), *size, MapAnchor(anchor));
    const QSignalBlocker blockX(offsetXEdit), blockY(offsetYEdit);
    offsetXEdit->setValue(offset.x());
    offsetYEdit->setValue(offset.y());
}

void ResizeMapDialog::ReleaseAnchor() {
    // An exclusive group keeps its checked button; it lets go only while not exclusive.
    anchorGroup->setExclusive(false);
    if (QAbstractButton* checked = anchorGroup->checkedButton())
        checked->setChecked(false);
    anchorGroup->setExclusive(true);
}

void ResizeMapDialog::OkClicked() {
    UserDialogs.Guard([this] {
        if (Apply())
            accept();
    });
}

bool ResizeMapDialog::Apply() {
    // New Map's checks in its order: an empty size, then the conversion (its error reaches the
    // error box), then what no map can have.
    if (widthEdit->text().isEmpty() || heightEdit->text().isEmpty()) {
        UserDialogs.ShowMessage(NewMapDialog::EmptySizeMessage());
        return false;
    }
    const qint32 width = NewMapDialog::StrToInt(widthEdit->text());
    const qint32 height = NewMapDialog::StrToInt(heightEdit->text());
    // The anchor's offset for the size converted here, whatever the offsets last showed.
    const int anchor = anchorGroup->checkedId();
    const QPoint offset = anchor < 0
                              ? QPoint(offsetXEdit->value(), offsetYEdit->value())
                              : Document::AnchorOffset(QSize(Doc.Map().Width, Doc.Map().Height),
                                                       QSize(width, height), MapAnchor(anchor));
    try {
        Doc.ResizeMap(width, height, offset);
    } catch (const ESizeError& e) {
        UserDialogs.ShowMessage(e.Message());
        return false;
    }
    return true;
}
