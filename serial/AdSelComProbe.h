// Port probing: whether a COM port can be used now. The "Select Port" dialog lists the ports
// this finds; it opens each device for a moment, writes no settings, starts no thread and sends
// nothing. Standard library and platform/ only (the dialog itself is the Qt part of AdSelCom).
#pragma once
#include <string>

// Probe through a temporary, owner-less TApdWin32Dispatcher (true) or by opening the device
// directly (false).
inline bool ProbeWithDispatcher = true;
// A port whose open fails with "access denied" (error 5: it exists but another program holds
// it) counts as available.
inline bool BusyCountsAsAvailable = true;

// The device path of port Number: "\\.\COM12" for 12.
std::string ComDevicePath(int Number);

// True when port Number can be opened now, or, with BusyCountsAsAvailable, exists but is held
// by another program. Port 0 never is. User-interface thread.
bool PortAvailable(int Number);
