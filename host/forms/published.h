#pragma once
// Published properties: what a component class shows to form files and the
// designer. Each class declares its own in declaration order; a class's full
// list is its ancestors' first. Declarations are plain data built from the
// getters and setters, so nothing parses C++.

#include <any>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <variant>
#include <vector>

#include "host/forms/palette.h"

namespace host {

enum TTypeKind {
  tkInteger,
  tkCardinal,
  tkBoolean,
  tkEnumeration,
  tkSet,
  tkString,
  tkClass,
  tkMethod
};

// An enumeration's identifiers by ordinal; sets over it use the same names.
struct TEnumType {
  std::string_view Name;
  std::vector<std::string_view> Names;
  // The ordinal of Ident (case-insensitive), or -1.
  int Ordinal(std::string_view Ident) const;
};

// A setter may act on the new value; a field write only stores it.
enum TWriteAccess { waSetter, waField };

// Ordinals (integers, booleans, enumerations, set masks), strings, component
// references, or an event handler: a std::any holding the event's exact
// std::function type, empty for none.
using TPropValue = std::variant<std::int64_t, std::string, TComponent*, std::any>;

struct TPropInfo {
  std::string_view Name;
  TTypeKind Kind;
  TWriteAccess Access;
  // The storage default of an ordinal property; a property without one is
  // always written.
  std::optional<std::int64_t> Default;
  const TEnumType* EnumType = nullptr;        // tkEnumeration, tkSet
  TComponentClass ReferenceClass = nullptr;   // tkClass: what it may refer to
  const std::type_info* EventType = nullptr;  // tkMethod
  // A tkMethod property reads as 1 when a handler is assigned, else 0.
  std::function<TPropValue(TComponent&)> Get = nullptr;
  std::function<void(TComponent&, const TPropValue&)> Set = nullptr;
};

struct TPublishedClass {
  TComponentClass ClassRef;
  std::vector<TPropInfo> Properties;  // this class's own, in declaration order
};

// The class's declarations by name (case-insensitive), or null.
const TPublishedClass* FindPublishedClass(std::string_view ClassName);
// Ancestors' properties first; a property a descendant declares again keeps
// its ancestor's place and takes the new declaration.
std::vector<const TPropInfo*> PublishedProperties(TComponentClass ClassRef);
const TPropInfo* FindPublishedProperty(TComponentClass ClassRef, std::string_view Name);

// Registers Published for as long as it lives: a package's declarations go
// away with the package.
class TPublishedRegistration {
 public:
  explicit TPublishedRegistration(const TPublishedClass& Published);
  ~TPublishedRegistration();
  TPublishedRegistration(const TPublishedRegistration&) = delete;
  TPublishedRegistration& operator=(const TPublishedRegistration&) = delete;

 private:
  const TPublishedClass& FPublished;
};

// The host's component classes.
extern const TComponentClassRef ComponentClass;
extern const TComponentClassRef ControlClass;
extern const TComponentClassRef WinControlClass;
extern const TComponentClassRef CustomPanelClass;
extern const TComponentClassRef TimerClass;

// Builders for declarations, from a class's getter and setter.

template <class C, class T>
TPropInfo OrdinalProperty(std::string_view Name, TTypeKind Kind, T (C::*Get)() const,
                          void (C::*Set)(T), TWriteAccess Access,
                          std::optional<std::int64_t> Default = std::nullopt,
                          const TEnumType* Enum = nullptr) {
  TPropInfo P{Name, Kind, Access, Default, Enum};
  P.Get = [Get](TComponent& O) -> TPropValue {
    return static_cast<std::int64_t>((static_cast<C&>(O).*Get)());
  };
  P.Set = [Set](TComponent& O, const TPropValue& V) {
    (static_cast<C&>(O).*Set)(static_cast<T>(std::get<std::int64_t>(V)));
  };
  return P;
}

template <class C>
TPropInfo StringProperty(std::string_view Name, const std::string& (C::*Get)() const,
                         void (C::*Set)(const std::string&), TWriteAccess Access) {
  TPropInfo P{Name, tkString, Access, std::nullopt};
  P.Get = [Get](TComponent& O) -> TPropValue { return (static_cast<C&>(O).*Get)(); };
  P.Set = [Set](TComponent& O, const TPropValue& V) {
    (static_cast<C&>(O).*Set)(std::get<std::string>(V));
  };
  return P;
}

// A reference to another component of the form, of class T or a descendant
// (ReferenceClass is T's class reference).
template <class C, class T>
TPropInfo ReferenceProperty(std::string_view Name, T* (C::*Get)() const, void (C::*Set)(T*),
                            TWriteAccess Access, TComponentClass ReferenceClass) {
  TPropInfo P{Name, tkClass, Access, std::nullopt};
  P.ReferenceClass = ReferenceClass;
  P.Get = [Get](TComponent& O) -> TPropValue {
    return static_cast<TComponent*>((static_cast<C&>(O).*Get)());
  };
  P.Set = [Set](TComponent& O, const TPropValue& V) {
    TComponent* Target = std::get<TComponent*>(V);
    T* Typed = dynamic_cast<T*>(Target);
    if (Target && !Typed) throw EComponentError("Invalid property value");
    (static_cast<C&>(O).*Set)(Typed);
  };
  return P;
}

// An event held in a plain field of type Event (a std::function).
template <class C, class Event>
TPropInfo EventProperty(std::string_view Name, Event C::*Field) {
  TPropInfo P{Name, tkMethod, waField, std::nullopt};
  P.EventType = &typeid(Event);
  P.Get = [Field](TComponent& O) -> TPropValue {
    return std::int64_t{static_cast<bool>(static_cast<C&>(O).*Field)};
  };
  P.Set = [Field](TComponent& O, const TPropValue& V) {
    const std::any& Handler = std::get<std::any>(V);
    static_cast<C&>(O).*Field = Handler.has_value() ? std::any_cast<Event>(Handler) : Event();
  };
  return P;
}

}  // namespace host
