// The main window: the tab strip tsTool with the seven pages fraMenu(1)..fraMenu(7), and the status
// bar sbTool.
//
// Creating the window runs its load step: the pages are laid out, the remembered values are
// restored from the settings store, the remembered bitmap of the Bmp->Map page is taken and the
// About page is shown. Closing it stores the values again and ends the program.
//
// Jobs run inside the click handlers of their buttons, on the window's thread. ShowStatus lets
// pending window events run, so tabs, repaints and the file pickers keep working during a job;
// one job runs at a time (RunJob): a job button clicked while a job runs starts nothing.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>

#include "statics/StaticsJobs.h"

class QLabel;
class QStatusBar;
class QTabWidget;

namespace vorlak::app {

class AboutPage;
class ArtPage;
class BmpToMapPage;
class ClearPage;
class FreezePage;
class MapToBmpPage;
class MeltPage;
class SettingsStore;

// Thrown out of a job's status report after the window was closed, to end the job at a point
// where it has nothing half written. Deliberately not a std::exception, so that no job's own
// error handling takes it for a failure.
struct JobStopped {};

class frmStart final : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kPages = 7;
    static constexpr int kClientWidth = 596;   // 8940 twips
    static constexpr int kClientHeight = 369;  // 5535 twips

    explicit frmStart(QWidget* parent = nullptr);
    ~frmStart() override;

    // Puts `text` on the status line, replacing what it showed, then lets every pending window
    // event run (repaints and queued user input) before it returns.
    void ShowStatus(const QString& text);
    QString statusText() const;
    // A longer account of the last failure, shown as the status line's tool tip; empty clears it.
    void ShowStatusDetail(const QString& detail);

    // Runs `job` for the click of `button` unless a job is already running or the window was
    // closed; then nothing starts, the status line keeps its text and jobRefused(button) is
    // emitted. A failure that escapes the job is shown on the status line.
    void RunJob(const QString& button, const std::function<void()>& job);
    bool jobRunning() const { return jobRunning_; }
    // The status report for a job's runner: ShowStatus, and once the window has been closed it
    // ends the job by throwing JobStopped.
    StatusSink JobStatus();
    // True once the window has been closed; a running job must stop at its next safe point.
    bool stopRequested() const { return unloaded_; }

    // A message box over the window with `text`, `title`, the information icon and an OK button;
    // returns when the user closed it.
    void ShowMessage(const QString& text, const QString& title);
    // Replaces the message box (tests read the messages through it); empty restores it.
    using MessageBox = std::function<void(const QString& text, const QString& title)>;
    void SetMessageBox(MessageBox messageBox) { messageBox_ = std::move(messageBox); }

    // What ends the program when the window closes; QCoreApplication::quit unless replaced.
    void SetEndProgram(std::function<void()> endProgram) { endProgram_ = std::move(endProgram); }
    // Places the window in the middle of its screen.
    void Centre();

    // Page 1..kPages.
    QWidget* page(int index) const;
    QTabWidget* tabStrip() const { return tsTool_; }
    ArtPage& artPage() const { return *art_; }
    BmpToMapPage& bmpToMapPage() const { return *bmpToMap_; }
    MapToBmpPage& mapToBmpPage() const { return *mapToBmp_; }

  signals:
    // A job button was clicked while a job ran, or after the window was closed.
    void jobRefused(const QString& button);
    // ShowStatus put `text` on the status line; emitted before pending events run.
    void statusShown(const QString& text);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void Load();
    void SwitchTab();
    void Unload();
    void RestoreValues(const SettingsStore& store);
    void StoreValues(SettingsStore& store) const;

    QTabWidget* tsTool_ = nullptr;
    QStatusBar* sbTool_ = nullptr;
    QLabel* statusLine_ = nullptr;
    std::array<QWidget*, kPages> pages_{};
    AboutPage* about_ = nullptr;
    FreezePage* freeze_ = nullptr;
    MeltPage* melt_ = nullptr;
    ClearPage* clear_ = nullptr;
    ArtPage* art_ = nullptr;
    BmpToMapPage* bmpToMap_ = nullptr;
    MapToBmpPage* mapToBmp_ = nullptr;

    bool jobRunning_ = false;
    bool unloaded_ = false;
    std::function<void()> endProgram_;
    MessageBox messageBox_;
};

}  // namespace vorlak::app
