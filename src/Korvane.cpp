// The main block: the application object, the four windows, and the message loop.

#include "model/Recovery.h"
#include "ui/Application.h"
#include "ui/MainU.h"

int main(int argc, char* argv[]) {
    TApplication application(argc, argv);
    CreateForms();
    Form1->show();
    Form1->StartRecovery(TRecovery::StandardDirectory());
    const int result = application.exec();
    DestroyForms();
    return result;
}
