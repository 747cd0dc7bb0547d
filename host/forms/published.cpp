#include "host/forms/published.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace host {

namespace {

bool SameText(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return std::tolower(static_cast<unsigned char>(X)) ==
                  std::tolower(static_cast<unsigned char>(Y));
         });
}

struct TRegistry {
  std::mutex Lock;
  std::vector<const TPublishedClass*> Classes;
};

TRegistry& Registry() {
  static TRegistry R;
  return R;
}

const TPublishedClass* FindByRef(TComponentClass ClassRef) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  for (const TPublishedClass* P : R.Classes)
    if (P->ClassRef == ClassRef) return P;
  return nullptr;
}

}  // namespace

int TEnumType::Ordinal(std::string_view Ident) const {
  for (std::size_t I = 0; I < Names.size(); ++I)
    if (SameText(Names[I], Ident)) return static_cast<int>(I);
  return -1;
}

const TPublishedClass* FindPublishedClass(std::string_view ClassName) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  for (const TPublishedClass* P : R.Classes)
    if (SameText(P->ClassRef->ClassName, ClassName)) return P;
  return nullptr;
}

std::vector<const TPropInfo*> PublishedProperties(TComponentClass ClassRef) {
  std::vector<TComponentClass> Chain;
  for (TComponentClass C = ClassRef; C; C = C->Parent) Chain.push_back(C);
  std::vector<const TPropInfo*> Result;
  for (auto It = Chain.rbegin(); It != Chain.rend(); ++It) {
    const TPublishedClass* P = FindByRef(*It);
    if (!P) continue;
    for (const TPropInfo& Info : P->Properties) {
      auto Same = std::find_if(Result.begin(), Result.end(),
                               [&](const TPropInfo* Q) { return SameText(Q->Name, Info.Name); });
      if (Same != Result.end())
        *Same = &Info;
      else
        Result.push_back(&Info);
    }
  }
  return Result;
}

const TPropInfo* FindPublishedProperty(TComponentClass ClassRef, std::string_view Name) {
  for (const TPropInfo* P : PublishedProperties(ClassRef))
    if (SameText(P->Name, Name)) return P;
  return nullptr;
}

TPublishedRegistration::TPublishedRegistration(const TPublishedClass& Published)
    : FPublished(Published) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  R.Classes.push_back(&FPublished);
}

TPublishedRegistration::~TPublishedRegistration() {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> G(R.Lock);
  R.Classes.erase(std::remove(R.Classes.begin(), R.Classes.end(), &FPublished), R.Classes.end());
}

}  // namespace host
