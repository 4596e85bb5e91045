// Move-only owners for Windows handles. Each closes its handle exactly once;
// a raw handle taken with get() is borrowed and must not be closed by the taker.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() : handle_(Traits::Invalid()) {}
  explicit ScopedHandle(Handle h) : handle_(h) {}
  ~ScopedHandle() { reset(); }

  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return handle_; }
  bool valid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return valid(); }

  // Gives up ownership without closing.
  Handle release() {
    Handle h = handle_;
    handle_ = Traits::Invalid();
    return h;
  }

  void reset(Handle h = Traits::Invalid()) {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = h;
  }
  // For out-parameters of creation functions that leave null on failure;
  // closes any current handle.
  Handle* receive() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_;
};

// Handles that are null when there is none, closed by `close`.
template <typename H, auto close>
struct NullHandleTraits {
  using Handle = H;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { close(h); }
};

// Kernel objects, files and searches: null and INVALID_HANDLE_VALUE both mean
// none; an empty owner holds null (events, threads, processes) or
// INVALID_HANDLE_VALUE (CreateFile and FindFirstFile results).
template <auto close, bool empty_is_null>
struct Win32HandleTraits : NullHandleTraits<HANDLE, close> {
  static HANDLE Invalid() { return empty_is_null ? nullptr : INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};
using ScopedKernelHandle = ScopedHandle<Win32HandleTraits<&::CloseHandle, true>>;
using ScopedFileHandle = ScopedHandle<Win32HandleTraits<&::CloseHandle, false>>;
using ScopedFindHandle = ScopedHandle<Win32HandleTraits<&::FindClose, false>>;

using ScopedRegKey = ScopedHandle<NullHandleTraits<HKEY, &::RegCloseKey>>;
// The existing key `path` below `root`, opened for `access`; empty when it
// does not open.
inline ScopedRegKey OpenRegKey(HKEY root, const char* path, REGSAM access) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(root, path, 0, access, &raw) != ERROR_SUCCESS) return ScopedRegKey();
  return ScopedRegKey(raw);
}
// The value `name` of `key` as text up to its first NUL, at most `bytes`
// bytes; empty when it cannot be read. Returns the query's status.
inline LONG ReadRegText(HKEY key, const char* name, DWORD bytes, std::string* text) {
  std::vector<char> buf(bytes + 1, '\0');
  const LONG status =
      ::RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf.data()), &bytes);
  text->assign(status == ERROR_SUCCESS ? buf.data() : "");
  return status;
}
// Pens, brushes, fonts, bitmaps, regions.
template <typename T>
using ScopedGdiObject = ScopedHandle<NullHandleTraits<T, &::DeleteObject>>;
using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedRegion = ScopedGdiObject<HRGN>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedPen = ScopedGdiObject<HPEN>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
// Memory device contexts from CreateCompatibleDC.
using ScopedMemoryDc = ScopedHandle<NullHandleTraits<HDC, &::DeleteDC>>;
// A C stdio stream (the download writes with the "ab"/"wb" modes).
using ScopedStdioFile = ScopedHandle<NullHandleTraits<FILE*, &::fclose>>;

// A COM interface pointer, released once.
template <typename T>
void ReleaseComObject(T* p) {
  p->Release();
}
template <typename T>
class ScopedComPtr : public ScopedHandle<NullHandleTraits<T*, &ReleaseComObject<T>>> {
 public:
  T* operator->() const { return this->get(); }
  void** receive_void() { return reinterpret_cast<void**>(this->receive()); }
};

// Pairs CoInitialize with CoUninitialize on the calling thread.
class ScopedComInit {
 public:
  ScopedComInit() : hr_(::CoInitialize(nullptr)) {}
  ~ScopedComInit() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ScopedComInit(const ScopedComInit&) = delete;
  ScopedComInit& operator=(const ScopedComInit&) = delete;
  bool ok() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};
