#include "app/FileDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace dialogs {
namespace {
FileDialogHandler& fileHandler() {
    static FileDialogHandler h;
    return h;
}
QuestionHandler& questionHandler() {
    static QuestionHandler h;
    return h;
}
} // namespace

QString GetFileName(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& filter) {
    if (fileHandler()) return fileHandler()(parent, kind, caption, filter);
    return kind == FileDialogKind::Open ? QFileDialog::getOpenFileName(parent, caption, QString(), filter)
                                        : QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

bool AskYesNo(QWidget* parent, const QString& text) {
    if (questionHandler()) return questionHandler()(parent, text);
    return QMessageBox::question(parent, QApplication::applicationName(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler h) {
    FileDialogHandler previous = std::move(fileHandler());
    fileHandler() = std::move(h);
    return previous;
}

QuestionHandler SetQuestionHandler(QuestionHandler h) {
    QuestionHandler previous = std::move(questionHandler());
    questionHandler() = std::move(h);
    return previous;
}

} // namespace dialogs
