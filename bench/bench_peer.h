// The instrument's side of the benchmark: the peer that owns the pty master and serves one
// client process per run (answers every request, streams the counting pattern, ends an idle
// client), and the starting of that client process.
#pragma once
#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct ClientCommand {
  std::vector<std::string> argv;      // argv[0] is the program (a path, or a name found on PATH)
  std::vector<std::string> env;       // extra NAME=value entries
  int cpu = -1;                       // pin the client to this CPU; -1 = any
};

// What a finished run reports.
struct RunOutcome {
  bool ok = false;
  std::string error;                  // why not ok
  std::vector<std::string> lines;     // the client's stdout lines
  double cpuSeconds = 0;              // user + system time of the client (rusage)
  uint64_t contextSwitches = 0;       // voluntary + involuntary (rusage, all threads)
  uint64_t peakRssKiB = 0;            // ru_maxrss
  // The "result ..." line, or empty.
  std::string Result() const;
};

class Peer {
public:
  // Takes the master end (non-blocking); it stays the caller's.
  explicit Peer(int master);

  // Stream length answered to a stream request.
  void SetStreamBytes(uint64_t bytes) { streamBytes_ = bytes; }

  // Runs the client to its end, serving its requests. onReady runs once the client has said
  // "ready" (its port is open); when it returns true the peer then sends the client its end byte.
  // The run is abandoned (the client killed) after timeoutMs.
  RunOutcome Run(const ClientCommand& command, const std::function<bool(pid_t)>& onReady, int timeoutMs);

private:
  void Flush();
  bool WritePending();

  const int master_;
  uint64_t streamBytes_ = 0;
  uint64_t streamSent_ = 0;
  bool streaming_ = false;
  std::string request_;               // bytes of the request being received
  std::string pending_;               // reply bytes not yet taken by the pty
  std::vector<uint8_t> chunk_;        // the stream's next bytes
  std::size_t chunkOffset_ = 0, chunkLength_ = 0;
};

}  // namespace bench
