#include "app/mComdlg.h"

#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>

namespace vorlak::app::mComdlg {
namespace {

// Taken before main runs, so no dialog can have moved the current folder yet.
const QString gProgramFolder = QDir::currentPath();

QString StandardDialog(const FileRequest& request) {
    QFileDialog dialog(request.owner, request.title, request.folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(request.nameFilters);
    if (!request.nameFilters.isEmpty()) dialog.selectNameFilter(request.nameFilters.front());
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

FileDialog& CurrentDialog() {
    static FileDialog dialog = StandardDialog;
    return dialog;
}

}  // namespace

FileDialog SetFileDialog(FileDialog dialog) {
    FileDialog previous = std::move(CurrentDialog());
    CurrentDialog() = dialog ? std::move(dialog) : FileDialog(StandardDialog);
    return previous;
}

QString ProgramFolder() { return gProgramFolder; }

std::vector<std::pair<QString, QString>> FilterPairs(const QString& filter) {
    // A description without a pattern after it, or the empty text after a last "|", ends it.
    const QStringList parts = filter.split('|');
    std::vector<std::pair<QString, QString>> pairs;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i + 1].isEmpty()) break;
        pairs.emplace_back(parts[i], parts[i + 1]);
    }
    return pairs;
}

QStringList NameFilters(const QString& filter) {
    QStringList filters;
    for (const auto& [description, pattern] : FilterPairs(filter)) {
        QString masks = pattern.split(';', Qt::SkipEmptyParts).join(' ').trimmed();
        QString shown = description.trimmed();
        // The dialog reads the masks from the parentheses at the end of the text, so a
        // description that already ends in them is used as it is.
        if (!shown.endsWith('(' + masks + ')')) {
            shown = (shown.isEmpty() ? QString() : shown + ' ') + '(' + masks + ')';
        }
        filters << shown;
    }
    return filters;
}

QString ChooseFile(QWidget* owner, const QString& filter, const QString& title,
                   const QString& folder) {
    FileRequest request{owner, title, folder, NameFilters(filter)};
    QString picked = CurrentDialog()(request).trimmed();
    QDir::setCurrent(gProgramFolder);
    return picked;
}

}  // namespace vorlak::app::mComdlg
