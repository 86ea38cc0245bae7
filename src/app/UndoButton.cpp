#include "app/UndoButton.h"

#include <filesystem>

#include "app/frmStart.h"

namespace vorlak::app {

UndoButton::UndoButton(frmStart& host, QWidget* page, const QString& name, const QRect& where,
                       std::function<std::vector<std::string>()> files)
    : QPushButton("Undo", page), host_(host), files_(std::move(files)) {
    setObjectName(name);
    setGeometry(where);
    connect(this, &QPushButton::clicked, this, &UndoButton::Undo);
    Refresh();
}

JobRecorder* UndoButton::Recorder(const std::string& job) {
    recorder_ = std::make_unique<history::StepRecorder>(job);
    return recorder_.get();
}

void UndoButton::JobDone(const std::string& detail) {
    std::string text = detail;
    if (recorder_ && !recorder_->remark().empty()) {
        text += (text.empty() ? "" : "\n") + recorder_->remark();
    }
    host_.ShowStatusDetail(QString::fromStdString(text));
    Refresh();
}

void UndoButton::Refresh() {
    std::vector<std::string> files = files_();
    std::optional<history::StepInfo> next;
    if (!files.empty()) next = history::History(history::FolderOf(files.front())).NextUndo();
    bool ours = false;
    if (next) {
        for (const std::string& file : files) {
            std::error_code ec;
            std::string name = std::filesystem::absolute(file, ec).lexically_normal().string();
            for (const std::string& changed : next->files) {
                std::string path =
                    std::filesystem::absolute(
                        std::filesystem::path(history::FolderOf(files.front())) / changed, ec)
                        .lexically_normal()
                        .string();
                ours = ours || path == name || changed == name;
            }
        }
    }
    setEnabled(ours);
    setToolTip(
        ours ? QString::fromStdString("Undo job " + std::to_string(next->number) + ": " + next->job)
             : QString());
}

void UndoButton::Undo() {
    host_.RunJob(objectName(), [this] {
        std::vector<std::string> files = files_();
        if (files.empty()) return;
        JobOutcome outcome = history::History(history::FolderOf(files.front())).Undo(false);
        host_.ShowStatus(QString::fromStdString(outcome.status));
        host_.ShowStatusDetail(QString::fromStdString(outcome.detail));
        Refresh();
    });
}

}  // namespace vorlak::app
