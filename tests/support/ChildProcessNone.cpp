// No child processes on Windows: the simulator and the helper programs the tests start run on
// Linux only, and the Windows build of the guided tour is given a port instead (--port).
#include <stdexcept>

#include "tests/support/ChildProcess.h"

ChildProcess::ChildProcess(std::vector<std::string>, bool) {
  throw std::runtime_error("programs are not started from the Windows build");
}
ChildProcess::~ChildProcess() = default;
std::string ChildProcess::ReadLine(int) { return {}; }
bool ChildProcess::Write(const std::string&) { return false; }
void ChildProcess::CloseInput() {}
bool ChildProcess::WaitExit(int) { return true; }
int ChildProcess::Stop(int) { return -1; }
void ChildProcess::Kill() {}
bool ChildProcess::ReadToEnd(std::string&, std::string&, int) { return false; }

ProgramRun RunProgram(std::vector<std::string>, int) { return {}; }
