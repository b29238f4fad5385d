#include "app/UserDialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace dialogs {
namespace {
MessageHandler& handler() {
    static MessageHandler h;
    return h;
}
} // namespace

void ShowMessage(QWidget* parent, const QString& text) {
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::information(parent, QApplication::applicationName(), text);
}

void ShowWarning(QWidget* parent, const QString& text) {
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::warning(parent, QApplication::applicationName(), text);
}

MessageHandler SetMessageHandler(MessageHandler h) {
    MessageHandler previous = std::move(handler());
    handler() = std::move(h);
    return previous;
}

} // namespace dialogs
