#include "dialogs/LiveQuestion.h"

#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace dialogs {
namespace {
LiveQuestionHandler& liveHandler() {
    static LiveQuestionHandler h;
    return h;
}
} // namespace

QString AskLive(QWidget* parent, const std::function<Question()>& ask, QuestionUpdates& updates) {
    if (liveHandler()) return liveHandler()(parent, ask, updates);
    if (ChoiceHandlerSet()) {
        const Question q = ask();
        return q.buttons.value(AskChoice(parent, q.text, q.buttons));
    }
    QMessageBox box(QMessageBox::Question, BoxTitle(), QString(), QMessageBox::NoButton, BoxParent(parent));
    QStringList shown;
    const auto show = [&box, &shown, &ask] {
        const Question q = ask();
        box.setText(q.text);
        if (q.buttons == shown) return;
        // Buttons that change under the user's eyes: Enter, meant for the one that was the default, now
        // means the safe one, the last (Cancel).
        const bool changed = !shown.isEmpty();
        for (QAbstractButton* b : box.buttons()) {
            box.removeButton(b);
            b->deleteLater();
        }
        QPushButton* first = nullptr;
        QAbstractButton* last = nullptr;
        for (int i = 0; i < q.buttons.size(); ++i) {
            const bool escape = i == q.buttons.size() - 1;
            last = box.addButton(q.buttons[i], escape ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
            if (!first) first = qobject_cast<QPushButton*>(last);
        }
        box.setDefaultButton(changed ? qobject_cast<QPushButton*>(last) : first);
        box.setEscapeButton(last);
        shown = q.buttons;
    };
    show();
    const QMetaObject::Connection follow = QObject::connect(&updates, &QuestionUpdates::changed, &box, show);
    box.exec();
    QObject::disconnect(follow);
    const QAbstractButton* clicked = box.clickedButton();
    return clicked ? clicked->text() : shown.value(shown.size() - 1);
}

LiveQuestionHandler SetLiveQuestionHandler(LiveQuestionHandler h) {
    LiveQuestionHandler previous = std::move(liveHandler());
    liveHandler() = std::move(h);
    return previous;
}

} // namespace dialogs

#include "moc_LiveQuestion.cpp"
