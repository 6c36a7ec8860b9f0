// The name of the running operating system, for diagnostic headers (the dispatch log dump).
#pragma once
#include <string>

namespace platform {

// For example "Linux 6.1.0-18-amd64 (x86_64)" or "Windows NT 10.0 (build 19045)"; "Unknown"
// when the system does not say.
std::string OperatingSystemName();

}  // namespace platform
