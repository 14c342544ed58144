#include "Pivorel/Linux/AtSpiClient.h"

#include <atspi/atspi-constants.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QUuid>
#include <algorithm>
#include <deque>

#include "Pivorel/Linux/AtSpiNames.h"

namespace pivorel {

namespace {

using Ref = AtSpiClient::Ref;
using Deadline = AtSpiClient::Deadline;

constexpr const char* accessibleInterface = "org.a11y.atspi.Accessible";
constexpr const char* rootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* nullPath = "/org/a11y/atspi/null";
constexpr const char* registryService = "org.a11y.atspi.Registry";
// A bus that did not answer is asked again only after this.
constexpr auto busRetryInterval = std::chrono::seconds(10);
// Bounds of the searches through a program's tree.
constexpr std::size_t focusSearchBudget = 600;
constexpr std::size_t menuSearchBudget = 200;
constexpr std::size_t documentSearchBudget = 300;
constexpr int maxParentWalk = 40;
constexpr std::size_t maxContainerChildren = 16;
constexpr std::size_t maxTextChars = 8u << 20;
constexpr auto appCacheTime = std::chrono::seconds(2);

int millisecondsLeft(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return static_cast<int>(std::clamp<long long>(left, 0, AtSpiClient::callLimit.count()));
}

std::optional<QDBusMessage> call(QDBusConnection& bus, const QString& service, const QString& path,
                                 const char* interface, const char* method,
                                 const QList<QVariant>& args, Deadline deadline) {
    const int timeout = millisecondsLeft(deadline);
    if (timeout <= 0 || service.isEmpty() || path.isEmpty()) return std::nullopt;
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    QDBusMessage reply = bus.call(message, QDBus::Block, timeout);
    if (reply.type() != QDBusMessage::ReplyMessage) return std::nullopt;
    return reply;
}

std::optional<QDBusMessage> call(QDBusConnection& bus, const Ref& ref, const char* interface,
                                 const char* method, const QList<QVariant>& args,
                                 Deadline deadline) {
    return call(bus, QString::fromStdString(ref.service), QString::fromStdString(ref.path),
                interface, method, args, deadline);
}

std::optional<Ref> readRef(const QDBusArgument& arg) {
    QString service;
    QDBusObjectPath path;
    arg.beginStructure();
    arg >> service >> path;
    arg.endStructure();
    if (service.isEmpty() || path.path() == nullPath) return std::nullopt;
    return Ref{service.toStdString(), path.path().toStdString()};
}

std::optional<Ref> refFrom(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>()) return std::nullopt;
    return readRef(value.value<QDBusArgument>());
}

std::vector<Ref> refsFrom(const QVariant& value) {
    std::vector<Ref> out;
    if (!value.canConvert<QDBusArgument>()) return out;
    const auto arg = value.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        if (auto ref = readRef(arg)) out.push_back(std::move(*ref));
    }
    arg.endArray();
    return out;
}

std::optional<QVariant> firstArgument(const std::optional<QDBusMessage>& reply) {
    if (!reply || reply->arguments().isEmpty()) return std::nullopt;
    return reply->arguments().front();
}

bool isMenuItemRole(std::uint32_t role) {
    return role == ATSPI_ROLE_MENU_ITEM || role == ATSPI_ROLE_CHECK_MENU_ITEM ||
           role == ATSPI_ROLE_RADIO_MENU_ITEM;
}

bool isDocumentRole(std::uint32_t role) {
    return role == ATSPI_ROLE_DOCUMENT_WEB || role == ATSPI_ROLE_DOCUMENT_FRAME;
}

}  // namespace

AtSpiClient::AtSpiClient() = default;

AtSpiClient::~AtSpiClient() {
    if (bus_) QDBusConnection::disconnectFromBus(bus_->name());
}

std::optional<QDBusConnection> AtSpiClient::bus(Deadline deadline) {
    std::lock_guard lock(mutex_);
    if (bus_ && bus_->isConnected()) return *bus_;
    const auto now = std::chrono::steady_clock::now();
    if (now < retryAfter_) return std::nullopt;
    retryAfter_ = now + busRetryInterval;
    if (bus_) {
        QDBusConnection::disconnectFromBus(bus_->name());
        bus_.reset();
        pids_.clear();
        apps_.clear();
    }
    // The accessibility bus is separate from the session bus, which tells its address.
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) return std::nullopt;
    const auto reply =
        call(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", {}, deadline);
    const auto address = firstArgument(reply);
    if (!address || address->toString().isEmpty()) return std::nullopt;
    const QString name = "pivorel-atspi-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    auto connection =
        std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address->toString(), name));
    if (!connection->isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return std::nullopt;
    }
    bus_ = std::move(connection);
    return *bus_;
}

std::optional<Ref> AtSpiClient::application(std::uint32_t pid, Deadline deadline) {
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        if (auto it = apps_.find(pid); it != apps_.end() && now - it->second.at < appCacheTime) {
            return it->second.app;
        }
    }
    auto found = findApplication(pid, deadline);
    // A time-out says nothing about the program: only answers are remembered.
    if (std::chrono::steady_clock::now() < deadline) {
        std::lock_guard lock(mutex_);
        if (apps_.size() > 64) apps_.clear();
        apps_[pid] = {found, now};
    }
    return found;
}

std::vector<std::pair<Ref, std::uint32_t>> AtSpiClient::registered(QDBusConnection& connection,
                                                                   Deadline deadline) {
    std::vector<std::pair<Ref, std::uint32_t>> out;
    // Just after the registry starts it may list no programs yet: ask twice.
    for (int attempt = 0; attempt < 2 && out.empty(); ++attempt) {
        const auto apps =
            refsFrom(firstArgument(call(connection, Ref{registryService, rootPath},
                                        accessibleInterface, "GetChildren", {}, deadline))
                         .value_or(QVariant()));
        for (const auto& app : apps) {
            std::optional<std::uint32_t> appPid;
            {
                std::lock_guard lock(mutex_);
                if (auto it = pids_.find(app.service); it != pids_.end()) appPid = it->second;
            }
            if (!appPid) {
                const auto answer =
                    firstArgument(call(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                       {QString::fromStdString(app.service)}, deadline));
                if (!answer) continue;
                appPid = answer->toUInt();
                std::lock_guard lock(mutex_);
                pids_[app.service] = *appPid;
            }
            out.emplace_back(Ref{app.service, rootPath}, *appPid);
        }
        if (!apps.empty()) break;
    }
    return out;
}

std::optional<Ref> AtSpiClient::findApplication(std::uint32_t pid, Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return std::nullopt;
    for (const auto& [app, appPid] : registered(*connection, deadline)) {
        if (appPid == pid) return app;
    }
    return std::nullopt;
}

std::set<std::uint32_t> AtSpiClient::registeredProcesses(Deadline deadline) {
    std::set<std::uint32_t> out;
    auto connection = bus(deadline);
    if (!connection) return out;
    for (const auto& entry : registered(*connection, deadline)) out.insert(entry.second);
    return out;
}

std::optional<std::uint32_t> AtSpiClient::role(const Ref& ref, Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return std::nullopt;
    const auto answer =
        firstArgument(call(*connection, ref, accessibleInterface, "GetRole", {}, deadline));
    if (!answer) return std::nullopt;
    return answer->toUInt();
}

std::optional<std::uint64_t> AtSpiClient::states(const Ref& ref, Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return std::nullopt;
    const auto answer =
        firstArgument(call(*connection, ref, accessibleInterface, "GetState", {}, deadline));
    if (!answer) return std::nullopt;
    const auto words = qdbus_cast<QList<uint>>(*answer);
    std::uint64_t mask = 0;
    if (words.size() > 0) mask |= words[0];
    if (words.size() > 1) mask |= static_cast<std::uint64_t>(words[1]) << 32;
    return mask;
}

std::vector<Ref> AtSpiClient::children(const Ref& ref, Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return {};
    const auto answer =
        firstArgument(call(*connection, ref, accessibleInterface, "GetChildren", {}, deadline));
    return answer ? refsFrom(*answer) : std::vector<Ref>{};
}

std::optional<Ref> AtSpiClient::parent(const Ref& ref, Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return std::nullopt;
    const auto answer = firstArgument(call(*connection, ref, "org.freedesktop.DBus.Properties",
                                           "Get", {accessibleInterface, "Parent"}, deadline));
    if (!answer) return std::nullopt;
    return refFrom(answer->value<QDBusVariant>().variant());
}

std::vector<Ref> AtSpiClient::frames(const Ref& app, Deadline deadline) {
    std::vector<Ref> active, others;
    for (auto& frame : children(app, deadline)) {
        const auto st = states(frame, deadline);
        if (!st) continue;
        if (AtSpiNames::hasState(*st, ATSPI_STATE_ACTIVE)) {
            active.push_back(std::move(frame));
        } else if (AtSpiNames::hasState(*st, ATSPI_STATE_SHOWING)) {
            others.push_back(std::move(frame));
        }
    }
    active.insert(active.end(), others.begin(), others.end());
    return active;
}

std::optional<Ref> AtSpiClient::elementAt(const Ref& app, int x, int y, Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return std::nullopt;
    const auto childAt = [&](const Ref& ref) {
        const auto answer =
            firstArgument(call(*connection, ref, "org.a11y.atspi.Component", "GetAccessibleAtPoint",
                               {x, y, static_cast<uint>(ATSPI_COORD_TYPE_SCREEN)}, deadline));
        auto child = answer ? refFrom(*answer) : std::nullopt;
        return child && !(*child == ref) ? child : std::nullopt;
    };
    for (const auto& frame : frames(app, deadline)) {
        std::optional<Ref> found;
        Ref current = frame;
        // Each step answers the child at the point; the innermost one is what was pressed.
        for (int depth = 0; depth < 32; ++depth) {
            auto child = childAt(current);
            if (!child) {
                // A container whose own children lie outside its answer: GTK's notebook
                // page tabs have no area of their own, so the notebook finds nothing at a
                // point of the page they hold. Ask each child in turn.
                auto below = children(current, deadline);
                if (below.size() > maxContainerChildren) below.resize(maxContainerChildren);
                for (const auto& candidate : below) {
                    if (auto inner = childAt(candidate)) {
                        const auto st = states(*inner, deadline);
                        if (st && AtSpiNames::hasState(*st, ATSPI_STATE_SHOWING)) {
                            child = std::move(inner);
                            break;
                        }
                    }
                }
            }
            if (!child) break;
            found = child;
            current = *child;
        }
        if (found) return found;
    }
    return std::nullopt;
}

std::optional<Ref> AtSpiClient::focusedByCollection(const Ref& frame, Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return std::nullopt;
    // A match rule: the focused state, anything else allowed.
    QDBusArgument rule;
    rule.beginStructure();
    rule << QList<int>{1 << ATSPI_STATE_FOCUSED, 0} << static_cast<int>(ATSPI_Collection_MATCH_ALL);
    rule.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    rule.endMap();
    rule << static_cast<int>(ATSPI_Collection_MATCH_ALL) << QList<int>{}
         << static_cast<int>(ATSPI_Collection_MATCH_ALL) << QStringList{}
         << static_cast<int>(ATSPI_Collection_MATCH_ALL) << false;
    rule.endStructure();
    const auto answer =
        firstArgument(call(*connection, frame, "org.a11y.atspi.Collection", "GetMatches",
                           {QVariant::fromValue(rule),
                            static_cast<uint>(ATSPI_Collection_SORT_ORDER_CANONICAL), 1, true},
                           deadline));
    if (!answer) return std::nullopt;
    auto refs = refsFrom(*answer);
    if (refs.empty()) return std::nullopt;
    return refs.front();
}

std::optional<Ref> AtSpiClient::focused(const Ref& app, Deadline deadline) {
    for (const auto& frame : frames(app, deadline)) {
        if (auto found = focusedByCollection(frame, deadline)) {
            // Some toolkits answer with objects that are no longer focused.
            const auto st = states(*found, deadline);
            if (st && AtSpiNames::hasState(*st, ATSPI_STATE_FOCUSED)) return found;
        }
        // Programs without the collection interface: look through what is showing.
        std::vector<Ref> stack{frame};
        std::size_t visited = 0;
        while (!stack.empty() && visited++ < focusSearchBudget &&
               std::chrono::steady_clock::now() < deadline) {
            Ref node = std::move(stack.back());
            stack.pop_back();
            const auto st = states(node, deadline);
            if (!st) continue;
            if (AtSpiNames::hasState(*st, ATSPI_STATE_FOCUSED)) return node;
            if (!(node == frame) && !AtSpiNames::hasState(*st, ATSPI_STATE_SHOWING)) continue;
            auto below = children(node, deadline);
            for (auto it = below.rbegin(); it != below.rend(); ++it) stack.push_back(*it);
        }
    }
    return std::nullopt;
}

std::optional<std::string> AtSpiClient::selectedText(const Ref& ref, std::size_t maxChars,
                                                     Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return std::nullopt;
    const char* text = "org.a11y.atspi.Text";
    const auto count = firstArgument(call(*connection, ref, text, "GetNSelections", {}, deadline));
    if (!count || count->toInt() <= 0) return std::nullopt;
    const auto range = call(*connection, ref, text, "GetSelection", {0}, deadline);
    if (!range || range->arguments().size() < 2) return std::nullopt;
    const int start = range->arguments().at(0).toInt();
    const int end = range->arguments().at(1).toInt();
    if (start < 0 || end <= start) return std::nullopt;
    // Offsets count code points; a character takes at least one, usually at most a few.
    const std::size_t enough = maxChars >= maxTextChars / 4 ? maxTextChars : (maxChars + 1) * 4;
    const int stop = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(end), static_cast<std::size_t>(start) + enough));
    const auto answer =
        firstArgument(call(*connection, ref, text, "GetText", {start, stop}, deadline));
    if (!answer) return std::nullopt;
    return answer->toString().toStdString();
}

std::optional<std::string> AtSpiClient::documentAddress(const Ref& ref, Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return std::nullopt;
    std::optional<Ref> current = ref;
    for (int level = 0; current && level < maxParentWalk; ++level) {
        if (current->path == rootPath) break;
        const auto r = role(*current, deadline);
        if (!r) break;
        if (isDocumentRole(*r)) {
            // Firefox names the address DocURL, Chromium and Electron name it URI.
            for (const char* name : {"DocURL", "URI"}) {
                const auto answer =
                    firstArgument(call(*connection, *current, "org.a11y.atspi.Document",
                                       "GetAttributeValue", {QString(name)}, deadline));
                if (answer && !answer->toString().isEmpty()) {
                    return answer->toString().toStdString();
                }
            }
        }
        current = parent(*current, deadline);
    }
    return std::nullopt;
}

std::optional<std::string> AtSpiClient::anyDocumentAddress(const Ref& app, Deadline deadline) {
    const auto frameList = frames(app, deadline);
    if (frameList.empty()) return std::nullopt;
    // Chromium keeps documents without an address beside the page's (its own panes).
    std::optional<std::string> address;
    findBelow(
        frameList.front(),
        [&](const Ref& ref, std::uint32_t role) {
            if (!isDocumentRole(role)) return false;
            address = documentAddress(ref, deadline);
            return address.has_value();
        },
        12, documentSearchBudget, deadline);
    return address;
}

std::optional<Ref> AtSpiClient::findBelow(
    const Ref& root, const std::function<bool(const Ref&, std::uint32_t)>& match, int depth,
    std::size_t budget, Deadline deadline) {
    std::deque<std::pair<Ref, int>> queue{{root, 0}};
    std::size_t visited = 0;
    while (!queue.empty() && visited++ < budget && std::chrono::steady_clock::now() < deadline) {
        auto [node, level] = std::move(queue.front());
        queue.pop_front();
        if (level > 0) {
            const auto r = role(node, deadline);
            if (r && match(node, *r)) return node;
        }
        if (level >= depth) continue;
        for (auto& child : children(node, deadline))
            queue.emplace_back(std::move(child), level + 1);
    }
    return std::nullopt;
}

std::optional<bool> AtSpiClient::pressMenuItem(const Ref& app, char key, Deadline deadline) {
    auto connection = bus(deadline);
    if (!connection) return std::nullopt;
    const char* action = "org.a11y.atspi.Action";
    for (const auto& frame : frames(app, deadline)) {
        const auto menuBar = findBelow(
            frame, [](const Ref&, std::uint32_t r) { return r == ATSPI_ROLE_MENU_BAR; }, 5,
            menuSearchBudget, deadline);
        if (!menuBar) continue;
        // The bar's menus, and their items; a toolkit may put the menu one level lower.
        for (const auto& title : children(*menuBar, deadline)) {
            std::vector<Ref> items;
            for (auto& child : children(title, deadline)) {
                const auto r = role(child, deadline);
                if (r && (*r == ATSPI_ROLE_MENU || *r == ATSPI_ROLE_POPUP_MENU)) {
                    for (auto& inner : children(child, deadline)) items.push_back(inner);
                } else if (r && isMenuItemRole(*r)) {
                    items.push_back(std::move(child));
                }
            }
            for (const auto& item : items) {
                const auto binding =
                    firstArgument(call(*connection, item, action, "GetKeyBinding", {0}, deadline));
                if (!binding ||
                    !AtSpiNames::isControlShortcut(binding->toString().toStdString(), key)) {
                    continue;
                }
                const auto st = states(item, deadline);
                if (!st || !(AtSpiNames::hasState(*st, ATSPI_STATE_ENABLED) ||
                             AtSpiNames::hasState(*st, ATSPI_STATE_SENSITIVE))) {
                    return false;
                }
                const auto done =
                    firstArgument(call(*connection, item, action, "DoAction", {0}, deadline));
                return done && done->toBool();
            }
        }
    }
    return std::nullopt;
}

}  // namespace pivorel
