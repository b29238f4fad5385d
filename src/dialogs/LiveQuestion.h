// A question whose words follow the program's state while it is open (the link comes back or goes while
// the user reads): its text and buttons are asked for anew whenever the program says something changed.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace dialogs {

struct Question {
    QString text;
    QStringList buttons; // the last one is what Escape and closing the box mean
};

// Says that a question's words may have changed.
class QuestionUpdates : public QObject {
    Q_OBJECT
  signals:
    void changed();
};

using LiveQuestionHandler =
    std::function<QString(QWidget* parent, const std::function<Question()>& ask, QuestionUpdates& updates)>;

// Shows ask()'s question and asks it again at every updates.changed() while it is open. Returns the caption
// of the button chosen. Tests answer through a handler of their own, or through the choice handler (which
// sees the question as it stood when it opened).
QString AskLive(QWidget* parent, const std::function<Question()>& ask, QuestionUpdates& updates);
// Replaces the box; an empty handler restores it. Returns the previous handler.
LiveQuestionHandler SetLiveQuestionHandler(LiveQuestionHandler handler);

} // namespace dialogs
