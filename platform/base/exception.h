#pragma once
// The error types of the library. Failures inside the libraries are exceptions; the
// automation boundary turns them into results.

#include <stdexcept>
#include <string>

namespace tolver {

// The general error; its message is UTF-8 text meant for the user or the log.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// An invalid cast, e.g. an interface variant where a value is needed.
class EInvalidCast : public Exception {
public:
    using Exception::Exception;
};

// A variant conversion that cannot be performed (type mismatch or overflow).
class EVariantError : public Exception {
public:
    using Exception::Exception;
};

// A malformed encoded buffer (truncated, corrupt, too deep).
class EBufferError : public Exception {
public:
    using Exception::Exception;
};

// The one message with which every reader of a malformed variant array fails.
inline constexpr const char* kVariantReadError = "Ошибка при чтении из Variant";

}  // namespace tolver
