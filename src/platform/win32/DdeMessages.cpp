#include "platform/win32/DdeMessages.h"

#include <cstddef>
#include <cstring>

namespace bridge::platform::win32 {

bool RunsUnderWine() {
  static const bool underWine = [] {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return underWine;
}

std::string AtomName(UINT_PTR atom) {
  char name[256] = {};
  if (atom) GlobalGetAtomNameA(static_cast<ATOM>(atom), name, sizeof name);
  return name;
}

void DeleteAtom(UINT_PTR value) {
  if (IsAtom(value)) GlobalDeleteAtom(static_cast<ATOM>(value));
}

GlobalAtom AddAtom(const std::string& text) {
  GlobalAtom atom = AddGlobalAtom(text);
  if (!atom) throw base::Failure(base::RunError::DdeNoChannel);
  return atom;
}

DataBlock ReadDataBlock(HGLOBAL block) {
  DataBlock data;
  if (!block) return data;
  const SIZE_T size = GlobalSize(block);
  const auto* dde = static_cast<const DDEDATA*>(GlobalLock(block));
  if (!dde) return data;
  constexpr std::size_t kHeader = offsetof(DDEDATA, Value);
  if (size >= kHeader) {
    data.valid = true;
    data.response = dde->fResponse;
    data.release = dde->fRelease;
    data.ackRequested = dde->fAckReq;
    data.format = static_cast<USHORT>(dde->cfFormat);
    const char* text = reinterpret_cast<const char*>(dde->Value);
    data.text.assign(text, strnlen(text, size - kHeader));
  }
  GlobalUnlock(block);
  return data;
}

}  // namespace bridge::platform::win32
