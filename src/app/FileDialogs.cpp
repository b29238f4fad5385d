#include "app/FileDialogs.h"

#include "app/UserDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

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
ChoiceHandler& choiceHandler() {
    static ChoiceHandler h;
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
    return QMessageBox::question(parent, BoxTitle(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

int AskChoice(QWidget* parent, const QString& text, const QStringList& buttons) {
    if (choiceHandler()) return choiceHandler()(parent, text, buttons);
    QMessageBox box(QMessageBox::Question, BoxTitle(), text, QMessageBox::NoButton, parent);
    QList<QAbstractButton*> made;
    for (int i = 0; i < buttons.size(); ++i) {
        const bool last = i == buttons.size() - 1;
        made << box.addButton(buttons[i], last ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    }
    if (!made.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(made.first()));
        box.setEscapeButton(made.last());
    }
    box.exec();
    const qsizetype chosen = made.indexOf(box.clickedButton());
    return chosen < 0 ? static_cast<int>(buttons.size()) - 1 : static_cast<int>(chosen);
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler h) {
    FileDialogHandler previous = std::move(fileHandler());
    fileHandler() = std::move(h);
    return previous;
}

ChoiceHandler SetChoiceHandler(ChoiceHandler h) {
    ChoiceHandler previous = std::move(choiceHandler());
    choiceHandler() = std::move(h);
    return previous;
}

QuestionHandler SetQuestionHandler(QuestionHandler h) {
    QuestionHandler previous = std::move(questionHandler());
    questionHandler() = std::move(h);
    return previous;
}

} // namespace dialogs
