#pragma once

#include <utility>
#include <variant>

namespace pivorel {

// Wraps an error value so Result<T, E> can be built from either side unambiguously.
template <class E>
struct Failure {
    E error;
};

template <class E>
Failure<std::decay_t<E>> fail(E&& e) {
    return {std::forward<E>(e)};
}

// A value or an error, in the manner of std::expected (not in C++20).
template <class T, class E>
class Result {
  public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    template <class F>
    Result(Failure<F> f) : v_(std::in_place_index<1>, E(std::move(f.error))) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const { return std::get<1>(v_); }

    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

  private:
    std::variant<T, E> v_;
};

// A result that carries no value on success.
struct Done {};

}  // namespace pivorel
