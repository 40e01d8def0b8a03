// The start-up environment report and the identification of the operating system.
#include <string>

#include "common/Common.h"
#include "common/CommonUI.h"
#include "common/ProgramIdentity.h"

namespace bridge::common {

void Common::WriteStartupReport() {
  // Runs of the log are separated by an empty line.
  Ignore([&] { WriteOpen(""); });
  Ignore([&] {
    WriteOpenLine(startupTime_, std::string(kProductName) + " version " + std::to_string(kVersionMajor) +
                                    "." + std::to_string(kVersionMinor) + "." +
                                    std::to_string(kVersionRevision));
  });
  // NOT YET BUILT: the program, operating-system and locale lines of the report.
  Ignore([&] {
    if (!commonUI_) commonUI_ = std::make_unique<CommonUI>(platform_.ui, *this);
  });
}

void Common::ReportMonitors(platform::Window& /*form*/) {
  // NOT YET BUILT: the monitor lines of the report.
}

void Common::GetOSVersion() {
  // NOT YET BUILT: the operating system's name, word length and build.
}

std::string Common::GetOSName() {
  return TrapOr(*this, "Common.GetOSName", std::string(), [&] { return osName_; });
}

}  // namespace bridge::common
