// The regime file: a good file's regimes after the built-in ones; a syntax error named by file
// and line; each kind of bad content named by regime and rule; a missing, unreadable or huge
// file; the built-in regimes available whatever the file holds.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "protocol/json/RegimeFile.h"

namespace {

QByteArray File(const char* regimes) {
  return QByteArray(R"({"format": "dravik-regimes/1", "regimes": [)") + regimes + "]}";
}
const char* const kFleet =
    R"({"name": "Fleet", "rules": [{"brake": "main", "reading": "mean", "minimum": 45.5, "source": "fleet policy 7"},
                                   {"brake": "parking", "reading": "peak", "minimum": 18, "source": "fleet policy 8"}]})";

}  // namespace

TEST(RegimeFile, AGoodFileAddsItsRegimesAfterTheBuiltInOnes) {
  QTemporaryDir dir;
  const QString path = dir.filePath("regimes.json");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(File(kFleet));
  f.close();
  const protocol_json::RegimeFile all = protocol_json::AvailableRegimes(path);
  EXPECT_TRUE(all.error.isEmpty()) << all.error.toStdString();
  ASSERT_EQ(all.regimes.size(), 3u);
  EXPECT_EQ(all.regimes[0], protocol::BuiltInRegimes()[0]);
  const protocol::Regime fleet{"Fleet",
                               {{protocol::BrakeKind::Main, protocol::Reading::Mean, 45.5, "fleet policy 7"},
                                {protocol::BrakeKind::Parking, protocol::Reading::Peak, 18, "fleet policy 8"}}};
  EXPECT_EQ(all.regimes[2], fleet);

  // No file is no error.
  const protocol_json::RegimeFile none = protocol_json::AvailableRegimes(dir.filePath("absent.json"));
  EXPECT_TRUE(none.error.isEmpty());
  EXPECT_EQ(none.regimes, protocol::BuiltInRegimes());
}

TEST(RegimeFile, ASyntaxErrorNamesTheFileAndTheLine) {
  const QByteArray text = "{\n  \"format\": \"dravik-regimes/1\",\n  \"regimes\": [\n    {\"name\": \"x\" \"rules\": []}\n]}";
  const protocol_json::RegimeFile file = protocol_json::ParseRegimeFile(text, "/home/u/regimes.json");
  EXPECT_TRUE(file.regimes.empty());
  EXPECT_TRUE(file.error.contains("\"/home/u/regimes.json\"")) << file.error.toStdString();
  EXPECT_TRUE(file.error.contains("line 4, column")) << file.error.toStdString();
  EXPECT_TRUE(file.error.contains("built-in regimes are still available"));
}

TEST(RegimeFile, BadContentIsNamedByRegimeAndRule) {
  const std::pair<QByteArray, const char*> cases[] = {
      {"[]", "the file must hold one JSON object"},
      {R"({"regimes": []})", "\"format\" must be \"dravik-regimes/1\""},
      {R"({"format": "dravik-regimes/2", "regimes": []})", "not \"dravik-regimes/2\""},
      {File(R"({"rules": []})"), "regime 1: \"name\" must be a text"},
      {File(R"({"name": "UK MOT class 4, other", "rules": []})"), "another regime already has this name"},
      {File((QByteArray(kFleet) + "," + kFleet).constData()), "regime 2 (\"Fleet\"): another regime"},
      {File(R"({"name": "A", "rules": []})"), "regime 1 (\"A\"): \"rules\" must be a list of rules"},
      {File(R"({"name": "A", "rules": [{"brake": "front", "reading": "peak", "minimum": 5, "source": "s"}]})"),
       "regime 1 (\"A\"), rule 1: \"brake\" must be"},
      {File(R"({"name": "A", "rules": [{"brake": "main", "reading": "max", "minimum": 5, "source": "s"}]})"),
       "rule 1: \"reading\" must be \"peak\" or \"mean\""},
      {File(R"({"name": "A", "rules": [{"brake": "main", "reading": "peak", "minimum": 101, "source": "s"}]})"),
       "from 0 to 100"},
      {File(R"({"name": "A", "rules": [{"brake": "main", "reading": "peak", "minimum": 50, "source": " "}]})"),
       "rule 1: \"source\" must be a text that is not empty"},
      {File(R"({"name": "A", "rules": [{"brake": "main", "reading": "peak", "minimum": 50, "source": "s"},
                                       {"brake": "main", "reading": "mean", "minimum": 40, "source": "s"}]})"),
       "rule 2: the regime already has a rule for this brake"},
  };
  for (const auto& [text, message] : cases) {
    const protocol_json::RegimeFile file = protocol_json::ParseRegimeFile(text, "r.json");
    EXPECT_TRUE(file.regimes.empty());
    EXPECT_TRUE(file.error.startsWith("The regimes in \"r.json\" cannot be used: ")) << file.error.toStdString();
    EXPECT_TRUE(file.error.contains(QString::fromUtf8(message))) << file.error.toStdString();
  }
}

TEST(RegimeFile, UnreadableAndHugeFilesLeaveTheBuiltInRegimes) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("regimes.json"));  // a folder where the file should be
  QFile huge(dir.filePath("huge.json"));
  ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
  huge.write(QByteArray(protocol_json::kRegimeFileMaxBytes + 1, ' '));
  huge.close();
  for (const QString& path : {dir.filePath("regimes.json"), dir.filePath("huge.json")}) {
    const protocol_json::RegimeFile all = protocol_json::AvailableRegimes(path);
    EXPECT_TRUE(all.error.contains(path)) << all.error.toStdString();
    EXPECT_EQ(all.regimes, protocol::BuiltInRegimes());
  }
}
