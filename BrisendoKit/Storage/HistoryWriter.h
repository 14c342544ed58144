#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/Content/ContentProfile.h"
#include "BrisendoKit/Storage/SelectRequest.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

class MainQueue;

// Writes the history on a thread of its own, so a slow, busy or full disk never holds up
// the main thread. Rows are written in the order given. A busy database or a full disk
// keeps them queued and retried with a growing pause (up to `maxQueued` rows: past that the
// oldest go, counted and logged); other failures drop the row and log it.
//
// A row given a `Written` callback is one somebody waits for (an inbound link's sender): it
// is never kept for later, so the callback hears either that it is stored or why not, on the
// main queue. Selection ids are handed out before their rows are written; this writer must
// be the only one adding selections to its store.
class HistoryWriter {
  public:
    struct Limits {
        std::size_t maxQueued = 4096;
        double firstRetrySeconds = 0.1;
        double maxRetrySeconds = 5;
        // On destruction, how long queued rows may still take.
        double finishSeconds = 2;
    };
    // Nothing when the row is stored, else why not.
    using Written = std::function<void(const std::optional<StoreError>&)>;

    HistoryWriter(Store& store, MainQueue& queue, Limits limits);
    HistoryWriter(Store& store, MainQueue& queue) : HistoryWriter(store, queue, Limits{}) {}
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    // The store written to; reading it from any thread is fine.
    Store& store() { return store_; }

    // Queues the selection and returns the id it will have.
    std::int64_t insert(const SelectRequest& request, const ContentProfile& profile,
                        std::vector<ActionID> ranking, TimePoint at, Written written = {});
    void markChosen(std::int64_t id, const ActionID& action, std::int64_t rank);
    void archive(std::int64_t selectionID, std::string kind, std::string transcript, TimePoint at);
    void logBar(std::string event, std::optional<std::string> app,
                std::optional<std::string> reason, std::optional<std::int64_t> latencyMs, bool dry,
                TimePoint at, Written written = {});

    // The store could not open `path` because another program holds it locked: until it
    // can, rows wait in the queue; then the store continues on the file.
    void openWhenFree(std::filesystem::path path);

    // Waits until every row queued before the call is written or given up, or `limit` has
    // passed; false on time-out. For tests and benchmarks.
    bool flush(std::chrono::milliseconds limit = std::chrono::seconds(10));

    std::size_t queued() const;
    // Rows given up because the queue was full.
    std::int64_t dropped() const;

    // On the main queue, after rows were written (at most once per turn of the queue).
    Signal<> rowsWritten;

  private:
    struct Selection {
        std::int64_t id;
        SelectRequest request;
        ContentProfile profile;
        std::vector<ActionID> ranking;
        TimePoint at;
    };
    struct Choice {
        std::int64_t id;
        ActionID action;
        std::int64_t rank;
    };
    struct Transcript {
        std::int64_t selectionID;
        std::string kind;
        std::string transcript;
        TimePoint at;
    };
    struct BarEvent {
        std::string event;
        std::optional<std::string> app;
        std::optional<std::string> reason;
        std::optional<std::int64_t> latencyMs;
        bool dry;
        TimePoint at;
    };
    struct Row {
        std::variant<Selection, Choice, Transcript, BarEvent> what;
        Written written;
        std::uint64_t serial = 0;
    };

    void push(Row row);
    void loop();
    std::optional<StoreError> write(const Row& row);
    // The rest run under the mutex.
    void reopen(std::unique_lock<std::mutex>& lock);
    void failed(const StoreError& error);
    // Reports to a row's waiter on the main queue.
    void answer(Row& row, const std::optional<StoreError>& outcome);
    void announceWritten();
    // Selection ids handed out before the store moved to its file, moved past the file's.
    std::int64_t mapped(std::int64_t id) const;

    Store& store_;
    MainQueue& queue_;
    const Limits limits_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable progress_;
    std::deque<Row> rows_;
    std::optional<std::filesystem::path> reopen_;
    std::optional<StoreError> failing_;  // the last transient failure, until a write succeeds
    std::chrono::steady_clock::time_point retryAt_;
    double retryDelay_ = 0;
    std::uint64_t nextSerial_ = 1;
    std::uint64_t inFlight_ = 0;  // the serial of the row being written, or 0
    std::int64_t nextID_ = 1;
    std::int64_t shiftBelow_ = 0;  // ids below this one get `shift_` added
    std::int64_t shift_ = 0;
    std::int64_t dropped_ = 0;
    std::int64_t droppedLogged_ = 0;
    bool announcing_ = false;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point stopBy_;
    std::thread thread_;
};

}  // namespace pivorel
