// The tour's message boxes: nobody is there to close a modal box, so every box the program asks
// for is recorded instead of shown (confirmations are answered "Yes"), and the step that caused
// it fails with the box's text.
#pragma once
#include <QString>
#include <QStringList>

#include "app/MessageBoxes.h"

namespace tour {

class TourBoxes : public TMessageBoxSeam {
public:
  void Information(const QString& text) override { shown << text; }
  bool Confirm(const QString& text) override {
    shown << text;
    return true;
  }

  QStringList shown;  // every box's text, in order
};

}  // namespace tour
