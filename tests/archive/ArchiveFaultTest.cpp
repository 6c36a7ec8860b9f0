// The archive on files that go wrong: a newer schema, a file that is not an archive or is
// corrupt, a read-only folder and a full disk. Each leaves a clear message, leaves what it must
// not change untouched, and breaks nothing else. Where root may mount file systems (CI), the
// read-only folder and the full disk are real tmpfs mounts.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include "tests/archive/ArchiveTestSupport.h"
#include "tests/support/QtTestEnvironment.h"

namespace {

::testing::Environment* const environment =
    RegisterQtTestEnvironment<QCoreApplication>([] { std::setlocale(LC_ALL, "C"); });

using archive::Archive;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Runs `sql` on a connection of its own, as another program would.
void RunSql(const QString& path, const QStringList& sql) {
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
    db.setDatabaseName(path);
    ASSERT_TRUE(db.open());
    for (const QString& statement : sql) {
      QSqlQuery q(db);
      ASSERT_TRUE(q.exec(statement)) << q.lastError().text().toStdString();
    }
  }
  QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

// A tmpfs of `size` mounted on `folder` while it lives (root only; Mounted() false elsewhere).
class Tmpfs {
public:
  Tmpfs(const QString& folder, const char* size) : folder_(folder.toStdString()) {
    mounted_ = ::geteuid() == 0 &&
               std::system(("mount -t tmpfs -o size=" + std::string(size) + ",mode=0700 tmpfs '" + folder_ + "'").c_str()) == 0;
  }
  ~Tmpfs() {
    if (mounted_) std::system(("umount -l '" + folder_ + "'").c_str());  // lazily: a file may still be open
  }
  bool Mounted() const { return mounted_; }
  bool MakeReadOnly() { return std::system(("mount -o remount,ro '" + folder_ + "'").c_str()) == 0; }

private:
  std::string folder_;
  bool mounted_ = false;
};

class ArchiveFaultTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString Path(const char* name) const { return dir.filePath(QLatin1String(name)); }
  QTemporaryDir dir;
  Archive a;
};

TEST_F(ArchiveFaultTest, ANewerSchemaIsOpenedReadOnlyAndNeverAltered) {
  const QString path = Path("archive.sqlite");
  ASSERT_TRUE(a.Open(SqliteAt(path)));
  const int64_t id = a.Keep(ReadoutWithPeak(650))->id;
  a.Close();
  RunSql(path, {QStringLiteral("UPDATE dravik_schema SET version = 99")});
  const QByteArray before = FileDigest(path);

  ASSERT_TRUE(a.Open(SqliteAt(path))) << a.Error();
  EXPECT_TRUE(a.ReadOnly());
  EXPECT_EQ(a.SchemaVersion(), 99);
  EXPECT_TRUE(Contains(a.Notice(), "newer dravikPC (schema 99, this program knows 1)")) << a.Notice();
  EXPECT_FALSE(a.Keep(ReadoutWithPeak(700)));
  EXPECT_EQ(a.Error(), a.Notice());
  EXPECT_TRUE(a.Load(id));  // what it holds can still be read
  a.Close();
  EXPECT_EQ(FileDigest(path), before);
}

TEST_F(ArchiveFaultTest, AFileThatIsNotAnArchiveIsLeftAsItIs) {
  const QString text = Path("notes.txt");
  {
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("these are not the results you are looking for\n").repeated(200));
  }
  const QString other = Path("contacts.sqlite");
  RunSql(other, {QStringLiteral("CREATE TABLE contacts (name TEXT)")});
  const QByteArray textBefore = FileDigest(text), otherBefore = FileDigest(other);

  EXPECT_FALSE(a.Open(SqliteAt(text)));
  EXPECT_TRUE(Contains(a.Error(), "is not a dravikPC archive: file is not a database")) << a.Error();
  EXPECT_FALSE(a.Open(SqliteAt(other)));
  EXPECT_TRUE(Contains(a.Error(), "database of another program")) << a.Error();
  EXPECT_FALSE(a.Keep(ReadoutWithPeak(650)));
  EXPECT_EQ(FileDigest(text), textBefore);
  EXPECT_EQ(FileDigest(other), otherBefore);
  EXPECT_FALSE(QFile::exists(text + QStringLiteral("-wal")));
  // Nothing else breaks: another archive opens and keeps.
  EXPECT_TRUE(a.Open(SqliteAt(Path("good.sqlite"))) && a.Keep(ReadoutWithPeak(650))) << a.Error();
}

TEST_F(ArchiveFaultTest, ACorruptArchiveFailsWithTheDriversWordsAndIsNotRepaired) {
  const QString path = Path("archive.sqlite");
  ASSERT_TRUE(a.Open(SqliteAt(path)));
  for (unsigned peak = 100; peak < 140; ++peak) ASSERT_TRUE(a.Keep(ReadoutWithPeak(peak)));
  a.Close();  // the last connection checkpoints the journal into the file
  {
    // Every page after the first two becomes noise; the header and the table list stay.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(2 * 4096);
    file.write(QByteArray(static_cast<int>(file.size() - 2 * 4096), '\xA5'));
  }
  const QByteArray before = FileDigest(path);
  const bool opened = a.Open(SqliteAt(path));
  const bool kept = opened && a.Keep(ReadoutWithPeak(900));
  EXPECT_FALSE(kept);
  EXPECT_TRUE(Contains(a.Error(), "malformed") || Contains(a.Error(), "not a database")) << a.Error();
  EXPECT_TRUE(Contains(a.Error(), path.toStdString().c_str())) << a.Error();
  std::cout << (opened ? "opened, then: " : "not opened: ") << a.Error() << "\n";
  a.Close();
  EXPECT_EQ(FileDigest(path), before);
}

TEST_F(ArchiveFaultTest, AReadOnlyFolderGivesAClearMessage) {
  const QString folder = Path("ro");
  ASSERT_TRUE(QDir().mkpath(folder));
  Tmpfs tmpfs(folder, "1m");
  const QString kept = folder + QStringLiteral("/kept.sqlite");
  ASSERT_TRUE(a.Open(SqliteAt(kept)) && a.Keep(ReadoutWithPeak(650)));
  a.Close();
  if (tmpfs.Mounted())
    ASSERT_TRUE(tmpfs.MakeReadOnly());
  else if (::geteuid() == 0)
    GTEST_SKIP() << "root without mount: permission bits do not hold root back";
  else
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

  EXPECT_FALSE(a.Open(SqliteAt(folder + QStringLiteral("/new.sqlite"))));
  EXPECT_TRUE(Contains(a.Error(), "cannot create the archive")) << a.Error();
  // The archive already there cannot take a journal: it fails when opened or when written.
  const bool opened = a.Open(SqliteAt(kept));
  EXPECT_FALSE(opened && a.Keep(ReadoutWithPeak(700)));
  EXPECT_TRUE(Contains(a.Error(), kept.toStdString().c_str())) << a.Error();
  std::cout << a.Error() << "\n";
  a.Close();
  if (!tmpfs.Mounted()) QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(ArchiveFaultTest, AFullDiskFailsTheReadOutWholeAndKeepsWhatWasCommitted) {
  const QString folder = Path("small");
  ASSERT_TRUE(QDir().mkpath(folder));
  Tmpfs tmpfs(folder, "256k");
  ASSERT_TRUE(a.Open(SqliteAt(folder + QStringLiteral("/archive.sqlite")))) << a.Error();
  if (!tmpfs.Mounted()) {
    // No file system of our own: the driver reports the same error when the database may grow
    // no further.
    QSqlQuery limit(a.Database());
    ASSERT_TRUE(limit.exec(QStringLiteral("PRAGMA max_page_count = 64")));
  }
  std::vector<int64_t> ids;
  for (unsigned peak = 1; peak < 5000; ++peak) {  // bounded: 256 KiB holds far fewer
    const auto kept = a.Keep(ReadoutWithPeak(peak));
    if (!kept) break;
    ids.push_back(kept->id);
  }
  EXPECT_TRUE(Contains(a.Error(), "full")) << a.Error();
  std::cout << (tmpfs.Mounted() ? "tmpfs of 256 KiB" : "max_page_count") << ": " << ids.size()
            << " read-outs kept, then: " << a.Error() << "\n";
  ASSERT_FALSE(ids.empty());
  for (int64_t id : ids) EXPECT_TRUE(a.Load(id)) << a.Error();
  QSqlQuery frames(a.Database());
  ASSERT_TRUE(frames.exec(QStringLiteral("SELECT count(*) FROM readout_frame")) && frames.next());
  EXPECT_EQ(frames.value(0).toLongLong(), static_cast<qint64>(ids.size()) * protocol::kReadoutSteps);
  EXPECT_EQ(IntegrityCheck(a), "ok");
  a.Close();
}

}  // namespace
