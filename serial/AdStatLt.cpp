// The activity light: state, size rules and painting.
#include "serial/AdStatLt.h"

#include <QPainter>

TApdCustomStatusLight::TApdCustomStatusLight(QWidget* parent, QObject* owner)
    : TApdBaseGraphicControl(parent, owner) {
  resize(DefaultSize, DefaultSize);
  NotifyInsertion();
}

TApdCustomStatusLight::~TApdCustomStatusLight() { NotifyRemoval(); }

void TApdCustomStatusLight::SetLit(bool lit) {
  if (lit == lit_) return;
  lit_ = lit;
  update();
}

void TApdCustomStatusLight::SetLitColor(const QColor& colour) {
  if (colour == litColor_) return;
  litColor_ = colour;
  if (!hasGlyph_ && lit_) update();
}

void TApdCustomStatusLight::SetNotLitColor(const QColor& colour) {
  if (colour == notLitColor_) return;
  notLitColor_ = colour;
  if (!hasGlyph_ && !lit_) update();
}

void TApdCustomStatusLight::SetGlyph(const QImage& glyph) {
  glyph_ = glyph;
  // An empty picture counts as none: a light sized to it would vanish.
  hasGlyph_ = !glyph_.isNull() && glyph_.width() > 0 && glyph_.height() > 0;
  ApplyGlyphSize();
  update();
}

void TApdCustomStatusLight::ApplyGlyphSize() {
  if (hasGlyph_) {
    // A fixed size clamps every later resize()/setGeometry() to the glyph frame.
    setFixedSize(glyph_.width() / 2, glyph_.height());
  } else {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(DefaultSize, DefaultSize);
  }
}

void TApdCustomStatusLight::SetBounds(int left, int top, int width, int height) {
  if (hasGlyph_) {
    width = glyph_.width() / 2;
    height = glyph_.height();
  }
  setGeometry(left, top, width, height);
}

void TApdCustomStatusLight::Loaded() {
  TApdBaseGraphicControl::Loaded();
  hasGlyph_ = !glyph_.isNull() && glyph_.width() > 0 && glyph_.height() > 0;
  if (hasGlyph_) ApplyGlyphSize();
}

void TApdCustomStatusLight::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (hasGlyph_)
    PaintGlyph(painter);
  else
    PaintColour(painter);
}

void TApdCustomStatusLight::PaintGlyph(QPainter& painter) {
  const int w = width();
  const int h = height();
  // Left frame when lit, the frame one light-width to the right when not.
  const QRect source(lit_ ? 0 : w, 0, w, h);
  QImage frame = glyph_.copy(source).convertToFormat(QImage::Format_ARGB32);

  // The glyph's top-left pixel marks the transparent colour; the parent's background shows there.
  const QRgb transparent = glyph_.convertToFormat(QImage::Format_ARGB32).pixel(0, 0);
  const QWidget* backgroundOwner = parentWidget() ? parentWidget() : this;
  const QRgb background = backgroundOwner->palette().color(backgroundOwner->backgroundRole()).rgba();
  for (int y = 0; y < frame.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
    for (int x = 0; x < frame.width(); ++x) {
      if (line[x] == transparent) line[x] = background;
    }
  }
  painter.fillRect(rect(), QColor::fromRgba(background));
  painter.drawImage(0, 0, frame);
}

void TApdCustomStatusLight::PaintColour(QPainter& painter) {
  const int w = width();
  const int h = height();
  painter.fillRect(rect(), lit_ ? litColor_ : notLitColor_);
  // One-pixel bevel, each edge from its start pixel up to (not including) its end point:
  // white along the top and left edges, grey along the right and bottom ones.
  const QColor white(255, 255, 255);
  const QColor grey(128, 128, 128);
  painter.fillRect(QRect(0, 0, w, 1), white);          // (0,0) .. (w,0)
  painter.fillRect(QRect(0, 0, 1, h), white);          // (0,0) .. (0,h)
  painter.fillRect(QRect(w - 1, 1, 1, h - 1), grey);   // (w-1,1) .. (w-1,h)
  painter.fillRect(QRect(1, h - 1, w - 1, 1), grey);   // (1,h-1) .. (w,h-1)
}

TApdStatusLight::TApdStatusLight(QWidget* parent, QObject* owner) : TApdCustomStatusLight(parent, owner) {}
