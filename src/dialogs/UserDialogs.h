// Message boxes go through here, so that tests can answer them without a click.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace dialogs {

using MessageHandler = std::function<void(QWidget* parent, const QString& text)>;

// Shows a message box with an OK button (modal), or hands the text to the installed handler.
void ShowMessage(QWidget* parent, const QString& text);
// The same for a failure: a message box with the warning icon, or the installed handler.
void ShowWarning(QWidget* parent, const QString& text);
// The application's title, "Ostrevo", which its message boxes carry (the application's name is the
// settings file's, "ostrevo-setup").
QString BoxTitle();
// Replaces the message boxes; an empty handler restores it. Returns the previous handler.
MessageHandler SetMessageHandler(MessageHandler handler);

// Whoever keeps what the failure boxes said (the message history): told of every ShowWarning, box or
// handler alike. An empty recorder keeps nothing. Returns the previous one.
MessageHandler SetWarningRecorder(MessageHandler recorder);
// The window a box of the program opens over: the modal dialog open now, else the program's active window,
// else parent. A box is never hidden behind another window of the program (a dialog that stays on top).
QWidget* BoxParent(QWidget* parent);

} // namespace dialogs
