// The port-user list: parties (the activity-light controller, windows) told when the port has
// opened, is closing and has closed, and the OnPortOpen / OnPortClose events that follow.
#include "serial/AdPort.h"

void TApdCustomComPort::AddPortUser(const TPortCallback& callback) {
  TPortUser user;
  user.Callback = callback;
  PortUsers.push_back(user);
}

void TApdCustomComPort::AddPortUserEx(const TPortCallbackEx& callback) {
  TPortUser user;
  user.CallbackEx = callback;
  user.UsesEx = true;
  PortUsers.push_back(user);
}

void TApdCustomComPort::AddPortUserW(HWND window, bool usesEx) {
  TPortUser user;
  user.Window = window;
  user.UsesEx = usesEx;
  PortUsers.push_back(user);
}

void TApdCustomComPort::RemovePortUser(const TPortCallback& callback) {
  if (IsDestroying()) return;
  for (size_t i = PortUsers.size(); i-- > 0;) {
    const TPortUser& user = PortUsers[i];
    if (!user.Window && !user.UsesEx && user.Callback.SameCode(callback))
      PortUsers.erase(PortUsers.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void TApdCustomComPort::RemovePortUserEx(const TPortCallbackEx& callback) {
  if (IsDestroying()) return;
  for (size_t i = PortUsers.size(); i-- > 0;) {
    const TPortUser& user = PortUsers[i];
    if (!user.Window && user.UsesEx && user.CallbackEx.SameCode(callback))
      PortUsers.erase(PortUsers.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void TApdCustomComPort::RemovePortUserW(HWND window) {
  if (IsDestroying()) return;
  for (size_t i = PortUsers.size(); i-- > 0;) {
    if (PortUsers[i].Window == window)
      PortUsers.erase(PortUsers.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

// Walks the list from the last entry to the first. A callback may add or remove users: each
// entry is copied before it is called, and the walk goes on from the next lower index that
// still exists.
void TApdCustomComPort::NotifyPortUsers(TApdCallbackType kind) {
  for (size_t i = PortUsers.size(); i-- > 0;) {
    if (i >= PortUsers.size()) continue;
    const TPortUser user = PortUsers[i];
    if (kind == ctClosing && !user.UsesEx) continue;
    if (user.Window) {
      const UINT msg = kind == ctOpen ? PortOpenMessage
                       : kind == ctClosed ? PortClosedMessage
                                          : PortClosingMessage;
      SendMessageA(user.Window, msg, 0, 0);
    } else if (user.UsesEx) {
      user.CallbackEx(this, kind);
    } else {
      user.Callback(this, kind == ctOpen);
    }
  }
}

void TApdCustomComPort::NotifyOpened() {
  NotifyPortUsers(ctOpen);
  onPortOpen_(this);
}

void TApdCustomComPort::NotifyClosing() { NotifyPortUsers(ctClosing); }

void TApdCustomComPort::NotifyClosed() {
  NotifyPortUsers(ctClosed);
  onPortClose_(this);
}
