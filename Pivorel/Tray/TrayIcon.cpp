#include "Pivorel/Tray/TrayIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>

#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Look/Symbols.h"

namespace pivorel {

namespace {

QPixmap symbol(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(Symbols::font(size * 0.8));
    painter.setPen(PivorelStyle::accent(false));
    painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter,
                     Symbols::text("arrow.turn.down.right"));
    return pixmap;
}

}  // namespace

QIcon TrayIcon::image(bool badge) {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("pivorel"));
    if (!themed.isNull() && !badge) return themed;
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = themed.isNull() ? symbol(size) : themed.pixmap(size, size);
        if (badge) {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(PivorelStyle::orange(QGuiApplication::palette()));
            const double dot = size * 0.4;
            painter.drawEllipse(QRectF(size - dot, 0, dot, dot));
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace pivorel
