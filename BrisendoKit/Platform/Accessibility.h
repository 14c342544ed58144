#pragma once

#include <optional>
#include <string>

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// What the selection reader asks the desktop's accessibility service. Every query is
// bounded by a time-out and answers "not there" (nothing, or false) when the service is
// off, fails or is slow: callers never see an error. Queries block, and the bar's read calls
// them on a worker thread, so implementations must be safe to call from any thread.
// Applications are named by bundle identifier; absent means the frontmost one is unknown.
class Accessibility {
  public:
    // Where the selected text is looked for, in the reader's order.
    enum class Scope {
        systemWide,   // whatever the desktop reports as selected right now
        application,  // the focused element of the given application
    };

    virtual ~Accessibility() = default;

    // Whether the program may observe input and read other programs' selections at all.
    virtual bool isTrusted() = 0;

    // The role of the element at a global point (origin at the bottom left), named as the
    // roles of the reader ("AXButton", "AXTextField", "AXMenuItem", ...).
    virtual std::optional<std::string> roleAt(Point point) = 0;

    // The selected text of the focused element, as the source gives it (untrimmed). An
    // implementation may stop reading once the text is longer than `limit` characters: the
    // caller only needs to know that it is.
    virtual std::optional<std::string> selectedText(Scope scope,
                                                    const std::optional<std::string>& app,
                                                    std::size_t limit) = 0;

    // The focused element's role and subrole ("AXSecureTextField" for a password field).
    virtual std::optional<std::string> focusedRole(const std::optional<std::string>& app) = 0;
    virtual std::optional<std::string> focusedSubrole(const std::optional<std::string>& app) = 0;

    // Whether the application draws web content whose focused element the service cannot
    // see (a browser or web-view program that keeps its page to itself): a password field
    // there looks like any other text.
    virtual bool focusHidden(const std::optional<std::string>& /*app*/) { return false; }

    // Whether the focused element lets its selected text be replaced.
    virtual bool isSelectedTextSettable(const std::optional<std::string>& app) = 0;

    // The address of the document in the application's focused window, as given.
    virtual std::optional<std::string> documentURL(const std::optional<std::string>& app) = 0;

    // Presses the menu item of `app` whose shortcut is the control (command) key with `key`
    // ('C', 'X' or 'V') alone: true when pressed, false when found but disabled or the
    // press was refused, nothing when the application has no such item or must not be sent
    // one (a terminal, where Control-C interrupts).
    virtual std::optional<bool> pressMenu(const std::string& app, char key) = 0;
};

}  // namespace pivorel
