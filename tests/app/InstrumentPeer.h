// An instrument at the far end of a pty, inside the test: it cuts the bytes the program sends
// into request frames, logs them, and answers them with the simulator's instrument model. A test
// can stop it answering or reshape a reply (wrong checksum, garbage, no carriage return) to see
// what the program does. It runs on the test's event loop (a socket notifier on the master), so
// it needs no thread. The pty's slave is linked under a free COM number in the device-map folder.
#pragma once
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/pty.h"
#include "sim/Instrument.h"
#include "sim/RequestFramer.h"

class QSocketNotifier;

class InstrumentPeer : public QObject {
public:
  explicit InstrumentPeer(sim::InstrumentSetup setup = {});
  ~InstrumentPeer() override;

  int Number() const { return number_; }
  sim::Instrument& Instrument() { return instrument_; }
  platform::PtyPair& Pty() { return pty_; }

  // Request frames received so far, from '!' up to, not including, the carriage return.
  const std::vector<std::string>& Requests() const { return requests_; }
  // Their command bodies (the frame without "!g", address and checksum).
  std::vector<std::string> Bodies() const;
  // When each request arrived, in milliseconds of a monotonic clock.
  const std::vector<int64_t>& Times() const { return times_; }
  void ClearLog() {
    requests_.clear();
    times_.clear();
  }

  // false: requests are logged but not answered (nothing at the other end).
  bool answering = true;
  // When set, decides the bytes written for each answered request: given the request's body and
  // the instrument's reply (carriage return included), it returns what goes on the wire.
  std::function<std::string(const std::string& body, const std::string& reply)> shape;

  // Writes bytes to the program.
  void Write(const std::string& bytes);

private:
  void OnReadable();

  platform::PtyPair pty_;
  int number_;
  sim::Instrument instrument_;
  sim::RequestFramer framer_;
  QSocketNotifier* notifier_;
  std::vector<std::string> requests_;
  std::vector<int64_t> times_;
};

// Milliseconds of the monotonic clock the peer stamps its requests with.
int64_t PeerClockMs();

// The body of a request frame: positions 7 to the last but two ("!g####Q44" gives "Q").
std::string RequestBody(const std::string& frame);
