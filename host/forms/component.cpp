#include "host/forms/component.h"

#include <algorithm>
#include <cctype>

namespace host {

namespace {

bool IsIdentifier(const std::string& S) {
  if (S.empty()) return false;
  auto alpha = [](unsigned char C) { return std::isalpha(C) || C == '_'; };
  if (!alpha(static_cast<unsigned char>(S[0]))) return false;
  return std::all_of(S.begin(), S.end(), [&](char C) {
    return alpha(static_cast<unsigned char>(C)) || std::isdigit(static_cast<unsigned char>(C));
  });
}

bool SameText(const std::string& A, const std::string& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return std::tolower(static_cast<unsigned char>(X)) ==
                  std::tolower(static_cast<unsigned char>(Y));
         });
}

}  // namespace

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  SetState(csDestroying, true);
  // Last first, as they were most likely built on the earlier ones. Each
  // one's destructor takes it out of the list.
  while (!FComponents.empty()) delete FComponents.back();
  if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FComponents[static_cast<std::size_t>(Index)];
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* C : FComponents)
    if (SameText(C->FName, AName)) return C;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (!AComponent->FName.empty() && FindComponent(AComponent->FName))
    throw EComponentError("A component named " + AComponent->FName + " already exists");
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  if (InState(csDesigning)) AComponent->SetDesigning(true);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it == FComponents.end()) return;
  FComponents.erase(it);
  AComponent->FOwner = nullptr;
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == FName) return;
  if (!NewName.empty() && !IsIdentifier(NewName))
    throw EComponentError("'" + NewName + "' is not a valid component name");
  if (FOwner && !NewName.empty()) {
    TComponent* Other = FOwner->FindComponent(NewName);
    if (Other && Other != this)
      throw EComponentError("A component named " + NewName + " already exists");
  }
  FName = NewName;
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  SetState(csDesigning, Value);
  if (SetChildren)
    for (TComponent* C : FComponents) C->SetDesigning(Value, true);
}

void TComponent::Loaded() { SetState(csLoading, false); }

void TComponent::SetState(TComponentStateItem Item, bool On) {
  if (On)
    FComponentState |= StateBit(Item);
  else
    FComponentState &= ~StateBit(Item);
}

void ReadComponent(TComponent& Component, const std::function<void()>& AssignProperties) {
  Component.SetState(csLoading, true);
  Component.SetState(csReading, true);
  try {
    AssignProperties();
  } catch (...) {
    Component.SetState(csReading, false);
    Component.SetState(csLoading, false);
    throw;
  }
  Component.SetState(csReading, false);
  Component.Loaded();
}

}  // namespace host
