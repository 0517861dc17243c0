#pragma once

#include <QMainWindow>

// The main window. For now an empty frame with the editor's caption.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
};
