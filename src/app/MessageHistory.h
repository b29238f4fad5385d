// "Messages": what the status bar told during this run, newest first with its time, to read again
// and copy. A notice shown for a moment, or cut short in its panel, is found here whole.
#pragma once

#include <QDateTime>
#include <QDialog>

class QDialogButtonBox;
class QListWidget;
class QPushButton;

namespace app {

class MessageHistory : public QDialog {
    Q_OBJECT
  public:
    static constexpr int Capacity = 200; // the last ones kept

    explicit MessageHistory(QWidget* parent = nullptr);

    // A notice the status bar tells, a line of its own. A running count (a recording's or a replay's
    // clock, given with a key saying what it counts) takes the newest line instead when that is the same
    // count, so that a clock ticking every second does not push everything else out.
    void add(const QString& text, const QDateTime& at = QDateTime::currentDateTime(),
             const QString& runningCount = QString());
    int count() const;
    // Row 0 is the newest: its text as told, and its line as listed ("14:03:27  text").
    QString message(int row) const;
    QString line(int row) const;
    // What Copy puts on the clipboard: the lines chosen, or all of them when none is.
    QString copyText() const;
    void copy();

    QListWidget* list = nullptr;
    QPushButton* copyButton = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QDialogButtonBox* buttons_ = nullptr;
};

} // namespace app
