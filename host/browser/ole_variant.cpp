// Late binding: values and objects of the page, read property by property.

#include <algorithm>
#include <cctype>
#include <cmath>

#include "host/browser/navigation.h"
#include "host/browser/page_session.h"
#include "host/browser/web_browser.h"

namespace host {

namespace {

// The application's own reads wait for the page; a page that does not
// answer this quickly is busy in a script of its own.
constexpr int LateBoundTimeoutMs = 5000;

const char* LookupFunction = R"(function (name) {
  if (name in this) return this[name];
  const lower = name.toLowerCase();
  for (let o = this; o; o = Object.getPrototypeOf(o))
    for (const key of Object.getOwnPropertyNames(o))
      if (key.toLowerCase() === lower) return this[key];
  throw new TypeError("Method '" + name + "' not supported by automation object");
})";

}  // namespace

OleVariant OleVariant::Null() {
  OleVariant V;
  V.FValue = nullptr;
  return V;
}

OleVariant TWebBrowser::OleObject() {
  if (!FPage) throw EOleException("The browser holds no page");
  OleVariant V;
  V.FObject = std::make_shared<OleVariant::TRemote>();
  V.FObject->Link = FPage->Link;
  V.FObject->Automation = true;
  return V;
}

OleVariant TWebBrowser::Document() {
  if (!FPage) throw EOleException("The browser holds no page");
  OleVariant V;
  V.FObject = std::make_shared<OleVariant::TRemote>();
  V.FObject->Link = FPage->Link;
  if (FNav && FNav->Snapshot && FNav->Snapshot->contains("document")) {
    V.FObject->Snapshot = FNav->Snapshot;
    V.FObject->Node = &FNav->Snapshot->at("document");
  }
  return V;
}

// Fetches the page's object a late-bound value stands for, the first time
// it is needed.
const std::string& OleVariant::Fetch(TRemote& R) {
  if (!R.ObjectId.empty()) return R.ObjectId;
  TWebBrowser* B = R.Link->Browser;
  OleVariant V = R.Parent ? Lookup(*R.Parent, R.Name) : B->Evaluate("document");
  if (!V.FObject || V.FObject->ObjectId.empty())
    throw EOleException("Variant does not reference an automation object");
  // The fetched object is released with this one.
  R.ObjectId = std::move(V.FObject->ObjectId);
  V.FObject->ObjectId.clear();
  return R.ObjectId;
}

OleVariant TWebBrowser::Convert(const json& Reply, const std::shared_ptr<TPageLink>& Link) {
  if (!Reply.is_object()) throw EOleException("Unexpected answer from the browser");
  if (auto X = Reply.find("exceptionDetails"); X != Reply.end()) {
    std::string Text = X->value("text", std::string("Uncaught"));
    if (auto Ex = X->find("exception"); Ex != X->end()) Text = Ex->value("description", Text);
    throw EOleException(Text);
  }
  const json R = Reply.value("result", json::object());
  std::string Type = R.value("type", std::string());
  OleVariant V;
  if (Type == "undefined") return V;
  if (Type == "object" && R.value("subtype", std::string()) == "null") return OleVariant::Null();
  if (auto Id = R.find("objectId"); Id != R.end() && Id->is_string()) {
    return OleVariant::FromObject(Link, Id->get<std::string>());
  }
  if (auto Value = R.find("value"); Value != R.end()) return OleVariant::FromJson(*Value);
  if (auto U = R.find("unserializableValue"); U != R.end() && U->is_string()) {
    std::string S = U->get<std::string>();
    if (S == "NaN") return OleVariant(std::nan(""));
    if (S == "Infinity") return OleVariant(HUGE_VAL);
    if (S == "-Infinity") return OleVariant(-HUGE_VAL);
    if (S == "-0") return OleVariant(-0.0);
    if (!S.empty() && S.back() == 'n') return OleVariant(std::strtod(S.c_str(), nullptr));
  }
  return V;
}

OleVariant TWebBrowser::Evaluate(const std::string& Expression) {
  json Reply = PageCallSynchronously("Runtime.evaluate", {{"expression", Expression}});
  return Convert(Reply, FPage->Link);
}

OleVariant OleVariant::Get(const std::string& Name) const {
  if (!FObject) throw EOleException("Variant does not reference an automation object");
  TPageLink& L = *FObject->Link;
  TWebBrowser* B = L.Browser;
  TChromiumBrowser& C = Chromium();
  if (!B || !C.Running() || C.Generation() != L.Generation)
    throw EOleException("The page of this automation object is gone");
  if (FObject->Node && FObject->Node->is_object()) {
    std::string N = Name;
    std::transform(N.begin(), N.end(), N.begin(),
                   [](unsigned char Ch) { return std::tolower(Ch); });
    if (auto It = FObject->Node->find(N); It != FObject->Node->end()) {
      if (!It->is_object()) return FromJson(*It);
      OleVariant V;
      V.FObject = std::make_shared<TRemote>();
      V.FObject->Link = FObject->Link;
      V.FObject->Snapshot = FObject->Snapshot;
      V.FObject->Node = &*It;
      V.FObject->Parent = FObject;
      V.FObject->Name = Name;
      return V;
    }
  }
  if (FObject->Automation) {
    std::string N = Name;
    std::transform(N.begin(), N.end(), N.begin(),
                   [](unsigned char Ch) { return std::tolower(Ch); });
    if (N == "document") return B->Document();
    if (N == "locationurl") return OleVariant(B->LocationURL());
    if (N == "locationname") return B->Evaluate("document.title");
    if (N == "readystate") return OleVariant(static_cast<int>(B->ReadyState()));
    if (N == "busy") return OleVariant(B->Busy());
    throw EOleException("Method '" + Name + "' not supported by automation object");
  }
  return Lookup(*FObject, Name);
}

OleVariant OleVariant::Lookup(TRemote& Object, const std::string& Name) {
  const std::string& Id = Fetch(Object);
  json Reply = Chromium().CallSynchronously(
      "Runtime.callFunctionOn",
      {{"functionDeclaration", LookupFunction},
       {"objectId", Id},
       {"arguments", json::array({{{"value", Name}}})}},
      Object.Link->SessionId, std::min(LateBoundTimeoutMs, Chromium().Options().CommandTimeoutMs));
  return TWebBrowser::Convert(Reply, Object.Link);
}

OleVariant OleVariant::FromObject(std::shared_ptr<TPageLink> Link, std::string ObjectId) {
  OleVariant V;
  // Built in place: a copy would release the page's object when it goes.
  V.FObject = std::make_shared<TRemote>();
  V.FObject->Link = std::move(Link);
  V.FObject->ObjectId = std::move(ObjectId);
  return V;
}

OleVariant OleVariant::FromJson(const json& Value) {
  OleVariant V;
  V.FValue = Value;
  return V;
}

namespace {

[[noreturn]] void CannotConvert(const json& Value, bool Object, const char* To) {
  std::string From = Object                 ? "Dispatch"
                     : Value.is_discarded() ? "Empty"
                     : Value.is_null()      ? "Null"
                     : Value.is_string()    ? "String"
                     : Value.is_boolean()   ? "Boolean"
                                            : "Double";
  throw EConvertError("Could not convert variant of type (" + From + ") into type (" + To + ")");
}

}  // namespace

double OleVariant::AsNumber() const {
  if (!FObject) {
    if (FValue.is_number()) return FValue.get<double>();
    if (FValue.is_boolean()) return FValue.get<bool>() ? -1.0 : 0.0;
    if (FValue.is_discarded()) return 0.0;
    if (FValue.is_string()) {
      const std::string& S = FValue.get_ref<const std::string&>();
      char* End = nullptr;
      double D = std::strtod(S.c_str(), &End);
      if (!S.empty() && End && *End == '\0') return D;
    }
  }
  CannotConvert(FValue, FObject != nullptr, "Double");
}

std::int64_t OleVariant::AsInteger() const {
  if (!FObject && FValue.is_number_integer()) return FValue.get<std::int64_t>();
  double D = AsNumber();
  if (!std::isfinite(D) || std::fabs(D) > 9.2e18) CannotConvert(FValue, false, "Int64");
  return static_cast<std::int64_t>(std::nearbyint(D));
}

std::string OleVariant::AsString() const {
  if (!FObject) {
    if (FValue.is_string()) return FValue.get<std::string>();
    if (FValue.is_discarded()) return std::string();
    if (FValue.is_boolean()) return FValue.get<bool>() ? "True" : "False";
    if (FValue.is_number_integer()) return std::to_string(FValue.get<std::int64_t>());
    if (FValue.is_number()) return FValue.dump();
  }
  CannotConvert(FValue, FObject != nullptr, "String");
}

bool OleVariant::AsBoolean() const {
  if (!FObject) {
    if (FValue.is_boolean()) return FValue.get<bool>();
    if (FValue.is_number()) return FValue.get<double>() != 0;
    if (FValue.is_discarded()) return false;
  }
  CannotConvert(FValue, FObject != nullptr, "Boolean");
}

}  // namespace host
