// The message-box seam's Qt implementation and the guard.
#include "app/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <vector>

void TQtMessageBoxes::Information(const QString& text) {
  QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), text,
                           QMessageBox::Ok);
}

bool TQtMessageBoxes::Confirm(const QString& text) {
  return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationName(), text,
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

TMessageBoxGuard& TMessageBoxGuard::Instance() {
  static TMessageBoxGuard guard;
  return guard;
}

void TMessageBoxGuard::SetSeam(std::shared_ptr<TMessageBoxSeam> seam) { seam_ = std::move(seam); }

TMessageBoxSeam& TMessageBoxGuard::Seam() {
  if (!seam_) seam_ = std::make_shared<TQtMessageBoxes>();
  return *seam_;
}

// Runs `show` with the box marked open; the mark is taken down and the listeners are told even
// when `show` throws.
template <class Show>
auto TMessageBoxGuard::Open(Show&& show) {
  struct Mark {
    TMessageBoxGuard& guard;
    std::shared_ptr<TMessageBoxSeam> seam;  // kept alive while its box is open
    ~Mark() {
      guard.open_ = false;
      guard.NotifyClosed();
    }
  } mark{*this, seam_};
  open_ = true;
  return show(*mark.seam);
}

bool TMessageBoxGuard::Inform(const std::string& text) {
  if (open_) return false;
  Seam();
  Open([&](TMessageBoxSeam& seam) { seam.Information(QString::fromStdString(text)); });
  return true;
}

bool TMessageBoxGuard::InformOnce(const std::string& operation, const std::string& text) {
  if (open_) return false;
  auto it = latched_.find(operation);
  if (it != latched_.end() && it->second == text) return false;
  latched_[operation] = text;
  return Inform(text);
}

void TMessageBoxGuard::Succeeded(const std::string& operation) {
  if (!latched_.empty()) latched_.erase(operation);
}

bool TMessageBoxGuard::Confirm(const std::string& text) {
  if (open_) return false;
  Seam();
  return Open([&](TMessageBoxSeam& seam) { return seam.Confirm(QString::fromStdString(text)); });
}

int TMessageBoxGuard::AddClosedListener(std::function<void()> listener) {
  const int token = nextToken_++;
  listeners_.emplace(token, std::move(listener));
  return token;
}

void TMessageBoxGuard::RemoveClosedListener(int token) { listeners_.erase(token); }

void TMessageBoxGuard::NotifyClosed() {
  // A listener may add or remove listeners (or open a box of its own): call a snapshot.
  std::vector<int> tokens;
  for (const auto& [token, listener] : listeners_) tokens.push_back(token);
  for (int token : tokens) {
    if (open_) return;
    auto it = listeners_.find(token);
    if (it != listeners_.end()) {
      auto listener = it->second;
      try {
        listener();
      } catch (const std::exception& e) {
        // Runs from a destructor: nothing may leave. Listeners report their own failures.
        std::fprintf(stderr, "dravikPC: %s\n", e.what());
      }
    }
  }
}
