// The handle table behind every HANDLE and HWND of the POSIX implementation. A handle is an
// id (slot index and generation number), never a raw descriptor or pointer: a stale handle is
// recognised (ERROR_INVALID_HANDLE) instead of reaching an object that reused its slot.
//
// Lifetime: the table holds one shared reference to each object; every call on a handle holds
// another for its duration. CloseHandle removes the entry and calls Close(), which ends the
// object's pending waits (ERROR_OPERATION_ABORTED); the object's resources (descriptors) are
// released by its destructor, i.e. only once no call on it is still in flight.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/linux/winerror.h"
#include "platform/linux/wintypes.h"

namespace platform::detail {

enum class HandleKind { Event, Device, Window };

class HandleObject {
public:
  explicit HandleObject(HandleKind kind) : kind_(kind) {}
  virtual ~HandleObject() = default;
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;

  HandleKind kind() const { return kind_; }

  // Called once, by CloseHandle, after the entry has left the table: ends every pending wait
  // or call on the object. Runs on the closing thread; must not wait for in-flight calls.
  virtual void Close() {}

private:
  const HandleKind kind_;
};

// Enters an object in the table. Returns its handle (never 0 and never INVALID_HANDLE_VALUE; the
// value fits in 31 bits), or nullptr with ERROR_TOO_MANY_OPEN_FILES set when the table is full.
HANDLE InsertHandle(std::shared_ptr<HandleObject> object);

// The live object behind a handle, or nullptr when the handle is stale, closed or was never
// issued. Does not touch the last error.
std::shared_ptr<HandleObject> FindHandle(HANDLE handle);

// As FindHandle, but only for objects of the given kind; on failure sets the last error to
// ERROR_INVALID_HANDLE and returns nullptr.
template <class T>
std::shared_ptr<T> FindHandleAs(HANDLE handle, HandleKind kind);

// Takes an entry out of the table (the handle becomes stale) and returns its object, or nullptr
// when the handle is not live. Close() is the caller's business.
std::shared_ptr<HandleObject> RemoveHandle(HANDLE handle);

void SetLastErrorValue(DWORD error);

template <class T>
std::shared_ptr<T> FindHandleAs(HANDLE handle, HandleKind kind) {
  std::shared_ptr<HandleObject> object = FindHandle(handle);
  if (!object || object->kind() != kind) {
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(object);
}

}  // namespace platform::detail
