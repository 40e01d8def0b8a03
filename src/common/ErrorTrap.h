// Run-time error codes and the error-trap convention every procedure follows.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace bridge::common {

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

/// Where a trap sends a failure: the log's error reporter.
class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  /// Writes "program error <code> in module <name>: <description>"; never throws.
  virtual void ReportError(std::int32_t code, std::string_view name) noexcept = 0;
};

/// The code a caught exception stands for.
std::int32_t CodeOf(std::exception_ptr failure) noexcept;

/// Runs `body` as one procedure: a failure skips the rest of it and is reported under
/// `name`; nothing crosses the procedure boundary.
template <typename Body>
void Trap(ErrorReporter& report, std::string_view name, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    report.ReportError(CodeOf(std::current_exception()), name);
  }
}

/// As `Trap`, for a procedure whose reporting text carries context known only when it fails:
/// `name()` builds that text at the moment of the report.
template <typename Name, typename Body>
void TrapWithContext(ErrorReporter& report, Name&& name, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    const std::int32_t code = CodeOf(std::current_exception());
    std::string text;
    try {
      text = std::forward<Name>(name)();
    } catch (...) {
    }
    report.ReportError(code, text);
  }
}

/// As `Trap`, for a function: returns `fallback` when the body fails.
template <typename T, typename Body>
T TrapOr(ErrorReporter& report, std::string_view name, T fallback, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    report.ReportError(CodeOf(std::current_exception()), name);
    return fallback;
  }
}

/// One step of a procedure that runs with errors ignored: a failing step is skipped
/// silently and the caller goes on with its next step.
template <typename Body>
void Ignore(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

}  // namespace bridge::common
