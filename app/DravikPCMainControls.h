// Small control classes the main window needs beyond the stock Qt widgets: a label that can size
// itself to its text, a radio button that a click checks but never unchecks, and the row height
// of the port list.
#pragma once
#include <QEvent>
#include <QLabel>
#include <QRadioButton>
#include <QStyledItemDelegate>

// A label that, while AutoSize is on, takes the size of its text whenever the text or the font
// changes. Set the text through a TLabel pointer: QLabel::setText is not virtual.
class TLabel : public QLabel {
public:
  TLabel(const QString& text, QWidget* parent, bool autoSize) : QLabel(text, parent), autoSize_(autoSize) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (autoSize_) adjustSize();
  }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    if (autoSize_) adjustSize();
  }
  void setText(const QString& text) {
    QLabel::setText(text);
    if (autoSize_) adjustSize();
  }

protected:
  void changeEvent(QEvent* event) override {
    QLabel::changeEvent(event);
    if (autoSize_ && event->type() == QEvent::FontChange) adjustSize();
  }

private:
  bool autoSize_;
};

// A stand-alone radio button: a click checks it, only the program unchecks it.
class TRadioButton : public QRadioButton {
public:
  TRadioButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) { setAutoExclusive(false); }

protected:
  void nextCheckState() override {
    if (!isChecked()) setChecked(true);
  }
};

// Gives every row of a list a fixed height in pixels.
class FixedRowHeightDelegate : public QStyledItemDelegate {
public:
  FixedRowHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), height_);
  }

private:
  int height_;
};
