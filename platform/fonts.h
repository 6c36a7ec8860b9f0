// Where the window's font comes from when the system does not have it. The window is laid out
// in Tahoma; Windows has it, Linux usually does not, and Debian's fonts-wine package ships a
// metric-compatible Tahoma under its own folder, outside fontconfig's search path.
#pragma once
#include <string>
#include <vector>

namespace platform {

// Font files the program loads into its own font list when the system lacks Tahoma: the ones
// of the metric-compatible Tahoma (regular and bold) that exist on this machine. Empty where the
// system has Tahoma of its own (Windows) or no such files are installed.
std::vector<std::string> TahomaFontFiles();

}  // namespace platform
