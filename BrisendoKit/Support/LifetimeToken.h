#pragma once

#include <memory>

namespace pivorel {

// Lets work handed to queues and other threads find out whether its owner still exists.
// The owner keeps the token as a member (and resets it first thing in its destructor when
// other members could still run callbacks); callbacks keep a guard and check it on the
// owner's thread before touching the owner.
template <typename T>
class LifetimeToken {
  public:
    class Guard {
      public:
        Guard() = default;
        // The owner, or null once it is gone.
        T* get() const {
            const auto token = token_.lock();
            return token ? *token : nullptr;
        }

      private:
        friend class LifetimeToken;
        explicit Guard(std::weak_ptr<T*> token) : token_(std::move(token)) {}
        std::weak_ptr<T*> token_;
    };

    explicit LifetimeToken(T* owner) : token_(std::make_shared<T*>(owner)) {}
    LifetimeToken(const LifetimeToken&) = delete;
    LifetimeToken& operator=(const LifetimeToken&) = delete;

    Guard guard() const { return Guard(token_); }
    // From now on every guard finds the owner gone.
    void reset() { token_.reset(); }

  private:
    std::shared_ptr<T*> token_;
};

}  // namespace pivorel
