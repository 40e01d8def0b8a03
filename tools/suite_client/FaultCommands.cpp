// The commands that make trouble for the bridge as a desktop can: execute-file sends any
// bytes as an EXECUTE (NULs, bytes above 127, line ends, a megabyte), lock-file holds a
// file open with no sharing, readonly sets or clears a file's read-only attribute.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "ClientSupport.h"
#include "Commands.h"

namespace tools::suite_client {
namespace {

// Command-line arguments come in the ANSI code page; a UTF-8 path (as scripts under Wine
// pass it) is tried first so that any folder name works.
std::wstring WidePath(const std::string& path) {
  for (UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path.data(),
                                           static_cast<int>(path.size()), nullptr, 0);
    if (length <= 0) continue;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                        wide.data(), length);
    return wide;
  }
  return {};
}

// The whole file, or nothing with a diagnostic.
bool ReadWholeFile(const std::string& path, std::string& bytes) {
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    PrintError("cannot open \"%s\" (error %lu)", path.c_str(), GetLastError());
    return false;
  }
  bytes.clear();
  std::vector<char> buffer(64 * 1024);
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0) && got > 0)
    bytes.append(buffer.data(), got);
  CloseHandle(file);
  if (!ok) PrintError("cannot read \"%s\" (error %lu)", path.c_str(), GetLastError());
  return ok;
}

}  // namespace

// execute-file SERVICE TOPIC FILE [TIMEOUT_MS]: the EXECUTE's command is the file's bytes,
// every one of them, followed by the NUL the protocol adds; answered as execute answers.
int RunExecuteFile(const Args& args, const Options& options) {
  Args executeArgs = args;
  if (!ReadWholeFile(args[2], executeArgs[2])) return kFailure;
  return RunExecute(executeArgs, options);
}

// lock-file PATH SECONDS: opens (creating when missing) PATH for reading and writing with no
// sharing, as a program that keeps a file to itself; prints READY, holds it for SECONDS,
// then closes it.
int RunLockFile(const Args& args, const Options& /*options*/) {
  const std::optional<DWORD> seconds = ParseUnsigned(args[1].c_str());
  if (!seconds) {
    PrintError("bad number of seconds \"%s\"", args[1].c_str());
    return kUsage;
  }
  HANDLE file = CreateFileW(WidePath(args[0]).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    PrintError("cannot open \"%s\" for itself alone (error %lu)", args[0].c_str(), GetLastError());
    return kFailure;
  }
  PrintLine("READY");
  Sleep(*seconds * 1000);
  CloseHandle(file);
  return kOk;
}

// readonly PATH on|off: sets or clears the file's read-only attribute.
int RunReadOnly(const Args& args, const Options& /*options*/) {
  const std::string& setting = args[1];
  if (setting != "on" && setting != "off") {
    PrintError("readonly wants on or off, not \"%s\"", setting.c_str());
    return kUsage;
  }
  const std::wstring path = WidePath(args[0]);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    PrintError("cannot find \"%s\" (error %lu)", args[0].c_str(), GetLastError());
    return kFailure;
  }
  const DWORD wanted = setting == "on" ? (attributes | FILE_ATTRIBUTE_READONLY) & ~FILE_ATTRIBUTE_NORMAL
                                       : attributes & ~FILE_ATTRIBUTE_READONLY;
  if (!SetFileAttributesW(path.c_str(), wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted)) {
    PrintError("cannot set the attributes of \"%s\" (error %lu)", args[0].c_str(), GetLastError());
    return kFailure;
  }
  return kOk;
}

}  // namespace tools::suite_client
