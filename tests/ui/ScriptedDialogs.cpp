#include "ScriptedDialogs.h"

#include "MapScene.h"

#include "platform/TBitmap.h"
#include "ui/NewMapDialog.h"

#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

using namespace TestSupport;

TMessage::TAnswer TScriptedDialogs::MessageBox(const TMessage& message) {
    Messages << message;
    if (OnMessage)
        OnMessage(message);
    if (message.Buttons == TMessage::TButtons::Ok)
        return TMessage::Ok;
    return Answers.isEmpty() ? message.Default : Answers.takeFirst();
}

bool TScriptedDialogs::Execute(TFileDialog& dialog) {
    FileDialogs << dialog;
    const std::optional<QString> answer = Files.isEmpty() ? std::nullopt : Files.takeFirst();
    if (answer)
        dialog.FileName = *answer;
    return answer.has_value();
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
    QDir(Dir.path()).mkpath("tiles");
    QDir(Dir.path()).mkpath("maps");
    Main = std::make_unique<MainWindow>(Dir.path());
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        qWarning("the main window was not exposed");
}

TGuiFixture::~TGuiFixture() {
    Main.reset(); // the dialogs are its children
    SetDialogs(std::make_unique<TQtDialogs>());
}

void TGuiFixture::UseTiles(const QByteArrayList& names) const {
    tTilePack& pack = ThePack();
    pack.Clear();
    for (qint32 i = 0; i < names.size(); ++i) {
        TileRef tile = pack.NewTile();
        tile->Name = names[i];
        tile->Param1 = 10 + i;
        tile->Param2 = 20 + i;
        tile->Param3 = {30 + i, 40 + i, 50 + i, 60 + i};
        tile->Param4 = -1 - i;
        tile->Bitmap->LoadFromBytes(SolidBmp(48, 48, TileColours[i % 5]));
        pack.Add(std::move(tile));
    }
    // As if just opened: the history starts here, with nothing unsaved.
    TheDocument().ResetHistory();
    Main->RedrawMap();
}

void TGuiFixture::UseTiles(int count) const {
    QByteArrayList names;
    for (int i = 0; i < count; ++i)
        names << "tile" + QByteArray::number(i);
    UseTiles(names);
}

QByteArrayList TGuiFixture::TileNames() const {
    QByteArrayList names;
    for (qint32 i = 0; i < ThePack().Count(); ++i)
        names << ThePack().Tile(i).Name;
    return names;
}

QRgb TGuiFixture::ViewPixel(int x, int y) const {
    return Main->Canvas.Image().pixel(x, y) | 0xff000000;
}

QImage TGuiFixture::ViewRedrawn() const {
    return TestSupport::FullRedraw(Main->Renderer(), Main->Canvas.Size());
}

QImage TGuiFixture::Presented() const {
    QCoreApplication::processEvents();
    const QPoint at = Main->mapView->mapTo(Main.get(), QPoint(0, 0));
    const QSize size = Main->mapView->size();
    return Main->screen()
        ->grabWindow(Main->winId(), at.x(), at.y(), size.width(), size.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QByteArray MapFile(const QByteArrayList& texts, qint32 width, qint32 height,
                   const QList<qint32>& cells) {
    QByteArray bytes;
    for (const QByteArray& text : texts)
        bytes += Text(text);
    bytes += Int32s({width, height, width});
    for (qint32 cell : cells)
        bytes += Int32s({cell});
    return bytes;
}

void TGuiFixture::AnswerNewMap(const QString& width, const QString& height, const QString& tileSize,
                               const QString& description) {
    Dialogs->OnModal = [=, this](QDialog&) {
        NewMapDialog& dialog = *Main->newMapDialog;
        dialog.widthEdit->setText(width);
        dialog.heightEdit->setText(height);
        dialog.tileSizeEdit->setText(tileSize);
        dialog.descriptionEdit->setPlainText(description);
        dialog.okButton->click();
        return dialog.result();
    };
}
