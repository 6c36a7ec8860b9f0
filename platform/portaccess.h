// Why a port that the system lists may not open for this user: it is not there, or the user
// may not open its device at all (on Linux a serial device wants the dialout group). Used only
// to explain a failed open; the open itself decides.
#pragma once

namespace platform {

enum class PortAccess {
  Openable,  // the device is there and this user may read and write it (it may still be busy)
  Missing,   // no such port, or its link points nowhere
  Denied,    // the device is there but this user may not open it
};

PortAccess CheckPortAccess(int portNumber);

}  // namespace platform
