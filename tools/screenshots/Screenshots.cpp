// Pictures of the window for the documentation: shows each page in turn, saves what the screen
// shows of the window as FOLDER/page-N.png, then the map window of the Clear page and of the
// Bmp->Map page over the world in the current folder as FOLDER/map-1.png and map-2.png, then
// closes the window.
//   vorlak-screenshots FOLDER
// scripts/screenshots.sh builds and runs it on a virtual display.
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "app/MapWindow.h"
#include "app/Window.h"
#include "app/frmStart.h"

namespace {

using vorlak::app::frmStart;

constexpr int kSettleMs = 400;  // time for the window system to draw a page before it is taken

// Saves what the screen shows of `widget` as FOLDER/NAME.
void Grab(QWidget* widget, const QString& folder, const QString& name) {
    // Read back from the screen, so the picture shows what the window system drew.
    const QRect area = widget->frameGeometry();
    QPixmap shot = widget->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    shot.save(QDir(folder).filePath(name), "PNG");
}

// The map windows the "Map..." buttons open, zoomed on the example island, with the pointer
// over `pointer`: the Clear page's with its rectangle, then the Bmp->Map page's with the
// picture's footprint.
void TakeMap(frmStart* window, QString folder, int index) {
    struct Shot {
        int page;
        const char* button;
        QPointF pointer;
    };
    static const Shot kShots[] = {{4, "cmdClearMap", {150.5, 96.5}},
                                  {6, "cmdB2MMapPick", {60.5, 200.5}}};
    if (index > 2) {
        window->close();
        return;
    }
    const Shot& shot = kShots[index - 1];
    window->tabStrip()->setCurrentIndex(shot.page - 1);
    window->findChild<QPushButton*>(shot.button)->click();
    auto* map = window->findChild<vorlak::app::MapWindow*>();
    map->resize(760, 560);
    map->move(window->geometry().topLeft());
    QTimer::singleShot(kSettleMs, window, [window, folder, index, map, shot] {
        vorlak::app::MapCanvas* canvas = map->canvas();
        canvas->ZoomAt(2, {0, 0});
        canvas->CentreOn({150, 140});
        const QPointF at = canvas->PointOf(shot.pointer);
        QMouseEvent move(QEvent::MouseMove, at, canvas->viewport()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(canvas->viewport(), &move);
        QTimer::singleShot(3 * kSettleMs, window, [window, folder, index, map] {
            Grab(map, folder, QStringLiteral("map-%1.png").arg(index));
            delete map;  // before the next one is looked for
            TakeMap(window, folder, index + 1);
        });
    });
}

void TakePage(frmStart* window, QString folder, int index) {
    if (index > frmStart::kPages) {
        TakeMap(window, folder, 1);
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
