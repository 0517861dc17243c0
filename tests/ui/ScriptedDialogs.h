#pragma once

// What the GUI tests put in place of every modal window (scripted answers in, a record of what
// would have been shown out), fresh windows for each test, and helpers the programs share.

#include "TestSupport.h"
#include "document/Document.h"
#include "model/TileMap.h"
#include "model/TilePack.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QListWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>

class ScriptedDialogs : public Dialogs {
public:
    Message::Answer MessageBox(const Message& message) override;
    bool Execute(FileDialog& dialog) override;
    int ExecModal(QDialog& dialog) override;
    bool AskText(const QString& caption, const QString& label, QString& text) override;
    QStringList Texts() const;

    QList<Message> Messages;
    // Runs after a box is recorded: the moment the user would be looking at it.
    std::function<void(const Message&)> OnMessage;
    // To Yes/No boxes in order; the box's default (Enter) when none is left.
    QList<Message::Answer> Answers;
    // To file dialogs in order: a path, or nullopt (also when none is left) for Cancel.
    QList<std::optional<QString>> Files;
    QList<FileDialog> FileDialogs; // each as it was when it was run
    // To text questions in order: the entry, or nullopt (also when none is left) for Cancel.
    QList<std::optional<QString>> TextEntries;
    // Plays the user of a modal window; without it the window is closed with Cancel.
    std::function<int(QDialog&)> OnModal;
    QStringList ModalTitles;
};

// The child of parent named name, which is the name of the field that holds it. One that is
// missing, renamed or of another type ends the test program, naming it.
template <class T = QWidget> T& Child(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QLatin1StringView(name));
    if (!child)
        qFatal("no %s named \"%s\" in %s", T::staticMetaObject.className(), name,
               parent.metaObject()->className());
    return *child;
}

// A fresh main window, which owns the document and the dialogs, with its dialogs answered by a
// script and an application directory of its own (Dir) with tiles/ and maps/. Tests reach the
// window and what it edits through here.
class GuiFixture {
public:
    GuiFixture();
    ~GuiFixture();
    QString Path(const QString& name) const { return Dir.filePath(name); }
    // The directory the window was given as the application's.
    QString AppDir() const { return Dir.path(); }

    MainWindow& Window() const { return *Main; }
    // The window's parts by their names (Child), and those most used.
    template <class T = QWidget> T& Find(const char* name) const { return Child<T>(*Main, name); }
    QAction& Action(const char* name) const { return Find<QAction>(name); }
    QListWidget& TileList() const { return Find<QListWidget>("tileList"); }
    MapView& MapArea() const { return Find<MapView>("mapView"); }
    StatusBar& Status() const { return Find<StatusBar>("Status"); }
    // What the map view shows, as drawn on its canvas.
    const QImage& ViewImage() const { return Main->ViewCanvas().Image(); }
    Document& TheDocument() const { return Main->CurrentDocument(); }
    // The map and the pack themselves, for setting up a scene: no step, no signal.
    TileMap& TheMap() const { return TheDocument().MutableMap(); }
    TilePack& ThePack() const { return TheDocument().MutablePack(); }
    // Where the main window's map view shows the map.
    MapRenderer& MainView() const { return Main->Renderer(); }

    // A pack of solid 48-pixel tiles in TileColours, named as given or tile0, tile1, ...; tile
    // i has Param1 10 + i, Param2 20 + i, Param3 30 + i to 60 + i and Param4 -1 - i. The
    // document's history starts afresh with nothing unsaved; the palette is rebuilt and the
    // view redrawn.
    void UseTiles(const QByteArrayList& names) const;
    void UseTiles(int count) const;
    QByteArrayList TileNames() const;
    QRgb ViewPixel(int x, int y) const;
    // The view as a full redraw shows it, drawn by a copy of the map on a canvas of its own.
    QImage ViewRedrawn() const;
    // What the window presents of the map view once it has painted.
    QImage Presented() const;
    // The New Map dialog, when it opens next, is filled in with these entries and OK pressed.
    void AnswerNewMap(const QString& width, const QString& height, const QString& tileSize,
                      const QString& description);

private:
    ScriptedDialogs Script;

public:
    ScriptedDialogs* const Dialogs = &Script; // every question the window asks, answered
    QTemporaryDir Dir;

private:
    std::unique_ptr<MainWindow> Main;
};

inline const QRgb TileColours[] = {qRgb(200, 40, 40), qRgb(40, 160, 40), qRgb(40, 40, 200),
                                   qRgb(220, 200, 0), qRgb(0, 200, 200)};
inline const QRgb Background = qRgb(240, 240, 240);

// A map file by hand: the four texts, the size, the cells row by row.
QByteArray MapFileBytes(const QByteArrayList& texts, qint32 width, qint32 height,
                        const QList<qint32>& cells);

// Qt Test's main, with the editor's application object so errors reach the error box.
#define KORVANE_GUI_TEST_MAIN(TestObject)                                                          \
    int main(int argc, char** argv) {                                                              \
        Application app(argc, argv);                                                               \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        QStandardPaths::setTestModeEnabled(true); /* the user's data folders stay out of it */     \
        TestObject test;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
