// The event receivers of a dispatcher: window, procedure and method handler records, and the
// one list type that holds each kind. The dispatcher guards its lists with StateLock; during a
// delivery it walks a list by index, copying one record at a time out of the lock, so records
// removed meanwhile are only marked and purged when the delivery ends.
#pragma once
#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/winapi.h"

// Event receivers besides windows. Nothing in this program registers them; delivery serves
// them before the windows.
using TApdNotifyProc = void (*)(UINT Msg, WPARAM wParam, LPARAM lParam);
struct TApdNotifyMethod {
  void (*Code)(void* Self, UINT Msg, WPARAM wParam, LPARAM lParam) = nullptr;
  void* Self = nullptr;
  bool operator==(const TApdNotifyMethod&) const = default;
};

struct TWindowHandler {
  HWND Window = nullptr;
  bool Removed = false;
  bool Matches(HWND Other) const { return Window == Other; }
};
struct TProcHandler {
  TApdNotifyProc Proc = nullptr;
  bool Removed = false;
  bool Matches(TApdNotifyProc Other) const { return Proc == Other; }
};
struct TMethodHandler {
  TApdNotifyMethod Method;
  bool Removed = false;
  bool Synchronize = false;  // run on the user-interface thread (RunSynchronized)
  bool Matches(const TApdNotifyMethod& Other) const { return Method == Other; }
};

template <typename Handler>
class HandlerList {
public:
  void Add(const Handler& Record) { Records.push_back(Record); }
  // Removes the first record that matches Key, or, during a delivery, marks it removed. False
  // when none matches.
  template <typename Key>
  bool Remove(const Key& Key_, bool InDelivery) {
    auto record = std::find_if(Records.begin(), Records.end(), [&](const Handler& h) { return h.Matches(Key_); });
    if (record == Records.end()) return false;
    if (InDelivery)
      record->Removed = true;
    else
      Records.erase(record);
    return true;
  }
  // Drops the records marked removed, scanning from the end.
  void PurgeRemoved() {
    for (size_t i = Records.size(); i-- > 0;)
      if (Records[i].Removed) Records.erase(Records.begin() + static_cast<std::ptrdiff_t>(i));
  }
  // A copy of record Index into Out; false past the end.
  bool CopyOut(size_t Index, Handler& Out) const {
    if (Index >= Records.size()) return false;
    Out = Records[Index];
    return true;
  }
  size_t Size() const { return Records.size(); }
  bool Empty() const { return Records.empty(); }
  void Clear() { Records.clear(); }

private:
  std::vector<Handler> Records;
};
