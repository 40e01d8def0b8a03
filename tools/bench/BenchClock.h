// The benchmark client's clock: QueryPerformanceCounter ticks, which every process on the
// machine counts alike, so ticks taken here and in the HRD simulator can be subtracted.
#pragma once

#include <windows.h>

#include <cstdio>

namespace tools::bench {

inline long long Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

inline long long TicksPerSecond() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

/// Opens a samples file, emptied, with its "FREQUENCY TICKS_PER_SECOND" first line; null
/// when it cannot be opened.
inline std::FILE* OpenSamples(const char* path) {
  std::FILE* file = std::fopen(path, "wb");
  if (file != nullptr) std::fprintf(file, "FREQUENCY %lld\n", TicksPerSecond());
  return file;
}

}  // namespace tools::bench
