#pragma once

#include <string>

namespace pivorel {

// The programs and link handlers some built-in actions hand their text to: a dictionary,
// a journal, a calendar. What is installed differs from desktop to desktop.
class DesktopTargets {
  public:
    // Whether each action finds its target on this desktop.
    struct Presence {
        bool dictionary = true;  // a dictionary program, or a handler of dict: links
        bool journal = true;     // a handler of dayone: links
        bool calendar = true;    // a calendar service, or a handler of calendar files
        bool operator==(const Presence&) const = default;
    };

    virtual ~DesktopTargets() = default;

    // Looks at what is installed now. Reads files and asks other processes, which takes
    // long enough to keep off the main thread. Any thread.
    virtual Presence presence() = 0;

    // Starts the installed dictionary program on `text` and returns true; false when there
    // is no dictionary program (a handler of dict: links may still be there). Main thread.
    virtual bool lookUp(const std::string& text) = 0;
};

}  // namespace pivorel
