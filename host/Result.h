#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace orvane {

/// Outcome of a host operation: a value on success, a readable message on failure.
template <typename T>
class Result {
public:
    static Result success(T value) { return Result(std::in_place_index<0>, std::move(value)); }
    static Result failure(std::string message) { return Result(std::in_place_index<1>, std::move(message)); }

    bool ok() const noexcept { return state.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    /// The value; throws std::logic_error when called on a failure.
    const T& value() const& {
        if (!ok()) throw std::logic_error("Result holds no value: " + error());
        return std::get<0>(state);
    }
    T& value() & {
        if (!ok()) throw std::logic_error("Result holds no value: " + error());
        return std::get<0>(state);
    }
    T&& value() && {
        if (!ok()) throw std::logic_error("Result holds no value: " + error());
        return std::get<0>(std::move(state));
    }

    /// The failure message; empty on success.
    const std::string& error() const noexcept {
        static const std::string none;
        return ok() ? none : std::get<1>(state);
    }

private:
    template <std::size_t I, typename U>
    Result(std::in_place_index_t<I> tag, U&& content) : state(tag, std::forward<U>(content)) {}

    std::variant<T, std::string> state;
};

/// Outcome of a host operation that yields no value.
template <>
class Result<void> {
public:
    static Result success() { return Result(std::nullopt); }
    static Result failure(std::string message) { return Result(std::move(message)); }

    bool ok() const noexcept { return !message.has_value(); }
    explicit operator bool() const noexcept { return ok(); }
    const std::string& error() const noexcept {
        static const std::string none;
        return message ? *message : none;
    }

private:
    explicit Result(std::optional<std::string> failureMessage) : message(std::move(failureMessage)) {}

    std::optional<std::string> message;
};

}  // namespace orvane
