// Time stamps for benchmarks: when each EXECUTE arrived and each change went out, in
// QueryPerformanceCounter ticks, which other processes on the machine can compare with
// their own.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace tools::hrd_sim {

/// Appends "TICKS EVENT DETAIL" lines to a file, buffered; the first line is
/// "FREQUENCY TICKS_PER_SECOND". Without a file it does nothing. A line that cannot be
/// written is lost; nothing throws.
class Stamps {
 public:
  Stamps() = default;
  ~Stamps();
  Stamps(const Stamps&) = delete;
  Stamps& operator=(const Stamps&) = delete;

  /// Writes to `path`, emptied first; false when it cannot be opened.
  bool Open(const std::string& path);
  bool enabled() const { return file_ != nullptr; }
  /// Stamps an event with the time now.
  void Add(std::string_view event, std::string_view detail);
  /// Hands what is buffered to the file, so a reader sees it.
  void Flush();

 private:
  std::FILE* file_ = nullptr;
  bool dirty_ = false;
};

}  // namespace tools::hrd_sim
