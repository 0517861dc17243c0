#include "ui/MainU.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    TForm1 form1;
    form1.show();
    return app.exec();
}
