#include "app/Window.h"

#include <QApplication>
#include <QMainWindow>

namespace vorlak::app {

int RunWindow(int argc, char** argv) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Vorlak");
    window.show();
    return QApplication::exec();
}

}  // namespace vorlak::app
