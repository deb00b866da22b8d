#pragma once
// A result for operations on data that came from a file or a user: ok, or a message that says
// what went wrong and where. Programmer errors are asserted instead.
#include <string>
#include <utility>

namespace ms {

class Status {
public:
    Status() = default;
    static Status Ok() { return {}; }
    static Status Error(std::string message) { return Status(std::move(message)); }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return message_; }

private:
    explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}
    bool failed_ = false;
    std::string message_;
};

}  // namespace ms
