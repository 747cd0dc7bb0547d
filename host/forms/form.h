#pragma once
// TForm: the root of a form file. It owns every component the file
// describes and keeps the application's event handlers by name, so that
// "OnTimer = Timer1Timer" in a file finds the handler registered as
// "Timer1Timer".

#include <any>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/forms/controls.h"
#include "host/forms/palette.h"

namespace host {

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* AOwner = nullptr);
  std::string ClassName() const override { return "TForm"; }

  // Handler must be of the event's exact type (TNotifyEvent, ...), as
  // properties take only handlers of their own event type.
  template <class Event>
  void AddHandler(const std::string& Name, Event Handler) {
    FHandlers[Key(Name)] = {Name, std::any(std::move(Handler))};
  }
  // Null when no handler has that name (case-insensitive); else the handler,
  // and its name as registered in *Registered when that is given.
  const std::any* FindHandler(const std::string& Name, std::string* Registered = nullptr) const;

  // Which named handler an event property of Component was given, so that
  // writing the form names it again. Empty when none.
  void BindEvent(const TComponent* Component, const std::string& Property,
                 const std::string& Handler);
  std::string BoundHandler(const TComponent* Component, const std::string& Property) const;
  // Forgets Component's bindings.
  void UnbindEvents(const TComponent* Component);

 private:
  static std::string Key(const std::string& Name);

  std::map<std::string, std::pair<std::string, std::any>> FHandlers;
  std::map<std::pair<const TComponent*, std::string>, std::string> FBindings;
};

extern const TComponentClassRef FormClass;

}  // namespace host
