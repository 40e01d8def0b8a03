// Owners of the Win32 handles the program creates: windows, global atoms and memory blocks,
// GDI objects, icons, device contexts and files, each freed exactly once by its owner.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace bridge::platform::win32 {

/// A handle freed by `Free` once when its owner goes, unless handed over with `Release`.
/// Move-only; a moved-from owner is empty.
template <typename Handle, void (*Free)(Handle)>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, Handle{}));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  /// Hands the handle over (to a message's receiver, to the system): no longer freed here.
  Handle Release() { return std::exchange(handle_, Handle{}); }
  /// Frees the handle held, if any, and holds `handle` instead.
  void Reset(Handle handle = Handle{}) {
    const Handle old = std::exchange(handle_, handle);
    if (old != Handle{}) Free(old);
  }

 private:
  Handle handle_{};
};

namespace handles {
// The system may destroy a child window with its parent first: such a window is gone already.
inline void DestroyWindowOnce(HWND window) {
  if (IsWindow(window)) DestroyWindow(window);
}
inline void DeleteGlobalAtom(ATOM atom) { GlobalDeleteAtom(atom); }
inline void FreeGlobal(HGLOBAL block) { GlobalFree(block); }
inline void DeleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void DestroyIconOnce(HICON icon) { DestroyIcon(icon); }
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
}  // namespace handles

/// A window this program created, destroyed once.
using WindowHandle = UniqueHandle<HWND, handles::DestroyWindowOnce>;
/// A global atom this program added (or was handed in a message), deleted once.
using GlobalAtom = UniqueHandle<ATOM, handles::DeleteGlobalAtom>;
/// A global memory block, freed once unless handed to a DDE partner.
using GlobalBlock = UniqueHandle<HGLOBAL, handles::FreeGlobal>;
/// A brush, font or other GDI object this program created, deleted once.
using GdiObject = UniqueHandle<HGDIOBJ, handles::DeleteGdiObject>;
/// A file or other kernel object, closed once (an invalid handle never goes in here).
using KernelHandle = UniqueHandle<HANDLE, handles::CloseKernelHandle>;

/// The screen's device context, released once when its owner goes.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

/// An icon that knows whether it is its own: one made by LoadImage without LR_SHARED (or
/// CreateIcon) is destroyed once when its owner goes; one shared by the system (LoadIcon,
/// LR_SHARED) must never be destroyed and is only held. Move-only.
class Icon {
 public:
  Icon() = default;
  static Icon Owned(HICON icon) { return Icon(icon, true); }
  static Icon Shared(HICON icon) { return Icon(icon, false); }
  Icon(Icon&& other) noexcept : owned_(std::move(other.owned_)), shared_(std::exchange(other.shared_, nullptr)) {}
  Icon& operator=(Icon&& other) noexcept {
    if (this != &other) {
      owned_ = std::move(other.owned_);
      shared_ = std::exchange(other.shared_, nullptr);
    }
    return *this;
  }
  Icon(const Icon&) = delete;
  Icon& operator=(const Icon&) = delete;

  HICON Get() const { return owned_ ? owned_.Get() : shared_; }
  explicit operator bool() const { return Get() != nullptr; }

 private:
  Icon(HICON icon, bool owned) {
    if (owned)
      owned_.Reset(icon);
    else
      shared_ = icon;
  }

  UniqueHandle<HICON, handles::DestroyIconOnce> owned_;
  HICON shared_ = nullptr;
};

/// A global atom of `text`; empty when the atom table is full.
inline GlobalAtom AddGlobalAtom(const std::string& text) { return GlobalAtom(GlobalAddAtomA(text.c_str())); }

/// Registers a plain ANSI window class of this program for hidden windows: `procedure`
/// handles its messages. ANSI, because DDE servers hand an ANSI window's conversation text
/// as it is. A class already registered stays as it is.
inline void RegisterHiddenWindowClass(const char* name, WNDPROC procedure) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = name;
  RegisterClassExA(&windowClass);
}

/// A message-only window of a class registered by `RegisterHiddenWindowClass`: it gets
/// the messages the program posts to itself, and no other program sees it.
inline WindowHandle MessageOnlyWindow(const char* className) {
  return WindowHandle(CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleA(nullptr), nullptr));
}

}  // namespace bridge::platform::win32
