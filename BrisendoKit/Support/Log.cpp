#include "BrisendoKit/Support/Log.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace pivorel {

namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

void defaultSink(std::string_view line) {
    static const bool toStderr = [] {
        const char* env = std::getenv("PIVOREL_LOG_STDERR");
        return (env && std::string_view(env) == "1") || isatty(STDERR_FILENO);
    }();
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("pivorel", LOG_PID, LOG_USER); });
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(line.size()), line.data());
    if (toStderr) std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

Log::Sink& currentSink() {
    static Log::Sink sink;
    return sink;
}

}  // namespace

void Log::write(std::string_view line) {
    Sink sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    if (sink) {
        sink(line);
    } else {
        defaultSink(line);
    }
}

Log::Sink Log::setSink(Sink sink) {
    std::lock_guard lock(sinkMutex());
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

struct LogCapture::State {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

LogCapture::LogCapture() : state_(std::make_shared<State>()) {
    previous_ = Log::setSink([state = state_](std::string_view line) {
        std::lock_guard lock(state->mutex);
        state->lines.emplace_back(line);
    });
}

LogCapture::~LogCapture() {
    Log::setSink(std::move(previous_));
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(state_->mutex);
    return state_->lines;
}

bool LogCapture::contains(std::string_view fragment) const {
    std::lock_guard lock(state_->mutex);
    for (const auto& l : state_->lines) {
        if (l.find(fragment) != std::string::npos) return true;
    }
    return false;
}

}  // namespace pivorel
