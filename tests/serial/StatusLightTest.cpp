// The activity light: its painted pixels (colours with bevel, glyph frames with the transparent
// colour), its size rules with and without a glyph, and when it repaints.
#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>
#include <QTest>
#include <QWidget>

#include "serial/AdStatLt.h"
#include "tests/support/QtTestApp.h"

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGrey = qRgb(128, 128, 128);

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// The bevelled square of a light without a glyph, filled with `fill`.
QImage BevelledSquare(int w, int h, QRgb fill) {
  QImage expected(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      QRgb c = fill;
      if (y == 0 || x == 0)
        c = kWhite;
      else if (x == w - 1 || y == h - 1)
        c = kGrey;
      expected.setPixel(x, y, c);
    }
  return expected;
}

::testing::AssertionResult SameImage(const QImage& actual, const QImage& expected) {
  if (actual.size() != expected.size())
    return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height();
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x)
      if (actual.pixel(x, y) != expected.pixel(x, y))
        return ::testing::AssertionFailure()
               << "pixel (" << x << "," << y << ") is " << std::hex << actual.pixel(x, y) << " not "
               << expected.pixel(x, y);
  return ::testing::AssertionSuccess();
}

// A 26 x 13 two-frame glyph: magenta (the transparent key, at the top-left) around a red
// square in the left frame and a blue square in the right frame.
const QRgb kKey = qRgb(255, 0, 255);
QImage TwoFrameGlyph() {
  QImage glyph(26, 13, QImage::Format_RGB32);
  glyph.fill(kKey);
  for (int y = 3; y < 10; ++y)
    for (int x = 3; x < 10; ++x) {
      glyph.setPixel(x, y, qRgb(255, 0, 0));
      glyph.setPixel(13 + x, y, qRgb(0, 0, 255));
    }
  return glyph;
}

class CountingLight : public TApdStatusLight {
public:
  using TApdStatusLight::TApdStatusLight;
  int paints = 0;

protected:
  void paintEvent(QPaintEvent* e) override {
    ++paints;
    TApdStatusLight::paintEvent(e);
  }
};

}  // namespace

TEST(StatusLight, DefaultsAndBevelledColours) {
  struct Case {
    const char* what;
    bool lit;
    QColor litColor;
    QColor notLitColor;
    int w, h;
    QRgb fill;
  };
  const Case cases[] = {
      {"lit, defaults", true, QColor(), QColor(), 13, 13, qRgb(255, 0, 0)},
      {"not lit, defaults", false, QColor(), QColor(), 13, 13, qRgb(0, 128, 0)},
      {"lit, own colour", true, QColor(0, 0, 200), QColor(), 13, 13, qRgb(0, 0, 200)},
      {"not lit, own colour", false, QColor(), QColor(240, 240, 240), 13, 13, qRgb(240, 240, 240)},
      {"resized without glyph", true, QColor(), QColor(), 20, 7, qRgb(255, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TApdStatusLight light(nullptr);
    EXPECT_EQ(light.size(), QSize(13, 13));
    EXPECT_FALSE(light.Lit());
    EXPECT_EQ(light.LitColor(), QColor(255, 0, 0));
    EXPECT_EQ(light.NotLitColor(), QColor(0, 128, 0));
    if (c.litColor.isValid()) light.SetLitColor(c.litColor);
    if (c.notLitColor.isValid()) light.SetNotLitColor(c.notLitColor);
    light.resize(c.w, c.h);
    light.SetLit(c.lit);
    EXPECT_TRUE(SameImage(Grab(light), BevelledSquare(c.w, c.h, c.fill)));
  }
}

TEST(StatusLight, GlyphFramesWithParentBackgroundForTheKeyColour) {
  QWidget parent;
  QPalette palette = parent.palette();
  const QRgb background = qRgb(244, 244, 232);
  palette.setColor(parent.backgroundRole(), QColor(background));
  parent.setPalette(palette);
  TApdStatusLight light(&parent);
  const QImage glyph = TwoFrameGlyph();
  light.SetGlyph(glyph);
  EXPECT_TRUE(light.HasGlyph());
  EXPECT_EQ(light.size(), QSize(13, 13));

  for (bool lit : {true, false}) {
    SCOPED_TRACE(lit ? "lit" : "not lit");
    light.SetLit(lit);
    QImage expected = glyph.copy(lit ? 0 : 13, 0, 13, 13);
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 13; ++x)
        if (expected.pixel(x, y) == kKey) expected.setPixel(x, y, background);
    EXPECT_TRUE(SameImage(Grab(light), expected));
  }
}

TEST(StatusLight, GlyphHoldsTheSizeButPositionsPassThrough) {
  QWidget parent;
  TApdStatusLight light(&parent);
  light.SetGlyph(TwoFrameGlyph());
  light.resize(40, 30);
  EXPECT_EQ(light.size(), QSize(13, 13));
  light.setGeometry(5, 6, 50, 50);
  EXPECT_EQ(light.geometry(), QRect(5, 6, 13, 13));
  light.SetBounds(20, 21, 2, 2);
  EXPECT_EQ(light.geometry(), QRect(20, 21, 13, 13));

  // An odd-width glyph: half the width, rounded down.
  light.SetGlyph(QImage(31, 9, QImage::Format_RGB32));
  EXPECT_EQ(light.size(), QSize(15, 9));

  // Dropping the glyph (a null or an empty picture) returns to a free 13 x 13 light.
  for (const QImage& none : {QImage(), QImage(0, 0, QImage::Format_RGB32)}) {
    light.SetGlyph(TwoFrameGlyph());
    light.SetGlyph(none);
    EXPECT_FALSE(light.HasGlyph());
    EXPECT_EQ(light.size(), QSize(13, 13));
    light.SetBounds(1, 2, 30, 31);
    EXPECT_EQ(light.geometry(), QRect(1, 2, 30, 31));
  }
}

TEST(StatusLight, RepaintsOnlyWhenWhatItShowsChanges) {
  QWidget window;
  window.resize(50, 50);
  CountingLight light(&window);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ASSERT_TRUE(QTest::qWaitFor([&] { return light.paints > 0; }, 5000));

  auto settle = [] {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  };
  auto paintsAfter = [&](auto change) {
    settle();
    light.paints = 0;
    change();
    settle();
    return light.paints;
  };

  // Not lit: the lit colour is not on show, the not-lit colour is; the same Lit is no change.
  EXPECT_EQ(paintsAfter([&] { light.SetLitColor(QColor(0, 0, 255)); }), 0);
  EXPECT_EQ(paintsAfter([&] { light.SetLit(false); }), 0);
  EXPECT_GT(paintsAfter([&] { light.SetNotLitColor(QColor(10, 10, 10)); }), 0);
  EXPECT_EQ(light.grab().toImage().pixel(6, 6), qRgb(10, 10, 10));
  // The colour set while not lit shows from the next change to lit.
  EXPECT_GT(paintsAfter([&] { light.SetLit(true); }), 0);
  EXPECT_EQ(light.grab().toImage().pixel(6, 6), qRgb(0, 0, 255));
  EXPECT_EQ(paintsAfter([&] { light.SetNotLitColor(QColor(20, 20, 20)); }), 0);
  // With a glyph, colours never repaint.
  light.SetGlyph(TwoFrameGlyph());
  EXPECT_EQ(paintsAfter([&] { light.SetLitColor(QColor(1, 2, 3)); }), 0);
  EXPECT_GT(paintsAfter([&] { light.SetLit(false); }), 0);
}
