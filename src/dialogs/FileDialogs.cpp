#include "dialogs/FileDialogs.h"

#include "dialogs/UserDialogs.h"
#include "files/RegularFile.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QSettings>
#include <memory>

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

// The icon and the kind the dialog shows for an entry, from its name and what the listing knows of it
// already: never from its content. (Qt's own provider reads the first 16 kB of a file whose name does
// not say its kind, on the window's thread, for every file the dialog lists: a file whose read waits,
// /proc/kmsg or one on a hung mount, or a link to one, held the window.)
class NameOnlyIconProvider : public QAbstractFileIconProvider {
  public:
    NameOnlyIconProvider() { setOptions(DontUseCustomDirectoryIcons); }
    QIcon icon(IconType type) const override { return QAbstractFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) return icon(Drive);
        return icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo& info) const override {
        if (info.isRoot()) return QStringLiteral("Drive");
        if (info.isDir()) return QStringLiteral("Folder");
        const QList<QMimeType> byName = names_.mimeTypesForFileName(info.fileName());
        if (byName.size() == 1 && !byName.first().comment().isEmpty()) return byName.first().comment();
        return info.suffix().isEmpty() ? QStringLiteral("File") : info.suffix() + QStringLiteral(" File");
    }

  private:
    QMimeDatabase names_;
};

NameOnlyIconProvider* nameOnlyIcons() {
    // Shared by every dialog's model; never destroyed, since a model may outlive a static at exit.
    static auto* provider = new NameOnlyIconProvider;
    return provider;
}
} // namespace

QFileDialog* MakeFileDialog(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& filter,
                            const QString& start) {
    auto* dialog = new QFileDialog(parent, caption, start, filter);
    // The program's own dialog everywhere, so that it can say what it cannot list, and open no file:
    // icons and kinds by name only, links listed as links (their targets not resolved).
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::DontResolveSymlinks);
    dialog->setIconProvider(nameOnlyIcons());
    dialog->setAcceptMode(kind == FileDialogKind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog->setFileMode(kind == FileDialogKind::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    auto* note = new QLabel(dialog);
    note->setObjectName(QStringLiteral("UnlistedNames"));
    note->setWordWrap(true);
    note->hide();
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
    auto show = [note](const QString& folder) {
        bool complete = true;
        const QStringList names = UnlistedNames(folder, &complete);
        QStringList quoted;
        for (const QString& n : names.mid(0, 3)) quoted << QLatin1Char('"') + n + QLatin1Char('"');
        if (names.size() > 3) quoted << QStringLiteral("...");
        note->setText(names.size() == 1 && complete
                          ? QStringLiteral("Not listed here: %1, whose name is not UTF-8 text, so it cannot be "
                                           "opened. Rename it, then look again.")
                                .arg(quoted.first())
                          : QStringLiteral("Not listed here: %1 files whose names are not UTF-8 text (%2), so they "
                                           "cannot be opened. Rename them, then look again.")
                                .arg(complete ? QString::number(names.size())
                                              : QStringLiteral("%1 or more (the folder is too large to look "
                                                               "through)")
                                                    .arg(names.size()))
                                .arg(quoted.join(QStringLiteral(", "))));
        note->setVisible(!names.isEmpty());
    };
    // The folder shown changes by the user's hand or the program's: its model says so either way.
    if (auto* model = dialog->findChild<QFileSystemModel*>())
        QObject::connect(model, &QFileSystemModel::rootPathChanged, note, show);
    QObject::connect(dialog, &QFileDialog::directoryEntered, note, show);
    show(dialog->directory().absolutePath());
    return dialog;
}

QString FolderKind(const QString& caption, const QString& filter) {
    if (filter.contains(QLatin1String("*.bin"))) return QStringLiteral("parameters");
    if (filter.contains(QLatin1String("*.pdf"))) return QStringLiteral("reports");
    if (filter.contains(QLatin1String("*.csv")) && !caption.startsWith(QLatin1String("Export")))
        return QStringLiteral("recordings");
    return QStringLiteral("exports");
}

QString LastFolder(const QString& caption, const QString& filter) {
    const QSettings settings;
    // (Before each kind had its own, one folder served them all.)
    const QString any = settings.value(QStringLiteral("files/lastFolder"), files::FirstFolder()).toString();
    return settings.value(QStringLiteral("files/lastFolder/") + FolderKind(caption, filter), any).toString();
}

void RememberFolder(const QString& caption, const QString& filter, const QString& chosen) {
    if (chosen.isEmpty()) return;
    QSettings settings;
    settings.setValue(QStringLiteral("files/lastFolder/") + FolderKind(caption, filter),
                      QFileInfo(chosen).absolutePath());
}

QString GetFileName(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& filter,
                    const QString& suggestedName) {
    if (fileHandler()) return fileHandler()(parent, kind, caption, filter);
    const QString folder = LastFolder(caption, filter);
    const QString start = suggestedName.isEmpty() ? folder : QDir(folder).filePath(suggestedName);
    const std::unique_ptr<QFileDialog> dialog(MakeFileDialog(parent, kind, caption, filter, start));
    if (dialog->exec() != QDialog::Accepted) return {};
    const QString name = dialog->selectedFiles().value(0);
    RememberFolder(caption, filter, name);
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
    return QMessageBox::question(BoxParent(parent), BoxTitle(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

int AskChoice(QWidget* parent, const QString& text, const QStringList& buttons) {
    if (choiceHandler()) return choiceHandler()(parent, text, buttons);
    QMessageBox box(QMessageBox::Question, BoxTitle(), text, QMessageBox::NoButton, BoxParent(parent));
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

bool ChoiceHandlerSet() {
    return bool(choiceHandler());
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
