// The component lists of the owners and the base components built on them.
#include "serial/OoMisc.h"

#include <algorithm>
#include <map>

namespace {

// Owner -> its components in order of creation. User-interface thread only.
using ComponentList = std::vector<TApdComponentLink*>;
std::map<const QObject*, ComponentList>& Registry() {
  static std::map<const QObject*, ComponentList> registry;
  return registry;
}

bool IsRegistered(const QObject* owner, const TApdComponentLink* link) {
  auto it = Registry().find(owner);
  if (it == Registry().end()) return false;
  return std::find(it->second.begin(), it->second.end(), link) != it->second.end();
}

// Tells every component currently registered with `owner` about `component`. The list is copied
// first and each recipient is checked again before its call, because a handler may free others.
void Broadcast(const QObject* owner, QObject* component, TOperation operation) {
  const ComponentList snapshot = TApdComponentLink::Components(owner);
  for (TApdComponentLink* link : snapshot) {
    if (IsRegistered(owner, link)) link->Notification(component, operation);
  }
}

}  // namespace

TApdComponentLink::TApdComponentLink(QObject* self, QObject* owner) : self_(self), owner_(owner) {
  if (owner_) Registry()[owner_].push_back(this);
}

TApdComponentLink::~TApdComponentLink() { NotifyRemoval(); }

void TApdComponentLink::SetDesigning(bool designing) {
  if (designing)
    state_ |= csDesigning;
  else
    state_ &= ~unsigned(csDesigning);
}

void TApdComponentLink::Loaded() { state_ &= ~unsigned(csLoading); }

void TApdComponentLink::Notification(QObject*, TOperation) {}

void TApdComponentLink::NotifyInsertion() {
  if (inserted_ || removed_) return;
  inserted_ = true;
  if (owner_) Broadcast(owner_, self_, opInsert);
}

void TApdComponentLink::NotifyRemoval() {
  if (removed_) return;
  removed_ = true;
  state_ |= csDestroying;
  if (!owner_) return;
  auto it = Registry().find(owner_);
  if (it != Registry().end()) {
    ComponentList& list = it->second;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (list.empty()) Registry().erase(it);
  }
  Broadcast(owner_, self_, opRemove);
}

std::vector<TApdComponentLink*> TApdComponentLink::Components(const QObject* owner) {
  auto it = Registry().find(owner);
  return it == Registry().end() ? ComponentList{} : it->second;
}

void TApdComponentLink::LoadedAll(const QObject* owner) {
  for (TApdComponentLink* link : Components(owner)) {
    if (IsRegistered(owner, link) && link->IsLoading()) link->Loaded();
  }
}

void TApdComponentLink::FreeComponents(const QObject* owner) {
  // Take the newest component each round: a removal handler may free others in between.
  for (;;) {
    auto it = Registry().find(owner);
    if (it == Registry().end() || it->second.empty()) return;
    TApdComponentLink* last = it->second.back();
    last->NotifyRemoval();
    delete last->self_;
  }
}

TApdBaseComponent::TApdBaseComponent(QObject* owner) : QObject(owner), TApdComponentLink(this, owner) {}

TApdBaseComponent::~TApdBaseComponent() { NotifyRemoval(); }
