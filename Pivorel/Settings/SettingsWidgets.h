#pragma once

#include <QColor>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <string>
#include <string_view>

class QVBoxLayout;

namespace pivorel {

// Small building blocks shared by the settings pages: symbol glyphs as pixmaps and icons,
// grouped cards, wrapped secondary text and tag pills.
struct SettingsWidgets {
    SettingsWidgets() = delete;

    // A symbol drawn `size` logical pixels square in `color` (the text colour when invalid).
    static QPixmap symbolPixmap(std::string_view name, int size, QColor color = {});
    static QIcon symbolIcon(std::string_view name, int size = 18, QColor color = {});

    static QString qs(const std::string& text) { return QString::fromStdString(text); }
    // For buttons, check boxes and menu items, where "&" would mark a shortcut letter.
    static QString buttonText(const std::string& text) {
        return qs(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
    }

    // Text of `size` logical pixels, wrapped, in the secondary colour when `secondary`.
    static QLabel* label(QWidget* parent, double size = 13, bool secondary = false,
                         bool bold = false);
    // A small rounded pill with `text`.
    static QLabel* tag(QWidget* parent);
    // A rounded card whose layout holds the rows of one group.
    static QFrame* card(QWidget* parent, QVBoxLayout** layout);
    // A line between two rows of a card.
    static QFrame* separator(QWidget* parent);

    // Shows a program window: centred on its screen when it was hidden, then in front with
    // the keyboard.
    static void present(QWidget& window);
};

}  // namespace pivorel
