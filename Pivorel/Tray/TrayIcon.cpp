#include "Pivorel/Tray/TrayIcon.h"

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

QIcon TrayIcon::image() {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("pivorel"));
    if (!themed.isNull()) return themed;
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(symbol(size));
    return icon;
}

}  // namespace pivorel
