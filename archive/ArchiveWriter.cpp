// The archive's writer thread and its job queue.
#include "archive/ArchiveWriter.h"

#include <chrono>

namespace archive {

ArchiveWriter::ArchiveWriter(LocationResult where, std::function<void()> outcomeReady)
    : where_(std::move(where)), outcomeReady_(std::move(outcomeReady)), thread_([this] { Run(); }) {}

ArchiveWriter::~ArchiveWriter() { Finish(); }

void ArchiveWriter::Finish() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void ArchiveWriter::Push(Job job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) {
      // Finished: nothing runs any more.
      if (job.reply) job.reply->set_value({false, 0, false, "the archive is closed"});
      return;
    }
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void ArchiveWriter::Keep(protocol::ReadoutRecord record, Annotation annotation) {
  Push({Job::Keep, std::move(record), std::move(annotation), nullptr});
}

void ArchiveWriter::AnnotateLast(Annotation annotation) {
  Push({Job::AnnotateLast, {}, std::move(annotation), nullptr});
}

bool ArchiveWriter::KeepNow(protocol::ReadoutRecord record, Annotation annotation, std::string& reason,
                            int timeoutMs) {
  auto reply = std::make_shared<std::promise<Outcome>>();
  std::future<Outcome> outcome = reply->get_future();
  Push({Job::Keep, std::move(record), std::move(annotation), reply});
  if (outcome.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
    reason = "the archive did not answer within " + std::to_string(timeoutMs / 1000) + " s";
    return false;
  }
  const Outcome result = outcome.get();
  reason = result.reason;
  return result.ok;
}

std::vector<ArchiveWriter::Outcome> ArchiveWriter::TakeOutcomes() {
  std::lock_guard lock(mutex_);
  return std::exchange(outcomes_, {});
}

void ArchiveWriter::Run() {
  // The archive and its connection are made, used and removed on this thread only.
  Archive archive;
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
      if (jobs_.empty()) return;  // stopping, and everything given has run
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    const Outcome outcome = Do(archive, job);
    if (job.reply) {
      job.reply->set_value(outcome);
      continue;
    }
    {
      std::lock_guard lock(mutex_);
      outcomes_.push_back(outcome);
    }
    if (outcomeReady_) outcomeReady_();
  }
}

ArchiveWriter::Outcome ArchiveWriter::Do(Archive& archive, const Job& job) {
  Outcome outcome;
  if (!where_.error.empty()) {
    outcome.reason = where_.error;
    return outcome;
  }
  if (!archive.IsOpen() && !archive.Open(where_.location)) {
    outcome.reason = archive.Error();
    return outcome;
  }
  if (job.kind == Job::AnnotateLast) {
    outcome.id = lastId_;
    outcome.ok = lastId_ == 0 || job.annotation.empty() || archive.Annotate(lastId_, job.annotation);
  } else if (const std::optional<KeepResult> kept = archive.Keep(job.record, job.annotation)) {
    outcome = {true, kept->id, kept->kept, {}};
    lastId_ = kept->id;
  }
  if (!outcome.ok) outcome.reason = archive.Error();
  return outcome;
}

}  // namespace archive
