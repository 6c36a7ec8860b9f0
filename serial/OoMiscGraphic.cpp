// The windowless painted control's base.
#include "serial/OoMiscGraphic.h"

TApdBaseGraphicControl::TApdBaseGraphicControl(QWidget* parent, QObject* owner)
    : QWidget(parent), TApdComponentLink(this, owner ? owner : parent) {}

TApdBaseGraphicControl::~TApdBaseGraphicControl() { NotifyRemoval(); }
