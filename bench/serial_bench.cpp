// serial_bench: our serial stack against the stacks a C++ or Python developer would pick
// instead, side by side, in one run on one pty pair. It plays the instrument on the master end
// and starts one client process per stack and run on the slave end (bench_client_*), alternating
// the stacks run by run; then it writes the tables into docs/PERFORMANCE.md.
//
//   serial_bench [--runs N] [--messages N] [--stream-mib N] [--idle-seconds N]
//                [--phases latency,stream,idle,cost] [--stacks ours,qserialport,...] [--out FILE]
//                [--tool-dir DIR]
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "bench/bench_peer.h"
#include "bench/bench_proc.h"
#include "bench/bench_results.h"
#include "bench/bench_wire.h"
#include "platform/pty.h"

using namespace bench;
namespace fs = std::filesystem;

namespace {

struct Options {
  unsigned runs = 5;
  unsigned messages = 2000;
  unsigned warmup = 200;
  uint64_t streamMiB = 64;
  unsigned idleSeconds = 20;
  std::set<std::string> phases{"latency", "stream", "idle", "cost"};
  std::vector<std::string> stacks{"poll", "libserialport", "qserialport", "ours", "oursbulk"};
  std::string out;
  std::string toolDir;  // where strace and callgrind outputs go (default: a temporary folder)
};

std::set<std::string> SplitSet(const std::string& text) {
  std::set<std::string> items;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) items.insert(item);
  return items;
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!v) {
      std::fprintf(stderr, "missing value for %s\n", a.c_str());
      std::exit(2);
    }
    ++i;
    if (a == "--runs") o.runs = static_cast<unsigned>(std::atoi(v));
    else if (a == "--messages") o.messages = static_cast<unsigned>(std::atoi(v));
    else if (a == "--stream-mib") o.streamMiB = std::strtoull(v, nullptr, 10);
    else if (a == "--idle-seconds") o.idleSeconds = static_cast<unsigned>(std::atoi(v));
    else if (a == "--phases") o.phases = SplitSet(v);
    else if (a == "--stacks") {
      std::set<std::string> wanted = SplitSet(v);
      std::vector<std::string> kept;
      for (const std::string& s : o.stacks)
        if (wanted.count(s)) kept.push_back(s);
      o.stacks = kept;
    } else if (a == "--out") o.out = v;
    else if (a == "--tool-dir") o.toolDir = v;
    else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      std::exit(2);
    }
  }
  return o;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + ", " + b + ", " + c;
}

void PinSelf(int cpu) {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (cpu >= 0) CPU_SET(cpu, &cpus);
  else
    for (long i = 0; i < sysconf(_SC_NPROCESSORS_ONLN); ++i) CPU_SET(i, &cpus);
  sched_setaffinity(0, sizeof cpus, &cpus);  // -1 + errno on failure: the run is then unpinned
}

// Parses "key=value" fields of a result line.
uint64_t Field(const std::string& line, const std::string& key) {
  const size_t at = line.find(" " + key + "=");
  return at == std::string::npos ? 0 : std::strtoull(line.c_str() + at + key.size() + 2, nullptr, 10);
}

std::vector<uint64_t> Latencies(const std::string& line) {
  std::vector<uint64_t> values;
  const size_t at = line.find(" ns=");
  if (at == std::string::npos) return values;
  const char* p = line.c_str() + at + 4;
  while (*p) {
    char* end = nullptr;
    values.push_back(std::strtoull(p, &end, 10));
    if (end == p) break;
    p = *end == ',' ? end + 1 : end;
  }
  return values;
}

class Bench {
public:
  Bench(const Options& options, const std::string& exeDir)
      : o_(options), dir_(exeDir), pty_(true), peer_(pty_.master()) {
    mapDir_ = fs::temp_directory_path() / ("serial_bench-" + std::to_string(getpid()));
    fs::create_directories(mapDir_);
    fs::create_symlink(pty_.slavePath(), mapDir_ / "com1");
    toolDir_ = o_.toolDir.empty() ? mapDir_ : fs::path(o_.toolDir);
    fs::create_directories(toolDir_);
    peer_.SetStreamBytes(o_.streamMiB * 1024 * 1024);
    const std::map<std::string, StackInfo> known{
        {"poll", {"poll", "poll()+read() (floor)", ""}},
        {"libserialport", {"libserialport", "libserialport",
                           "opened on the pty through an LD_PRELOAD shim (bench/sp_pty_shim.cpp) that makes its "
                           "sysfs look-up succeed and answers the modem-line ioctls a pty refuses"}},
        {"qserialport", {"qserialport", "QSerialPort", ""}},
        {"ours", {"ours", "TApdComPort, ReadChar handler (ours)", ""}},
        {"oursbulk", {"oursbulk", "TApdComPort, GetBlock handler (ours)",
                      "TApdComPort, GetBlock handler: the same client, its handler taking the announced bytes with "
                      "one GetBlock instead of ReadChar per byte (measured for latency, throughput and stream "
                      "instructions)"}},
    };
    for (const std::string& key : o_.stacks) results_.stacks.push_back(known.at(key));
    results_.runs = o_.runs;
    results_.messages = o_.messages;
    results_.streamBytes = o_.streamMiB * 1024 * 1024;
  }
  ~Bench() {
    std::error_code ignored;
    fs::remove_all(mapDir_, ignored);
  }

  Results& Run() {
    results_.loadBefore = LoadAverage();
    for (const char* placement : {"unpinned", "pinned"}) {
      if (!o_.phases.count("latency") && !o_.phases.count("stream")) break;
      Placement p;
      p.name = placement;
      const bool pinned = p.name == "pinned";
      PinSelf(pinned ? 0 : -1);
      const int cpu = pinned ? 1 : -1;
      if (o_.phases.count("latency")) {
        Hops(p, cpu);
        LatencyRounds(p, cpu);
      }
      if (o_.phases.count("stream")) StreamRounds(p, cpu);
      results_.placements.push_back(std::move(p));
    }
    PinSelf(-1);
    // The GetBlock client idles and exchanges as the ReadChar one does: only its stream costs.
    if (o_.phases.count("idle"))
      for (const std::string& s : o_.stacks)
        if (s != "oursbulk") Idle(s);
    if (o_.phases.count("cost")) {
      for (const std::string& s : o_.stacks) Cost(s, s == "oursbulk");
      DispatchPath();
    }
    results_.loadAfter = LoadAverage();
    return results_;
  }

private:
  ClientCommand Command(const std::string& stack, std::vector<std::string> args, int cpu) {
    ClientCommand c;
    c.argv.push_back((fs::path(dir_) / ("bench_client_" + stack)).string());
    const bool ours = stack.rfind("ours", 0) == 0;
    c.argv.push_back(ours ? "COM1" : pty_.slavePath());
    for (auto& a : args) c.argv.push_back(std::move(a));
    c.cpu = cpu;
    if (ours) c.env.push_back("DRAVIK_DEVICEMAP=" + mapDir_.string());
    if (stack == "libserialport") c.env.push_back("LD_PRELOAD=" + (fs::path(dir_) / "libsp_pty_shim.so").string());
    return c;
  }

  // A command run under a tool: the tool's arguments go in front of the client's.
  static ClientCommand Under(ClientCommand c, std::vector<std::string> tool) {
    tool.insert(tool.end(), c.argv.begin(), c.argv.end());
    c.argv = std::move(tool);
    return c;
  }

  RunOutcome Execute(const std::string& what, const ClientCommand& c, int timeoutMs = 120000,
                     const std::function<bool(pid_t)>& onReady = nullptr) {
    RunOutcome outcome = peer_.Run(c, onReady, timeoutMs);
    if (!outcome.ok) {
      results_.failures.push_back(what + ": " + outcome.error);
      std::fprintf(stderr, "  %s failed: %s\n", what.c_str(), outcome.error.c_str());
    }
    return outcome;
  }

  // Stack order for round r: rotated, so no stack always runs right after the same one.
  std::vector<std::string> Order(unsigned r) const {
    std::vector<std::string> order = o_.stacks;
    if (!order.empty()) std::rotate(order.begin(), order.begin() + (r % order.size()), order.end());
    return order;
  }

  void LatencyRounds(Placement& p, int cpu) {
    std::fprintf(stderr, "latency (%s)\n", p.name.c_str());
    for (unsigned r = 0; r < o_.runs; ++r)
      for (const std::string& s : Order(r)) {
        const RunOutcome out = Execute("latency " + s + " " + p.name,
                                       Command(s, {"latency", std::to_string(o_.warmup), std::to_string(o_.messages)}, cpu));
        if (!out.ok) continue;
        const std::vector<uint64_t> ns = Latencies(out.Result());
        if (ns.size() != o_.messages || Field(out.Result(), "bad") != 0) {
          results_.failures.push_back("latency " + s + " " + p.name + ": incomplete or bad replies");
          continue;
        }
        const RunLatency run = SummariseRun(ns);
        p.latency[s].push_back(run);
        std::fprintf(stderr, "  %-14s run %u: median %.1f us, p99 %.1f us\n", s.c_str(), r, run.medianUs, run.p99Us);
      }
  }

  // The cost of the thread hops our delivery path is built from, in the client's placement.
  void Hops(Placement& p, int cpu) {
    const fs::path program = fs::path(dir_) / "hop_bench";
    if (!fs::exists(program)) return;
    ClientCommand c;
    c.argv = {program.string(), "20000"};
    c.cpu = cpu;
    const RunOutcome out = Execute("hop_bench " + p.name, c);
    if (!out.ok) return;
    const std::string line = out.Result();
    p.eventHopUs = static_cast<double>(Field(line, "event_ns")) / 1000.0;
    p.sendRoundTripUs = static_cast<double>(Field(line, "send_ns")) / 1000.0;
    p.cvHopUs = static_cast<double>(Field(line, "cv_ns")) / 1000.0;
    std::fprintf(stderr, "  hops (%s): event %.1f us, send round trip %.1f us, condition variable %.1f us\n",
                 p.name.c_str(), p.eventHopUs, p.sendRoundTripUs, p.cvHopUs);
  }

  void StreamRounds(Placement& p, int cpu) {
    for (int stall = 0; stall < 2; ++stall) {
      std::fprintf(stderr, "stream%s (%s)\n", stall ? ", stalled" : "", p.name.c_str());
      for (unsigned r = 0; r < o_.runs; ++r)
        for (const std::string& s : Order(r)) {
          const RunOutcome out = Execute(
              "stream " + s + " " + p.name,
              Command(s, {"stream", std::to_string(results_.streamBytes), stall ? "1" : "0"}, cpu));
          if (!out.ok) continue;
          const std::string line = out.Result();
          StreamRun run;
          const uint64_t got = Field(line, "bytes"), ns = Field(line, "ns");
          run.lost = got < results_.streamBytes ? results_.streamBytes - got : 0;
          run.wrong = Field(line, "wrong");
          run.mbPerSecond = ns ? static_cast<double>(got) * 1000.0 / static_cast<double>(ns) : 0;
          (stall ? p.stalled : p.stream)[s].push_back(run);
          std::fprintf(stderr, "  %-14s run %u: %.1f MB/s, lost %llu, wrong %llu\n", s.c_str(), r, run.mbPerSecond,
                       static_cast<unsigned long long>(run.lost), static_cast<unsigned long long>(run.wrong));
        }
    }
  }

  void Idle(const std::string& s) {
    std::fprintf(stderr, "idle %s (%u s)\n", s.c_str(), o_.idleSeconds);
    IdleFigures f;
    const auto measure = [&](pid_t pid) {
      SleepNs(1'000'000'000);  // let the start settle
      const ProcSample a = ReadProcSample(pid);
      const uint64_t t0 = NowNs();
      SleepNs(static_cast<uint64_t>(o_.idleSeconds) * 1'000'000'000u);
      const ProcSample b = ReadProcSample(pid);
      f.seconds = static_cast<double>(NowNs() - t0) / 1e9;
      f.cpuMs = (b.cpuSeconds - a.cpuSeconds) * 1000.0;
      f.wakeupsPerSecond = static_cast<double>(b.contextSwitches - a.contextSwitches) / f.seconds;
      f.threads = b.threads;
      f.peakRssKiB = b.peakRssKiB;
      // A client that ended during the window (its /proc entry a zombie's, without VmHWM) was
      // not idle for it: no figures rather than zeros.
      f.measured = b.peakRssKiB != 0;
      if (!f.measured) std::fprintf(stderr, "  the client ended during the window\n");
      return true;  // now end the client
    };
    Execute("idle " + s, Command(s, {"idle"}, -1), static_cast<int>(o_.idleSeconds + 60) * 1000, measure);
    results_.idle[s] = f;
    std::fprintf(stderr, "  %.1f ms CPU, %.2f wake-ups/s, %u threads, %llu KiB peak\n", f.cpuMs, f.wakeupsPerSecond,
                 f.threads, static_cast<unsigned long long>(f.peakRssKiB));
  }

  // Total of a tool's count for one latency run of n exchanges; -1 when the run failed.
  double CountUnder(const std::string& tool, const std::string& s, unsigned n) {
    const std::string file = (toolDir_ / (tool + "." + s + "." + std::to_string(n))).string();
    ClientCommand c = Command(s, {"latency", "0", std::to_string(n)}, -1);
    if (tool == "strace") c = Under(c, {"strace", "-f", "-c", "-o", file});
    else c = Under(c, {"valgrind", "--tool=callgrind", "--callgrind-out-file=" + file});
    if (!Execute(tool + " " + s + " " + std::to_string(n), c, 600000).ok) return -1;
    return ToolTotal(tool, file);
  }

  // Total of a stream of `bytes` under callgrind; -1 when the run failed.
  double StreamInstructions(const std::string& s, uint64_t bytes) {
    const std::string file = (toolDir_ / ("callgrind.stream." + s + "." + std::to_string(bytes))).string();
    ClientCommand c = Under(Command(s, {"stream", std::to_string(bytes), "0"}, -1),
                            {"valgrind", "--tool=callgrind", "--callgrind-out-file=" + file});
    const uint64_t saved = results_.streamBytes;
    peer_.SetStreamBytes(bytes);
    const bool ok = Execute("callgrind stream " + s, c, 600000).ok;
    peer_.SetStreamBytes(saved);
    return ok ? ToolTotal("callgrind", file) : -1;
  }

  static double ToolTotal(const std::string& tool, const std::string& file) {
    std::ifstream in(file);
    std::string line;
    double total = -1;
    while (std::getline(in, line)) {
      if (tool == "strace") {
        // "100.00    0.001234         196      4567       12 total": calls is the fourth field (errors may be blank).
        std::istringstream fields(line);
        std::vector<std::string> f;
        std::string word;
        while (fields >> word) f.push_back(word);
        if (f.size() >= 5 && f.back() == "total") total = std::strtod(f[3].c_str(), nullptr);
      } else if (line.rfind("summary:", 0) == 0 || line.rfind("totals:", 0) == 0) {
        total = std::strtod(line.c_str() + line.find(':') + 1, nullptr);
      }
    }
    return total;
  }

  void Cost(const std::string& s, bool streamOnly) {
    std::fprintf(stderr, "cost %s\n", s.c_str());
    CostFigures f;
    if (!streamOnly) MessageCost(s, f);
    const uint64_t b1 = 1u << 20, b2 = 4u << 20;
    const double i1 = StreamInstructions(s, b1), i2 = StreamInstructions(s, b2);
    if (i1 >= 0 && i2 >= 0) f.instructionsPerByte = (i2 - i1) / static_cast<double>(b2 - b1);
    results_.cost[s] = f;
    std::fprintf(stderr, "  %.1f us CPU/msg, %.2f switches/msg, %.1f syscalls/msg, %.0f instr/msg, %.1f instr/byte\n",
                 f.cpuUsPerMessage, f.switchesPerMessage, f.syscallsPerMessage, f.instructionsPerMessage,
                 f.instructionsPerByte);
  }

  // The per-message figures of a stack: rusage, strace and callgrind, each from two run lengths.
  void MessageCost(const std::string& s, CostFigures& f) {
    // rusage: runs of 1000 and 5000 exchanges.
    const unsigned n1 = 1000, n2 = 5000;
    const RunOutcome a = Execute("cost " + s, Command(s, {"latency", "0", std::to_string(n1)}, -1));
    const RunOutcome b = Execute("cost " + s, Command(s, {"latency", "0", std::to_string(n2)}, -1));
    if (a.ok && b.ok) {
      f.cpuUsPerMessage = (b.cpuSeconds - a.cpuSeconds) * 1e6 / (n2 - n1);
      f.switchesPerMessage = (static_cast<double>(b.contextSwitches) - static_cast<double>(a.contextSwitches)) / (n2 - n1);
    }
    const double s1 = CountUnder("strace", s, 500), s2 = CountUnder("strace", s, 2500);
    if (s1 >= 0 && s2 >= 0) f.syscallsPerMessage = (s2 - s1) / 2000.0;
    const double c1 = CountUnder("callgrind", s, 200), c2 = CountUnder("callgrind", s, 1200);
    if (c1 >= 0 && c2 >= 0) f.instructionsPerMessage = (c2 - c1) / 1000.0;
  }

  // dispatch_bench under callgrind with 1 MiB and 4 MiB: instructions per byte of the dispatch path.
  void DispatchPath() {
    const fs::path program = fs::path(dir_) / "dispatch_bench";
    if (!fs::exists(program)) return;
    double totals[2] = {-1, -1};
    const uint64_t sizes[2] = {1u << 20, 4u << 20};
    for (int i = 0; i < 2; ++i) {
      const std::string file = (toolDir_ / ("callgrind.dispatch." + std::to_string(i))).string();
      const std::string command = "valgrind --tool=callgrind --callgrind-out-file=" + file + " " + program.string() +
                                  " " + std::to_string(sizes[i]) + " >/dev/null 2>&1";
      if (std::system(command.c_str()) == 0) totals[i] = ToolTotal("callgrind", file);
    }
    if (totals[0] >= 0 && totals[1] >= 0)
      results_.dispatchInstructionsPerByte = (totals[1] - totals[0]) / static_cast<double>(sizes[1] - sizes[0]);
    std::fprintf(stderr, "dispatch path: %.1f instructions/byte\n", results_.dispatchInstructionsPerByte);
  }

  const Options o_;
  const std::string dir_;
  platform::PtyPair pty_;
  Peer peer_;
  fs::path mapDir_;
  fs::path toolDir_;
  Results results_;
};

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  const std::string exeDir = fs::canonical("/proc/self/exe").parent_path().string();
  Bench bench(options, exeDir);
  const Results& results = bench.Run();
  const std::string report = RenderReport(results);
  std::fputs(report.c_str(), stdout);
  if (!options.out.empty() && !WriteReport(options.out, report)) {
    std::fprintf(stderr, "cannot write %s\n", options.out.c_str());
    return 1;
  }
  return results.failures.empty() ? 0 : 1;
}
