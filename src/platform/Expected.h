#pragma once

#include <type_traits>
#include <utility>
#include <variant>

namespace tessaline {

// The error wrapper that makes a failure explicit at the return site, so a
// value type and an error type can never be confused.
template <typename E>
struct Unexpected
{
    E error;
};

template <typename E>
Unexpected<std::decay_t<E>> unexpected(E &&error)
{
    return {std::forward<E>(error)};
}

// A value or the error that prevented it; operations report failures this way
// instead of throwing, so nothing unwinds through Qt's event loop.
template <typename T, typename E>
class Expected
{
public:
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    template <typename F, typename = std::enable_if_t<std::is_convertible_v<F, E>>>
    Expected(Unexpected<F> failure) : m_state(std::in_place_index<1>, E(std::move(failure.error))) {}

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T &value() & { return std::get<0>(m_state); }
    const T &value() const & { return std::get<0>(m_state); }
    // A temporary hands its value out by value, so `for (x : *fetch())`
    // iterates a living copy instead of a destroyed temporary's member.
    T value() && { return std::move(std::get<0>(m_state)); }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }
    T operator*() && { return std::move(*this).value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    const E &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};

template <typename E>
class Expected<void, E>
{
public:
    Expected() = default;
    template <typename F, typename = std::enable_if_t<std::is_convertible_v<F, E>>>
    Expected(Unexpected<F> failure) : m_failed(true), m_error(E(std::move(failure.error))) {}

    bool hasValue() const { return !m_failed; }
    explicit operator bool() const { return hasValue(); }
    const E &error() const { return m_error; }

private:
    bool m_failed = false;
    E m_error{};
};

} // namespace tessaline
