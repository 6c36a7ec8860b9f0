// TApdBaseGraphicControl: the base of the windowless painted controls (activity lights), a
// QWidget that takes part in its owner's component list like the non-visual components.
#pragma once
#include <QWidget>

#include "serial/OoMisc.h"

// `parent` is the widget it sits on; `owner` defaults to the parent and is the object whose
// component list it joins.
class TApdBaseGraphicControl : public QWidget, public TApdComponentLink {
  Q_OBJECT

public:
  explicit TApdBaseGraphicControl(QWidget* parent, QObject* owner = nullptr);
  ~TApdBaseGraphicControl() override;
};
