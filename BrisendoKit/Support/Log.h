#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pivorel {

// The one diagnostic sink. Lines are written exactly as given ("Pivorel: ..."), with no
// levels. By default they go to syslog (journald), and to stderr when it is a terminal or
// PIVOREL_LOG_STDERR=1. Tests replace the sink to capture lines.
class Log {
  public:
    using Sink = std::function<void(std::string_view line)>;

    static void write(std::string_view line);

    // Replaces the sink; returns the previous one. An empty sink restores the default.
    static Sink setSink(Sink sink);
};

// Captures every log line while it lives (tests).
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view fragment) const;

  private:
    struct State;
    std::shared_ptr<State> state_;
    Log::Sink previous_;
};

}  // namespace pivorel
