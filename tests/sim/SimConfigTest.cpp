// The simulator's JSON setup, options and control commands.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "protocol/Decoders.h"

#include "sim/Control.h"
#include "sim/InstrumentJson.h"
#include "sim/Options.h"

namespace {

using sim::InstrumentSetup;

bool NoFile(const std::string&, std::string&) { return false; }

TEST(SimJson, AppliesKeysAndRejectsBadInput) {
  InstrumentSetup s;
  std::vector<sim::FaultRule> faults;
  std::string error;
  ASSERT_TRUE(sim::ApplySetupJson(R"({"model":"plain","serial":"4711","version":"","flags":"0x2400",
      "setup":[1,2,"0x03",4],"clock":"050312121500","battery":200,
      "tests":[null,{"stop":"0x00FA","date":"051201"}],"faults":["noreply@Q"]})",
                                  s, faults, error))
      << error;
  EXPECT_FALSE(s.plusModel());
  EXPECT_EQ(s.serial, "4711");
  EXPECT_EQ(s.version, "");
  EXPECT_EQ(s.flagsWord, 0x2400);
  EXPECT_EQ(s.setup, (std::array<uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(s.clock, (sim::CivilTime{2005, 3, 12, 12, 15, 0}));
  EXPECT_EQ(s.battery, 200);
  EXPECT_EQ(s.tests[0], InstrumentSetup::DefaultTests()[0]) << "null leaves a test as it is";
  EXPECT_EQ(s.tests[1].stop, 250);
  EXPECT_EQ(s.tests[1].date, "051201");
  EXPECT_EQ(s.tests[1].mean, InstrumentSetup::DefaultTests()[1].mean);
  ASSERT_EQ(faults.size(), 1u);

  const InstrumentSetup before = s;
  for (const char* bad : {R"({"serial":"12345"})", R"({"serial":"####"})", R"({"flags":70000})",
                          R"({"battery":-1})", R"({"model":"huge"})", R"({"clock":"261308000000"})",
                          R"({"tests":[{"peak":1},{},{},{}]})", R"({"tests":[{"colour":1}]})",
                          R"({"serviceCentre":"A:B"})", R"({"faults":["bogus"]})", R"({"unknown":1})",
                          R"([1,2])", "{not json"}) {
    error.clear();
    EXPECT_FALSE(sim::ApplySetupJson(bad, s, faults, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_EQ(s.serial, before.serial);
  EXPECT_EQ(s.flagsWord, before.flagsWord);
  EXPECT_EQ(faults.size(), 1u) << "a failed apply changes nothing";
}

TEST(SimJson, StateLineFeedsBackAsConfiguration) {
  InstrumentSetup s;
  s.flagsWord = 0x1234;
  s.tests[2].peak = 999;
  sim::Instrument a(s, {2026, 1, 2, 3, 4, 5}, 0);
  sim::FaultPlan plan;
  const std::string state = sim::StateJson(a, plan, 2'000);
  EXPECT_NE(state.find("\"clock\":\"260102030407\""), std::string::npos) << state;
  EXPECT_EQ(state.find('\n'), std::string::npos) << "one line";

  InstrumentSetup b;
  std::vector<sim::FaultRule> faults;
  std::string error;
  ASSERT_TRUE(sim::ApplySetupJson(state, b, faults, error)) << error;
  EXPECT_EQ(b.flagsWord, 0x1234);
  EXPECT_EQ(b.tests, s.tests);
  EXPECT_EQ(b.clock, (sim::CivilTime{2026, 1, 2, 3, 4, 7}));
}

TEST(SimOptions, OptionsOverrideTheConfigFile) {
  sim::SimOptions o;
  std::string error;
  const auto file = [](const std::string& path, std::string& text) {
    if (path != "inst.json") return false;
    text = R"({"serial":"1111","flags":1,"faults":["linefeed"]})";
    return true;
  };
  ASSERT_TRUE(sim::ParseOptions({"--flags", "0x2400", "--config", "inst.json", "--test", "2:peak=0x28A,speed=30",
                                 "--fault", "noreply@0", "--setup", "9,8,7,6", "--control", "stdin", "--com", "12"},
                                o, error, file))
      << error;
  EXPECT_EQ(o.setup.serial, "1111");
  EXPECT_EQ(o.setup.flagsWord, 0x2400) << "the option wins over the file, whatever the order";
  EXPECT_EQ(o.setup.tests[1].peak, 0x28A);
  EXPECT_EQ(o.setup.tests[1].speed, 30);
  EXPECT_EQ(o.setup.setup, (std::array<uint8_t, 4>{9, 8, 7, 6}));
  EXPECT_EQ(o.faults.size(), 2u);
  EXPECT_EQ(o.control, "stdin");
  EXPECT_EQ(o.com, 12);

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--bogus", "1"}, {"--serial"}, {"--test", "4:peak=1"}, {"--test", "1:peak"},
           {"--config", "missing.json"}, {"--fault", "nonsense"}, {"--setup", "1,2,3"},
           {"--com", "0"}, {"--com", "256"}, {"--com", "3x"}}) {
    sim::SimOptions fresh;
    error.clear();
    EXPECT_FALSE(sim::ParseOptions(bad, fresh, error, NoFile)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
  sim::SimOptions help;
  EXPECT_TRUE(sim::ParseOptions({"--help"}, help, error, NoFile));
  EXPECT_TRUE(help.help);
}

// The sample instruments shipped for the demo load and decode as they describe themselves.
TEST(SimJson, SampleInstruments) {
  struct Row {
    const char* file;
    bool plus;
    const char* peak1;     // test 1's peak box
    const char* distance;  // test 1's distance box
  };
  const Row rows[] = {{"plus-percent-g.json", true, "65.0 %g", "29.1 mtr"},
                      {"plain-imperial.json", false, "61.0 %g", "96 feet"},
                      {"plus-metric-ms2.json", true, "7.45 m/s/s", "41.2 mtr"}};
  for (const Row& r : rows) {
    std::ifstream in(std::string(DRAVIK_SOURCE_DIR) + "/sim/instruments/" + r.file);
    ASSERT_TRUE(in) << r.file;
    std::ostringstream text;
    text << in.rdbuf();
    InstrumentSetup s;
    std::vector<sim::FaultRule> faults;
    std::string error;
    ASSERT_TRUE(sim::ApplySetupJson(text.str(), s, faults, error)) << r.file << ": " << error;
    EXPECT_EQ(s.plusModel(), r.plus) << r.file;
    sim::Instrument instrument(s, {2026, 12, 8, 12, 0, 0}, 0);
    const auto ask = [&](const std::string& body) {
      std::string req = protocol::BuildRequest(s.serial, body);
      req.pop_back();
      std::string reply = instrument.Handle(req, 0).value().reply;
      reply.pop_back();
      return reply;
    };
    const decoders::ConfigView view = decoders::ShowConfigFlags(s.flagsWord, s.featureWord);
    const decoders::ResultUnits units{view.boxes.flags15, view.boxes.flags14, view.boxes.flags17};
    EXPECT_EQ(decoders::DecodeResultBlock(ask("820"), units).peak, r.peak1) << r.file;
    EXPECT_EQ(decoders::DecodeResultBlock(ask("828"), units).distance, r.distance) << r.file;
  }
}

TEST(SimControl, Commands) {
  sim::Instrument instrument(InstrumentSetup{}, {2026, 1, 1, 0, 0, 0}, 0);
  sim::FaultPlan plan;
  const auto run = [&](const std::string& line) { return sim::HandleControl(line, instrument, plan, 0); };
  EXPECT_FALSE(run("  ").has_value());
  EXPECT_EQ(run("fault checksum@0")->line, "ok");
  EXPECT_EQ(plan.Specs().size(), 1u);
  EXPECT_EQ(run("fault nonsense")->line.rfind("error: ", 0), 0u);
  EXPECT_EQ(run("set {\"flags\":\"0x0400\",\"clock\":\"260101120000\"}")->line, "ok");
  EXPECT_EQ(instrument.setup().flagsWord, 0x0400);
  EXPECT_EQ(sim::FormatClock(instrument.ClockAt(0)), "260101120000");
  EXPECT_EQ(run("set {\"flags\":")->line.rfind("error: ", 0), 0u);
  const std::string state = run("state\r")->line;
  EXPECT_NE(state.find("\"flags\":1024"), std::string::npos) << state;
  EXPECT_NE(state.find("\"activeFaults\":[\"checksum@0\"]"), std::string::npos) << state;
  EXPECT_EQ(run("faults clear")->line, "ok");
  EXPECT_TRUE(plan.Specs().empty());
  EXPECT_EQ(run("dance")->line.rfind("error: ", 0), 0u);
  const auto quit = run("quit");
  EXPECT_TRUE(quit->quit);
  EXPECT_EQ(quit->line, "bye");
}

}  // namespace
