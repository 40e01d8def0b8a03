// Paths between the program's UTF-8 and the wide (UTF-16) Win32 functions. Only paths go
// through here: settings and DDE text stay in the ANSI code page, as the suite's programs
// expect.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/Failure.h"

namespace bridge::platform::win32 {

/// `text` in UTF-16 for a wide Win32 call. Throws Failure(BadFileNameOrNumber) when `text`
/// is not UTF-8: such a path would name some other file.
inline std::wstring ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
  if (length <= 0) throw base::Failure(base::RunError::BadFileNameOrNumber);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

/// What a wide Win32 call returned, in UTF-8. A lone surrogate (which no name typed by a
/// user holds) becomes U+FFFD.
inline std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length, nullptr, nullptr);
  return utf8;
}

}  // namespace bridge::platform::win32
