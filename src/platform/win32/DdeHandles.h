// DDEML string and data handles as the program uses them.
#pragma once

#include <windows.h>
#include <ddeml.h>

#include <algorithm>
#include <string>

namespace bridge::platform::win32 {

/// A string handle created here and freed when it goes (a handle DDEML lends in a
/// callback is only read, never wrapped in this).
class OwnedString {
 public:
  OwnedString(DWORD instance, const std::string& text)
      : instance_(instance), handle_(DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI)) {}
  OwnedString(const OwnedString&) = delete;
  OwnedString& operator=(const OwnedString&) = delete;
  ~OwnedString() {
    if (handle_) DdeFreeStringHandle(instance_, handle_);
  }
  HSZ Get() const { return handle_; }

 private:
  DWORD instance_;
  HSZ handle_;
};

/// The text of a string handle.
inline std::string StringText(DWORD instance, HSZ hsz) {
  char text[256] = {};
  DdeQueryStringA(instance, hsz, text, sizeof text, CP_WINANSI);
  return text;
}

/// The text of a data handle, up to its first NUL; the handle is only read.
inline std::string DataText(HDDEDATA data) {
  const DWORD size = DdeGetData(data, nullptr, 0, 0);
  std::string text(size, '\0');
  if (size) DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), size, 0);
  text.resize(static_cast<std::size_t>(std::find(text.begin(), text.end(), '\0') - text.begin()));
  return text;
}

}  // namespace bridge::platform::win32
