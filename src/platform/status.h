#pragma once
// What a step that can fail returns: whether it worked and, when it did not, a message
// that names what failed and why. A failure always carries a message, so that callers
// never have to invent one.

#include <string>
#include <utility>

namespace jr {

struct Status {
  enum class Code { kOk, kFailed };
  Code code = Code::kOk;
  std::string message;  // empty exactly when ok()

  bool ok() const { return code == Code::kOk; }

  static Status Ok() { return {}; }
  // `message` must not be empty: pass a fallback where a seam gave none.
  static Status Failed(std::string message) { return {Code::kFailed, std::move(message)}; }
};

// A value, or the status of the failure that left none. `value` holds T's empty value
// (null, false, ...) on a failure.
template <typename T>
struct Result {
  T value{};
  Status status;

  Result() = default;
  // NOLINTNEXTLINE(google-explicit-constructor): results read as the values they carry.
  Result(T v) : value(std::move(v)) {}
  // NOLINTNEXTLINE(google-explicit-constructor)
  Result(Status failure) : status(std::move(failure)) {}

  bool ok() const { return status.ok(); }
  const std::string& message() const { return status.message; }
};

}  // namespace jr
