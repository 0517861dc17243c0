// The main block: the application object, then the editor's windows and message loop.

#include "ui/Application.h"
#include "ui/MainU.h"

int main(int argc, char* argv[]) {
    TApplication application(argc, argv);
    return RunEditor();
}
