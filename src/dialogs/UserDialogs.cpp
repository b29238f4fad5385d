#include "dialogs/UserDialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace dialogs {
namespace {
MessageHandler& handler() {
    static MessageHandler h;
    return h;
}
} // namespace

QString BoxTitle() {
    return QStringLiteral("Ostrevo");
}

void ShowMessage(QWidget* parent, const QString& text) {
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::information(parent, BoxTitle(), text);
}

void ShowWarning(QWidget* parent, const QString& text) {
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::warning(parent, BoxTitle(), text);
}

MessageHandler SetMessageHandler(MessageHandler h) {
    MessageHandler previous = std::move(handler());
    handler() = std::move(h);
    return previous;
}

} // namespace dialogs
