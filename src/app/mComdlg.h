// The open-file dialog that the pages' "..." buttons use.
//
// ChooseFile shows a modal open dialog over its owner and returns the picked file's full path, or
// empty text when the user cancels. Afterwards, on both outcomes, the process's current folder is
// set back to the program's folder: the folder that was current when the program started. An
// installed program's own folder is no place for the user's files, and going back to the start
// folder keeps relative names ("statics0.mul") resolving where the user started the program,
// before and after a dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

class QWidget;

namespace vorlak::app::mComdlg {

// What a dialog is asked to show.
struct FileRequest {
    QWidget* owner = nullptr;
    QString title;
    QString folder;           // where the dialog opens
    QStringList nameFilters;  // in the dialog's own form, "Art.mul (*.mul)"; the first is active
};

// Shows a dialog for `request` and returns the chosen full path, or empty text on cancel. It must
// only let the user confirm an existing file.
using FileDialog = std::function<QString(const FileRequest&)>;

// Replaces the dialog (tests pick and cancel through it); an empty function restores the standard
// one. Returns the dialog that was in use.
FileDialog SetFileDialog(FileDialog dialog);

// The folder that was current when the program started.
QString ProgramFolder();

// Splits "description|pattern|description|pattern" into pairs. A missing final "|" is supplied;
// a description without a pattern ends the list. Descriptions are kept as written (trailing
// blanks too); patterns may list several masks separated by ";".
std::vector<std::pair<QString, QString>> FilterPairs(const QString& filter);

// The pairs in the dialog's own form: "description (mask mask)".
QStringList NameFilters(const QString& filter);

// Shows the dialog modally over `owner` with `title`, the filter pairs of `filter` (first active)
// and `folder` as starting folder; returns the picked full path without surrounding blanks, or
// empty text. Always sets the current folder back to ProgramFolder() before it returns.
QString ChooseFile(QWidget* owner, const QString& filter, const QString& title,
                   const QString& folder);

}  // namespace vorlak::app::mComdlg
