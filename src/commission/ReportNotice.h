// "The report was written": a small notice over the foot of the main window, with Open (the PDF in the
// desktop's viewer) and Show in Folder, until it is closed or another report is written. It asks nothing
// and blocks nothing; the same words go to the status bar and the message history.
#pragma once

#include <QFrame>
#include <QTimer>

class QLabel;
class QPushButton;

namespace commission {

class ReportNotice : public QFrame {
    Q_OBJECT
  public:
    explicit ReportNotice(QWidget& window);

    void ShowFor(const QString& path);
    QString Path() const { return path_; }
    QLabel* text() const { return text_; }
    QPushButton* openButton() const { return open_; }     // "Open"
    QPushButton* folderButton() const { return folder_; } // "Show in Folder"
    QPushButton* closeButton() const { return close_; }
    // It goes by itself after this long.
    static constexpr int ShownMs = 120000;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void place();
    void open(bool folder);

    QWidget& window_;
    QString path_;
    QLabel* text_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* folder_ = nullptr;
    QPushButton* close_ = nullptr;
    QTimer hide_;
};

} // namespace commission
