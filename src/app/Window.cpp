#include "app/Window.h"

#include <QApplication>

#include "app/frmStart.h"

namespace vorlak::app {

int RunWindow(int argc, char** argv, const std::function<void(frmStart&)>& shown) {
    QApplication application(argc, argv);
    frmStart window;
    window.Centre();
    window.show();
    if (shown) shown(window);
    return QApplication::exec();
}

}  // namespace vorlak::app
