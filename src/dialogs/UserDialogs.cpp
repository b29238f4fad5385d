#include "dialogs/UserDialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace dialogs {
namespace {
MessageHandler& handler() {
    static MessageHandler h;
    return h;
}
MessageHandler& recorder() {
    static MessageHandler h;
    return h;
}
} // namespace

QWidget* BoxParent(QWidget* parent) {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible()) return active;
    return parent;
}

MessageHandler SetWarningRecorder(MessageHandler h) {
    MessageHandler previous = std::move(recorder());
    recorder() = std::move(h);
    return previous;
}

QString BoxTitle() {
    return QStringLiteral("Ostrevo");
}

void ShowMessage(QWidget* parent, const QString& text) {
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::information(BoxParent(parent), BoxTitle(), text);
}

void ShowWarning(QWidget* parent, const QString& text) {
    if (recorder()) recorder()(parent, text);
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::warning(BoxParent(parent), BoxTitle(), text);
}

MessageHandler SetMessageHandler(MessageHandler h) {
    MessageHandler previous = std::move(handler());
    handler() = std::move(h);
    return previous;
}

} // namespace dialogs
