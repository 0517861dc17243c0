#include "ui/Dialogs.h"

#include "platform/Exceptions.h"
#include "ui/Application.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <new>

namespace {
// "Map file|*.map|TilePack|*.pac" -> {"Map file (*.map)", "TilePack (*.pac)"}
QStringList NameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), parts[i + 1]);
    return filters;
}
} // namespace

QString Dialogs::ErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void Dialogs::ShowError(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    QString message = own ? own->Message() : QString::fromLocal8Bit(error.what());
    // The library's own words for running out of memory say nothing to a user.
    if (dynamic_cast<const std::bad_alloc*>(&error))
        message = QStringLiteral("There was not enough memory to finish the command; nothing "
                                 "more was changed. Close other programs or work on a smaller "
                                 "map or tile pack");
    ErrorBox(ErrorText(message));
}

void Dialogs::ShowMessage(const QString& text) {
    MessageBox({.Text = text, .Caption = Application::Title()});
}

bool Dialogs::Confirm(const QString& text, const QString& caption, const QString& detail,
                      Message::Answer defaultAnswer) {
    return MessageBox({.Text = text,
                       .Caption = caption,
                       .Buttons = Message::ButtonSet::YesNo,
                       .Detail = detail,
                       .Default = defaultAnswer}) == Message::Yes;
}

Message::Answer Dialogs::AskToSave(const QString& text, const QString& detail) {
    return MessageBox({.Text = text,
                       .Caption = Application::Title(),
                       .Icon = Message::IconKind::Warning,
                       .Buttons = Message::ButtonSet::SaveDiscardCancel,
                       .Detail = detail,
                       .Default = Message::Save});
}

Message::Answer Dialogs::OfferRestore(const QString& text, const QString& detail) {
    return MessageBox({.Text = text,
                       .Caption = Application::Title(),
                       .Icon = Message::IconKind::Warning,
                       .Buttons = Message::ButtonSet::RestoreDiscard,
                       .Detail = detail,
                       .Default = Message::Restore});
}

void Dialogs::Warning(const QString& text) {
    MessageBox(
        {.Text = text, .Caption = QStringLiteral("Warning"), .Icon = Message::IconKind::Warning});
}

void Dialogs::ErrorBox(const QString& text) {
    MessageBox({.Text = text, .Caption = Application::Title(), .Icon = Message::IconKind::Stop});
}

Message::Answer QtDialogs::MessageBox(const Message& message) {
    const QMessageBox::Icon icon = message.Icon == Message::IconKind::Warning ? QMessageBox::Warning
                                   : message.Icon == Message::IconKind::Stop ? QMessageBox::Critical
                                                                             : QMessageBox::NoIcon;
    QMessageBox box(icon, message.Caption,
                    message.Detail.isEmpty()
                        ? message.Text
                        : message.Text + QStringLiteral("\n\n") + message.Detail,
                    QMessageBox::NoButton, QApplication::activeWindow());
    // Texts hold paths and names from files: "<h1>" in a name is shown, not obeyed.
    box.setTextFormat(Qt::PlainText);
    QList<std::pair<QAbstractButton*, Message::Answer>> buttons;
    auto add = [&](QMessageBox::StandardButton button, Message::Answer answer) {
        buttons.append({box.addButton(button), answer});
    };
    switch (message.Buttons) {
    case Message::ButtonSet::Ok:
        add(QMessageBox::Ok, Message::Ok);
        break;
    case Message::ButtonSet::YesNo:
        add(QMessageBox::Yes, Message::Yes);
        add(QMessageBox::No, Message::No);
        break;
    case Message::ButtonSet::SaveDiscardCancel:
        add(QMessageBox::Save, Message::Save);
        add(QMessageBox::Discard, Message::Discard);
        add(QMessageBox::Cancel, Message::Cancel);
        break;
    case Message::ButtonSet::RestoreDiscard:
        buttons.append(
            {box.addButton(QStringLiteral("Restore"), QMessageBox::AcceptRole), Message::Restore});
        add(QMessageBox::Discard, Message::Discard);
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
    return message.Buttons == Message::ButtonSet::Ok      ? Message::Ok
           : message.Buttons == Message::ButtonSet::YesNo ? Message::No
                                                          : Message::Cancel;
}

bool QtDialogs::Execute(FileDialog& dialog) {
    if (dialog.Kind == FileDialog::DialogKind::Folder) {
        const QString folder = QFileDialog::getExistingDirectory(
            QApplication::activeWindow(), QString(),
            dialog.FileName.isEmpty() ? dialog.Folder : dialog.FileName);
        if (folder.isEmpty())
            return false;
        dialog.FileName = folder;
        return true;
    }
    QFileDialog box(QApplication::activeWindow());
    box.setOption(QFileDialog::ReadOnly, false);
    if (dialog.Kind == FileDialog::DialogKind::Save) {
        box.setAcceptMode(QFileDialog::AcceptSave);
        // The commands ask themselves, and not over the file the map or pack came from.
        box.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        box.setAcceptMode(QFileDialog::AcceptOpen);
        // A typed name of a file that does not exist is accepted; the reader says what is
        // wrong with it.
        box.setFileMode(dialog.Kind == FileDialog::DialogKind::Picture ? QFileDialog::ExistingFile
                                                                       : QFileDialog::AnyFile);
    }
    const QStringList filters =
        dialog.Kind == FileDialog::DialogKind::Picture
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

int QtDialogs::ExecModal(QDialog& dialog) {
    return dialog.exec();
}

bool QtDialogs::AskText(const QString& caption, const QString& label, QString& text) {
    bool ok = false;
    const QString entered = QInputDialog::getText(QApplication::activeWindow(), caption, label,
                                                  QLineEdit::Normal, text, &ok);
    if (ok)
        text = entered;
    return ok;
}
