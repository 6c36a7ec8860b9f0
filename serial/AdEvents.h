// Event properties of the serial layer's components: a handler is one (receiver object, member
// function) pair held by value, not a Qt signal. It can be read, saved, replaced and restored at
// run time (the activity-light controller saves a port's handlers, installs its own and puts the
// saved ones back), and two handlers can be compared by their member function alone, whatever
// object they are bound to (a port removes its port users by their callback's code).
//
// The receiver is not owned: whoever installs a handler removes it before the receiver dies.
#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

class QObject;

template <typename... Args>
class TMethod {
public:
  TMethod() = default;

  // Binds `method` of `object`. A null object or method gives an unassigned handler.
  template <typename C>
  TMethod(C* object, void (C::*method)(Args...)) {
    static_assert(sizeof(method) <= CodeSize, "member function pointer too large");
    if (!object || !method) return;
    object_ = object;
    invoke_ = &Call<C>;
    std::memcpy(code_, &method, sizeof(method));
  }

  bool Assigned() const { return invoke_ != nullptr; }
  explicit operator bool() const { return Assigned(); }

  // Calls the handler; an unassigned handler does nothing.
  void operator()(Args... args) const {
    if (invoke_) invoke_(object_, code_, args...);
  }

  // The receiver object (the "data" half of the pair), or null.
  void* Data() const { return object_; }

  // True when both name the same member function of the same class (the object is not compared).
  // Two unassigned handlers have the same code.
  bool SameCode(const TMethod& other) const {
    return invoke_ == other.invoke_ && std::memcmp(code_, other.code_, CodeSize) == 0;
  }

  // Same member function bound to the same object.
  bool operator==(const TMethod& other) const { return SameCode(other) && object_ == other.object_; }
  bool operator!=(const TMethod& other) const { return !(*this == other); }

  void Clear() { *this = TMethod(); }

private:
  // Big enough for a member function pointer under every ABI we build for.
  static constexpr std::size_t CodeSize = 4 * sizeof(void*);
  using Invoker = void (*)(void* object, const unsigned char* code, Args... args);

  template <typename C>
  static void Call(void* object, const unsigned char* code, Args... args) {
    void (C::*method)(Args...);
    std::memcpy(&method, code, sizeof(method));
    (static_cast<C*>(object)->*method)(args...);
  }

  void* object_ = nullptr;
  Invoker invoke_ = nullptr;  // one per receiver class and signature: part of the code identity
  unsigned char code_[CodeSize] = {};
};

// The event types of the port component and its users. CP / Sender is the component itself.
using TNotifyEvent = TMethod<QObject*>;
// (CP, Msg, TriggerHandle, Data): every trigger message, before its specific event.
using TTriggerEvent = TMethod<QObject*, uint16_t, uint16_t, uint16_t>;
// (CP, Count): received bytes are waiting.
using TTriggerAvailEvent = TMethod<QObject*, uint16_t>;
// (CP, TriggerHandle).
using TTriggerDataEvent = TMethod<QObject*, uint16_t>;
using TTriggerStatusEvent = TMethod<QObject*, uint16_t>;
using TTriggerTimerEvent = TMethod<QObject*, uint16_t>;
// (CP, Error, LineBreak).
using TTriggerLineErrorEvent = TMethod<QObject*, uint16_t, bool>;
// (CP, C): one 8-bit value.
using TCharWaitedEvent = TMethod<QObject*, uint8_t>;

// Port users: told when the port has opened (Opening true) and when it has closed (false).
using TPortCallback = TMethod<QObject*, bool>;
// The extended form: Kind 0 opened, 1 closing, 2 closed.
enum TApdCallbackType : int { ctOpen = 0, ctClosing = 1, ctClosed = 2 };
using TPortCallbackEx = TMethod<QObject*, TApdCallbackType>;
