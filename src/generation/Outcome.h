// A value or a message for the user saying why there is none.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tw {

template <class T>
class Outcome {
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

    // Only on success.
    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }

    // Only on failure: the message for the user.
    const std::string& error() const { return message_; }

private:
    Outcome() = default;
    std::optional<T> value_;
    std::string message_;
};

}  // namespace tw
