// The main window's Map menu.

#include "ui/MainWindow.h"

#include "ui/ResizeMapDialog.h"

#include <algorithm>

void MainWindow::resizeMap() {
    resizeMapDialog->StartFromMap();
    if (UserDialogs.ExecModal(*resizeMapDialog) != QDialog::Accepted)
        return;
    // A smaller map may end before where the view was: the view goes back as far as its last
    // cells, as a scroll would leave it.
    const QPoint limit = View->MaxOffset();
    View->OffsetX = std::min(View->OffsetX, limit.x());
    View->OffsetY = std::min(View->OffsetY, limit.y());
    RedrawMap();
}
