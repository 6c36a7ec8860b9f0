// The in-test instrument peer.
#include "tests/app/InstrumentPeer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDateTime>
#include <QSocketNotifier>
#include <chrono>
#include <cerrno>

#include "tests/app/AppTestSupport.h"

namespace {

int64_t NowMs() { return PeerClockMs(); }

}  // namespace

int64_t PeerClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

namespace {

sim::CivilTime HostNow() {
  const QDateTime now = QDateTime::currentDateTime();
  return {now.date().year(), now.date().month(), now.date().day(),
          now.time().hour(), now.time().minute(), now.time().second()};
}

}  // namespace

std::string RequestBody(const std::string& frame) {
  if (frame.size() < 9) return std::string();
  return frame.substr(6, frame.size() - 8);
}

InstrumentPeer::InstrumentPeer(sim::InstrumentSetup setup)
    : pty_(true), number_(ClaimPort(pty_.slavePath())), instrument_(std::move(setup), HostNow(), NowMs()),
      notifier_(new QSocketNotifier(pty_.master(), QSocketNotifier::Read, this)) {
  connect(notifier_, &QSocketNotifier::activated, this, [this] { OnReadable(); });
}

InstrumentPeer::~InstrumentPeer() {
  notifier_->setEnabled(false);
  UnlinkPort(number_);
}

std::vector<std::string> InstrumentPeer::Bodies() const {
  std::vector<std::string> bodies;
  for (const std::string& frame : requests_) bodies.push_back(RequestBody(frame));
  return bodies;
}

void InstrumentPeer::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(pty_.master(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ASSERT_GT(n, 0) << "write to the pty master failed";
    done += static_cast<std::size_t>(n);
  }
}

void InstrumentPeer::OnReadable() {
  char buffer[256];
  const ssize_t n = ::read(pty_.master(), buffer, sizeof buffer);
  if (n <= 0) return;  // EAGAIN, or the slave side is closed for the moment (the port reopens)
  for (const std::string& frame : framer_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
    requests_.push_back(frame);
    times_.push_back(NowMs());
    if (!answering) continue;
    const auto answer = instrument_.Handle(frame, NowMs());
    if (!answer) continue;
    Write(shape ? shape(answer->body, answer->reply) : answer->reply);
  }
}
