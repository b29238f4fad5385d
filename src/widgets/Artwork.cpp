#include "widgets/Artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace widgets {

namespace {

const char* themeName(int index) {
    switch (index) {
    case 0: return "document-open";
    case 1: return "document-save-as";
    case 2: return "network-connect";
    case 4: return "application-exit";
    case 5: return "preferences-system";
    case 8: return "utilities-system-monitor";
    case 9: return "media-record";
    default: return nullptr;
    }
}

} // namespace

QPixmap DrawnActionIcon(int index) {
    if (!themeName(index)) return {};
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    switch (index) {
    case 0: { // an open folder
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(QRectF(2.5, 6.5, 17, 13));
        p.setBrush(QColor(250, 220, 120));
        QPainterPath flap;
        flap.moveTo(5.5, 10.5);
        flap.lineTo(22.5, 10.5);
        flap.lineTo(19.5, 19.5);
        flap.lineTo(2.5, 19.5);
        flap.closeSubpath();
        p.drawPath(flap);
        break;
    }
    case 1: // a floppy disk
        p.setBrush(QColor(60, 90, 170));
        p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 4.5, 9, 6));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(7.5, 14.5, 9, 5));
        break;
    case 2: // two plug halves
        p.setBrush(QColor(60, 160, 60));
        p.drawRoundedRect(QRectF(2.5, 8.5, 8, 7), 1.5, 1.5);
        p.drawRoundedRect(QRectF(13.5, 8.5, 8, 7), 1.5, 1.5);
        p.drawLine(QPointF(10.5, 10.5), QPointF(13.5, 10.5));
        p.drawLine(QPointF(10.5, 13.5), QPointF(13.5, 13.5));
        break;
    case 4: // a door with an arrow
        p.setBrush(QColor(170, 110, 60));
        p.drawRect(QRectF(4.5, 2.5, 10, 19));
        p.setPen(QPen(QColor(200, 30, 30), 2.2));
        p.drawLine(QPointF(11, 12), QPointF(21, 12));
        p.drawLine(QPointF(17.5, 8.5), QPointF(21, 12));
        p.drawLine(QPointF(17.5, 15.5), QPointF(21, 12));
        break;
    case 5: { // a serial connector
        p.setBrush(QColor(150, 150, 160));
        QPainterPath shell;
        shell.moveTo(2.5, 7.5);
        shell.lineTo(21.5, 7.5);
        shell.lineTo(18.5, 16.5);
        shell.lineTo(5.5, 16.5);
        shell.closeSubpath();
        p.drawPath(shell);
        p.setBrush(QColor(40, 40, 40));
        for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(6.0 + i * 3.0, 10.5), 0.9, 0.9);
        for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(7.5 + i * 3.0, 13.5), 0.9, 0.9);
        break;
    }
    case 9: // a red recording dot
        p.setBrush(QColor(210, 30, 30));
        p.drawEllipse(QRectF(4.5, 4.5, 15, 15));
        break;
    case 8: { // a trace on a dark screen
        p.setBrush(Qt::black);
        p.drawRect(QRectF(1.5, 3.5, 21, 17));
        p.setPen(QPen(QColor(0, 255, 15), 1.4));
        QPainterPath wave;
        wave.moveTo(3, 12);
        for (int x = 3; x <= 21; ++x) wave.lineTo(x, 12 - 5 * std::sin((x - 3) * 0.7));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
        break;
    }
    }
    return pm;
}

QIcon ThemedActionIcon(int index) {
    const char* name = themeName(index);
    return name ? QIcon::fromTheme(QString::fromLatin1(name)) : QIcon();
}

QIcon ActionIcon(int index) {
    if (!themeName(index)) return {};
    const QIcon themed = ThemedActionIcon(index);
    return themed.isNull() ? QIcon(DrawnActionIcon(index)) : themed;
}

bool DesktopHasIconTheme() {
    const QString theme = QIcon::themeName();
    return !theme.isEmpty() && theme != QLatin1String("hicolor");
}

QPixmap DrawNtcScale(const QSize& size) {
    QPixmap pm(size);
    pm.fill(Qt::white);
    QPainter p(&pm);
    const int top = 8, bottom = size.height() - 8;
    auto yOf = [&](int celsius) { return bottom - (celsius + 30) * (bottom - top) / 100; };
    QFont f = p.font();
    f.setPixelSize(8);
    p.setFont(f);
    p.setPen(Qt::black);
    for (int c = -30; c <= 70; c += 5) {
        const int y = yOf(c);
        const bool major = c % 10 == 0;
        p.drawLine(size.width() - (major ? 8 : 5), y, size.width() - 1, y);
        if (major)
            p.drawText(QRect(10, y - 5, size.width() - 20, 10), Qt::AlignRight | Qt::AlignVCenter, QString::number(c));
    }
    // Zero is where water freezes: mark it in blue.
    p.setPen(QColor(0, 90, 200));
    p.drawLine(size.width() - 10, yOf(0), size.width() - 1, yOf(0));
    return pm;
}

} // namespace widgets
