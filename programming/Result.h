// A value, or the reason there is none: what a call that can fail for a reason returns.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>

// A call with nothing to give back returns its problem alone, std::optional<std::string>, as
// RecordProblem does; one with something to give back returns a Result. Outside the serial
// port, whose interface keeps the Win32 shape.

// The reason a Result holds no value: `return Failed{errno};`.
template <typename Reason> struct Failed { Reason reason; };
template <typename Reason> Failed(Reason) -> Failed<Reason>;

template <typename Value, typename Reason = std::string> class Result {
public:
    template <typename Given, typename = std::enable_if_t<std::is_constructible_v<Value, Given&&>>>
    Result(Given&& value) : value_(std::forward<Given>(value)) {}
    template <typename Given> Result(Failed<Given> failed) : reason_(std::move(failed.reason)) {}

    explicit operator bool() const { return value_.has_value(); }
    Value& operator*() { return *value_; }
    const Value& operator*() const { return *value_; }
    Value* operator->() { return &*value_; }
    const Value* operator->() const { return &*value_; }
    // Why there is no value; for the user (a text) or for the caller to name (an error number).
    const Reason& Problem() const { return reason_; }

private:
    std::optional<Value> value_;
    Reason reason_{};
};
