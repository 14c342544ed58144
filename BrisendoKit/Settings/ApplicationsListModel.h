#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// One editable list of applications on the applications page: those where the bar never
// shows, or those read through the copy fallback. The list lives in user defaults and is
// read afresh each time, so an edit from elsewhere shows at once; every edit writes the
// whole list. Applications are named by their desktop-file ids. Main thread.
class ApplicationsListModel {
  public:
    enum class Kind { excluded, copyFallback };

    ApplicationsListModel(Kind kind, BarSettings settings);
    ApplicationsListModel(const ApplicationsListModel&) = delete;
    ApplicationsListModel& operator=(const ApplicationsListModel&) = delete;

    Kind kind() const { return kind_; }
    std::string title() const;
    std::string footer() const;
    std::string emptyText() const;

    std::vector<std::string> apps() const;

    // Adds the identifier trimmed of white space; false (and nothing stored) for an empty
    // one or one already listed.
    bool add(std::string_view bundleID);
    void remove(std::string_view bundleID);

    // The manual entry field; Return adds what it holds and empties it either way.
    const std::string& manual() const { return manual_; }
    void setManual(std::string text);
    bool submitManual();

    // What the "running applications" menu offers: regular applications with an identifier
    // that is not listed yet, each once, sorted by name as the interface language sorts.
    std::vector<RunningApp> runningChoices(const std::vector<RunningApp>& running) const;

    // Emitted after the list or the manual field changed (also when another writer changed
    // the stored list).
    Signal<> changed;

  private:
    void store(const std::vector<std::string>& apps);

    Kind kind_;
    BarSettings settings_;
    std::string manual_;
    Connection defaultsWatch_;
};

}  // namespace pivorel
