// The common services: the error log, settings, window placement and the start-up report.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/Conversions.h"
#include "common/ErrorTrap.h"
#include "common/LocaleInfo.h"
#include "common/UTC.h"
#include "platform/Platform.h"

namespace bridge::common {

class CommonUI;

/// What the log writer tells the main window once the first line of a run is in the log.
class ErrorLogIndicator {
 public:
  virtual ~ErrorLogIndicator() = default;
  /// Shows "see ErrorLog"; never throws.
  virtual void ErrorLogExists() = 0;
};

/// The `Common` module: its procedures and the state they own for the whole run.
class Common : public ErrorReporter {
 public:
  Common(const platform::Platform& platform, UTC& utc, LocaleInfo& locale);
  ~Common() override;

  /// The main window's indicator, set by the indicator itself; null when it goes.
  void SetErrorLogIndicator(ErrorLogIndicator* indicator) { indicator_ = indicator; }
  /// Where the report finds the caption of the suite's interop programs.
  void SetInteropCaption(std::function<std::string()> caption) { interopCaption_ = std::move(caption); }

  /// Start-up of the common services; reports under "Common.Initialize".
  void Initialize();
  /// Shutdown line (when the run logged anything) and unloading `CommonUI`;
  /// reports under "Common.Terminate".
  void Terminate();

  // Diagnostics.
  void SetDebug(bool value);
  bool GetDebug();
  /// Writes `message` only while the debug flag is set.
  void DebugLog(std::string_view message);
  /// Appends one time-stamped line, preceded by the start-up report on the first write of
  /// a run that reaches the log. The log is ErrorLog.txt beside the executable or, when that
  /// cannot be written, the user's own one under %LOCALAPPDATA%. Every step runs with errors
  /// ignored; never throws.
  void WriteLogEntry(std::string_view text) noexcept;
  void ReportError(std::int32_t code, std::string_view name) noexcept override;

  // Start-up environment report.
  /// Writes the report into the log file held open by `WriteLogEntry`, then loads
  /// `CommonUI`, whose load handler adds the monitor report.
  void WriteStartupReport();
  /// Writes the monitor report into the open log file.
  void ReportMonitors(platform::Window& form);
  /// Identifies the operating system once at start; reports under "Common.GetOSVersion".
  void GetOSVersion();
  std::string GetOSName();
  std::int32_t GetOSBuild();
  /// The service-pack text without surrounding spaces, cut at its first NUL; reports under
  /// "Common.CSDVersionTrim".
  std::string CSDVersionTrim(const std::string& text);

  // Settings store. Each getter returns the stored value converted, or the converted
  // default when the stored one is absent or does not convert; a default that does not
  // convert is reported and gives 0 (false).
  std::int16_t GetIntegerSetting(const std::string& appName, const std::string& sectionName,
                                 const std::string& key, const std::string& defaultValue);
  std::int32_t GetLongSetting(const std::string& appName, const std::string& sectionName,
                              const std::string& key, const std::string& defaultValue);
  bool GetBooleanSetting(const std::string& appName, const std::string& sectionName,
                         const std::string& key, const std::string& defaultValue);

  // Window placement.
  /// Puts the form where it was saved, kept on a visible screen; reports under
  /// "Common.RestoreWindowPosition".
  void RestoreWindowPosition(platform::Window& form);
  /// Saves the form's state and its normal-state bounds; reports under
  /// "Common.SaveWindowPosition".
  void SaveWindowPosition(platform::Window& form);
  /// A stored left edge on the primary screen, or 0; any left edge with dual monitors.
  std::int32_t ReasonableLeft(std::int32_t left);
  std::int32_t ReasonableTop(std::int32_t top);
  /// A stored width that fits, or half the screen width.
  std::int32_t ReasonableWidth(std::int32_t width);
  std::int32_t ReasonableHeight(std::int32_t height);
  bool DualMonitor() const { return dualMonitor_; }

  /// The user's regional number format.
  NumberFormat Format() { return platform_.system.UserNumberFormat(); }

  /// Whether the start-up report is in the log: the run has written to it.
  bool StartupLogged() const { return startupLogged_; }
  /// The log's path: beside the executable until the run has had to use the user's one.
  const std::string& ErrorLogPathname() const { return errorLogPathname_; }

 private:
  /// Whether the file at `path` has grown past the log's limit.
  bool LogFull(const std::string& path) noexcept;
  /// Opens the log for one write into `openFile_` (null when it cannot be opened). Until a
  /// run has opened its log, the file beside the executable is tried first, then the
  /// user's own one; later writes of the run keep to the one that opened.
  void OpenLog() noexcept;
  /// Opens the user's own log, making its folder, and says in it why it is there.
  void OpenUserLog() noexcept;
  /// Writes `line` as it is into the open log file; throws when the file is not open.
  void WriteOpen(std::string_view line);
  /// Writes one time-stamped line into the open log file.
  void WriteOpenLine(DateValue stamp, std::string_view text);
  /// The steps every settings getter shares, around the conversion `convert`.
  template <typename T, typename Convert, typename Text>
  T GetSetting(const char* logPrefix, const char* errorPrefix, const std::string& appName,
               const std::string& sectionName, const std::string& key, const std::string& defaultValue,
               Convert convert, Text text);
  /// The operating system's name and build from the registry, for version 6.1 and later.
  void NameFromRegistry(const platform::OsVersionInfo& version);
  /// The primary screen's size in twips.
  double ScreenWidth();
  double ScreenHeight();

  const platform::Platform& platform_;
  UTC& utc_;
  LocaleInfo& locale_;
  ErrorLogIndicator* indicator_ = nullptr;
  std::function<std::string()> interopCaption_;

  std::string errorLogPathname_;
  bool logPlaceChosen_ = false;  // a write of this run has opened errorLogPathname_
  bool logWritten_ = false;      // a line of this run is in the log
  bool debug_ = false;
  bool logFileOpen_ = false;
  std::unique_ptr<platform::AppendFile> openFile_;
  bool startupLogged_ = false;
  bool writingStartupReport_ = false;
  DateValue startupTime_ = 0;
  std::unique_ptr<CommonUI> commonUI_;

  std::string osName_ = "Unknown";
  std::int32_t osBuild_ = 0;
  std::int16_t osWordLength_ = 16;
  bool dualMonitor_ = false;
  std::int16_t cascadeLeft_ = 0;
  std::int16_t cascadeTop_ = 0;
};

}  // namespace bridge::common
