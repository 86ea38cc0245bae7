// The Undo button beside a writing page's main button: it undoes the newest job of the folder of
// the page's files, and is enabled only when that job changed one of the page's files, which its
// tool tip names.
#pragma once

#include <QPushButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/History.h"

namespace vorlak::app {

class frmStart;

class UndoButton final : public QPushButton {
    Q_OBJECT
  public:
    // `files` gives the page's files as its boxes hold them now, the first one deciding the
    // folder whose history is used.
    UndoButton(frmStart& host, QWidget* page, const QString& name, const QRect& where,
               std::function<std::vector<std::string>()> files);

    // A recorder for the page's next job, described by `job`; it lives until the next call.
    JobRecorder* Recorder(const std::string& job);
    // Shows the recorder's remark, if any, as the status line's detail; then Refresh.
    void JobDone(const std::string& detail);
    // Enables the button when there is a step to undo for the page's files.
    void Refresh();

  private:
    void Undo();

    frmStart& host_;
    std::function<std::vector<std::string>()> files_;
    std::unique_ptr<history::StepRecorder> recorder_;
};

}  // namespace vorlak::app
