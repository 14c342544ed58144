#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace pivorel {

// Disconnects its slot when destroyed (or on reset()); keep it as long as you listen.
class Connection {
  public:
    Connection() = default;
    explicit Connection(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
    Connection(Connection&& other) noexcept : disconnect_(std::exchange(other.disconnect_, {})) {}
    Connection& operator=(Connection&& other) noexcept {
        if (this != &other) {
            reset();
            disconnect_ = std::exchange(other.disconnect_, {});
        }
        return *this;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { reset(); }

    void reset() {
        if (disconnect_) std::exchange(disconnect_, {})();
    }
    bool connected() const { return static_cast<bool>(disconnect_); }

  private:
    std::function<void()> disconnect_;
};

// A tiny observer list: models emit, views connect. Slots run on the emitting thread, in
// connection order; a slot may disconnect itself or others while being called. A
// Connection may outlive the Signal.
template <class... Args>
class Signal {
  public:
    using Slot = std::function<void(Args...)>;

    Signal() : state_(std::make_shared<State>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Connection connect(Slot slot) {
        std::lock_guard lock(state_->mutex);
        const auto id = state_->next++;
        state_->slots.emplace(id, std::make_shared<Slot>(std::move(slot)));
        return Connection([weak = std::weak_ptr<State>(state_), id] {
            if (auto state = weak.lock()) {
                std::lock_guard guard(state->mutex);
                state->slots.erase(id);
            }
        });
    }

    void emit(Args... args) const {
        std::map<std::uint64_t, std::shared_ptr<Slot>> snapshot;
        {
            std::lock_guard lock(state_->mutex);
            snapshot = state_->slots;
        }
        for (auto& [id, slot] : snapshot) {
            bool stillConnected;
            {
                std::lock_guard lock(state_->mutex);
                stillConnected = state_->slots.count(id) > 0;
            }
            if (stillConnected) (*slot)(args...);
        }
    }

    std::size_t size() const {
        std::lock_guard lock(state_->mutex);
        return state_->slots.size();
    }

  private:
    struct State {
        std::mutex mutex;
        std::uint64_t next = 0;
        std::map<std::uint64_t, std::shared_ptr<Slot>> slots;
    };
    std::shared_ptr<State> state_;
};

}  // namespace pivorel
