// The Windows program's start: the Win32 platform built around the program's own code.
#pragma once

#include <functional>

#include "platform/Platform.h"

namespace bridge::platform::win32 {

/// Builds the Win32 platform, its DDE server answering as `serviceName`, hands it to
/// `program` and returns what the program returns; anything the program throws ends it
/// with exit code 1.
int RunProgram(const char* serviceName, const std::function<int(const Platform&)>& program);

}  // namespace bridge::platform::win32
