#include "app/Window.h"

#include <QApplication>

#include "app/Screenshots.h"
#include "app/frmStart.h"

namespace vorlak::app {

int RunWindow(int argc, char** argv) {
    QApplication application(argc, argv);
    frmStart window;
    window.Centre();
    window.show();
    ScheduleScreenshots(window);
    return QApplication::exec();
}

}  // namespace vorlak::app
