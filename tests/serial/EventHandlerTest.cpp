// Event handlers as (receiver, member function) values: calling, saving and restoring, and the
// two comparisons (same code only, and same code on the same receiver).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/AdEvents.h"

namespace {

struct Receiver {
  Receiver(std::string n, std::vector<std::string>* l) : name(std::move(n)), log(l) {}
  std::string name;
  std::vector<std::string>* log;
  void Avail(QObject*, uint16_t count) { log->push_back(name + ".Avail " + std::to_string(count)); }
  void Other(QObject*, uint16_t count) { log->push_back(name + ".Other " + std::to_string(count)); }
  virtual void Virtual(QObject*, uint16_t count) { log->push_back(name + ".Virtual " + std::to_string(count)); }
  virtual ~Receiver() = default;
};

struct Derived : Receiver {
  using Receiver::Receiver;
  void Virtual(QObject*, uint16_t count) override { log->push_back(name + ".Derived " + std::to_string(count)); }
};

}  // namespace

TEST(EventHandler, UnassignedDoesNothingAndAssignedCallsItsReceiver) {
  std::vector<std::string> log;
  Receiver a{"a", &log};
  TTriggerAvailEvent none;
  EXPECT_FALSE(none.Assigned());
  none(nullptr, 1);
  TTriggerAvailEvent handler(&a, &Receiver::Avail);
  ASSERT_TRUE(handler.Assigned());
  handler(nullptr, 3);
  EXPECT_EQ(log, std::vector<std::string>{"a.Avail 3"});
  EXPECT_FALSE(TTriggerAvailEvent(static_cast<Receiver*>(nullptr), &Receiver::Avail).Assigned());
}

TEST(EventHandler, SavedHandlerCanBeReplacedAndRestored) {
  std::vector<std::string> log;
  Receiver a{"a", &log}, b{"b", &log};
  TTriggerAvailEvent installed(&a, &Receiver::Avail);
  const TTriggerAvailEvent saved = installed;
  installed = TTriggerAvailEvent(&b, &Receiver::Other);
  installed(nullptr, 1);
  saved(nullptr, 2);
  installed = saved;
  installed(nullptr, 3);
  EXPECT_EQ(log, (std::vector<std::string>{"b.Other 1", "a.Avail 2", "a.Avail 3"}));
}

TEST(EventHandler, ComparisonByCodeIgnoresTheReceiver) {
  std::vector<std::string> log;
  Receiver a{"a", &log}, b{"b", &log};
  const TTriggerAvailEvent aAvail(&a, &Receiver::Avail), bAvail(&b, &Receiver::Avail), aOther(&a, &Receiver::Other);
  EXPECT_TRUE(aAvail.SameCode(bAvail));
  EXPECT_FALSE(aAvail == bAvail);
  EXPECT_FALSE(aAvail.SameCode(aOther));
  EXPECT_TRUE(aAvail == TTriggerAvailEvent(&a, &Receiver::Avail));
  EXPECT_FALSE(aAvail.SameCode(TTriggerAvailEvent()));
  EXPECT_TRUE(TTriggerAvailEvent().SameCode(TTriggerAvailEvent()));
}

TEST(EventHandler, VirtualMembersDispatchOnTheReceiver) {
  std::vector<std::string> log;
  Derived d("d", &log);
  Receiver r{"r", &log};
  const TTriggerAvailEvent onDerived(static_cast<Receiver*>(&d), &Receiver::Virtual);
  const TTriggerAvailEvent onBase(&r, &Receiver::Virtual);
  onDerived(nullptr, 1);
  onBase(nullptr, 2);
  EXPECT_EQ(log, (std::vector<std::string>{"d.Derived 1", "r.Virtual 2"}));
  EXPECT_TRUE(onDerived.SameCode(onBase));
}
