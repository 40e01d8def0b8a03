// The simulator's log.
#include "SimLog.h"

namespace tools::hrd_sim {
namespace {

void Write(std::FILE* stream, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

}  // namespace

Log::Log() {
  QueryPerformanceFrequency(&frequency_);
  QueryPerformanceCounter(&start_);
}

Log::~Log() {
  if (file_ != nullptr) std::fclose(file_);
}

// The file starts empty for each run. msvcrt opens it shared, so readers can follow it.
bool Log::OpenFile(const std::string& path) {
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

void Log::Line(std::string_view text) {
  std::string line = Stamp();
  line += ' ';
  line += text;
  line += '\n';
  Write(stdout, line);
  if (file_ != nullptr) Write(file_, line);
}

std::string Log::Stamp() const {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const long long ms = (now.QuadPart - start_.QuadPart) * 1000 / frequency_.QuadPart;
  FILETIME fileTime;
  GetSystemTimePreciseAsFileTime(&fileTime);
  SYSTEMTIME utc;
  FileTimeToSystemTime(&fileTime, &utc);
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%lld.%03lld %04u-%02u-%02uT%02u:%02u:%02u.%03uZ",
                ms / 1000, ms % 1000, utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute,
                utc.wSecond, utc.wMilliseconds);
  return buffer;
}

}  // namespace tools::hrd_sim
