#include "app/Screenshots.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include "app/frmStart.h"

namespace vorlak::app {
namespace {

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

bool ScheduleScreenshots(frmStart& window) {
    const QString folder = qEnvironmentVariable("VORLAK_SCREENSHOTS");
    if (folder.isEmpty()) return false;
    QDir().mkpath(folder);
    QTimer::singleShot(kSettleMs, &window, [&window, folder] { TakePage(&window, folder, 1); });
    return true;
}

}  // namespace vorlak::app
