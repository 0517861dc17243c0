// The main window's Map menu.

#include "ui/MainWindow.h"

#include "ui/ResizeMapDialog.h"

void MainWindow::resizeMap() {
    resizeMapDialog->StartFromMap();
    // The dialog resizes the map through the document, which the view follows.
    UserDialogs.ExecModal(*resizeMapDialog);
}
