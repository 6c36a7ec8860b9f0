// Option parsing of dravik-sim: options become one JSON object applied over the --config file.
#include "sim/Options.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>

#include "sim/InstrumentJson.h"

namespace sim {
namespace {

// Option name -> JSON key for the options that carry one value as is.
struct Simple {
  const char* option;
  const char* key;
};
constexpr Simple kSimple[] = {{"--model", "model"},
                              {"--serial", "serial"},
                              {"--version", "version"},
                              {"--feature", "feature"},
                              {"--flags", "flags"},
                              {"--calibration", "calibration"},
                              {"--service-centre", "serviceCentre"},
                              {"--clock", "clock"},
                              {"--temperature", "temperature"},
                              {"--battery", "battery"},
                              {"--delay", "delay"}};

QStringList Split(const std::string& text, char sep) {
  return QString::fromStdString(text).split(QLatin1Char(sep));
}

}  // namespace

std::string Usage() {
  return "usage: dravik-sim [options]\n"
         "A simulated dravik instrument on a pseudo-terminal, registered as a comN link in the\n"
         "device-map folder. Prints \"COM<n> <tty>\" as its first line.\n"
         "  --config FILE           instrument from a JSON file (keys as the options below;\n"
         "                          samples in the source tree under sim/instruments/)\n"
         "  --model plus|plain      --serial XXXX          --version C (\"\" for none)\n"
         "  --flags N               --feature N            --setup A,B,C,D\n"
         "  --calibration yymmdd    --service-centre XXX   --clock yymmddhhmmss\n"
         "  --temperature N         --battery N            (raw bytes; N decimal or 0x hex)\n"
         "  --test N:key=value,...  test N (1-3): stop, spare, angle, mean, peak, date (yymmdd),\n"
         "                          time (hhmm), speed, distance\n"
         "  --delay MS              reply delay (default 15)\n"
         "  --fault RULE            inject a fault, repeatable: KIND[=ARG][@COMMAND][#N][*COUNT]\n"
         "                          KIND: noreply checksum lowercase address garbage[=TEXT]\n"
         "                          linefeed split[=PIECES/GAPMS] type[=C] endless delay=MS\n"
         "  --control stdin|FIFO    read commands: state, set JSON, fault RULE, faults clear, quit\n"
         "                          (with stdin, end of input also ends the simulator)\n"
         "  --com N                 register as COM N (1-255) instead of above every number in\n"
         "                          use; replaces a link comN whose device is gone (a simulator\n"
         "                          that was killed), refuses one whose device is there\n"
         "  --help\n";
}

bool ParseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error,
                  bool (*readFile)(const std::string& path, std::string& text)) {
  QJsonObject overrides;
  QJsonArray tests{QJsonValue(), QJsonValue(), QJsonValue()};
  bool anyTest = false;
  QJsonArray faults;
  std::string configFile;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    if (opt == "--help" || opt == "-h") {
      options.help = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = "unknown option or missing value: " + opt;
      return false;
    }
    const std::string value = args[++i];
    bool done = false;
    for (const Simple& s : kSimple) {
      if (opt == s.option) {
        overrides[s.key] = QString::fromStdString(value);
        done = true;
      }
    }
    if (done) continue;
    if (opt == "--config") {
      configFile = value;
    } else if (opt == "--control") {
      options.control = value;
    } else if (opt == "--com") {
      int n = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (ec != std::errc{} || end != value.data() + value.size() || n < 1 || n > 255) {
        error = "--com takes a port number from 1 to 255";
        return false;
      }
      options.com = n;
    } else if (opt == "--fault") {
      faults.append(QString::fromStdString(value));
    } else if (opt == "--setup") {
      QJsonArray bytes;
      for (const QString& b : Split(value, ',')) bytes.append(b);
      overrides["setup"] = bytes;
    } else if (opt == "--test") {
      const auto colon = value.find(':');
      const int n = colon == 1 ? value[0] - '0' : 0;
      if (n < 1 || n > 3) {
        error = "--test takes N:key=value,... with N from 1 to 3";
        return false;
      }
      QJsonObject test = tests[n - 1].toObject();
      for (const QString& kv : Split(value.substr(2), ',')) {
        const auto eq = kv.indexOf('=');
        if (eq <= 0) {
          error = "--test: '" + kv.toStdString() + "' is not key=value";
          return false;
        }
        test[kv.left(eq)] = kv.mid(eq + 1);
      }
      tests[n - 1] = test;
      anyTest = true;
    } else {
      error = "unknown option: " + opt;
      return false;
    }
  }
  if (anyTest) overrides["tests"] = tests;
  if (!faults.isEmpty()) overrides["faults"] = faults;

  if (!configFile.empty()) {
    std::string text;
    if (!readFile(configFile, text)) {
      error = "cannot read " + configFile;
      return false;
    }
    if (!ApplySetupJson(text, options.setup, options.faults, error)) {
      error = configFile + ": " + error;
      return false;
    }
  }
  const std::string json = QJsonDocument(overrides).toJson(QJsonDocument::Compact).toStdString();
  return ApplySetupJson(json, options.setup, options.faults, error);
}

}  // namespace sim
