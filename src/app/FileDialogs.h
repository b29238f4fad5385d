// File dialogs and yes/no questions go through here, so that tests can answer them without a click.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace dialogs {

enum class FileDialogKind { Open, Save };
// Returns the chosen file name, or an empty string when the dialog was cancelled.
using FileDialogHandler =
    std::function<QString(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& filter)>;
using QuestionHandler = std::function<bool(QWidget* parent, const QString& text)>;
using ChoiceHandler = std::function<int(QWidget* parent, const QString& text, const QStringList& buttons)>;

// The standard open or save dialog (the save dialog asks before replacing the file it names).
QString GetFileName(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& filter);
// A question with Yes and No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);
// A question with buttons of its own (the last one is what Escape and closing the box mean):
// returns the index of the button chosen.
int AskChoice(QWidget* parent, const QString& text, const QStringList& buttons);

// Replace the dialogs; an empty handler restores them. Each returns the previous handler.
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);
QuestionHandler SetQuestionHandler(QuestionHandler handler);
ChoiceHandler SetChoiceHandler(ChoiceHandler handler);

} // namespace dialogs
