// The simulator's benchmark time stamps.
#include "SimStamps.h"

namespace tools::hrd_sim {

Stamps::~Stamps() {
  if (file_ != nullptr) std::fclose(file_);
}

bool Stamps::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) return false;
  // A large buffer: a sweep stamps thousands of changes between two flushes.
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::fprintf(file_, "FREQUENCY %lld\n", static_cast<long long>(frequency.QuadPart));
  dirty_ = true;
  Flush();
  return true;
}

void Stamps::Add(std::string_view event, std::string_view detail) {
  if (file_ == nullptr) return;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  std::fprintf(file_, "%lld %.*s %.*s\n", static_cast<long long>(now.QuadPart),
               static_cast<int>(event.size()), event.data(), static_cast<int>(detail.size()),
               detail.data());
  dirty_ = true;
}

void Stamps::Flush() {
  if (file_ == nullptr || !dirty_) return;
  std::fflush(file_);
  dirty_ = false;
}

}  // namespace tools::hrd_sim
