// The base classes of the serial layer's components: TApdBaseComponent (non-visual, a QObject
// owned by its window; QtCore only) with the component state flags and the owner-wide
// insertion/removal notification that TApdBaseGraphicControl (OoMiscGraphic.h, a QWidget)
// shares. The Qt-free tick clock of this unit lives in OoMiscClock.h.
//
// How components of one owner hear of each other:
//   - Each component registers with its owner's component list when it is constructed. The list
//     is kept per owner object in creation order; everything here runs on the user-interface
//     thread, so the list needs no lock.
//   - Once a component is fully constructed, NotifyInsertion() tells every component of the same
//     owner (the new one included) Notification(component, opInsert). A C++ base constructor
//     cannot see the derived type, so the constructor of every class that siblings look for ends
//     with NotifyInsertion(); it runs once, later calls do nothing.
//   - NotifyRemoval() takes the component out of the list, sets csDestroying and tells every
//     remaining component Notification(component, opRemove). It runs once. FreeComponents() calls
//     it before deleting each component; a component deleted directly calls it at the start of its
//     own destructor (classes that siblings call into must do so first thing in their
//     destructor; the base destructor calls it as a safety net for the rest). Either way the
//     siblings hear of the removal while the removed object is still whole.
//   - The owner frees its components in reverse order of creation by calling FreeComponents(this)
//     at the start of its destructor; anything left is freed by Qt's parent/child ownership.
#pragma once
#include <QObject>
#include <QString>
#include <vector>

enum TOperation { opInsert, opRemove };

// Component state flags (a set, combined with |).
enum TComponentStateFlag : unsigned {
  csLoading = 0x1,     // properties are being set from the stored layout; Loaded() follows
  csDesigning = 0x2,   // the component is being edited at design time, not running
  csDestroying = 0x4,  // the component's teardown has begun
};
using TComponentState = unsigned;

// The part every component of an owner shares: its owner, its state and the notification scheme.
// Not a QObject itself; TApdBaseComponent and TApdBaseGraphicControl mix it into their Qt base.
class TApdComponentLink {
public:
  TApdComponentLink(const TApdComponentLink&) = delete;
  TApdComponentLink& operator=(const TApdComponentLink&) = delete;

  // The object this link belongs to (the component itself) and its owner (may be null).
  QObject* ComponentObject() const { return self_; }
  QObject* Owner() const { return owner_; }

  TComponentState ComponentState() const { return state_; }
  bool IsLoading() const { return (state_ & csLoading) != 0; }
  bool IsDesigning() const { return (state_ & csDesigning) != 0; }
  bool IsDestroying() const { return (state_ & csDestroying) != 0; }
  void SetDesigning(bool designing);

  // Marks the component as being loaded from a stored layout; Loaded() ends it.
  void BeginLoading() { state_ |= csLoading; }
  // Called once all properties have been loaded. Overrides call the base first (it clears
  // csLoading).
  virtual void Loaded();
  // Another component of the same owner was inserted or is being removed. Overrides call the base.
  virtual void Notification(QObject* component, TOperation operation);

  // The components of `owner`, in order of creation.
  static std::vector<TApdComponentLink*> Components(const QObject* owner);
  // Calls Loaded() on every component of `owner` that is loading, in order of creation.
  static void LoadedAll(const QObject* owner);
  // Frees the components of `owner` in reverse order of creation; each one's removal is announced
  // to the others before it is deleted.
  static void FreeComponents(const QObject* owner);

protected:
  TApdComponentLink(QObject* self, QObject* owner);
  virtual ~TApdComponentLink();

  // Announces this component to the owner's components (once).
  void NotifyInsertion();
  // Withdraws this component from the owner's list and announces its removal (once).
  void NotifyRemoval();

private:
  QObject* self_;                 // the component (the Qt object this link is mixed into)
  QObject* owner_;                // the owner whose list holds this component, or null
  TComponentState state_ = 0;     // csLoading / csDesigning / csDestroying
  bool inserted_ = false;         // NotifyInsertion has run
  bool removed_ = false;          // NotifyRemoval has run
};

// Base of the serial layer's non-visual components. The owner is also the Qt parent, so the
// owner frees it.
class TApdBaseComponent : public QObject, public TApdComponentLink {
  Q_OBJECT
  Q_PROPERTY(QString Version READ Version WRITE SetVersion STORED false)

public:
  explicit TApdBaseComponent(QObject* owner);
  ~TApdBaseComponent() override;

  // Always "v4.06"; writes are ignored.
  QString Version() const { return QStringLiteral("v4.06"); }
  void SetVersion(const QString&) {}
};
