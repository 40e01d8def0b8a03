// Plain text files and their folders: length, append a line, close, create a folder. Paths
// are UTF-8, whatever the system's ANSI code page.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bridge::platform {

/// A file opened for appending text lines.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  /// Appends `text` followed by carriage return and line feed. Throws Failure on error.
  virtual void WriteLine(std::string_view text) = 0;
};

/// The file operations the program uses.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Length in bytes, or nothing when the file does not exist. Throws Failure on error.
  virtual std::optional<std::int64_t> FileLength(const std::string& path) = 0;
  /// Opens `path` for appending, creating it if needed; closing is destroying the
  /// returned object. Throws Failure when the file cannot be opened.
  virtual std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) = 0;
  /// Creates the folder `path` in its existing parent folder; a folder already there is
  /// kept as it is. Throws Failure when it cannot be created (no rights, a file of that name,
  /// no parent).
  virtual void CreateFolder(const std::string& path) = 0;
};

}  // namespace bridge::platform
