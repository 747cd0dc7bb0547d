#include "host/forms/form.h"

#include <algorithm>
#include <cctype>

#include "host/forms/published.h"

namespace host {

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {}

std::string TForm::Key(const std::string& Name) {
  std::string K = Name;
  std::transform(K.begin(), K.end(), K.begin(), [](unsigned char C) { return std::tolower(C); });
  return K;
}

const std::any* TForm::FindHandler(const std::string& Name, std::string* Registered) const {
  auto It = FHandlers.find(Key(Name));
  if (It == FHandlers.end()) return nullptr;
  if (Registered) *Registered = It->second.first;
  return &It->second.second;
}

void TForm::BindEvent(const TComponent* Component, const std::string& Property,
                      const std::string& Handler) {
  if (Handler.empty())
    FBindings.erase({Component, Key(Property)});
  else
    FBindings[{Component, Key(Property)}] = Handler;
}

std::string TForm::BoundHandler(const TComponent* Component, const std::string& Property) const {
  auto It = FBindings.find({Component, Key(Property)});
  return It == FBindings.end() ? std::string() : It->second;
}

void TForm::UnbindEvents(const TComponent* Component) {
  for (auto It = FBindings.begin(); It != FBindings.end();)
    It = It->first.first == Component ? FBindings.erase(It) : std::next(It);
}

const TComponentClassRef FormClass{"TForm", &WinControlClass,
                                   &CreateInstance<TForm, TComponent, TComponent*>};

namespace {

const TPublishedClass FormPublished{
    &FormClass,
    {
        StringProperty("Caption", &TControl::Caption, &TControl::SetCaption, waField),
    }};

const TPublishedRegistration Registration(FormPublished);

}  // namespace

}  // namespace host
