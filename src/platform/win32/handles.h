// One owning type per kind of Windows handle, so that every way out of an
// operation releases what it opened.
#pragma once

#include <ole2.h>
#include <setupapi.h>
#include <windows.h>

#include <utility>

#include "platform/win32/lazy_api.h"

namespace tv::win32 {

template <class T, auto Close, T Invalid = T{}>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = std::exchange(other.value_, Invalid);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  T get() const { return value_; }
  T* put() {
    reset();
    return &value_;
  }
  explicit operator bool() const { return value_ != Invalid; }
  void reset() {
    if (value_ != Invalid) Close(std::exchange(value_, Invalid));
  }

 private:
  T value_ = Invalid;
};

inline void CloseKey(HKEY key) { ::RegCloseKey(key); }
inline void CloseKernelHandle(HANDLE handle) { ::CloseHandle(handle); }
inline void ReleaseLibrary(HMODULE module) { ::FreeLibrary(module); }
inline void CloseFind(HANDLE find) { ::FindClose(find); }

using unique_hkey = UniqueHandle<HKEY, &CloseKey>;
using unique_handle = UniqueHandle<HANDLE, &CloseKernelHandle>;
using unique_hmodule = UniqueHandle<HMODULE, &ReleaseLibrary>;
// Handles whose failure marker is INVALID_HANDLE_VALUE rather than null:
// searches, toolhelp snapshots, device information sets.
template <class T, auto Close>
class UniqueInvalidHandle {
 public:
  explicit UniqueInvalidHandle(T value) : value_(value) {}
  ~UniqueInvalidHandle() {
    if (value_ != INVALID_HANDLE_VALUE) Close(value_);
  }
  UniqueInvalidHandle(const UniqueInvalidHandle&) = delete;
  UniqueInvalidHandle& operator=(const UniqueInvalidHandle&) = delete;
  T get() const { return value_; }
  explicit operator bool() const { return value_ != INVALID_HANDLE_VALUE; }

 private:
  T value_;
};

// A set was made through SetupAPI, which is then loaded.
inline void DestroyDeviceInfoList(HDEVINFO set) {
  if (auto* destroy = TV_LAZY(SetupApi, SetupDiDestroyDeviceInfoList)) destroy(set);
}

using unique_hfind = UniqueInvalidHandle<HANDLE, &CloseFind>;
using unique_snapshot = UniqueInvalidHandle<HANDLE, &CloseKernelHandle>;
using unique_hdevinfo = UniqueInvalidHandle<HDEVINFO, &DestroyDeviceInfoList>;

// A COM interface pointer, released when it goes.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T** put() {
    reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  explicit operator bool() const { return ptr_ != nullptr; }
  void reset() {
    if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
  }

 private:
  T* ptr_ = nullptr;
};

// An OLE Automation string.
class UniqueBstr {
 public:
  explicit UniqueBstr(const wchar_t* text) : value_(::SysAllocString(text)) {}
  ~UniqueBstr() { ::SysFreeString(value_); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

// A VARIANT, cleared when it goes.
class UniqueVariant {
 public:
  UniqueVariant() { ::VariantInit(&value_); }
  ~UniqueVariant() { ::VariantClear(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  VARIANT* get() { return &value_; }

 private:
  VARIANT value_;
};

// OleInitialize for the span of one WMI question.
class OleSession {
 public:
  // Each successful OleInitialize (S_OK, or S_FALSE when this thread had it
  // already) is paired with one OleUninitialize; a failed one is not.
  OleSession() : initialized_(SUCCEEDED(::OleInitialize(nullptr))) {}
  ~OleSession() {
    if (initialized_) ::OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;

 private:
  bool initialized_;
};

}  // namespace tv::win32
