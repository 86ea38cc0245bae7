// Drives the map window offscreen over a world's files and prints, in seconds: the time from
// opening to the first whole-world picture and to the sharp picture of the fitted world; the
// time to show each zoom and pan step (the repaint that follows the event) and to have it sharp;
// and the peak memory of the process.
// Usage: bench_map_window MAP STAIDX STATICS RADARCOL
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/MapWindow.h"

namespace {

using vorlak::app::MapCanvas;

double Seconds(const QElapsedTimer& timer) { return double(timer.nsecsElapsed()) / 1e9; }

// Lets the drawing thread's tiles in until `done`.
template <typename F>
void WaitFor(F done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

long PeakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

struct Step {
    double shown = 0, sharp = 0;
};

// Sends `event` to the map, repaints it at once and waits for the sharp picture.
Step Time(MapCanvas& canvas, QEvent& event) {
    QElapsedTimer timer;
    timer.start();
    QCoreApplication::sendEvent(canvas.viewport(), &event);
    canvas.viewport()->repaint();
    Step step;
    step.shown = Seconds(timer);
    WaitFor([&] { return canvas.idle(); });
    step.sharp = Seconds(timer);
    return step;
}

void Print(const char* what, std::vector<Step> steps) {
    auto worst = [&](auto field) {
        double most = 0;
        for (const Step& s : steps) most = std::max(most, s.*field);
        return most;
    };
    std::sort(steps.begin(), steps.end(), [](auto& a, auto& b) { return a.shown < b.shown; });
    const double medianShown = steps[steps.size() / 2].shown;
    std::sort(steps.begin(), steps.end(), [](auto& a, auto& b) { return a.sharp < b.sharp; });
    std::printf(
        "%-6s %3zu steps: shown median %.4f s, worst %.4f s; sharp median %.4f s, worst %.4f s\n",
        what, steps.size(), medianShown, worst(&Step::shown), steps[steps.size() / 2].sharp,
        worst(&Step::sharp));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s MAP STAIDX STATICS RADARCOL\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QElapsedTimer timer;
    timer.start();
    auto* window = new vorlak::app::MapWindow({argv[1], argv[2], argv[3], argv[4]}, {}, nullptr);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->resize(1024, 720);
    window->show();
    MapCanvas& canvas = *window->canvas();
    WaitFor([&] { return canvas.tilesCached() > 0; });
    canvas.viewport()->repaint();
    const double whole = Seconds(timer);
    WaitFor([&] { return canvas.idle(); });
    const double fitted = Seconds(timer);
    std::printf("open: whole world shown %.4f s, sharp %.4f s\n", whole, fitted);
    if (!window->notesText().isEmpty()) std::printf("notes: %s\n", qPrintable(window->notesText()));

    // Zoom in notch by notch to the closest zoom over the world's middle, then back out.
    const QPointF middle = QRectF(canvas.viewport()->rect()).center() + QPointF(37, -21);
    std::vector<Step> zoom;
    for (int notches : {1, -1}) {
        for (int i = 0; i < 18; ++i) {
            QWheelEvent wheel(middle, canvas.viewport()->mapToGlobal(middle), {},
                              {0, 120 * notches}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            zoom.push_back(Time(canvas, wheel));
        }
    }
    Print("zoom", zoom);
    // Pan a quarter of the window at a time, at three zooms.
    std::vector<Step> pan;
    for (double z : {16.0, 1.0, 0.125}) {
        canvas.ZoomAt(z, middle);
        WaitFor([&] { return canvas.idle(); });
        for (int key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up}) {
            for (int i = 0; i < 4; ++i) {
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QElapsedTimer t;
                t.start();
                QCoreApplication::sendEvent(&canvas, &press);
                canvas.viewport()->repaint();
                Step step{Seconds(t), 0};
                WaitFor([&] { return canvas.idle(); });
                step.sharp = Seconds(t);
                pan.push_back(step);
            }
        }
    }
    Print("pan", pan);
    std::printf("peak memory: %ld MiB\n", PeakKiB() / 1024);
    delete window;
    return 0;
}
