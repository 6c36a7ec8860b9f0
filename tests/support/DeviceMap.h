// Ports of a test: comN links in the test process's own device-map folder, and pty pairs linked
// there. CTest runs the tests of one executable in parallel processes that share its folder, so
// UsePrivateDeviceMapFolder gives each process a folder of its own.
#pragma once
#include <string>

#include "platform/pty.h"

// Points DRAVIK_DEVICEMAP at a folder of this process's own inside the configured one (children
// started later inherit it) and creates it; RemovePrivateDeviceMapFolder removes it again.
void UsePrivateDeviceMapFolder();
void RemovePrivateDeviceMapFolder();

// Creates (or replaces) the link comN -> target; removes it.
void LinkPort(int number, const std::string& target);
void UnlinkPort(int number);
// Points the existing comN at `target` in one step; the number stays claimed (a target that
// does not exist makes a port that is listed but cannot be opened, like a pulled adapter).
void RetargetPort(int number, const std::string& target);
// Links `target` under the lowest free number and returns it (0 when none is free): the link's
// creation is the claim.
int ClaimPort(const std::string& target);

// A pty pair whose slave is linked as port COM<number>.
class LinkedPty {
public:
  explicit LinkedPty(int number, bool holdSlave = true);
  ~LinkedPty();
  LinkedPty(const LinkedPty&) = delete;
  LinkedPty& operator=(const LinkedPty&) = delete;

  int Number() const { return number_; }
  platform::PtyPair& Pair() { return pair_; }
  // Writes at the master end (the instrument's side).
  void Write(const std::string& bytes);
  // Reads what the port sent until `count` bytes have come or the time-out passed, running the
  // event loop meanwhile.
  std::string Read(std::size_t count, int timeoutMs = 5000);

private:
  platform::PtyPair pair_;
  int number_;
};
