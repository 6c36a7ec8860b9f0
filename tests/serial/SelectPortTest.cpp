// The "Select Port" dialog: its layout, the ports it lists (probed over device-map links), and
// how its endings reach the port component's open through the prompt hook.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <vector>

#include "platform/hooks.h"
#include "platform/sysutils.h"
#include "serial/AdExcept.h"
#include "serial/AdPort.h"
#include "serial/AdSelCom.h"
#include "tests/serial/PortTestSupport.h"

namespace {

QStringList Entries(const TComSelectForm& form) {
  QStringList items;
  for (int i = 0; i < form.PortsComboBox->count(); ++i) items << form.PortsComboBox->itemText(i);
  return items;
}

// Links every number from 1 to 50 not in `keep` to a missing device. The machine's own ttys take
// the numbers no link uses, so this keeps them out of the list; the dangling links themselves
// are never listed.
struct DanglingLinks {
  std::vector<int> numbers;
  explicit DanglingLinks(std::initializer_list<int> keep) {
    for (int n = 1; n <= 50; ++n) {
      if (std::find(keep.begin(), keep.end(), n) != keep.end()) continue;
      LinkPort(n, "/nonexistent/tty" + std::to_string(n));
      numbers.push_back(n);
    }
  }
  ~DanglingLinks() {
    for (int n : numbers) UnlinkPort(n);
  }
};

// Runs `act` on the dialog once it is showing modally.
void WhenDialogShows(std::function<void(TComSelectForm&)> act) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* form = qobject_cast<TComSelectForm*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(*form);
    }
  });
  timer->start(5);
}

TEST(SelectPortForm, LayoutAsStored) {
  TComSelectForm form;
  EXPECT_EQ(form.windowTitle(), "Select Port");
  EXPECT_EQ(form.size(), QSize(220, 131));
  EXPECT_EQ(form.font().pixelSize(), 11);
  struct Control {
    QWidget* widget;
    QRect geometry;
    QString text;
  };
  const Control controls[] = {
      {form.Label1, {18, 14, 176, 13}, "The configured serial port is not valid."},
      {form.Label2, {18, 30, 133, 13}, "Please choose another port."},
      {form.Bevel1, {8, 8, 201, 42}, ""},
      {form.OkBtn, {8, 95, 85, 27}, "OK"},
      {form.AbortBtn, {124, 95, 85, 27}, "Cancel"},
      {form.PortsComboBox, {8, 64, 201, 21}, ""},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.widget->objectName().toStdString());
    EXPECT_EQ(c.widget->geometry(), c.geometry);
    if (auto* label = qobject_cast<QLabel*>(c.widget)) {
      EXPECT_EQ(label->text(), c.text);
    }
    if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
      EXPECT_EQ(button->text(), c.text);
    }
  }
  EXPECT_TRUE(form.OkBtn->isDefault());
  EXPECT_FALSE(form.PortsComboBox->isEditable());
  EXPECT_EQ(form.OkBtn->nextInFocusChain(), form.AbortBtn);
  EXPECT_EQ(form.AbortBtn->nextInFocusChain(), form.PortsComboBox);
}

TEST(SelectPortForm, ListsOpenableAndHeldPortsUpToFiftyInOrder) {
  LinkedPty free3(3), held7(7), beyond(51);
  LinkedPty free12(12);
  DanglingLinks others{3, 7, 12};
  QObject owner;
  TApdComPort holder(&owner);
  holder.SetComNumber(7);
  holder.SetOpen(true);  // another party holds COM7: it still exists

  TComSelectForm form;
  EXPECT_EQ(Entries(form), (QStringList{"COM3", "COM7", "COM12"}));
  EXPECT_EQ(form.PortsComboBox->currentIndex(), 0);
  form.PortsComboBox->setCurrentIndex(2);
  EXPECT_EQ(form.SelectedPortNumber(), 12);
}

TEST(SelectPortForm, NothingSelectedFailsTheConversion) {
  DanglingLinks all{};
  TComSelectForm form;
  ASSERT_EQ(form.PortsComboBox->count(), 0);
  try {
    form.SelectedPortNumber();
    FAIL() << "no exception";
  } catch (const platform::EConvertError& e) {
    EXPECT_EQ(e.Message(), "'' is not a valid integer value");
  }
}

struct PromptCase {
  const char* name;
  std::function<void(TComSelectForm&)> end;
};

class PortPrompt : public ::testing::Test {
protected:
  void SetUp() override { InstallPortPromptHook(); }
  void TearDown() override { platform::SetPromptForPortHook(nullptr); }
  QObject owner;
  TApdComPort port{&owner};
};

TEST_F(PortPrompt, CancelOrCloseBoxFailsTheOpenWithNoPortSelected) {
  LinkedPty pty(3);
  const PromptCase endings[] = {
      {"Cancel", [](TComSelectForm& f) { f.AbortBtn->click(); }},
      {"CloseBox", [](TComSelectForm& f) { f.close(); }},
  };
  for (const PromptCase& ending : endings) {
    SCOPED_TRACE(ending.name);
    WhenDialogShows(ending.end);
    try {
      port.SetOpen(true);
      FAIL() << "no exception";
    } catch (const ENoPortSelected& e) {
      EXPECT_EQ(e.Message(), "The ComNumber property of the TApdComPort has not been set");
    }
    EXPECT_EQ(port.ComNumber(), 0);
    EXPECT_FALSE(port.Open());
  }
}

TEST_F(PortPrompt, OkOpensTheChosenPort) {
  LinkedPty first(3), second(4);
  WhenDialogShows([](TComSelectForm& f) {
    f.PortsComboBox->setCurrentIndex(f.PortsComboBox->findText("COM4"));
    f.OkBtn->click();
  });
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(port.ComNumber(), 4);
  port.SendText("hi");
  EXPECT_EQ(second.Read(2), "hi");
}

TEST_F(PortPrompt, OkWithAnEmptyListFailsWithTheConversionError) {
  DanglingLinks all{};
  WhenDialogShows([](TComSelectForm& f) { f.OkBtn->click(); });
  EXPECT_THROW(port.SetOpen(true), platform::EConvertError);
  EXPECT_EQ(port.ComNumber(), 0);
  EXPECT_EQ(port.PortState(), psClosed);
}

}  // namespace
