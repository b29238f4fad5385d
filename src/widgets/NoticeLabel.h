// The status bar's notice panel: one line that ends in "..." where it does not fit, the whole text on
// hover, and a click that opens what was said before.
#pragma once

#include <QLabel>

namespace widgets {

class NoticeLabel : public QLabel {
    Q_OBJECT
  public:
    explicit NoticeLabel(QWidget* parent = nullptr);

    // The notice as told, whatever the panel can show of it.
    void setNotice(const QString& text);
    QString notice() const { return notice_; }
    // True when the panel shows less than the whole notice.
    bool elided() const { return elided_; }

    // The panel takes what room the status bar leaves it, never asking for the text's width.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void clicked();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void fit();
    QString notice_;
    bool elided_ = false;
};

} // namespace widgets
