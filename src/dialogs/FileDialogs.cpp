#include "dialogs/FileDialogs.h"

#include "dialogs/UserDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

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

QString GetFileName(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& filter,
                    const QString& suggestedName) {
    QString name;
    if (fileHandler()) {
        name = fileHandler()(parent, kind, caption, filter);
    } else {
        QSettings settings;
        const QString folder = settings.value(QStringLiteral("files/lastFolder"), QDir::homePath()).toString();
        const QString start = suggestedName.isEmpty() ? folder : QDir(folder).filePath(suggestedName);
        name = kind == FileDialogKind::Open ? QFileDialog::getOpenFileName(parent, caption, start, filter)
                                            : QFileDialog::getSaveFileName(parent, caption, start, filter);
        if (!name.isEmpty()) settings.setValue(QStringLiteral("files/lastFolder"), QFileInfo(name).absolutePath());
    }
    // Bytes that are not UTF-8 reach the program as replacement characters, which name no file.
    if (name.contains(QChar::ReplacementCharacter)) {
        ShowWarning(parent, QStringLiteral("The name \"%1\" cannot be used: it is not valid UTF-8 text, so the file "
                                           "it stands for cannot be named. Rename it (or its folder), then try again.")
                                .arg(QDir::toNativeSeparators(name)));
        return {};
    }
    return name;
}

QString FileNameFrom(const QString& text) {
    QString name = text.simplified();
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    while (name.startsWith(QLatin1Char('.'))) name.remove(0, 1);
    return name.isEmpty() ? QStringLiteral("untitled") : name;
}

QString WithExtension(const QString& name, const QString& extension) {
    const QString suffix = QLatin1Char('.') + extension;
    return name.endsWith(suffix, Qt::CaseInsensitive) ? name : name + suffix;
}

QString ConfirmReplacing(QWidget* parent, const QString& chosen, const QString& target) {
    if (target == chosen || !QFileInfo::exists(target)) return target;
    return AskYesNo(parent, QStringLiteral("\"%1\" already exists.\nDo you want to replace it?")
                                .arg(QDir::toNativeSeparators(target)))
               ? target
               : QString();
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
