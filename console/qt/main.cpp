// kovirw: flashes firmware into up to eight mobile terminals at once.
#include <QApplication>

#include "console/qt/main_dialog.h"

int main(int argc, char** argv) {
    // The program takes no command line: Qt sees the program's name and nothing else.
    static char fallbackName[] = "kovirw";
    char* qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
    int qtArgc = 1;
    QApplication app(qtArgc, qtArgv);

    MainDialog dialog;
    app.setWindowIcon(dialog.windowIcon());
    dialog.exec();
    return 0;
}
