// Another process's figures, from the documented calls, and where Wine leaves those at 0,
// from its address space and the system's handle table.
#include "ProcessFigures.h"

// GetProcessMemoryInfo from kernel32 (K32GetProcessMemoryInfo), without psapi.dll.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tools::suite_client {

namespace {

// The committed private memory of the process: what Windows counts as its private bytes,
// summed over its address space region by region.
long long CommittedPrivateBytes(HANDLE process) {
  long long total = 0;
  bool any = false;
  MEMORY_BASIC_INFORMATION region{};
  for (auto* address = static_cast<const BYTE*>(nullptr);
       VirtualQueryEx(process, address, &region, sizeof region) == sizeof region;) {
    any = true;
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += static_cast<long long>(region.RegionSize);
    const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;  // the top of the address space
    address = next;
  }
  return any && total > 0 ? total : -1;
}

// NtQuerySystemInformation(SystemHandleInformation): every open handle of the system with
// the process that holds it.
struct SystemHandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ACCESS_MASK access;
};
struct SystemHandleTable {
  ULONG count;
  SystemHandleEntry entries[1];
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

long long HandlesInSystemTable(DWORD processId) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto query = ntdll != nullptr
                   ? reinterpret_cast<QuerySystemInformation>(
                         reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")))
                   : nullptr;
  if (query == nullptr) return -1;
  std::vector<BYTE> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) {
      buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
      continue;
    }
    if (status < 0) return -1;
    const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    long long count = 0;
    for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].ownerPid == processId ? 1 : 0;
    return count > 0 ? count : -1;
  }
  return -1;
}

// 0 with an error set is "not reported"; a process with a window has user objects.
long long GuiResources(HANDLE process, DWORD which) {
  SetLastError(ERROR_SUCCESS);
  const DWORD count = GetGuiResources(process, which);
  return count == 0 && GetLastError() != ERROR_SUCCESS ? -1 : static_cast<long long>(count);
}

}  // namespace

std::string ProcessFigures::Line() const {
  char line[200];
  std::snprintf(line, sizeof line, "private_bytes=%lld working_set=%lld handles=%lld user_objects=%lld gdi_objects=%lld",
                privateBytes, workingSet, handles, userObjects, gdiObjects);
  return line;
}

ProcessFigures MeasureProcess(HANDLE process, DWORD processId) {
  ProcessFigures figures;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    if (memory.PrivateUsage > 0) figures.privateBytes = static_cast<long long>(memory.PrivateUsage);
    if (memory.WorkingSetSize > 0) figures.workingSet = static_cast<long long>(memory.WorkingSetSize);
  }
  if (figures.privateBytes < 0) figures.privateBytes = CommittedPrivateBytes(process);
  DWORD handles = 0;
  if (GetProcessHandleCount(process, &handles) && handles > 0) figures.handles = handles;
  if (figures.handles < 0) figures.handles = HandlesInSystemTable(processId);
  figures.userObjects = GuiResources(process, GR_USEROBJECTS);
  figures.gdiObjects = GuiResources(process, GR_GDIOBJECTS);
  return figures;
}

}  // namespace tools::suite_client
