// The control file and the stdin reader.
#include "ControlInput.h"

#include <algorithm>
#include <utility>

namespace tools::hrd_sim {

ControlFile::ControlFile(std::string path) : path_(std::move(path)) {
  if (std::optional<ULONGLONG> size = Size()) offset_ = *size;
}

std::vector<std::string> ControlFile::NewLines() {
  std::vector<std::string> lines;
  HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size)) {
    ULONGLONG total = static_cast<ULONGLONG>(size.QuadPart);
    if (total < offset_) offset_ = 0;
    if (total > offset_) ReadLines(file, total, lines);
  }
  CloseHandle(file);
  return lines;
}

std::optional<ULONGLONG> ControlFile::Size() const {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &info)) return std::nullopt;
  return (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

void ControlFile::ReadLines(HANDLE file, ULONGLONG total, std::vector<std::string>& lines) {
  std::string chunk(static_cast<size_t>(std::min<ULONGLONG>(total - offset_, 1 << 20)), '\0');
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset_);
  DWORD got = 0;
  if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN) ||
      !ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
    return;
  }
  chunk.resize(got);
  size_t start = 0;
  for (size_t lf = chunk.find('\n'); lf != std::string::npos; lf = chunk.find('\n', start)) {
    lines.push_back(chunk.substr(start, lf - start));
    start = lf + 1;
  }
  offset_ += start;
}

bool StdinReader::Wanted() {
  DWORD type = GetFileType(GetStdHandle(STD_INPUT_HANDLE));
  return type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK;
}

bool StdinReader::Start(HWND host) {
  HANDLE thread = CreateThread(nullptr, 0, &StdinReader::Run, host, 0, nullptr);
  if (thread == nullptr) return false;
  CloseHandle(thread);
  return true;
}

void StdinReader::Post(HWND host, std::string line) {
  auto* text = new std::string(std::move(line));
  if (!PostMessageA(host, kMsgControlLine, 0, reinterpret_cast<LPARAM>(text))) delete text;
}

DWORD WINAPI StdinReader::Run(LPVOID param) {
  HWND host = static_cast<HWND>(param);
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(input, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    size_t start = 0;
    for (size_t lf = pending.find('\n'); lf != std::string::npos;
         lf = pending.find('\n', start)) {
      Post(host, pending.substr(start, lf - start));
      start = lf + 1;
    }
    pending.erase(0, start);
  }
  if (!pending.empty()) Post(host, pending);
  return 0;
}

}  // namespace tools::hrd_sim
