// The handle table, CloseHandle and the per-thread last error.
#include "platform/linux/handles.h"

#include <deque>
#include <mutex>
#include <vector>

namespace platform::detail {
namespace {

// Handle value = generation << 16 | slot number; slot numbers start at 1 so no handle is 0, and
// generations stay below 1 << 15 so no handle is negative (INVALID_HANDLE_VALUE is -1) and every
// value fits in 31 bits.
constexpr uint32_t kMaxSlots = 0xffff;
constexpr uint32_t kMaxGeneration = 0x7fff;

struct Slot {
  uint32_t generation = 1;              // bumped when the slot is freed, so old handles go stale
  std::shared_ptr<HandleObject> object;  // null while the slot is free
};

struct Table {
  std::mutex mutex;             // guards everything below
  std::vector<Slot> slots;      // slot number n lives at slots[n - 1]
  std::deque<uint32_t> free;    // freed slot numbers, oldest first, so reuse is as late as possible
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: handles may be closed during static teardown
  return *table;
}

bool Decode(HANDLE handle, uint32_t& slot, uint32_t& generation) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0 || value > 0x7fffffffu) return false;
  slot = static_cast<uint32_t>(value & 0xffffu);
  generation = static_cast<uint32_t>(value >> 16);
  return slot != 0 && generation != 0;
}

thread_local DWORD tLastError = 0;

}  // namespace

HANDLE InsertHandle(std::shared_ptr<HandleObject> object) {
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  uint32_t number;
  if (!table.free.empty()) {
    number = table.free.front();
    table.free.pop_front();
  } else if (table.slots.size() < kMaxSlots) {
    table.slots.emplace_back();
    number = static_cast<uint32_t>(table.slots.size());
  } else {
    SetLastErrorValue(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  Slot& slot = table.slots[number - 1];
  slot.object = std::move(object);
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(slot.generation << 16 | number));
}

std::shared_ptr<HandleObject> FindHandle(HANDLE handle) {
  uint32_t number, generation;
  if (!Decode(handle, number, generation)) return nullptr;
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  if (number > table.slots.size()) return nullptr;
  const Slot& slot = table.slots[number - 1];
  if (slot.generation != generation) return nullptr;
  return slot.object;
}

std::shared_ptr<HandleObject> RemoveHandle(HANDLE handle) {
  uint32_t number, generation;
  if (!Decode(handle, number, generation)) return nullptr;
  Table& table = TheTable();
  std::lock_guard lock(table.mutex);
  if (number > table.slots.size()) return nullptr;
  Slot& slot = table.slots[number - 1];
  if (slot.generation != generation || !slot.object) return nullptr;
  std::shared_ptr<HandleObject> object = std::move(slot.object);
  slot.object.reset();
  slot.generation = slot.generation == kMaxGeneration ? 1 : slot.generation + 1;
  table.free.push_back(number);
  return object;
}

void SetLastErrorValue(DWORD error) { tLastError = error; }

}  // namespace platform::detail

using namespace platform::detail;

// Windows are destroyed with DestroyWindow, not closed: CloseHandle refuses them as Windows does.
BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<HandleObject> object = FindHandle(handle);
  if (!object || object->kind() == HandleKind::Window) {
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  object = RemoveHandle(handle);
  if (!object) {  // another thread closed it between the two look-ups
    SetLastErrorValue(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  object->Close();
  return TRUE;
}

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD error) { tLastError = error; }
