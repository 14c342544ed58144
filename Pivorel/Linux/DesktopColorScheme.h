#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <optional>
#include <string_view>

namespace pivorel {

// Whether the desktop asks for dark windows, and when it changes its mind. The sources, in
// order: the desktop portal's appearance setting (what GNOME, KDE and the wlroots portals
// share), the GTK theme's name, and the palette Qt started with. Watched on the Qt thread.
class DesktopColorScheme final : public QObject {
    Q_OBJECT

  public:
    // The portal's color-scheme values.
    enum PortalScheme : unsigned { noPreference = 0, preferDark = 1, preferLight = 2 };

    // `startPaletteDark`: whether Qt's own palette, before the program replaced it, was dark.
    explicit DesktopColorScheme(bool startPaletteDark, QObject* parent = nullptr);

    bool dark() const { return dark_; }

    // The decision. A portal that answers 1 or 2 settles it; "no preference" or no portal
    // leaves it to the theme name (GTK_THEME's "Name:dark" variant or a "-dark" name,
    // gsettings' quotes allowed); with no theme name either, to Qt's palette.
    static bool decide(std::optional<unsigned> portal, std::string_view gtkTheme, bool paletteDark);

  Q_SIGNALS:
    void changed(bool dark);

  private Q_SLOTS:
    void settingChanged(const QDBusMessage& message);

  private:
    void readPortal(bool oldMethod);
    void takePortal(const QVariant& value);
    void update();

    std::optional<unsigned> portal_;
    QString gtkTheme_;
    bool paletteDark_ = false;
    bool dark_ = false;
};

}  // namespace pivorel
