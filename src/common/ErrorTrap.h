// The error-trap convention every procedure follows.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "base/Failure.h"

namespace bridge::common {

using base::Describe;
using base::Failure;
using base::Ignore;
using base::RunError;

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

}  // namespace bridge::common
