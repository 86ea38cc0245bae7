// Pictures of the window for the documentation: shows each page in turn, saves what the screen
// shows of the window as FOLDER/page-N.png, then closes the window.
//   vorlak-screenshots FOLDER
// scripts/screenshots.sh builds and runs it on a virtual display.
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "app/Window.h"
#include "app/frmStart.h"

namespace {

using vorlak::app::frmStart;

constexpr int kSettleMs = 400;  // time for the window system to draw a page before it is taken

void TakePage(frmStart* window, QString folder, int index) {
    if (index > frmStart::kPages) {
        window->close();
        return;
    }
    window->tabStrip()->setCurrentIndex(index - 1);
    QTimer::singleShot(kSettleMs, window, [window, folder, index] {
        // Read back from the screen, so the picture shows what the window system drew.
        QScreen* screen = window->screen();
        const QRect area = window->geometry();
        QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        shot.save(QDir(folder).filePath(QStringLiteral("page-%1.png").arg(index)), "PNG");
        TakePage(window, folder, index + 1);
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorlak-screenshots FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    char* windowArgs[] = {argv[0], nullptr};
    return vorlak::app::RunWindow(1, windowArgs, [folder](frmStart& window) {
        QDir().mkpath(folder);
        QTimer::singleShot(kSettleMs, &window, [&window, folder] { TakePage(&window, folder, 1); });
    });
}
