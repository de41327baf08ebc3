#pragma once
// Move-only owners of Win32 handles, one per kind. A traits type says which
// value means "no handle" and how a handle is closed:
//
//   UniqueKey key;
//   if (RegOpenKeyExA(root, sub, 0, KEY_READ, key.put()) != ERROR_SUCCESS) ...
//
// Copying is deleted; moving hands the handle over and leaves the source
// empty; move-assignment closes the handle held before. A plain HWND or HDC
// obtained from the system is a view, not an owner, and has no type here.
#include <windows.h>

#include <utility>

namespace platform::win32 {

template <typename T, typename Traits>
class Unique {
 public:
  Unique() noexcept = default;
  explicit Unique(T handle) noexcept : handle_(handle) {}
  ~Unique() { reset(); }

  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != Traits::Empty(); }
  explicit operator bool() const noexcept { return valid(); }

  // Closes what is held and gives the address of the empty slot, for the
  // output parameter of an opening call.
  T* put() noexcept {
    reset();
    return &handle_;
  }
  // Gives up ownership without closing.
  T release() noexcept { return std::exchange(handle_, Traits::Empty()); }
  // Closes what is held (unless it is `handle` itself) and takes `handle`.
  void reset(T handle = Traits::Empty()) noexcept {
    const T old = std::exchange(handle_, handle);
    if (old != Traits::Empty() && old != handle) Traits::Close(old);
  }

 private:
  T handle_ = Traits::Empty();
};

struct KeyTraits {
  static HKEY Empty() noexcept { return nullptr; }
  static void Close(HKEY k) noexcept { RegCloseKey(k); }
};
using UniqueKey = Unique<HKEY, KeyTraits>;

// Kernel objects whose "no handle" is null: mutexes, events, threads, processes.
struct HandleTraits {
  static HANDLE Empty() noexcept { return nullptr; }
  static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
using UniqueHandle = Unique<HANDLE, HandleTraits>;

// CreateFile reports failure with INVALID_HANDLE_VALUE, not null.
struct FileTraits {
  static HANDLE Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
using UniqueFile = Unique<HANDLE, FileTraits>;

// Searches are closed with FindClose, never CloseHandle.
struct FindTraits {
  static HANDLE Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { FindClose(h); }
};
using UniqueFind = Unique<HANDLE, FindTraits>;

template <typename T>
struct GdiTraits {
  static T Empty() noexcept { return nullptr; }
  static void Close(T obj) noexcept { DeleteObject(obj); }
};
using UniqueFont = Unique<HFONT, GdiTraits<HFONT>>;
using UniqueBrush = Unique<HBRUSH, GdiTraits<HBRUSH>>;

// A memory DC from CreateCompatibleDC.
struct MemoryDcTraits {
  static HDC Empty() noexcept { return nullptr; }
  static void Close(HDC dc) noexcept { DeleteDC(dc); }
};
using UniqueMemoryDc = Unique<HDC, MemoryDcTraits>;

struct MenuTraits {
  static HMENU Empty() noexcept { return nullptr; }
  static void Close(HMENU m) noexcept { DestroyMenu(m); }
};
// Only for a menu that no window owns (a window destroys its own menu bar).
using UniqueMenu = Unique<HMENU, MenuTraits>;

// The DC of a window (or of the screen, for a null window) from GetDC,
// given back with ReleaseDC to the same window.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC and selects the previous one back when it goes
// out of scope, so that an owned font or brush is never deleted while a DC
// still holds it. Declare the guard after the owner it selects. Not for
// regions: SelectObject answers a region's complexity, not the old one.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(obj != nullptr ? SelectObject(dc, obj) : nullptr) {}
  ~SelectGuard() { restore(); }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;

  // False when the selection failed (nothing to restore then).
  bool selected() const noexcept { return old_ != nullptr && old_ != HGDI_ERROR; }
  // Puts the previous object back now instead of at the end of the scope.
  void restore() noexcept {
    if (selected()) SelectObject(dc_, old_);
    old_ = nullptr;
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace platform::win32
