#include "spooler/icons.h"

#include <QPainter>
#include <QPainterPath>

namespace tolver {

namespace {

QPixmap Register(int size, const QColor* lamp) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(40, 40, 50), 1.2));
    // The receipt coming out of the top.
    p.setBrush(QColor(255, 255, 250));
    p.drawRect(QRectF(11, 2, 10, 10));
    // The body and its display.
    p.setBrush(QColor(70, 110, 170));
    p.drawRoundedRect(QRectF(3, 10, 26, 19), 3, 3);
    p.setBrush(QColor(200, 235, 200));
    p.drawRect(QRectF(6, 13, 14, 5));
    // Keys.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 230, 235));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) p.drawRect(QRectF(6 + c * 4, 20.5 + r * 3.5, 2.6, 2.4));
    if (lamp) {
        p.setPen(QPen(QColor(30, 30, 30), 1.2));
        p.setBrush(*lamp);
        p.drawEllipse(QRectF(19.5, 16.5, 12, 12));
    }
    return pm;
}

QIcon Make(const QColor* lamp) {
    QIcon icon;
    for (const int s : {16, 22, 32, 48, 64}) icon.addPixmap(Register(s, lamp));
    return icon;
}

}  // namespace

QIcon SpoolerIcon() {
    static const QIcon icon = Make(nullptr);
    return icon;
}

QIcon SpoolerIcon(TLinkLamp lamp) {
    static const QColor green(40, 190, 60), amber(240, 180, 20), red(220, 40, 40);
    static const QIcon icons[] = {Make(&green), Make(&amber), Make(&red)};
    return icons[static_cast<int>(lamp)];
}

}  // namespace tolver
