#pragma once
// Class references: what the framework calls a metaclass. A TClassRef names a
// class, points at its parent's reference and can construct an instance, so
// "exactly this class" is a pointer comparison and "this class or a
// descendant" a short walk up the parents.

#include <memory>
#include <string_view>

namespace host {

template <class Base, class... Args>
struct TClassRef {
  std::string_view ClassName;
  const TClassRef* Parent;
  std::unique_ptr<Base> (*Create)(Args...);

  bool InheritsFrom(const TClassRef* Ancestor) const {
    for (const TClassRef* c = this; c; c = c->Parent)
      if (c == Ancestor) return true;
    return false;
  }
};

// The factory for a concrete class, for use in a TClassRef initialiser.
template <class T, class Base, class... Args>
std::unique_ptr<Base> CreateInstance(Args... args) {
  return std::make_unique<T>(args...);
}

}  // namespace host
