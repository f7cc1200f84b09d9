#pragma once

#include <functional>
#include <optional>
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

template <typename T, typename E>
class Expected;

namespace expected_detail {

template <typename X>
struct IsExpected : std::false_type
{
};
template <typename T, typename E>
struct IsExpected<Expected<T, E>> : std::true_type
{
};

// What `and_then` hands on: the function's own Expected, which must carry
// the same error so a failure passes through unchanged.
template <typename R, typename E>
using Chained = std::enable_if_t<IsExpected<R>::value && std::is_same_v<typename R::ErrorType, E>, R>;

// Calls `f` with the value (none for void) and wraps what it returns.
template <typename U, typename E, typename F, typename... V>
Expected<U, E> wrapped(F &&f, V &&...value)
{
    if constexpr (std::is_void_v<U>) {
        std::invoke(std::forward<F>(f), std::forward<V>(value)...);
        return {};
    } else {
        return Expected<U, E>(std::invoke(std::forward<F>(f), std::forward<V>(value)...));
    }
}

} // namespace expected_detail

// A value or the error that prevented it; operations report failures this way
// instead of throwing, so nothing unwinds through Qt's event loop.
//
// The combinators relay a failure without spelling it out at each step:
// `and_then` runs the next fallible step on the value, `transform` maps the
// value, `transform_error` maps the error (to the caller's message, say) and
// `value_or` settles on a fallback.
//
// A result dropped unread is a failure nobody hears of: the compiler says so.
template <typename T, typename E>
class [[nodiscard]] Expected
{
public:
    using ValueType = T;
    using ErrorType = E;

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

    const E &error() const & { return std::get<1>(m_state); }
    E error() && { return std::move(std::get<1>(m_state)); }

    template <typename U>
    T value_or(U &&fallback) const &
    {
        return hasValue() ? value() : static_cast<T>(std::forward<U>(fallback));
    }
    template <typename U>
    T value_or(U &&fallback) &&
    {
        return hasValue() ? std::move(*this).value() : static_cast<T>(std::forward<U>(fallback));
    }

    template <typename F, typename R = std::remove_cvref_t<std::invoke_result_t<F, const T &>>>
    expected_detail::Chained<R, E> and_then(F &&f) const &
    {
        return hasValue() ? std::invoke(std::forward<F>(f), value()) : R(unexpected(error()));
    }
    template <typename F, typename R = std::remove_cvref_t<std::invoke_result_t<F, T &&>>>
    expected_detail::Chained<R, E> and_then(F &&f) &&
    {
        return hasValue() ? std::invoke(std::forward<F>(f), std::move(*this).value())
                          : R(unexpected(std::move(*this).error()));
    }

    template <typename F, typename U = std::remove_cv_t<std::invoke_result_t<F, const T &>>>
    Expected<U, E> transform(F &&f) const &
    {
        if (!hasValue())
            return unexpected(error());
        return expected_detail::wrapped<U, E>(std::forward<F>(f), value());
    }
    template <typename F, typename U = std::remove_cv_t<std::invoke_result_t<F, T &&>>>
    Expected<U, E> transform(F &&f) &&
    {
        if (!hasValue())
            return unexpected(std::move(*this).error());
        return expected_detail::wrapped<U, E>(std::forward<F>(f), std::move(*this).value());
    }

    template <typename F, typename G = std::remove_cv_t<std::invoke_result_t<F, const E &>>>
    Expected<T, G> transform_error(F &&f) const &
    {
        if (hasValue())
            return value();
        return unexpected(std::invoke(std::forward<F>(f), error()));
    }
    template <typename F, typename G = std::remove_cv_t<std::invoke_result_t<F, E &&>>>
    Expected<T, G> transform_error(F &&f) &&
    {
        if (hasValue())
            return std::move(*this).value();
        return unexpected(std::invoke(std::forward<F>(f), std::move(*this).error()));
    }

    // True for a failure with this error; tests state an expected failure so.
    template <typename F>
    friend bool operator==(const Expected &result, const Unexpected<F> &failure)
    {
        return !result.hasValue() && result.error() == failure.error;
    }

private:
    std::variant<T, E> m_state;
};

// Success without a value, or the error; an operation that only succeeds or
// fails returns this.
template <typename E>
class [[nodiscard]] Expected<void, E>
{
public:
    using ValueType = void;
    using ErrorType = E;

    Expected() = default;
    template <typename F, typename = std::enable_if_t<std::is_convertible_v<F, E>>>
    Expected(Unexpected<F> failure) : m_error(E(std::move(failure.error))) {}

    bool hasValue() const { return !m_error; }
    explicit operator bool() const { return hasValue(); }
    const E &error() const & { return *m_error; }
    E error() && { return std::move(*m_error); }

    template <typename F, typename R = std::remove_cvref_t<std::invoke_result_t<F>>>
    expected_detail::Chained<R, E> and_then(F &&f) const
    {
        return hasValue() ? std::invoke(std::forward<F>(f)) : R(unexpected(error()));
    }

    template <typename F, typename U = std::remove_cv_t<std::invoke_result_t<F>>>
    Expected<U, E> transform(F &&f) const
    {
        if (!hasValue())
            return unexpected(error());
        return expected_detail::wrapped<U, E>(std::forward<F>(f));
    }

    template <typename F, typename G = std::remove_cv_t<std::invoke_result_t<F, const E &>>>
    Expected<void, G> transform_error(F &&f) const
    {
        if (hasValue())
            return {};
        return unexpected(std::invoke(std::forward<F>(f), error()));
    }

    template <typename F>
    friend bool operator==(const Expected &result, const Unexpected<F> &failure)
    {
        return !result.hasValue() && result.error() == failure.error;
    }

private:
    std::optional<E> m_error;
};

} // namespace tessaline
