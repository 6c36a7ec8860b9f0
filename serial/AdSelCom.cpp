// The "Select Port" dialog and the prompt hook that shows it.
#include "serial/AdSelCom.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>

#include "platform/hooks.h"
#include "platform/sysutils.h"
#include "serial/AdSelComProbe.h"

namespace {

// Rows of the drop-down list are 13 pixels high.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
  FixedHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(height_);
    return size;
  }

private:
  int height_;
};

}  // namespace

TComSelectForm::TComSelectForm(QWidget* owner) : QDialog(owner) {
  setObjectName("ComSelectForm");
  setWindowTitle("Select Port");
  // A dialog border with only the system menu (close box): no minimise, maximise or help.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(220, 131);
  // "MS Sans Serif", 11 px em; fontconfig substitutes where the face is missing.
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  setFont(font);
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  setPalette(palette);

  Label1 = new QLabel("The configured serial port is not valid.", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(18, 14, 176, 13);
  Label2 = new QLabel("Please choose another port.", this);
  Label2->setObjectName("Label2");
  Label2->setGeometry(18, 30, 133, 13);
  Bevel1 = new QFrame(this);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Bevel1->setGeometry(8, 8, 201, 42);
  Bevel1->lower();  // a frame drawn behind the two labels

  OkBtn = new QPushButton("OK", this);
  OkBtn->setObjectName("OkBtn");
  OkBtn->setGeometry(8, 95, 85, 27);
  OkBtn->setDefault(true);
  connect(OkBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
  AbortBtn = new QPushButton("Cancel", this);
  AbortBtn->setObjectName("AbortBtn");
  AbortBtn->setGeometry(124, 95, 85, 27);
  connect(AbortBtn, &QPushButton::clicked, this, [this] { done(mrAbort); });

  PortsComboBox = new QComboBox(this);
  PortsComboBox->setObjectName("PortsComboBox");
  PortsComboBox->setEditable(false);
  PortsComboBox->setGeometry(8, 64, 201, 21);
  PortsComboBox->setItemDelegate(new FixedHeightDelegate(13, PortsComboBox));

  setTabOrder(OkBtn, AbortBtn);
  setTabOrder(AbortBtn, PortsComboBox);
  OkBtn->setFocus();

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  FormCreate();
}

void TComSelectForm::FormCreate() {
  for (int number = 1; number <= MaxListedPort; ++number) {
    if (PortAvailable(number)) PortsComboBox->addItem(QString("COM%1").arg(number));
  }
  if (PortsComboBox->count() > 0) PortsComboBox->setCurrentIndex(0);
}

int TComSelectForm::SelectedPortNumber() const {
  const QString text = PortsComboBox->currentIndex() >= 0 ? PortsComboBox->currentText() : QString();
  return platform::StrToInt(text.mid(3, 255).toStdString());
}

void TComSelectForm::reject() { done(mrCancel); }

void InstallPortPromptHook() {
  platform::SetPromptForPortHook([](int& portNumber) {
    TComSelectForm form(QApplication::activeWindow());
    if (form.exec() != mrOk) return false;
    portNumber = form.SelectedPortNumber();
    return true;
  });
}
