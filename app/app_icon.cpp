#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>

// A modem box with three signal bars: the device the tool talks to.
QPixmap AppIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    QPainterPath body;
    body.addRoundedRect(QRectF(2, 12, 28, 17), 3, 3);
    painter.fillPath(body, QColor(0x1f, 0x5f, 0xa8));
    painter.setPen(QPen(QColor(0x0e, 0x33, 0x60), 1));
    painter.drawPath(body);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x7c, 0xd9, 0x5b));
    painter.drawEllipse(QRectF(6, 22, 3, 3));  // power lamp
    painter.setBrush(Qt::white);
    for (int i = 0; i < 3; ++i) {
        const double height = 3.0 + 3.0 * i;
        painter.drawRect(QRectF(16 + 4.5 * i, 26 - height, 3, height));
    }

    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(24, 12), QPointF(27, 2));  // antenna
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addPixmap(AppIconPixmap(size));
    }
    return icon;
}
