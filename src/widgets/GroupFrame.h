// A group box whose frame and caption are drawn once for its size and state, then copied: the frame
// the style draws (a stretched picture) is costly, and it is painted again under every change of a
// label inside the box.
#pragma once

#include <QGroupBox>
#include <QPixmap>
#include <QStyle>

class GroupFrame : public QGroupBox {
    Q_OBJECT
  public:
    explicit GroupFrame(const QString& caption, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Key {
        QSize size;
        qreal pixelRatio = 0;
        QStyle::State state;
        QStyle::SubControls active;
        QString caption;
        QString font;
        qint64 palette = 0;
        const void* style = nullptr;
        bool operator==(const Key&) const = default;
    };
    Key key_;
    QPixmap picture_;
};
