// The activity light: a small windowless lamp that paints itself in its lit or not-lit colour
// with a one-pixel bevel, or from a two-frame glyph (left half lit, right half not lit).
//
// The status-light controller of this unit (TLightSet, TApdCustomSLController, TApdSLController),
// which drives lamps from a serial port's trigger events, lives in serial/AdStatLtController.h
// beside the port component it hooks; this header stays free of the port.
#pragma once
#include <QColor>
#include <QImage>

#include "serial/OoMiscGraphic.h"

class TApdCustomStatusLight : public TApdBaseGraphicControl {
  Q_OBJECT

public:
  static constexpr int DefaultSize = 13;  // width and height without a glyph, in pixels

  explicit TApdCustomStatusLight(QWidget* parent, QObject* owner = nullptr);
  ~TApdCustomStatusLight() override;

  bool Lit() const { return lit_; }
  // A different value is stored and the light repaints; the same value changes nothing.
  void SetLit(bool lit);

  QColor LitColor() const { return litColor_; }
  // Repaints only when no glyph is in use and the light is lit; otherwise the colour is used from
  // the next change.
  void SetLitColor(const QColor& colour);

  QColor NotLitColor() const { return notLitColor_; }
  // Repaints only when no glyph is in use and the light is not lit.
  void SetNotLitColor(const QColor& colour);

  const QImage& Glyph() const { return glyph_; }
  // Copies the picture. A null or empty image means no glyph: the light is 13 x 13 and paints its
  // colours. With a glyph the light is (glyph width / 2) x glyph height and cannot be resized.
  void SetGlyph(const QImage& glyph);
  bool HasGlyph() const { return hasGlyph_; }

  // Moves and sizes the light; while a glyph is in use only the position takes effect. Plain
  // resize()/setGeometry() calls are held to the glyph size in the same way.
  void SetBounds(int left, int top, int width, int height);

  void Loaded() override;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void ApplyGlyphSize();
  void PaintGlyph(class QPainter& painter);
  void PaintColour(class QPainter& painter);

  QImage glyph_;                      // the light's own copy of the two-frame picture
  bool hasGlyph_ = false;             // a non-empty glyph is in use
  bool lit_ = false;                  // current state
  QColor litColor_{255, 0, 0};        // fill when lit and no glyph
  QColor notLitColor_{0, 128, 0};     // fill when not lit and no glyph
};

// The light with its properties published.
class TApdStatusLight : public TApdCustomStatusLight {
  Q_OBJECT
  Q_PROPERTY(bool Lit READ Lit WRITE SetLit)
  Q_PROPERTY(QColor LitColor READ LitColor WRITE SetLitColor)
  Q_PROPERTY(QColor NotLitColor READ NotLitColor WRITE SetNotLitColor)
  Q_PROPERTY(QImage Glyph READ Glyph WRITE SetGlyph)

public:
  explicit TApdStatusLight(QWidget* parent, QObject* owner = nullptr);
};
