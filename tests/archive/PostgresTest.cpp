// The archive on a real PostgreSQL server that the test starts itself: two lanes keeping into
// one database and reading each other's read-outs, the password from PGPASSWORD or a password
// file, a newer schema left alone, and the server stopped and started again while connected.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "tests/archive/ArchiveTestSupport.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/QtTestEnvironment.h"

namespace {

::testing::Environment* const environment =
    RegisterQtTestEnvironment<QCoreApplication>([] { std::setlocale(LC_ALL, "C"); });

using archive::Archive;

class PostgresTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(server.Running()) << server.Error();
    ASSERT_TRUE(server.CreateDatabase("brakes"));
    const archive::LocationResult parsed = archive::ParseLocation(server.Url("brakes"), "");
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    where = parsed.location;
  }
  PostgresServer server;
  archive::Location where;
};

TEST_F(PostgresTest, TwoLanesKeepIntoOneDatabaseAndReadEachOthersReadOuts) {
  qputenv("PGPASSWORD", PostgresServer::kPassword);
  Archive lane1, lane2;
  ASSERT_TRUE(lane1.Open(where)) << lane1.Error();
  ASSERT_TRUE(lane2.Open(where)) << lane2.Error();
  protocol::ReadoutRecord r = ReadoutWithPeak(650);
  r.vehicle = "AB12 CDE";
  r.examiner = "Jörg";
  r.brakeTicked = {true, false, false};
  const auto kept = lane1.Keep(r);
  ASSERT_TRUE(kept && kept->kept) << lane1.Error();
  ASSERT_TRUE(lane2.Keep(ReadoutWithPeak(480, "0042")));
  EXPECT_FALSE(lane2.Keep(r)->kept);  // the same results again, from the other lane

  const auto back = lane2.Load(kept->id);
  ASSERT_TRUE(back) << lane2.Error();
  EXPECT_EQ(back->state.frames, r.state.frames);
  EXPECT_EQ(back->state.tests[0].peak, "65.0 %g");
  EXPECT_EQ(back->examiner, "Jörg");
  EXPECT_EQ(back->brakeTicked, r.brakeTicked);
  EXPECT_EQ(lane2.Find({.vehicle = "ab12cde", .vehicleExact = true}), std::vector<int64_t>{kept->id});
  std::optional<QSqlQuery> rows = lane1.TestRows({.serial = "0042"});
  ASSERT_TRUE(rows) << lane1.Error();
  int count = 0;
  while (rows->next()) ++count;
  EXPECT_EQ(count, 3);
  rows.reset();

  // A newer program's schema: read-only, not altered.
  QSqlQuery newer(lane1.Database());
  ASSERT_TRUE(newer.exec(QStringLiteral("UPDATE dravik_schema SET version = 2")));
  Archive lane3;
  ASSERT_TRUE(lane3.Open(where)) << lane3.Error();
  EXPECT_TRUE(lane3.ReadOnly());
  EXPECT_FALSE(lane3.Keep(ReadoutWithPeak(123)));
  EXPECT_TRUE(lane3.Load(kept->id));
  qunsetenv("PGPASSWORD");
}

TEST_F(PostgresTest, TheNextWriteReconnectsAfterTheServerRestarted) {
  qputenv("PGPASSFILE", server.PasswordFile().c_str());
  Archive a;
  ASSERT_TRUE(a.Open(where)) << a.Error();
  const int64_t before = a.Keep(ReadoutWithPeak(100))->id;

  ASSERT_TRUE(server.Stop());
  EXPECT_FALSE(a.Keep(ReadoutWithPeak(200)));  // told, not lost silently
  EXPECT_FALSE(a.Error().empty());
  ASSERT_TRUE(server.Start()) << server.Error();

  const auto after = a.Keep(ReadoutWithPeak(300));
  ASSERT_TRUE(after) << a.Error();
  EXPECT_TRUE(a.Load(before));
  EXPECT_EQ(a.Find({}), (std::vector<int64_t>{before, after->id}));
  qunsetenv("PGPASSFILE");

  Archive noPassword;
  EXPECT_FALSE(noPassword.Open(where));
  EXPECT_NE(noPassword.Error().find("could not be reached"), std::string::npos) << noPassword.Error();
}

}  // namespace
