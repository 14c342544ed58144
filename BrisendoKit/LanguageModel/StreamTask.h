#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "BrisendoKit/LanguageModel/ChatStreaming.h"

namespace pivorel {

class MainQueue;

// The part of a stream shared between the main thread and the worker thread that
// produces it. The worker posts results; they reach the callbacks on the main thread
// unless the stream was cancelled first, so no callback ever runs after cancel().
class StreamTask : public std::enable_shared_from_this<StreamTask> {
  public:
    StreamTask(MainQueue& queue, ChatStreaming::OnPiece onPiece, ChatStreaming::OnFinish onFinish);

    // Runs `work` on a new worker thread. The handle cancels the task and waits for the
    // worker when it is destroyed, so the worker never outlives what it uses.
    static std::unique_ptr<Cancellable> start(std::shared_ptr<StreamTask> task,
                                              std::function<void()> work);

    // Any thread.
    bool isCancelled() const { return cancelled_.load(); }
    void postPiece(std::string piece);
    // The last thing a task posts.
    void postFinish(std::optional<StreamError> error);
    // Runs `action` on the main thread unless the task is cancelled by then.
    void post(std::function<void()> action);
    // What cancel() calls to interrupt a blocking wait of the worker; empty to clear.
    void setWake(std::function<void()> wake);

    // Main thread.
    void cancel();

  private:
    MainQueue& queue_;
    std::atomic<bool> cancelled_{false};
    ChatStreaming::OnPiece onPiece_;    // main thread only
    ChatStreaming::OnFinish onFinish_;  // main thread only
    std::mutex wakeMutex_;
    std::function<void()> wake_;
};

}  // namespace pivorel
