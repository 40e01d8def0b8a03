#include "base/Failure.h"

namespace bridge::base {

std::string Describe(std::int32_t code) {
  switch (static_cast<RunError>(code)) {
    case RunError::InvalidProcedureCall:
      return "Invalid procedure call or argument";
    case RunError::Overflow:
      return "Overflow";
    case RunError::OutOfMemory:
      return "Out of memory";
    case RunError::SubscriptOutOfRange:
      return "Subscript out of range";
    case RunError::TypeMismatch:
      return "Type mismatch";
    case RunError::Internal:
      return "Internal error";
    case RunError::BadFileNameOrNumber:
      return "Bad file name or number";
    case RunError::FileNotFound:
      return "File not found";
    case RunError::PermissionDenied:
      return "Permission denied";
    case RunError::PathFileAccessError:
      return "Path/File access error";
    case RunError::DdeNoResponse:
      return "No foreign application responded to a DDE initiate";
    case RunError::DdeRefused:
      return "Foreign application won't perform DDE method or operation";
    case RunError::DdeTimeout:
      return "Timeout while waiting for DDE response";
    case RunError::DdeNoChannel:
      return "DDE method invoked with no channel open";
  }
  return "Application-defined or object-defined error";
}

}  // namespace bridge::base
