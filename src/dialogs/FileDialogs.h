// File dialogs and yes/no questions go through here, so that tests can answer them without a click.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QFileDialog;
class QWidget;

namespace dialogs {

enum class FileDialogKind { Open, Save };
// Returns the chosen file name, or an empty string when the dialog was cancelled.
using FileDialogHandler =
    std::function<QString(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& filter)>;
using QuestionHandler = std::function<bool(QWidget* parent, const QString& text)>;
using ChoiceHandler = std::function<int(QWidget* parent, const QString& text, const QStringList& buttons)>;

// The program's open or save dialog (the save dialog asks before replacing the file it names), or the
// installed handler. The dialog starts in the folder used last (remembered between runs), with
// suggestedName filled in.
QString GetFileName(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& filter,
                    const QString& suggestedName = QString());
// The dialog GetFileName shows, not yet shown: Qt's own on every desktop, which does not list a file
// whose name is not UTF-8 text (no name it gives back could open it), and says below its list which
// files of the folder shown it leaves out, and to rename them. It opens none of the files it lists:
// their icons and kinds come from their names, links are not resolved; a name it gives back is to be
// checked (files::OpenRegularForReading, files::MayReplace) before it is read or written. The caller
// owns it.
QFileDialog* MakeFileDialog(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& filter,
                            const QString& start);
// The names in folder that are not UTF-8 text (shown with replacement characters), sorted. The folder is
// read on the window's thread, so no further than maxEntries entries or UnlistedNamesLimitMs; complete
// tells whether it was read to its end. (A folder on a hung mount holds the window all the same, as it
// does Qt's own dialog.)
constexpr int UnlistedNamesLimitMs = 20;
QStringList UnlistedNames(const QString& folder, bool* complete = nullptr, int maxEntries = 20000);
// Each kind of file starts in the folder of its own kind used last (parameter files, recordings, reports,
// exports), kept between runs: the kind from the dialog's caption and filter.
QString FolderKind(const QString& caption, const QString& filter);
QString LastFolder(const QString& caption, const QString& filter);
void RememberFolder(const QString& caption, const QString& filter, const QString& chosen);
// A file name made of text the user typed: no folder separators, no leading dot, not empty.
QString FileNameFrom(const QString& text);
// name, ending in "." + extension (in any case) as it is, else with it appended: "walk" -> "walk.csv".
QString WithExtension(const QString& name, const QString& extension);
// The save dialog asked about the name it returned (chosen); a name the program then changed (an
// extension added) is asked about here before an existing file is replaced. Returns target, or
// empty when the user would keep the existing file.
QString ConfirmReplacing(QWidget* parent, const QString& chosen, const QString& target);
// A question with Yes and No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);
// A question with buttons of its own (the last one is what Escape and closing the box mean):
// returns the index of the button chosen.
int AskChoice(QWidget* parent, const QString& text, const QStringList& buttons);

// Replace the dialogs; an empty handler restores them. Each returns the previous handler.
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);
QuestionHandler SetQuestionHandler(QuestionHandler handler);
ChoiceHandler SetChoiceHandler(ChoiceHandler handler);
// A choice handler is installed (the questions are answered without a box).
bool ChoiceHandlerSet();

} // namespace dialogs
