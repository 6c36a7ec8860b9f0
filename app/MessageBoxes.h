// Every message box the program shows goes through here: a small seam (TMessageBoxSeam) that
// shows an information box with OK or asks Yes/No, and the guard (TMessageBoxGuard) that stands
// between the program and the seam.
//
// The guard's rules:
//   - At most one box is open at a time. A box asked for while another is open is not shown
//     (a confirmation then counts as "No").
//   - While a box is open the window's tick and its receive handling hold back (they ask
//     BoxOpen()); the guard tells its listeners when the box has closed, so held-back work can
//     be picked up.
//   - Failures of operations that repeat by themselves (the tick's transmission, the receive
//     path, the port-list rebuild on activation, events of the serial layer) are shown through
//     InformOnce: the same text is not shown again for the same operation until that operation
//     has succeeded once (Succeeded). Without this, a failure that recurs on every tick or on
//     every activation (and closing a box activates the window) would never let the user go.
//   - Failures of a deliberate user action (a click) are shown every time (Inform).
//
// Texts are UTF-8. Everything here runs on the user-interface thread.
#pragma once
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QWidget;

// How a box is put on the screen. The program uses TQtMessageBoxes; tests install their own.
class TMessageBoxSeam {
public:
  virtual ~TMessageBoxSeam() = default;
  // An information box with an OK button; returns when it is closed.
  virtual void Information(const QString& text) = 0;
  // A confirmation box with Yes and No; true only for Yes.
  virtual bool Confirm(const QString& text) = 0;
};

// Modal QMessageBoxes over the active window, titled with the application's display name.
class TQtMessageBoxes : public TMessageBoxSeam {
public:
  void Information(const QString& text) override;
  bool Confirm(const QString& text) override;
};

class TMessageBoxGuard {
public:
  // The program's one guard.
  static TMessageBoxGuard& Instance();

  // Replaces the seam (null: TQtMessageBoxes). Not while a box is open.
  void SetSeam(std::shared_ptr<TMessageBoxSeam> seam);

  // A box is open now.
  bool BoxOpen() const { return open_; }

  // Shows `text` unless a box is open; true when it was shown.
  bool Inform(const std::string& text);
  // Shows `text` for a failure of `operation` unless a box is open or the same text has been
  // shown for it since its last success; true when it was shown.
  bool InformOnce(const std::string& operation, const std::string& text);
  // `operation` has succeeded: its next failure is shown again.
  void Succeeded(const std::string& operation);
  // Forgets every latched failure (tests).
  void ResetLatches() { latched_.clear(); }

  // Asks Yes/No; false when the user said No or another box is open.
  bool Confirm(const std::string& text);

  // Called after every box has closed. Returns a token for RemoveClosedListener.
  int AddClosedListener(std::function<void()> listener);
  void RemoveClosedListener(int token);

private:
  TMessageBoxGuard() = default;
  TMessageBoxSeam& Seam();
  template <class Show>
  auto Open(Show&& show);
  void NotifyClosed();

  std::shared_ptr<TMessageBoxSeam> seam_;
  bool open_ = false;
  std::map<std::string, std::string> latched_;  // operation -> text shown since its last success
  std::map<int, std::function<void()>> listeners_;
  int nextToken_ = 1;
};
