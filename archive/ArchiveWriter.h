// ArchiveWriter: an Archive on a thread of its own, so that keeping a read-out never holds up
// the user-interface thread (a PostgreSQL server that does not answer takes seconds). Jobs run
// one at a time, in the order they were given. Keep and AnnotateLast return at once and tell
// their outcome later (TakeOutcomes, after `outcomeReady`); KeepNow waits for its own.
//
// Threads: the constructor, the destructor and every member function run on the owner's thread
// (the user-interface thread); the jobs, the Archive and its connection live on the writer's
// thread, which opens the archive at its first job and again at each job while it is not open.
// `outcomeReady` runs on the writer's thread with no lock held.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/Archive.h"

namespace archive {

class ArchiveWriter {
public:
  struct Outcome {
    bool ok = false;
    int64_t id = 0;      // the read-out kept or found equal (0: none)
    bool kept = false;   // a new read-out was added
    std::string reason;  // why it failed
  };

  // `where.error` set: every job fails with it.
  ArchiveWriter(LocationResult where, std::function<void()> outcomeReady);
  // Finish.
  ~ArchiveWriter();
  // Runs the jobs still queued (each bounded by the database's own time-outs), closes the
  // archive and joins the thread; no job runs after it. Their outcomes can still be taken.
  void Finish();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Keeps `record` (a complete read-out) and attaches `annotation` to it, or to the equal one
  // already kept.
  void Keep(protocol::ReadoutRecord record, Annotation annotation = {});
  // Attaches `annotation` to the read-out this writer kept or found equal last; nothing before.
  void AnnotateLast(Annotation annotation);
  // Keep, and wait for it: true once committed; false with `reason` when it failed or did not
  // end within `timeoutMs` (it may still commit later).
  bool KeepNow(protocol::ReadoutRecord record, Annotation annotation, std::string& reason, int timeoutMs);

  // The outcomes of Keep and AnnotateLast since the last call, oldest first.
  std::vector<Outcome> TakeOutcomes();

private:
  struct Job {
    enum Kind { Keep, AnnotateLast } kind = Keep;
    protocol::ReadoutRecord record;
    Annotation annotation;
    std::shared_ptr<std::promise<Outcome>> reply;  // KeepNow's; null for a queued job
  };
  void Push(Job job);
  void Run();                   // the writer's thread
  Outcome Do(Archive& archive, const Job& job);  // the writer's thread

  const LocationResult where_;
  const std::function<void()> outcomeReady_;
  std::mutex mutex_;                // guards jobs_, stopping_, outcomes_
  std::condition_variable wake_;    // jobs_ got a job or stopping_ was set
  std::deque<Job> jobs_;            // waiting to run (guarded by mutex_)
  bool stopping_ = false;           // the destructor has begun (guarded by mutex_)
  std::vector<Outcome> outcomes_;   // of queued jobs, not yet taken (guarded by mutex_)
  int64_t lastId_ = 0;              // the writer's thread only
  std::thread thread_;              // started last, joined by the destructor
};

}  // namespace archive
