// Run-time error numbers and the failure that carries one: what every layer throws.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace bridge::base {

/// Run-time error numbers of the forms runtime that this program raises or reports.
enum class RunError : std::int32_t {
  InvalidProcedureCall = 5,
  Overflow = 6,
  OutOfMemory = 7,
  SubscriptOutOfRange = 9,
  TypeMismatch = 13,
  BadFileNameOrNumber = 52,
  FileNotFound = 53,
  PermissionDenied = 70,
  PathFileAccessError = 75,
  DdeNoResponse = 282,
  DdeRefused = 285,
  DdeTimeout = 286,
  DdeNoChannel = 293,
  /// Reported for anything thrown that is not a `Failure` (a C++ library error).
  Internal = 51,
};

/// One-line description of a run-time error number; unknown numbers get a generic text.
std::string Describe(std::int32_t code);

/// A run-time failure: what a platform adapter or a conversion throws.
class Failure : public std::exception {
 public:
  explicit Failure(RunError code) : code_(static_cast<std::int32_t>(code)) {}
  explicit Failure(std::int32_t code) : code_(code) {}
  std::int32_t Code() const noexcept { return code_; }
  const char* what() const noexcept override { return "run-time failure"; }

 private:
  std::int32_t code_;
};

/// One step of a procedure that runs with errors ignored: a failing step is skipped
/// silently and the caller goes on with its next step.
template <typename Body>
void Ignore(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

}  // namespace bridge::base
