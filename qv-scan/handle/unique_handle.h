// The one owner shape for every handle: move-only, closes what it holds exactly
// once, and never a value that must not be closed. What a handle is comes from a
// small traits type, so this header needs no platform header:
//
//   struct FileTraits {
//     using Handle = HANDLE;
//     static HANDLE empty() noexcept;             // held when nothing is owned
//     static bool is_valid(HANDLE) noexcept;      // false for every value never to close
//     static void close(HANDLE) noexcept;         // called only for a valid value
//     static DWORD last_error() noexcept;         // the thread's pending error code,
//     static void set_last_error(DWORD) noexcept; // and how to put it back
//   };
//   using FileHandle = UniqueHandle<FileTraits>;
#pragma once

#include <utility>

namespace qv {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  // Takes over `handle`; an invalid value is held but never closed.
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  [[nodiscard]] Handle get() const noexcept { return handle_; }
  [[nodiscard]] bool valid() const noexcept { return Traits::is_valid(handle_); }

  // Closes what is held, then holds `handle`. The close keeps the thread's last
  // error as it found it: an owner going out of scope between a failing call and
  // the read of its code must not replace that code.
  void reset(Handle handle = Traits::empty()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (!Traits::is_valid(old)) return;
    const auto pending = Traits::last_error();
    Traits::close(old);
    Traits::set_last_error(pending);
  }

  // Gives the handle up unclosed, e.g. to close it where the result of the close
  // itself matters.
  [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Traits::empty()); }

 private:
  Handle handle_ = Traits::empty();
};

}  // namespace qv
