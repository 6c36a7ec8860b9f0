// The owner-wide component list: insertion and removal notices, their timing against teardown,
// the reverse freeing order, loading, and the read-only Version.
#include <gtest/gtest.h>

#include <QMetaProperty>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "serial/OoMisc.h"
#include "serial/OoMiscGraphic.h"
#include "tests/support/QtTestApp.h"

namespace {

struct Notice {
  std::string receiver;
  std::string component;
  TOperation operation;
  bool componentWhole;       // the removed component was still of its full type
  bool componentDestroying;  // csDestroying was set on it
};

class Recorder : public TApdBaseComponent {
public:
  Recorder(QObject* owner, std::string name, std::vector<Notice>* log, std::vector<std::string>* freed = nullptr)
      : TApdBaseComponent(owner), name_(std::move(name)), log_(log), freed_(freed) {
    setObjectName(QString::fromStdString(name_));
    NotifyInsertion();
  }
  ~Recorder() override {
    NotifyRemoval();
    if (freed_) freed_->push_back(name_);
  }
  void Notification(QObject* component, TOperation operation) override {
    TApdBaseComponent::Notification(component, operation);
    auto* other = dynamic_cast<Recorder*>(component);
    auto* link = qobject_cast<TApdBaseComponent*>(component);
    log_->push_back({name_, component->objectName().toStdString(), operation, other != nullptr,
                     link && link->IsDestroying()});
    if (onNotice) onNotice(component, operation);
  }
  std::function<void(QObject*, TOperation)> onNotice;

private:
  std::string name_;
  std::vector<Notice>* log_;
  std::vector<std::string>* freed_;
};

std::vector<std::string> Names(const QObject* owner) {
  std::vector<std::string> names;
  for (TApdComponentLink* link : TApdComponentLink::Components(owner))
    names.push_back(link->ComponentObject()->objectName().toStdString());
  return names;
}

}  // namespace

TEST(Component, VersionIsFixedAndNotStored) {
  QObject owner;
  TApdBaseComponent component(&owner);
  EXPECT_EQ(component.property("Version").toString(), "v4.06");
  component.setProperty("Version", "v9");
  EXPECT_EQ(component.property("Version").toString(), "v4.06");
  const QMetaObject* meta = component.metaObject();
  EXPECT_FALSE(meta->property(meta->indexOfProperty("Version")).isStored());
}

TEST(Component, InsertionIsAnnouncedToEveryComponentIncludingTheNewOne) {
  QObject owner;
  std::vector<Notice> log;
  Recorder a(&owner, "a", &log);
  Recorder b(&owner, "b", &log);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].receiver, "a");
  EXPECT_EQ(log[0].component, "a");
  EXPECT_EQ(log[1].receiver, "a");
  EXPECT_EQ(log[1].component, "b");
  EXPECT_EQ(log[2].receiver, "b");
  EXPECT_EQ(log[2].component, "b");
  for (const Notice& n : log) EXPECT_EQ(n.operation, opInsert);
}

TEST(Component, RemovalReachesSiblingsBeforeTeardown) {
  QObject owner;
  std::vector<Notice> log;
  auto* a = new Recorder(&owner, "a", &log);
  auto* b = new Recorder(&owner, "b", &log);
  auto* c = new Recorder(&owner, "c", &log);
  log.clear();
  delete b;
  ASSERT_EQ(log.size(), 2u);
  for (const Notice& n : log) {
    EXPECT_EQ(n.component, "b");
    EXPECT_EQ(n.operation, opRemove);
    EXPECT_TRUE(n.componentWhole);
    EXPECT_TRUE(n.componentDestroying);
  }
  EXPECT_EQ(log[0].receiver, "a");
  EXPECT_EQ(log[1].receiver, "c");
  EXPECT_EQ(Names(&owner), (std::vector<std::string>{"a", "c"}));
  delete a;
  delete c;
  EXPECT_TRUE(TApdComponentLink::Components(&owner).empty());
}

TEST(Component, OwnerFreesInReverseOrderAndSurvivorsHearEachRemoval) {
  std::vector<Notice> log;
  std::vector<std::string> freed;
  QObject owner;
  new Recorder(&owner, "first", &log, &freed);
  new Recorder(&owner, "second", &log, &freed);
  new Recorder(&owner, "third", &log, &freed);
  log.clear();
  TApdComponentLink::FreeComponents(&owner);
  EXPECT_EQ(freed, (std::vector<std::string>{"third", "second", "first"}));
  // third's removal reaches first and second, second's reaches first, first's reaches nobody.
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].receiver + "<" + log[0].component, "first<third");
  EXPECT_EQ(log[1].receiver + "<" + log[1].component, "second<third");
  EXPECT_EQ(log[2].receiver + "<" + log[2].component, "first<second");
  EXPECT_TRUE(owner.children().isEmpty());
}

TEST(Component, HandlerMayFreeAnotherComponentDuringANotice) {
  std::vector<Notice> log;
  std::vector<std::string> freed;
  QObject owner;
  auto* a = new Recorder(&owner, "a", &log, &freed);
  auto* b = new Recorder(&owner, "b", &log, &freed);
  auto* c = new Recorder(&owner, "c", &log, &freed);
  // When a hears that c goes, it frees b; b must not be told anything afterwards.
  a->onNotice = [&](QObject* component, TOperation op) {
    if (op == opRemove && component == c) delete b;
  };
  log.clear();
  delete c;
  EXPECT_EQ(freed, (std::vector<std::string>{"b", "c"}));
  for (const Notice& n : log) EXPECT_NE(n.receiver, "b") << n.component;
  EXPECT_EQ(Names(&owner), (std::vector<std::string>{"a"}));
}

TEST(Component, OwnerDeletedWithoutFreeingLeavesNoStaleEntries) {
  std::vector<Notice> log;
  std::vector<std::string> freed;
  auto* owner = new QObject;
  new Recorder(owner, "a", &log, &freed);
  new Recorder(owner, "b", &log, &freed);
  delete owner;  // Qt frees the children
  EXPECT_EQ(freed.size(), 2u);
  EXPECT_TRUE(TApdComponentLink::Components(owner).empty());
}

TEST(Component, GraphicControlJoinsItsOwnersListAndLoadingEndsInLoaded) {
  QWidget owner;
  QWidget panel(&owner);
  std::vector<Notice> log;
  Recorder watcher(&owner, "watcher", &log);
  log.clear();
  {
    TApdBaseGraphicControl control(&panel, &owner);
    control.setObjectName("lamp");
    EXPECT_EQ(control.parentWidget(), &panel);
    EXPECT_EQ(Names(&owner), (std::vector<std::string>{"watcher", "lamp"}));
    EXPECT_TRUE(TApdComponentLink::Components(&panel).empty());

    control.BeginLoading();
    watcher.BeginLoading();
    EXPECT_TRUE(control.IsLoading());
    TApdComponentLink::LoadedAll(&owner);
    EXPECT_FALSE(control.IsLoading());
    EXPECT_FALSE(watcher.IsLoading());
    control.SetDesigning(true);
    EXPECT_EQ(control.ComponentState(), unsigned(csDesigning));
  }
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].component, "lamp");
  EXPECT_EQ(log[0].operation, opRemove);
}
