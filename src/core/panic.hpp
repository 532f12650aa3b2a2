// The internal-error exception of the core: thrown when ordinary input drives
// an operation into a failed internal check. The binding layer turns it into
// PanicException; nothing in the core catches it.
#pragma once

#include <exception>
#include <source_location>
#include <string>
#include <utility>

namespace wayforge {

class Panic : public std::exception {
public:
    Panic(std::string message, std::source_location where)
        : message_(std::move(message)), where_(where) {}

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    const std::source_location& where() const noexcept { return where_; }

private:
    std::string message_;
    std::source_location where_;
};

[[noreturn]] inline void panic(std::string message,
                               std::source_location where = std::source_location::current()) {
    throw Panic(std::move(message), where);
}

// Checks an invariant the algorithms rely on; a failure is an internal error.
inline void check(bool condition, const char* message,
                  std::source_location where = std::source_location::current()) {
    if (!condition) {
        throw Panic(message, where);
    }
}

}  // namespace wayforge
