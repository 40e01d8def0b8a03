// What another process holds: memory, handles, window and GDI objects, each -1 when the
// system does not report it.
#pragma once

#include <windows.h>

#include <string>

namespace tools::suite_client {

struct ProcessFigures {
  long long privateBytes = -1;  // committed private memory
  long long workingSet = -1;
  long long handles = -1;
  long long userObjects = -1;
  long long gdiObjects = -1;

  /// "private_bytes=N working_set=N handles=N user_objects=N gdi_objects=N"
  std::string Line() const;
};

/// Measures the process behind `process` (opened with PROCESS_QUERY_INFORMATION and
/// PROCESS_VM_READ). Where Wine answers 0 for another process (its private bytes and
/// handle count), the figure is taken another way: the committed private regions of its
/// address space, and its entries in the system's handle table.
ProcessFigures MeasureProcess(HANDLE process, DWORD processId);

}  // namespace tools::suite_client
