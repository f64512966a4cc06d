// A value or a message for the user saying why there is none. The core returns
// these; only the windows decide how a message is shown.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace tw {

template <class T>
class [[nodiscard]] Outcome {
public:
    static Outcome Success(T value) {
        Outcome outcome;
        outcome.value_.emplace(std::move(value));
        return outcome;
    }
    static Outcome Failure(std::string message) {
        Outcome outcome;
        outcome.message_ = std::move(message);
        return outcome;
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only on success; reading the value of a failure is caught wherever
    // assertions are on (the test command builds with them).
    T& value() & { return assert(ok()), *value_; }
    const T& value() const& { return assert(ok()), *value_; }
    T&& value() && { return assert(ok()), std::move(*value_); }

    // Only on failure: the message for the user.
    const std::string& error() const { return message_; }

private:
    Outcome() = default;
    std::optional<T> value_;
    std::string message_;
};

// Success with nothing to hand back, or a message.
template <>
class [[nodiscard]] Outcome<void> {
public:
    static Outcome Success() { return Outcome{}; }
    static Outcome Failure(std::string message) {
        Outcome outcome;
        outcome.message_ = std::move(message);
        outcome.failed_ = true;
        return outcome;
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return message_; }

private:
    Outcome() = default;
    std::string message_;
    bool failed_ = false;
};

}  // namespace tw
