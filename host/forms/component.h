#pragma once
// TComponent: an object with an owner, a name and a component state. An owner
// frees the components it owns; a component freed explicitly leaves its
// owner's list first, so both orders of destruction are safe.

#include <functional>
#include <string>
#include <vector>

#include "host/graphics/graphic.h"
#include "host/system/exception.h"

namespace host {

// The root of everything that can be the Sender of an event.
class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

HOST_EXCEPTION(EComponentError, Exception);

enum TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning };
// A set of TComponentStateItem: bit (1 << item) per member.
using TComponentState = unsigned;
constexpr TComponentState StateBit(TComponentStateItem Item) { return 1u << Item; }

class TComponent : public TObject, public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Raises EListError for an index out of range.
  TComponent* Components(int Index) const;
  // Null when this component owns none of that name (case-insensitive).
  TComponent* FindComponent(const std::string& AName) const;
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  const std::string& Name() const { return FName; }
  // Raises EComponentError for a name that is not an identifier or that
  // another component of the same owner already has.
  void SetName(const std::string& NewName);

  TComponentState ComponentState() const { return FComponentState; }
  bool InState(TComponentStateItem Item) const { return (FComponentState & StateBit(Item)) != 0; }
  // The designer marks what it edits; components owned later inherit it.
  void SetDesigning(bool Value, bool SetChildren = true);

  // Called once the stored properties have been read from a form file.
  virtual void Loaded();

 protected:
  void SetState(TComponentStateItem Item, bool On);

 private:
  friend void ReadComponent(TComponent& Component, const std::function<void()>& AssignProperties);
  // Form files hold many components in the loading state at once.
  friend class TReader;

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::string FName;
  TComponentState FComponentState = 0;
};

// What reading a component from a form file does around its stored
// properties: csLoading and csReading while AssignProperties runs, then
// Loaded. If AssignProperties throws, the states are cleared, Loaded is not
// called and the exception passes on.
void ReadComponent(TComponent& Component, const std::function<void()>& AssignProperties);

// Frees Object and clears the reference before the object is destroyed, so
// that code run by its destructor sees the reference already gone.
template <class T>
void FreeAndNil(T*& Object) {
  T* Doomed = Object;
  Object = nullptr;
  delete Doomed;
}

}  // namespace host
