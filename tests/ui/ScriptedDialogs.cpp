#include "ScriptedDialogs.h"

#include "model/typeU.h"

#include <QDialog>
#include <QDir>

TMessage::TAnswer TScriptedDialogs::MessageBox(const TMessage& message) {
    Messages << message;
    if (OnMessage)
        OnMessage(message);
    if (message.Buttons == TMessage::TButtons::Ok)
        return TMessage::Ok;
    return Answers.isEmpty() ? TMessage::Yes : Answers.takeFirst();
}

bool TScriptedDialogs::Execute(TFileDialog& dialog) {
    FileDialogs << dialog;
    const std::optional<QString> answer = Files.isEmpty() ? std::nullopt : Files.takeFirst();
    if (!answer)
        return false;
    dialog.FileName = *answer;
    return true;
}

int TScriptedDialogs::ExecModal(QDialog& dialog) {
    ModalTitles << dialog.windowTitle();
    dialog.setResult(QDialog::Rejected);
    return OnModal ? OnModal(dialog) : QDialog::Rejected;
}

QStringList TScriptedDialogs::Texts() const {
    QStringList texts;
    for (const TMessage& message : Messages)
        texts << message.Text;
    return texts;
}

TGuiFixture::TGuiFixture() {
    auto dialogs = std::make_unique<TScriptedDialogs>();
    Dialogs = dialogs.get();
    SetDialogs(std::move(dialogs));
    CreateForms();
    AppDir = Dir.path();
    QDir(AppDir).mkpath(QStringLiteral("tiles"));
    QDir(AppDir).mkpath(QStringLiteral("maps"));
    Form1->show();
    if (!QTest::qWaitForWindowExposed(Form1))
        qWarning("the main window was not exposed");
}

TGuiFixture::~TGuiFixture() {
    DestroyForms();
    SetDialogs(std::make_unique<TQtDialogs>());
}
