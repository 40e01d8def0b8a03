// DDEML handles with their owners: instances, string handles, data handles and service-name
// registrations, each freed exactly once by whoever owns it. Only windows.h, ddeml.h and the
// standard library are used here, so the test tools include this header as well.
#pragma once

#include <windows.h>
#include <ddeml.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace bridge::platform::win32 {

/// A DDEML instance, uninitialized once when its owner goes. Move-only.
class DdeInstance {
 public:
  DdeInstance() = default;
  /// A new instance calling `callback`; empty when DDEML refuses, its code in `error`.
  static DdeInstance Start(PFNCALLBACK callback, DWORD flags, UINT* error = nullptr) {
    DWORD id = 0;
    const UINT result = DdeInitializeA(&id, callback, flags, 0);
    if (error) *error = result;
    DdeInstance instance;
    if (result == DMLERR_NO_ERROR) instance.id_ = id;
    return instance;
  }
  DdeInstance(DdeInstance&& other) noexcept : id_(std::exchange(other.id_, 0)) {}
  DdeInstance& operator=(DdeInstance&& other) noexcept {
    if (this != &other) {
      Reset();
      id_ = std::exchange(other.id_, 0);
    }
    return *this;
  }
  DdeInstance(const DdeInstance&) = delete;
  DdeInstance& operator=(const DdeInstance&) = delete;
  ~DdeInstance() { Reset(); }

  DWORD Id() const { return id_; }
  explicit operator bool() const { return id_ != 0; }
  /// Uninitializes the instance now, if there is one.
  void Reset() {
    if (id_) DdeUninitialize(std::exchange(id_, 0));
  }

 private:
  DWORD id_ = 0;
};

/// A DDEML string handle that knows whether it is its own: an owned one was created here
/// and is freed once when its owner goes; a borrowed one (a callback's argument, lent by
/// DDEML) is only read. Move-only; a moved-from handle is empty.
class DdeString {
 public:
  DdeString() = default;
  /// A new handle of `text`; empty when DDEML cannot make one.
  static DdeString Owned(DWORD instance, const std::string& text) {
    return DdeString(instance, DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI), true);
  }
  /// A handle DDEML lends for the length of a callback; never freed here.
  static DdeString Borrowed(DWORD instance, HSZ handle) { return DdeString(instance, handle, false); }

  DdeString(DdeString&& other) noexcept
      : instance_(other.instance_), handle_(std::exchange(other.handle_, nullptr)), owned_(other.owned_) {}
  DdeString& operator=(DdeString&& other) noexcept {
    if (this != &other) {
      Reset();
      instance_ = other.instance_;
      handle_ = std::exchange(other.handle_, nullptr);
      owned_ = other.owned_;
    }
    return *this;
  }
  DdeString(const DdeString&) = delete;
  DdeString& operator=(const DdeString&) = delete;
  ~DdeString() { Reset(); }

  HSZ Get() const { return handle_; }
  DWORD Instance() const { return instance_; }
  bool Owns() const { return handle_ && owned_; }
  explicit operator bool() const { return handle_ != nullptr; }

  /// The handle's text; empty for an empty handle.
  std::string Text() const {
    if (!handle_) return {};
    const DWORD length = DdeQueryStringA(instance_, handle_, nullptr, 0, CP_WINANSI);
    std::string text(length + 1, '\0');
    const DWORD copied = DdeQueryStringA(instance_, handle_, text.data(), length + 1, CP_WINANSI);
    text.resize(copied < length ? copied : length);
    return text;
  }

  /// Frees an owned handle now; a borrowed one is let go.
  void Reset() {
    HSZ handle = std::exchange(handle_, nullptr);
    if (handle && owned_) DdeFreeStringHandle(instance_, handle);
  }

 private:
  DdeString(DWORD instance, HSZ handle, bool owned) : instance_(instance), handle_(handle), owned_(owned) {}

  DWORD instance_ = 0;
  HSZ handle_ = nullptr;
  bool owned_ = false;
};

/// A DDE data handle that knows whether it is its own: an owned one (made here, or returned
/// by a synchronous client transaction) is freed once when its owner goes unless it was
/// handed to DDEML with `Release`; a borrowed one (a callback's data, DDEML's) is only read.
/// Move-only; a moved-from handle is empty.
class DdeData {
 public:
  DdeData() = default;
  static DdeData Owned(HDDEDATA handle) { return DdeData(handle, true); }
  static DdeData Borrowed(HDDEDATA handle) { return DdeData(handle, false); }
  /// A new handle of `size` bytes for `item` in `format`; empty when DDEML cannot make one.
  static DdeData Create(DWORD instance, HSZ item, UINT format, const void* bytes, DWORD size) {
    return Owned(DdeCreateDataHandle(instance, static_cast<LPBYTE>(const_cast<void*>(bytes)), size, 0, item,
                                     format, 0));
  }
  /// A new handle of `text` and its terminating NUL, as CF_TEXT.
  static DdeData FromText(DWORD instance, HSZ item, const std::string& text) {
    return Create(instance, item, CF_TEXT, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }

  DdeData(DdeData&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)), owned_(other.owned_) {}
  DdeData& operator=(DdeData&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
      owned_ = other.owned_;
    }
    return *this;
  }
  DdeData(const DdeData&) = delete;
  DdeData& operator=(const DdeData&) = delete;
  ~DdeData() { Reset(); }

  HDDEDATA Get() const { return handle_; }
  bool Owns() const { return handle_ && owned_; }
  explicit operator bool() const { return handle_ != nullptr; }

  /// Hands the handle over (a callback's answer, a transaction's data): DDEML frees it from
  /// then on, and this one is empty.
  HDDEDATA Release() { return std::exchange(handle_, nullptr); }

  /// The handle's bytes up to the first NUL; empty for an empty handle.
  std::string Text() const {
    if (!handle_) return {};
    const DWORD size = DdeGetData(handle_, nullptr, 0, 0);
    std::string text(size, '\0');
    if (size) DdeGetData(handle_, reinterpret_cast<LPBYTE>(text.data()), size, 0);
    text.resize(std::strlen(text.c_str()));
    return text;
  }

  /// Frees an owned handle now; a borrowed one is let go.
  void Reset() {
    HDDEDATA handle = std::exchange(handle_, nullptr);
    if (handle && owned_) DdeFreeDataHandle(handle);
  }

 private:
  DdeData(HDDEDATA handle, bool owned) : handle_(handle), owned_(owned) {}

  HDDEDATA handle_ = nullptr;
  bool owned_ = false;
};

/// A service name registered with DDEML, unregistered once when its owner goes. It keeps the
/// name's string handle, which must outlive the registration. Move-only.
class DdeServiceName {
 public:
  DdeServiceName() = default;
  /// Registers `name`; empty (nothing registered, nothing held) when DDEML refuses.
  static DdeServiceName Register(DWORD instance, const std::string& name) {
    DdeServiceName service;
    DdeString handle = DdeString::Owned(instance, name);
    if (handle && DdeNameService(instance, handle.Get(), nullptr, DNS_REGISTER)) service.name_ = std::move(handle);
    return service;
  }
  DdeServiceName(DdeServiceName&& other) noexcept = default;
  DdeServiceName& operator=(DdeServiceName&& other) noexcept {
    if (this != &other) {
      Reset();
      name_ = std::move(other.name_);
    }
    return *this;
  }
  DdeServiceName(const DdeServiceName&) = delete;
  DdeServiceName& operator=(const DdeServiceName&) = delete;
  ~DdeServiceName() { Reset(); }

  HSZ Get() const { return name_.Get(); }
  explicit operator bool() const { return static_cast<bool>(name_); }

  /// Unregisters the name now, if it is registered, and frees its handle.
  void Reset() {
    if (name_) DdeNameService(name_.Instance(), name_.Get(), nullptr, DNS_UNREGISTER);
    name_.Reset();
  }

 private:
  DdeString name_;
};

}  // namespace bridge::platform::win32
