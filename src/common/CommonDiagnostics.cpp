// The error log: start and end of the common services, the log writer, the debug switch
// and the error reporter.
#include <string>

#include "common/Common.h"
#include "common/CommonUI.h"
#include "common/ProgramIdentity.h"

namespace bridge::common {
namespace {

// Once the file is longer than this, nothing more is written to it.
constexpr std::int64_t kLogSizeLimit = 100'000'000;
constexpr const char* kLogName = "ErrorLog.txt";

}  // namespace

Common::Common(const platform::Platform& platform, UTC& utc, LocaleInfo& locale)
    : platform_(platform), utc_(utc), locale_(locale) {}

Common::~Common() = default;

void Common::Initialize() {
  startupLogged_ = false;
  debug_ = false;
  logFileOpen_ = false;
  logPlaceChosen_ = false;
  logWritten_ = false;
  osName_ = "Unknown";
  // The log path comes before the trap, so that a failure of the later steps can be logged.
  Ignore([&] {
    std::string folder = platform_.system.ExecutableFolder();
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    errorLogPathname_ = folder + kLogName;
  });
  Trap(*this, "Common.Initialize", [&] {
    startupTime_ = utc_.CurrentTime();
    GetOSVersion();
    dualMonitor_ = GetBooleanSetting(kProductName, "Windows", "DualMonitor", BooleanText(false));
    platform_.settings.Save(kProductName, "General", "Version", VersionSettingText());
    cascadeLeft_ = 0;
    cascadeTop_ = 0;
  });
}

void Common::Terminate() {
  Trap(*this, "Common.Terminate", [&] {
    if (startupLogged_) WriteLogEntry(std::string("Common.Terminate: ") + kProductName + " shutdown");
    Ignore([&] {
      if (commonUI_) commonUI_->Unload();
    });
  });
}

void Common::SetDebug(bool value) {
  Trap(*this, "Common.SetDebug", [&] { debug_ = value; });
}

bool Common::GetDebug() {
  return TrapOr(*this, "Common.GetDebug", false, [&] { return debug_; });
}

void Common::DebugLog(std::string_view message) {
  Trap(*this, "Common.DebugLog", [&] {
    if (debug_) WriteLogEntry(message);
  });
}

void Common::WriteOpen(std::string_view line) {
  if (!openFile_) throw Failure(RunError::BadFileNameOrNumber);
  openFile_->WriteLine(line);
  logWritten_ = true;
}

void Common::WriteOpenLine(DateValue stamp, std::string_view text) {
  std::string line = FormatTimeStamp(stamp);
  line += " > ";
  line += text;
  WriteOpen(line);
}

bool Common::LogFull(const std::string& path) noexcept {
  std::int64_t length = 0;
  Ignore([&] { length = platform_.files.FileLength(path).value_or(0); });
  return length > kLogSizeLimit;
}

void Common::OpenLog() noexcept {
  openFile_.reset();
  Ignore([&] { openFile_ = platform_.files.OpenForAppend(errorLogPathname_); });
  if (openFile_) {
    logPlaceChosen_ = true;
    return;
  }
  // A run keeps its lines in one file: once its log has opened, a later failure (the file
  // locked for a moment) loses that line rather than starting a second log.
  if (!logPlaceChosen_) OpenUserLog();
}

void Common::OpenUserLog() noexcept {
  // Beside an executable under Program Files a 64-bit program, or one with a manifest, may
  // not write and gets no VirtualStore: the log goes to the user's own folder instead.
  std::string folder;
  Ignore([&] { folder = platform_.system.LocalAppDataFolder() + "\\" + kProductName; });
  if (folder.empty()) return;
  const std::string path = folder + "\\" + kLogName;
  std::int64_t length = 0;
  Ignore([&] { length = platform_.files.FileLength(path).value_or(0); });
  if (length > kLogSizeLimit) {
    SetDebug(false);
    return;
  }
  Ignore([&] { platform_.files.CreateFolder(folder); });
  Ignore([&] { openFile_ = platform_.files.OpenForAppend(path); });
  if (!openFile_) return;
  errorLogPathname_ = path;
  logPlaceChosen_ = true;
  // Whoever opens this file learns first why it is here and not beside the program; an
  // empty line sets it apart from an earlier run's lines.
  if (length > 0) Ignore([&] { WriteOpen(""); });
  Ignore([&] {
    WriteOpen(std::string(kProductName) + " could not write " + kLogName + " in its own folder (" +
              platform_.system.ExecutableFolder() + "), so it keeps its error log here instead: " + path);
  });
}

void Common::WriteLogEntry(std::string_view text) noexcept {
  if (LogFull(errorLogPathname_)) {
    SetDebug(false);
    return;
  }

  // A write made while another one holds the file open writes into that file and leaves
  // it open for the enclosing write, which closes it.
  const bool opensFile = !logFileOpen_;
  if (opensFile) {
    OpenLog();
    logFileOpen_ = true;
  }

  // The first-write sequence runs once, at the first write that reaches a log: a write
  // made from inside it (a failure while the report is being written) must not start it
  // again. "see ErrorLog" is shown only for a log that has this run's lines.
  if (!startupLogged_ && !writingStartupReport_ && openFile_) {
    writingStartupReport_ = true;
    Ignore([&] { WriteStartupReport(); });
    writingStartupReport_ = false;
    startupLogged_ = logWritten_;
    if (startupLogged_) {
      Ignore([&] {
        if (indicator_) indicator_->ErrorLogExists();
      });
    }
  }

  Ignore([&] { WriteOpenLine(utc_.CurrentTime(), text); });

  if (opensFile) {
    openFile_.reset();
    logFileOpen_ = false;
  }
}

void Common::ReportError(std::int32_t code, std::string_view name) noexcept {
  std::string text = "program error ";
  Ignore([&] {
    text += std::to_string(code);
    text += " in module ";
    text += name;
    text += ": ";
    text += Describe(code);
  });
  WriteLogEntry(text);
}

}  // namespace bridge::common
