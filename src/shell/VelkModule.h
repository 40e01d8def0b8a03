// The main window's module: its start and end, and the error-log indicator.
#pragma once

#include <string>

#include "common/Common.h"
#include "platform/Controls.h"

namespace bridge::shell {

/// The `VelkModule` module.
class VelkModule : public common::ErrorLogIndicator {
 public:
  /// Becomes the log's error indicator and the source of the interop caption.
  explicit VelkModule(common::Common& common);
  ~VelkModule() override;
  VelkModule(const VelkModule&) = delete;
  VelkModule& operator=(const VelkModule&) = delete;

  /// The label that shows "see ErrorLog"; set once by the main window.
  void BindErrorLogLabel(platform::Label& label) { errorLogLabel_ = &label; }

  /// Writes its start and end to the debug log; reports under "VelkModule.Initialize".
  void Initialize();
  /// Does nothing; reports under "VelkModule.Terminate".
  void Terminate();
  /// Reports under "VelkModule.ClearErrorLogFlag".
  void ClearErrorLogFlag();
  /// Raises the flag and shows "see ErrorLog"; reports under "VelkModule.ErrorLogExists".
  void ErrorLogExists() override;
  /// The caption of the suite's interop programs: empty in this program.
  std::string GetInteropCaption();

  bool ErrorLogFlag() const { return errorLogFlag_; }

 private:
  common::Common& common_;
  platform::Label* errorLogLabel_ = nullptr;
  bool errorLogFlag_ = false;
};

}  // namespace bridge::shell
