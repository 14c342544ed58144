#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QDBusConnection;

namespace pivorel {

// A small client of the AT-SPI 2 accessibility bus, spoken directly over D-Bus so that
// every call has its own time-out and may come from any thread. It never turns
// accessibility on: it only asks programs that already expose themselves. Every failure,
// time-out or missing bus answers "not there".
class AtSpiClient {
  public:
    using Deadline = std::chrono::steady_clock::time_point;
    // An accessible object: the D-Bus name of its program and its object path.
    struct Ref {
        std::string service;
        std::string path;
        bool operator==(const Ref&) const = default;
    };

    // The longest a single call may take.
    static constexpr auto callLimit = std::chrono::milliseconds(300);

    AtSpiClient();
    ~AtSpiClient();
    AtSpiClient(const AtSpiClient&) = delete;
    AtSpiClient& operator=(const AtSpiClient&) = delete;

    // The root object of the accessible program run by process `pid`.
    std::optional<Ref> application(std::uint32_t pid, Deadline deadline);
    // The processes of every program the registry lists.
    std::set<std::uint32_t> registeredProcesses(Deadline deadline);
    // The top-level windows of a program, the active one first.
    std::vector<Ref> frames(const Ref& app, Deadline deadline);
    // The innermost object at a point of the screen (X11 coordinates) in a program's frames,
    // looking into containers that do not answer for the point themselves.
    std::optional<Ref> elementAt(const Ref& app, int x, int y, Deadline deadline);
    // The object with the keyboard focus in a program.
    std::optional<Ref> focused(const Ref& app, Deadline deadline);

    std::optional<std::uint32_t> role(const Ref& ref, Deadline deadline);
    std::optional<std::uint64_t> states(const Ref& ref, Deadline deadline);
    std::vector<Ref> children(const Ref& ref, Deadline deadline);
    std::optional<Ref> parent(const Ref& ref, Deadline deadline);

    // The selected text of a text object, reading no more than needed to tell that it is
    // longer than `maxChars` characters.
    std::optional<std::string> selectedText(const Ref& ref, std::size_t maxChars,
                                            Deadline deadline);
    // The address of the web document holding `ref` (walking up from it).
    std::optional<std::string> documentAddress(const Ref& ref, Deadline deadline);
    // The address of the first web document found under a program's active frame.
    std::optional<std::string> anyDocumentAddress(const Ref& app, Deadline deadline);
    // Finds the menu item of a program whose shortcut is Control with `key` alone and
    // presses it: true when pressed, false when disabled or refused, nothing when no such
    // item (or no menu bar) is found.
    std::optional<bool> pressMenuItem(const Ref& app, char key, Deadline deadline);

  private:
    std::optional<QDBusConnection> bus(Deadline deadline);
    std::optional<Ref> findApplication(std::uint32_t pid, Deadline deadline);
    std::vector<std::pair<Ref, std::uint32_t>> registered(QDBusConnection& connection,
                                                          Deadline deadline);
    std::optional<Ref> findBelow(const Ref& root,
                                 const std::function<bool(const Ref&, std::uint32_t)>& match,
                                 int depth, std::size_t budget, Deadline deadline);
    std::optional<Ref> focusedByCollection(const Ref& frame, Deadline deadline);

    std::mutex mutex_;
    std::unique_ptr<QDBusConnection> bus_;
    std::chrono::steady_clock::time_point retryAfter_;
    std::map<std::string, std::uint32_t> pids_;
    // Which program a process is on the bus, or that it is not there: asked once per read
    // several times over, and for most programs the answer is "not there".
    struct Known {
        std::optional<Ref> app;
        std::chrono::steady_clock::time_point at;
    };
    std::map<std::uint32_t, Known> apps_;
};

}  // namespace pivorel
