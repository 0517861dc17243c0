#include "ui/Dialogs.h"

#include "ui/Application.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {
std::unique_ptr<TDialogs>& Current() {
    static std::unique_ptr<TDialogs> dialogs = std::make_unique<TQtDialogs>();
    return dialogs;
}

// "Map file|*.map|TilePack|*.pac" -> {"Map file (*.map)", "TilePack (*.pac)"}
QStringList NameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), parts[i + 1]);
    return filters;
}
} // namespace

TDialogs& Dialogs() {
    return *Current();
}

void SetDialogs(std::unique_ptr<TDialogs> dialogs) {
    Current() = std::move(dialogs);
}

void TDialogs::ShowMessage(const QString& text) {
    MessageBox({.Text = text, .Caption = TApplication::Title()});
}

bool TDialogs::Confirm(const QString& text, const QString& caption, const QString& detail,
                       TMessage::TAnswer defaultAnswer) {
    return MessageBox({.Text = text,
                       .Caption = caption,
                       .Buttons = TMessage::TButtons::YesNo,
                       .Detail = detail,
                       .Default = defaultAnswer}) == TMessage::Yes;
}

TMessage::TAnswer TDialogs::AskToSave(const QString& text, const QString& detail) {
    return MessageBox({.Text = text,
                       .Caption = TApplication::Title(),
                       .Icon = TMessage::TIcon::Warning,
                       .Buttons = TMessage::TButtons::SaveDiscardCancel,
                       .Detail = detail,
                       .Default = TMessage::Save});
}

TMessage::TAnswer TDialogs::OfferRestore(const QString& text, const QString& detail) {
    return MessageBox({.Text = text,
                       .Caption = TApplication::Title(),
                       .Icon = TMessage::TIcon::Warning,
                       .Buttons = TMessage::TButtons::RestoreDiscard,
                       .Detail = detail,
                       .Default = TMessage::Restore});
}

void TDialogs::Warning(const QString& text) {
    MessageBox(
        {.Text = text, .Caption = QStringLiteral("Warning"), .Icon = TMessage::TIcon::Warning});
}

void TDialogs::ErrorBox(const QString& text) {
    MessageBox({.Text = text, .Caption = TApplication::Title(), .Icon = TMessage::TIcon::Stop});
}

TMessage::TAnswer TQtDialogs::MessageBox(const TMessage& message) {
    const QMessageBox::Icon icon = message.Icon == TMessage::TIcon::Warning ? QMessageBox::Warning
                                   : message.Icon == TMessage::TIcon::Stop  ? QMessageBox::Critical
                                                                            : QMessageBox::NoIcon;
    QMessageBox box(icon, message.Caption,
                    message.Detail.isEmpty()
                        ? message.Text
                        : message.Text + QStringLiteral("\n\n") + message.Detail,
                    QMessageBox::NoButton, QApplication::activeWindow());
    // Texts hold paths and names from files: "<h1>" in a name is shown, not obeyed.
    box.setTextFormat(Qt::PlainText);
    QList<std::pair<QAbstractButton*, TMessage::TAnswer>> buttons;
    auto add = [&](QMessageBox::StandardButton button, TMessage::TAnswer answer) {
        buttons.append({box.addButton(button), answer});
    };
    switch (message.Buttons) {
    case TMessage::TButtons::Ok:
        add(QMessageBox::Ok, TMessage::Ok);
        break;
    case TMessage::TButtons::YesNo:
        add(QMessageBox::Yes, TMessage::Yes);
        add(QMessageBox::No, TMessage::No);
        break;
    case TMessage::TButtons::SaveDiscardCancel:
        add(QMessageBox::Save, TMessage::Save);
        add(QMessageBox::Discard, TMessage::Discard);
        add(QMessageBox::Cancel, TMessage::Cancel);
        break;
    case TMessage::TButtons::RestoreDiscard:
        buttons.append(
            {box.addButton(QStringLiteral("Restore"), QMessageBox::AcceptRole), TMessage::Restore});
        add(QMessageBox::Discard, TMessage::Discard);
        break;
    }
    for (const auto& [button, answer] : buttons)
        if (answer == message.Default && buttons.size() > 1)
            box.setDefaultButton(qobject_cast<QPushButton*>(button));
    box.exec();
    for (const auto& [button, answer] : buttons)
        if (box.clickedButton() == button)
            return answer;
    // Closed without a button: Escape in a box with Cancel, or the close box.
    return message.Buttons == TMessage::TButtons::Ok      ? TMessage::Ok
           : message.Buttons == TMessage::TButtons::YesNo ? TMessage::No
                                                          : TMessage::Cancel;
}

bool TQtDialogs::Execute(TFileDialog& dialog) {
    QFileDialog box(QApplication::activeWindow());
    box.setOption(QFileDialog::ReadOnly, false);
    if (dialog.Kind == TFileDialog::TKind::Save) {
        box.setAcceptMode(QFileDialog::AcceptSave);
        // The commands ask themselves, and not over the file the map or pack came from.
        box.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        box.setAcceptMode(QFileDialog::AcceptOpen);
        // A typed name of a file that does not exist is accepted; the reader says what is
        // wrong with it.
        box.setFileMode(dialog.Kind == TFileDialog::TKind::Picture ? QFileDialog::ExistingFile
                                                                   : QFileDialog::AnyFile);
    }
    const QStringList filters =
        dialog.Kind == TFileDialog::TKind::Picture
            ? QStringList{QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("All files (*)")}
            : NameFilters(dialog.Filter);
    box.setNameFilters(filters);
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size())
        box.selectNameFilter(filters[dialog.FilterIndex - 1]);
    QString suffix = dialog.DefaultExt;
    box.setDefaultSuffix(suffix.remove(QStringLiteral("*.")));
    if (dialog.FileName.isEmpty())
        box.setDirectory(dialog.Folder);
    else
        box.selectFile(dialog.FileName);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return false;
    dialog.FileName = box.selectedFiles().constFirst();
    dialog.FilterIndex = int(filters.indexOf(box.selectedNameFilter())) + 1;
    return true;
}

int TQtDialogs::ExecModal(QDialog& dialog) {
    return dialog.exec();
}
