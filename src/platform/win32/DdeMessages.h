// What the DDE message protocol carries, for a program speaking it itself: item atoms,
// shareable memory blocks and the DDEDATA block of a value.
#pragma once

#include <windows.h>
#include <dde.h>

#include <string>

#include "base/Failure.h"
#include "platform/win32/Win32Handles.h"

namespace bridge::platform::win32 {

/// Whether the program runs under Wine, whose DDEML differs from Windows' in ways its peers
/// must make up for (see the DDE server and client).
bool RunsUnderWine();

/// The name of a global atom; empty for none.
std::string AtomName(UINT_PTR atom);
/// Atoms are at most 0xFFFF; memory handles never are that small.
inline bool IsAtom(UINT_PTR value) { return value != 0 && value <= 0xFFFF; }
/// Deletes the atom a message carried, when it is one.
void DeleteAtom(UINT_PTR value);
/// An atom of `text` for a message; throws Failure(DdeNoChannel) when none can be made.
GlobalAtom AddAtom(const std::string& text);

/// A shareable block of `size` zeroed bytes, filled by `fill` while locked; throws
/// Failure(OutOfMemory) when none can be had.
template <typename Fill>
GlobalBlock NewBlock(SIZE_T size, Fill fill) {
  GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT, size));
  void* bytes = block ? GlobalLock(block.Get()) : nullptr;
  if (!bytes) throw base::Failure(base::RunError::OutOfMemory);
  fill(bytes);
  GlobalUnlock(block.Get());
  return block;
}

/// What a DDEDATA block holds.
struct DataBlock {
  bool valid = false;
  bool response = false;
  bool release = false;
  bool ackRequested = false;
  UINT format = 0;
  std::string text;
};

/// Reads a DDEDATA block; not valid when there is none or it is too short.
DataBlock ReadDataBlock(HGLOBAL block);

}  // namespace bridge::platform::win32
