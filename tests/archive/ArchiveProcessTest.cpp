// Programs writing one SQLite archive: killed with SIGKILL in the middle of a burst of writes,
// every read-out it had committed is there afterwards and the file passes integrity_check; two
// writing at once both get every read-out in (the second waits in the busy time-out).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <csignal>

#include "tests/archive/ArchiveTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/QtTestEnvironment.h"

namespace {

::testing::Environment* const environment = RegisterQtTestEnvironment<QCoreApplication>();

class ArchiveProcessTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  std::unique_ptr<ChildProcess> Writer(const char* serial, int count) {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{ARCHIVE_WRITER_CHILD, path.toStdString(), serial, std::to_string(count)});
  }
  // Reads the ids a writer printed until it has printed `count` or its output ends.
  static std::vector<int64_t> Ids(ChildProcess& writer, std::size_t count) {
    std::vector<int64_t> ids;
    while (ids.size() < count) {
      const std::string line = writer.ReadLine(20000);
      if (line.empty()) break;
      ids.push_back(std::stoll(line));
    }
    return ids;
  }
  void ExpectAllThere(const std::vector<int64_t>& ids) {
    archive::Archive a;
    ASSERT_TRUE(a.Open(SqliteAt(path))) << a.Error();
    for (int64_t id : ids) EXPECT_TRUE(a.Load(id)) << a.Error();
    EXPECT_EQ(IntegrityCheck(a), "ok");
  }
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("archive.sqlite"));
};

TEST_F(ArchiveProcessTest, EveryCommittedReadOutSurvivesSigkillInABurst) {
  auto writer = Writer("0123", 1'000'000);
  const std::vector<int64_t> ids = Ids(*writer, 150);
  ASSERT_EQ(ids.size(), 150u);
  writer->Stop(SIGKILL);  // in the middle of the next transactions
  ExpectAllThere(ids);
}

TEST_F(ArchiveProcessTest, TwoWritersAtOnceLoseNoReadOut) {
  auto first = Writer("0001", 150), second = Writer("0002", 150);
  std::vector<int64_t> ids = Ids(*first, 150);
  const std::vector<int64_t> more = Ids(*second, 150);
  ASSERT_TRUE(first->WaitExit(30000) && second->WaitExit(30000));
  EXPECT_EQ(first->Stop(0), 0);
  EXPECT_EQ(second->Stop(0), 0);
  ASSERT_EQ(ids.size() + more.size(), 300u);
  ids.insert(ids.end(), more.begin(), more.end());
  ExpectAllThere(ids);
  archive::Archive a;
  ASSERT_TRUE(a.Open(SqliteAt(path), archive::Archive::Mode::ReadOnly));
  EXPECT_EQ(a.Find({})->size(), 300u);
}

}  // namespace
