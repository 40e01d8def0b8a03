// Where control lines come from while the simulator runs: a file that grows by lines, and
// the standard input when it is a pipe or a file.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace tools::hrd_sim {

/// Posted to the host window by the stdin reader: lParam is a heap std::string* with one
/// control line; the receiver deletes it.
constexpr UINT kMsgControlLine = WM_APP + 1;

/// Follows a control file. What it holds when the simulator starts is skipped; each line
/// appended later is one command. A file that shrinks was replaced: read from its start.
class ControlFile {
 public:
  explicit ControlFile(std::string path);

  /// The complete lines added since the last call; a line still without its LF waits. A
  /// file that cannot be read gives none.
  std::vector<std::string> NewLines();

 private:
  std::optional<ULONGLONG> Size() const;
  void ReadLines(HANDLE file, ULONGLONG total, std::vector<std::string>& lines);

  std::string path_;
  ULONGLONG offset_ = 0;
};

/// Reads the standard input on its own thread and posts each line to the host window as
/// kMsgControlLine. It runs only when stdin is a pipe or a file; at its end the simulator
/// keeps running.
class StdinReader {
 public:
  static bool Wanted();
  /// Starts the thread, left to the process's end (it may sit in a blocking ReadFile);
  /// false when it cannot be started.
  static bool Start(HWND host);

 private:
  static void Post(HWND host, std::string line);
  static DWORD WINAPI Run(LPVOID param);
};

}  // namespace tools::hrd_sim
