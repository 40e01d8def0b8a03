// The simulator's log: one flushed line per event, on stdout and optionally in a file.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace tools::hrd_sim {

/// Writes "12.345 2026-12-06T21:40:01.123Z TEXT" lines: seconds since start, then the UTC
/// wall clock. A line that cannot be written is lost; nothing throws.
class Log {
 public:
  Log();
  ~Log();
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  /// Also writes to `path`, emptied first; false when it cannot be opened.
  bool OpenFile(const std::string& path);
  void Line(std::string_view text);

 private:
  std::string Stamp() const;

  LARGE_INTEGER frequency_{};
  LARGE_INTEGER start_{};
  std::FILE* file_ = nullptr;
};

}  // namespace tools::hrd_sim
