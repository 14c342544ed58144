#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <atomic>
#include <optional>

namespace pivorel {

// Whether the desktop's accessibility is on: the accessibility bus's IsEnabled (which the
// bus launcher keeps in step with GNOME's toolkit-accessibility key) or ScreenReaderEnabled.
// Programs expose their text, roles and password fields only while it is on, so it is what
// "trusted" means here. Watched through the bus's change signals on the Qt thread, never
// asked on the way from a mouse release to the bar; enabled() may be read from any thread.
class AtSpiStatus final : public QObject {
    Q_OBJECT

  public:
    explicit AtSpiStatus(QObject* parent = nullptr);

    bool enabled() const { return enabled_.load(); }

    // Asks the bus now, waiting at most `timeoutMs`; nothing when the bus does not answer.
    static std::optional<bool> query(int timeoutMs);
    // Turns accessibility on for programs started from now on: the bus's flag and, where
    // GNOME's settings exist, its key. True when the bus took it.
    static bool enable();

  private Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

  private:
    void take(const QVariantMap& properties);

    bool isEnabled_ = false;
    bool screenReader_ = false;
    std::atomic<bool> enabled_{false};
};

}  // namespace pivorel
