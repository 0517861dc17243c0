#include "ScriptedDialogs.h"

#include "MapScene.h"

#include "platform/Bitmap.h"

#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

using namespace TestSupport;

Message::Answer ScriptedDialogs::MessageBox(const Message& message) {
    Messages << message;
    if (OnMessage)
        OnMessage(message);
    if (message.Buttons == Message::ButtonSet::Ok)
        return Message::Ok;
    return Answers.isEmpty() ? message.Default : Answers.takeFirst();
}

bool ScriptedDialogs::Execute(FileDialog& dialog) {
    FileDialogs << dialog;
    const std::optional<QString> answer = Files.isEmpty() ? std::nullopt : Files.takeFirst();
    if (answer)
        dialog.FileName = *answer;
    return answer.has_value();
}

bool ScriptedDialogs::AskText(const QString&, const QString&, QString& text) {
    const std::optional<QString> answer =
        TextEntries.isEmpty() ? std::nullopt : TextEntries.takeFirst();
    if (answer)
        text = *answer;
    return answer.has_value();
}

int ScriptedDialogs::ExecModal(QDialog& dialog) {
    ModalTitles << dialog.windowTitle();
    dialog.setResult(QDialog::Rejected);
    return OnModal ? OnModal(dialog) : QDialog::Rejected;
}

QStringList ScriptedDialogs::Texts() const {
    QStringList texts;
    for (const Message& message : Messages)
        texts << message.Text;
    return texts;
}

GuiFixture::GuiFixture() {
    static_cast<Application*>(QCoreApplication::instance())->ReportErrorsTo(Dialogs);
    QDir(Dir.path()).mkpath("tiles");
    QDir(Dir.path()).mkpath("maps");
    // Settings of its own: the recent files and folders of one test never reach another, nor
    // the user's.
    Main = std::make_unique<MainWindow>(Dir.path(), *Dialogs, Dir.filePath("settings.ini"));
    Main->show();
    if (!QTest::qWaitForWindowExposed(Main.get()))
        qWarning("the main window was not exposed");
}

GuiFixture::~GuiFixture() {
    Main.reset(); // before the dialogs it asks through
    static_cast<Application*>(QCoreApplication::instance())->ReportErrorsTo(nullptr);
}

void GuiFixture::UseTiles(const QByteArrayList& names) const {
    TilePack& pack = ThePack();
    pack.Tiles.clear();
    for (qint32 i = 0; i < names.size(); ++i) {
        TileRef tile = std::make_unique<Tile>();
        tile->Name = names[i];
        tile->Param1 = 10 + i;
        tile->Param2 = 20 + i;
        tile->Param3 = {30 + i, 40 + i, 50 + i, 60 + i};
        tile->Param4 = -1 - i;
        tile->Image->LoadFromBytes(SolidBmp(48, 48, TileColours[i % 5]));
        pack.Add(std::move(tile));
    }
    // As if just opened: the history starts here, with nothing unsaved.
    TheDocument().ResetHistory();
    Main->RedrawMap();
}

void GuiFixture::UseTiles(int count) const {
    QByteArrayList names;
    for (int i = 0; i < count; ++i)
        names << "tile" + QByteArray::number(i);
    UseTiles(names);
}

QByteArrayList GuiFixture::TileNames() const {
    QByteArrayList names;
    for (qint32 i = 0; i < ThePack().Count(); ++i)
        names << ThePack().At(i).Name;
    return names;
}

QRgb GuiFixture::ViewPixel(int x, int y) const {
    return ViewImage().pixel(x, y) | 0xff000000;
}

QImage GuiFixture::ViewRedrawn() const {
    return TestSupport::FullRedraw(Main->Renderer(), ViewImage().size());
}

QImage GuiFixture::Presented() const {
    QCoreApplication::processEvents();
    const QPoint at = MapArea().mapTo(Main.get(), QPoint(0, 0));
    const QSize size = MapArea().size();
    return Main->screen()
        ->grabWindow(Main->winId(), at.x(), at.y(), size.width(), size.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QByteArray MapFileBytes(const QByteArrayList& texts, qint32 width, qint32 height,
                        const QList<qint32>& cells) {
    QByteArray bytes;
    for (const QByteArray& text : texts)
        bytes += Text(text);
    bytes += Int32s({width, height, width});
    for (qint32 cell : cells)
        bytes += Int32s({cell});
    return bytes;
}

void GuiFixture::AnswerNewMap(const QString& width, const QString& height, const QString& tileSize,
                              const QString& description) {
    Dialogs->OnModal = [=, this](QDialog&) {
        auto& dialog = Find<QDialog>("newMapDialog");
        Child<QLineEdit>(dialog, "widthEdit").setText(width);
        Child<QLineEdit>(dialog, "heightEdit").setText(height);
        Child<QLineEdit>(dialog, "tileSizeEdit").setText(tileSize);
        Child<QPlainTextEdit>(dialog, "descriptionEdit").setPlainText(description);
        Child<QPushButton>(dialog, "okButton").click();
        return dialog.result();
    };
}
