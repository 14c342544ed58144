#include "BrisendoKit/Storage/HistoryWriter.h"

#include <algorithm>

#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

namespace {

using Steady = std::chrono::steady_clock;

Steady::duration seconds(double s) {
    return std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(s));
}

// Long enough for a reader's short hold, short enough that the store's other users (the
// main thread's reads share the connection) never wait on it for long; longer waits
// happen between retries, without holding the store.
constexpr int busyMilliseconds = 20;

}  // namespace

HistoryWriter::HistoryWriter(Store& store, MainQueue& queue, Limits limits)
    : store_(store), queue_(queue), limits_(limits) {
    store_.setBusyTimeout(busyMilliseconds);
    nextID_ = store_.nextSelectionID().valueOr(1);
    thread_ = std::thread([this] { loop(); });
}

HistoryWriter::~HistoryWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopBy_ = Steady::now() + seconds(limits_.finishSeconds);
    }
    wake_.notify_all();
    thread_.join();
    std::lock_guard lock(mutex_);
    if (!rows_.empty()) {
        Log::write("Pivorel: 退出时还有 " + std::to_string(rows_.size()) + " 条历史记录没有写入");
    }
    const StoreError quitting = StoreError::sql("quitting");
    for (Row& row : rows_) answer(row, quitting);
    *alive_ = false;
}

std::int64_t HistoryWriter::insert(const SelectRequest& request, const ContentProfile& profile,
                                   std::vector<ActionID> ranking, TimePoint at, Written written) {
    std::int64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        id = nextID_++;
    }
    push({Selection{id, request, profile, std::move(ranking), at}, std::move(written)});
    return id;
}

void HistoryWriter::markChosen(std::int64_t id, const ActionID& action, std::int64_t rank) {
    push({Choice{id, action, rank}, {}});
}

void HistoryWriter::archive(std::int64_t selectionID, std::string kind, std::string transcript,
                            TimePoint at) {
    push({Transcript{selectionID, std::move(kind), std::move(transcript), at}, {}});
}

void HistoryWriter::logBar(std::string event, std::optional<std::string> app,
                           std::optional<std::string> reason, std::optional<std::int64_t> latencyMs,
                           bool dry, TimePoint at, Written written) {
    push({BarEvent{std::move(event), std::move(app), std::move(reason), latencyMs, dry, at},
          std::move(written)});
}

void HistoryWriter::openWhenFree(std::filesystem::path path) {
    {
        std::lock_guard lock(mutex_);
        reopen_ = std::move(path);
    }
    wake_.notify_all();
}

bool HistoryWriter::flush(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    const std::uint64_t last = nextSerial_ - 1;
    return progress_.wait_for(lock, limit, [&] {
        return (inFlight_ == 0 || inFlight_ > last) &&
               (rows_.empty() || rows_.front().serial > last);
    });
}

std::size_t HistoryWriter::queued() const {
    std::lock_guard lock(mutex_);
    return rows_.size() + (inFlight_ != 0 ? 1 : 0);
}

std::int64_t HistoryWriter::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void HistoryWriter::push(Row row) {
    std::lock_guard lock(mutex_);
    row.serial = nextSerial_++;
    // Somebody waits for this row: no point keeping them waiting behind a failing disk.
    if (failing_ && row.written) {
        answer(row, *failing_);
        return;
    }
    if (rows_.size() >= limits_.maxQueued) {
        if (dropped_ == droppedLogged_) {
            Log::write("Pivorel: 历史记录队列已满 (" + std::to_string(limits_.maxQueued) +
                       " 条)，丢弃最早的记录");
        }
        ++dropped_;
        answer(rows_.front(), StoreError::sql("history queue full"));
        rows_.pop_front();
    }
    rows_.push_back(std::move(row));
    wake_.notify_all();
}

void HistoryWriter::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto now = Steady::now();
        const bool waiting = failing_ && now < retryAt_;
        if (stopping_ &&
            (rows_.empty() || reopen_ || now >= stopBy_ || (waiting && retryAt_ > stopBy_))) {
            break;
        }
        if (waiting) {
            wake_.wait_until(lock, stopping_ ? std::min(retryAt_, stopBy_) : retryAt_);
            continue;
        }
        if (reopen_) {
            reopen(lock);
            continue;
        }
        if (rows_.empty()) {
            progress_.notify_all();
            wake_.wait(lock);
            continue;
        }

        Row row = std::move(rows_.front());
        rows_.pop_front();
        inFlight_ = row.serial;
        lock.unlock();
        auto error = write(row);
        lock.lock();
        inFlight_ = 0;
        if (!error) {
            if (failing_) {
                std::string line = "Pivorel: 历史记录恢复写入";
                if (dropped_ > droppedLogged_) {
                    line += "，期间丢弃 " + std::to_string(dropped_ - droppedLogged_) + " 条";
                }
                Log::write(line);
                droppedLogged_ = dropped_;
                failing_.reset();
            }
            answer(row, std::nullopt);
            announceWritten();
        } else if (error->transient) {
            // Kept for the next try, in its place, unless somebody waits for it.
            if (row.written) {
                answer(row, *error);
            } else {
                rows_.push_front(std::move(row));
            }
            failed(*error);
        } else {
            Log::write("Pivorel: 历史记录没有写入 (" + error->describe() + ")");
            answer(row, *error);
        }
        progress_.notify_all();
    }
    progress_.notify_all();
}

void HistoryWriter::reopen(std::unique_lock<std::mutex>& lock) {
    const std::filesystem::path path = *reopen_;
    lock.unlock();
    auto opened = Store::open(path);
    std::optional<std::int64_t> fileNext;
    if (opened) fileNext = (*opened)->nextSelectionID().valueOr(1);
    lock.lock();
    if (!opened) {
        if (opened.error().transient) {
            failed(opened.error());
            return;
        }
        Log::write("Pivorel: 打不开数据库 " + opened.error().describe() + "，本次运行不保存历史");
        reopen_.reset();
        // The store stays in memory: what waited goes there.
        return;
    }
    const std::int64_t handedOut = store_.nextSelectionID().valueOr(1);
    store_.adopt(std::move(*opened));
    store_.setBusyTimeout(busyMilliseconds);
    shiftBelow_ = nextID_;
    shift_ = std::max<std::int64_t>(0, *fileNext - handedOut);
    nextID_ += shift_;
    reopen_.reset();
    failing_.reset();
    Log::write("Pivorel: 数据库不再被占用，历史记录写入 " + path.string());
}

void HistoryWriter::failed(const StoreError& error) {
    if (!failing_) {
        Log::write("Pivorel: 历史记录暂时写不进去 (" + error.describe() + ")，稍后重试");
        retryDelay_ = limits_.firstRetrySeconds;
    } else {
        retryDelay_ = std::min(retryDelay_ * 2, limits_.maxRetrySeconds);
    }
    failing_ = error;
    retryAt_ = Steady::now() + seconds(retryDelay_);
    for (auto it = rows_.begin(); it != rows_.end();) {
        if (it->written) {
            answer(*it, error);
            it = rows_.erase(it);
        } else {
            ++it;
        }
    }
}

std::optional<StoreError> HistoryWriter::write(const Row& row) {
    const auto outcome = [](const auto& result) -> std::optional<StoreError> {
        if (result) return std::nullopt;
        return result.error();
    };
    return std::visit(
        [&](const auto& what) -> std::optional<StoreError> {
            using T = std::decay_t<decltype(what)>;
            if constexpr (std::is_same_v<T, Selection>) {
                return outcome(store_.insert(what.request, what.profile, what.ranking, what.at,
                                             mapped(what.id)));
            } else if constexpr (std::is_same_v<T, Choice>) {
                return outcome(store_.markChosen(mapped(what.id), what.action, what.rank));
            } else if constexpr (std::is_same_v<T, Transcript>) {
                return outcome(
                    store_.archive(mapped(what.selectionID), what.kind, what.transcript, what.at));
            } else {
                return outcome(store_.logBar(what.event, what.app, what.reason, what.latencyMs,
                                             what.dry, what.at));
            }
        },
        row.what);
}

std::int64_t HistoryWriter::mapped(std::int64_t id) const {
    // Read on the writer thread, which alone changes them.
    return id < shiftBelow_ ? id + shift_ : id;
}

void HistoryWriter::answer(Row& row, const std::optional<StoreError>& outcome) {
    if (!row.written) return;
    queue_.post([written = std::move(row.written), outcome] { written(outcome); });
    row.written = {};
}

void HistoryWriter::announceWritten() {
    if (announcing_) return;
    announcing_ = true;
    queue_.post([this, alive = std::weak_ptr<bool>(alive_)] {
        const auto living = alive.lock();
        if (!living || !*living) return;
        {
            std::lock_guard lock(mutex_);
            announcing_ = false;
        }
        rowsWritten.emit();
    });
}

}  // namespace pivorel
