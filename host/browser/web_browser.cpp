#include "host/browser/web_browser.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "host/browser/chromium_browser.h"
#include "host/browser/png_reader.h"
#include "host/forms/application.h"
#include "host/graphics/bitmap.h"

namespace host {

namespace {

TChromiumBrowser& Chromium() { return TChromiumBrowser::Shared(); }

std::string ToUtf8(const std::wstring& Text) {
  std::string Out;
  for (wchar_t W : Text) {
    auto C = static_cast<std::uint32_t>(W);
    if (C >= 0xD800 && C <= 0xDFFF) C = 0xFFFD;  // a lone surrogate half
    if (C < 0x80) {
      Out += static_cast<char>(C);
    } else if (C < 0x800) {
      Out += static_cast<char>(0xC0 | (C >> 6));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    } else if (C < 0x10000) {
      Out += static_cast<char>(0xE0 | (C >> 12));
      Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    } else if (C <= 0x10FFFF) {
      Out += static_cast<char>(0xF0 | (C >> 18));
      Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
      Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    }
  }
  return Out;
}

// Looks a property up by name, ignoring case when there is no exact match,
// as late-bound names are matched on the platform.
const char* LookupFunction = R"(function (name) {
  if (name in this) return this[name];
  const lower = name.toLowerCase();
  for (let o = this; o; o = Object.getPrototypeOf(o))
    for (const key of Object.getOwnPropertyNames(o))
      if (key.toLowerCase() === lower) return this[key];
  throw new TypeError("Method '" + name + "' not supported by automation object");
})";

// A string member of an answer; anything else is a browser we do not
// understand, reported as such rather than as a JSON library error.
std::string Field(const json& Object, const char* Key) {
  auto it = Object.is_object() ? Object.find(Key) : Object.end();
  if (it == Object.end() || !it->is_string())
    throw EOleException(std::string("Unexpected answer from the browser: no ") + Key);
  return it->get<std::string>();
}

std::string FrameUrl(const json& Frame) {
  if (auto U = Frame.find("unreachableUrl"); U != Frame.end() && U->is_string()) return *U;
  std::string Url = Frame.value("url", std::string());
  return Url + Frame.value("urlFragment", std::string());
}

}  // namespace

// ---- the page behind a control ---------------------------------------------

// Lets late-bound values outlive the control safely.
struct TPageLink {
  TWebBrowser* Browser;
  unsigned Generation;
  std::string SessionId;
};

struct TWebBrowser::TFrame {
  std::string Url;
  bool Pending = false;  // committed, not yet completed
  std::unique_ptr<IDispatch> Dispatch;
};

struct TWebBrowser::TPage {
  std::string TargetId, SessionId, MainFrameId, MainUrl;
  unsigned Generation = 0;
  std::shared_ptr<TPageLink> Link;
  std::uint64_t Barrier = 0;   // events up to this one are stale
  std::string NavigateLoader;  // announced by Navigate itself
  std::string ExpectedLoader;  // the main document being followed
  std::set<std::string> SilentLoaders;
  bool MainStarted = false;  // a main navigation started, not committed
  std::map<std::string, TFrame> Frames;
};

struct OleVariant::TRemote {
  std::shared_ptr<TPageLink> Link;
  std::string ObjectId;  // empty: the control's automation object itself
  TRemote() = default;
  TRemote(const TRemote&) = delete;
  TRemote& operator=(const TRemote&) = delete;
  ~TRemote() {
    if (ObjectId.empty() || !Link->Browser) return;
    TChromiumBrowser& C = Chromium();
    if (!C.Running() || C.Generation() != Link->Generation) return;
    try {
      C.Send("Runtime.releaseObject", {{"objectId", ObjectId}}, Link->SessionId);
    } catch (const Exception&) {
    }
  }
};

TWebBrowser::TWebBrowser(TComponent* AOwner) : TWinControl(AOwner) { SetBounds(0, 0, 300, 150); }

TWebBrowser::~TWebBrowser() {
  StopLoadWatch();
  ClosePage();
}

void TWebBrowser::ClosePage() {
  if (!FPage) return;
  FPage->Link->Browser = nullptr;
  Chromium().Unsubscribe(FPage->SessionId);
  TChromiumBrowser& C = Chromium();
  if (C.Running() && C.Generation() == FPage->Generation) {
    try {
      C.Send("Target.closeTarget", {{"targetId", FPage->TargetId}});
    } catch (const Exception&) {
    }
  }
  FPage.reset();
}

TWebBrowser::TPage& TWebBrowser::Page() {
  TChromiumBrowser& C = Chromium();
  if (FPage && C.Running() && FPage->Generation == C.Generation()) return *FPage;
  if (FPage) {
    FPage->Link->Browser = nullptr;
    C.Unsubscribe(FPage->SessionId);
    FPage.reset();
  }
  C.Start();
  auto P = std::make_unique<TPage>();
  P->Generation = C.Generation();
  P->TargetId = Field(C.Call("Target.createTarget", {{"url", "about:blank"}}), "targetId");
  try {
    P->SessionId =
        Field(C.Call("Target.attachToTarget", {{"targetId", P->TargetId}, {"flatten", true}}),
              "sessionId");
    C.Call("Page.enable", json::object(), P->SessionId);
    C.Call("Network.enable", json::object(), P->SessionId);
    json Tree = C.Call("Page.getFrameTree", json::object(), P->SessionId);
    P->MainFrameId =
        Field(Tree.value("frameTree", json::object()).value("frame", json::object()), "id");
  } catch (...) {
    if (C.Running()) C.Send("Target.closeTarget", {{"targetId", P->TargetId}});
    throw;
  }
  P->Link = std::make_shared<TPageLink>(TPageLink{this, P->Generation, P->SessionId});
  C.Subscribe(P->SessionId, [this](const TDevToolsEvent& E) {
    try {
      HandleEvent(E);
    } catch (...) {
      Application->HandleException(this);
    }
  });
  FPage = std::move(P);
  FReadyState = READYSTATE_UNINITIALIZED;
  ApplyViewport();
  FPage->Barrier = C.LastSequence();
  return *FPage;
}

json TWebBrowser::PageCall(const std::string& Method, const json& Params) {
  TPage& P = Page();
  return Chromium().Call(Method, Params, P.SessionId);
}

void TWebBrowser::ApplyViewport() {
  // A zero width or height would switch the override off.
  PageCall("Emulation.setDeviceMetricsOverride", {{"width", std::max(Width(), 1)},
                                                  {"height", std::max(Height(), 1)},
                                                  {"deviceScaleFactor", 1},
                                                  {"mobile", false}});
}

void TWebBrowser::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  int OldWidth = Width(), OldHeight = Height();
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (FPage && (Width() != OldWidth || Height() != OldHeight)) ApplyViewport();
}

// ---- navigation ------------------------------------------------------------

void TWebBrowser::Navigate(const std::wstring& URL) { Navigate(ToUtf8(URL)); }

void TWebBrowser::Navigate(const std::string& URL) {
  bool Cancel = false;
  if (OnBeforeNavigate2) {
    TWebBrowserBeforeNavigate2 Handler = OnBeforeNavigate2;
    Handler(this, GetControlInterface(), OleVariant(URL), OleVariant(), OleVariant(), OleVariant(),
            OleVariant(), Cancel);
  }
  if (Cancel) return;
  TChromiumBrowser& C = Chromium();
  TPage& P = Page();
  TOleEnum Before = FReadyState;
  StopLoadWatch();
  P.Barrier = C.LastSequence();
  P.NavigateLoader.clear();
  P.ExpectedLoader.clear();
  P.MainStarted = false;
  P.Frames.clear();
  FReadyState = READYSTATE_LOADING;

  int Id = C.Send("Page.navigate", {{"url", URL}}, P.SessionId, true);
  json Reply;
  bool Answered;
  try {
    Answered = C.WaitForReply(Id, FNavigateTimeout, Reply);
  } catch (...) {
    FReadyState = READYSTATE_UNINITIALIZED;
    throw;
  }
  if (!Answered) {
    C.Forget(Id);
    // What the abandoned navigation still reports is stale once the stop
    // has been answered.
    C.Call("Page.stopLoading", json::object(), P.SessionId);
    P.Barrier = C.LastSequence();
    FReadyState = Before == READYSTATE_UNINITIALIZED ? Before : READYSTATE_COMPLETE;
    throw EOleException("The browser did not load " + URL + " within " +
                        std::to_string(FNavigateTimeout) + " ms");
  }
  if (auto E = Reply.find("error"); E != Reply.end()) {
    FReadyState = Before;
    throw EOleException(E->value("message", std::string("Navigation refused")) + ": " + URL);
  }
  const json& R = Reply["result"];
  if (auto Text = R.find("errorText"); Text != R.end() && Text->is_string() && !Text->empty()) {
    // The browser shows an error page of its own and would retry it;
    // the caller hears of the failure instead, and the page is left blank.
    P.SilentLoaders.insert(R.value("loaderId", std::string()));
    NavigateSilently(P, "about:blank");
    P.Barrier = C.LastSequence();
    FReadyState = READYSTATE_COMPLETE;
    throw EOleException(Text->get<std::string>() + ": " + URL);
  }
  auto Loader = R.find("loaderId");
  if (Loader == R.end() || !Loader->is_string()) {
    // Within the same document: nothing loads, but the caller waits for a
    // completed document all the same.
    FReadyState = READYSTATE_COMPLETE;
    std::weak_ptr<TPageLink> Link = P.Link;
    struct TPosted {
      std::weak_ptr<TPageLink> Link;
      std::string Url;
    };
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer Data) -> gboolean {
          auto* Posted = static_cast<TPosted*>(Data);
          if (auto L = Posted->Link.lock(); L && L->Browser && L->Browser->FPage) {
            try {
              L->Browser->FireDocumentComplete(L->Browser->FPage->MainFrameId, Posted->Url);
            } catch (...) {
              Application->HandleException(L->Browser);
            }
          }
          return G_SOURCE_REMOVE;
        },
        new TPosted{Link, URL}, [](gpointer Data) { delete static_cast<TPosted*>(Data); });
    return;
  }
  P.NavigateLoader = P.ExpectedLoader = Loader->get<std::string>();
  StartLoadWatch();
}

void TWebBrowser::NavigateSilently(TPage& P, const std::string& URL) {
  int Id = Chromium().Send("Page.navigate", {{"url", URL}}, P.SessionId, true);
  json Reply;
  if (!Chromium().WaitForReply(Id, FNavigateTimeout, Reply)) {
    Chromium().Forget(Id);
    return;
  }
  if (auto L = Reply["result"].find("loaderId"); L != Reply["result"].end() && L->is_string())
    P.SilentLoaders.insert(L->get<std::string>());
}

void TWebBrowser::Stop() {
  if (!FPage) return;
  StopLoadWatch();
  PageCall("Page.stopLoading");
}

std::string TWebBrowser::LocationURL() { return FPage ? FPage->MainUrl : std::string(); }

void TWebBrowser::StartLoadWatch() {
  StopLoadWatch();
  if (FLoadTimeout <= 0) return;
  FLoadWatch =
      g_timeout_add(static_cast<guint>(FLoadTimeout), &TWebBrowser::LoadWatchExpired, this);
}

void TWebBrowser::StopLoadWatch() {
  if (FLoadWatch) g_source_remove(FLoadWatch);
  FLoadWatch = 0;
}

int TWebBrowser::LoadWatchExpired(void* Self) {
  auto* B = static_cast<TWebBrowser*>(Self);
  B->FLoadWatch = 0;
  if (B->FReadyState != READYSTATE_COMPLETE && B->FPage) {
    // Stopping completes the page with what it has; the usual events follow.
    try {
      Chromium().Send("Page.stopLoading", json::object(), B->FPage->SessionId);
    } catch (...) {
      Application->HandleException(B);
    }
  }
  return G_SOURCE_REMOVE;
}

// ---- events ----------------------------------------------------------------

IDispatch* TWebBrowser::FrameDispatch(const std::string& FrameId) {
  if (!FPage || FrameId == FPage->MainFrameId) return GetControlInterface();
  TFrame& F = FPage->Frames[FrameId];
  if (!F.Dispatch) F.Dispatch = std::make_unique<IDispatch>();
  return F.Dispatch.get();
}

void TWebBrowser::FireBeforeNavigate(const std::string& FrameId, const std::string& URL) {
  if (!OnBeforeNavigate2) return;
  bool Cancel = false;
  TWebBrowserBeforeNavigate2 Handler = OnBeforeNavigate2;
  Handler(this, FrameDispatch(FrameId), OleVariant(URL), OleVariant(), OleVariant(), OleVariant(),
          OleVariant(), Cancel);
}

void TWebBrowser::FireDocumentComplete(const std::string& FrameId, const std::string& URL) {
  if (!OnDocumentComplete) return;
  TWebBrowserDocumentComplete Handler = OnDocumentComplete;
  Handler(this, FrameDispatch(FrameId), OleVariant(URL));
}

void TWebBrowser::HandleEvent(const TDevToolsEvent& E) {
  if (E.Method == TChromiumBrowser::LostEvent) {
    StopLoadWatch();
    if (FPage) FPage->Link->Browser = nullptr;
    FPage.reset();
    FReadyState = READYSTATE_UNINITIALIZED;
    return;
  }
  if (!FPage || E.Sequence <= FPage->Barrier || !E.Params.is_object()) return;
  TPage& P = *FPage;
  const json& A = E.Params;
  auto Silent = [&](const json& Obj, const char* Key) {
    auto L = Obj.find(Key);
    return L != Obj.end() && L->is_string() && P.SilentLoaders.count(L->get<std::string>());
  };

  if (E.Method == "Page.frameStartedNavigating") {
    std::string Type = A.value("navigationType", std::string());
    if (Type == "sameDocument" || Type == "historySameDocument" || Silent(A, "loaderId")) return;
    std::string Frame = A.value("frameId", std::string());
    std::string Loader = A.value("loaderId", std::string());
    if (Frame == P.MainFrameId) {
      P.MainStarted = true;
      if (!P.NavigateLoader.empty() && Loader == P.NavigateLoader) return;  // announced
      // The page navigates by itself (a refresh, a script): a new load.
      P.ExpectedLoader = Loader;
      P.Frames.clear();
      FReadyState = READYSTATE_LOADING;
      StartLoadWatch();
    }
    FireBeforeNavigate(Frame, A.value("url", std::string()));
  } else if (E.Method == "Network.requestWillBeSent") {
    if (A.value("type", std::string()) != "Document" || !A.contains("redirectResponse") ||
        Silent(A, "loaderId"))
      return;
    std::string Frame = A.value("frameId", std::string());
    if (Frame == P.MainFrameId && A.value("loaderId", std::string()) != P.ExpectedLoader) return;
    FireBeforeNavigate(Frame, A.value("request", json::object()).value("url", std::string()));
  } else if (E.Method == "Page.frameNavigated") {
    const json F = A.value("frame", json::object());
    std::string Id = F.value("id", std::string());
    if (!F.contains("parentId")) {
      if (Silent(F, "loaderId") || F.value("loaderId", std::string()) != P.ExpectedLoader) return;
      P.Frames.clear();
      P.MainStarted = false;
      P.MainUrl = FrameUrl(F);
      P.Frames[Id].Url = P.MainUrl;
      P.Frames[Id].Pending = true;
    } else {
      TFrame& Child = P.Frames[Id];
      Child.Url = FrameUrl(F);
      Child.Pending = true;
    }
  } else if (E.Method == "Page.frameStoppedLoading") {
    std::string Id = A.value("frameId", std::string());
    auto F = P.Frames.find(Id);
    if (F != P.Frames.end() && F->second.Pending) {
      F->second.Pending = false;
      std::string Url = F->second.Url;
      if (Id == P.MainFrameId) {
        StopLoadWatch();
        FReadyState = READYSTATE_COMPLETE;
      }
      FireDocumentComplete(Id, Url);
    } else if (Id == P.MainFrameId && P.MainStarted) {
      // The navigation ended without a new document (no content, a
      // download, stopped early): the old one stays.
      P.MainStarted = false;
      StopLoadWatch();
      FReadyState = READYSTATE_COMPLETE;
    }
  } else if (E.Method == "Page.domContentEventFired") {
    if (FReadyState == READYSTATE_LOADING && !P.MainStarted) FReadyState = READYSTATE_INTERACTIVE;
  } else if (E.Method == "Page.frameDetached") {
    P.Frames.erase(A.value("frameId", std::string()));
  } else if (E.Method == "Inspector.targetCrashed" || E.Method == "Inspector.detached") {
    // The page is gone; the next use makes a new one.
    StopLoadWatch();
    ClosePage();
    FReadyState = READYSTATE_UNINITIALIZED;
  }
}

// ---- late binding ----------------------------------------------------------

OleVariant OleVariant::Null() {
  OleVariant V;
  V.FValue = nullptr;
  return V;
}

OleVariant TWebBrowser::OleObject() {
  TPage& P = Page();
  OleVariant V;
  V.FObject = std::make_shared<OleVariant::TRemote>();
  V.FObject->Link = P.Link;
  return V;
}

OleVariant TWebBrowser::Document() { return Evaluate("document"); }

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
  TPage& P = Page();
  return Convert(PageCall("Runtime.evaluate", {{"expression", Expression}}), P.Link);
}

OleVariant OleVariant::Get(const std::string& Name) const {
  if (!FObject) throw EOleException("Variant does not reference an automation object");
  TPageLink& L = *FObject->Link;
  TWebBrowser* B = L.Browser;
  TChromiumBrowser& C = Chromium();
  if (!B || !C.Running() || C.Generation() != L.Generation)
    throw EOleException("The page of this automation object is gone");
  if (FObject->ObjectId.empty()) {
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
  json Reply = C.Call("Runtime.callFunctionOn",
                      {{"functionDeclaration", LookupFunction},
                       {"objectId", FObject->ObjectId},
                       {"arguments", json::array({{{"value", Name}}})}},
                      L.SessionId);
  return TWebBrowser::Convert(Reply, FObject->Link);
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

// ---- drawing ---------------------------------------------------------------

HRESULT TWebBrowser::Draw(std::uint32_t dwDrawAspect, std::int32_t, void*, const void*, const void*,
                          HDC hdcDraw, const TRect* lprcBounds, const TRect*, TContinue,
                          std::uintptr_t) {
  if (dwDrawAspect != DVASPECT_CONTENT || !hdcDraw || !lprcBounds) return E_INVALIDARG;
  const TRect R = *lprcBounds;
  if (R.Width() <= 0 || R.Height() <= 0) return E_INVALIDARG;
  TRgbImage Image;
  try {
    json Shot = PageCall("Page.captureScreenshot",
                         {{"format", "png"}, {"optimizeForSpeed", true}, {"fromSurface", true}});
    std::vector<std::uint8_t> Png = DecodeBase64(Shot.at("data").get_ref<const std::string&>());
    Image = ReadBrowserPng(Png.data(), Png.size());
  } catch (const std::exception&) {
    return E_FAIL;
  }
  TBitmap& Target = hdcDraw->Bitmap();
  int X0 = std::max(R.Left, 0), X1 = std::min(R.Right, Target.Width());
  int Y0 = std::max(R.Top, 0), Y1 = std::min(R.Bottom, Target.Height());
  if (X0 >= X1 || Y0 >= Y1) return 0;
  TPixelFormat Format = Target.PixelFormat();
  int Bytes = Format == pf24bit ? 3 : (Format == pf32bit || Format == pfDevice) ? 4 : 0;
  // The view is scaled into the bounds when their sizes differ.
  bool Scaled = R.Width() != Image.Width || R.Height() != Image.Height;
  std::vector<int> SourceX(static_cast<std::size_t>(X1 - X0));
  for (int x = X0; x < X1; ++x)
    SourceX[std::size_t(x - X0)] =
        Image.Bpp * static_cast<int>(std::int64_t(x - R.Left) * Image.Width / R.Width());
  for (int y = Y0; y < Y1; ++y) {
    int Sy =
        Scaled ? static_cast<int>(std::int64_t(y - R.Top) * Image.Height / R.Height()) : y - R.Top;
    const std::uint8_t* Src = Image.Row(Sy);
    if (!Bytes) {
      for (int x = X0; x < X1; ++x) {
        const std::uint8_t* P = Src + SourceX[std::size_t(x - X0)];
        Target.SetPixel(x, y, RGB(P[0], P[1], P[2]));
      }
      continue;
    }
    std::uint8_t* D = Target.ScanLine(y) + std::size_t(X0) * Bytes;
    for (int x = X0; x < X1; ++x, D += Bytes) {
      const std::uint8_t* P = Src + SourceX[std::size_t(x - X0)];
      D[0] = P[2];
      D[1] = P[1];
      D[2] = P[0];
      if (Bytes == 4) D[3] = 0;
    }
  }
  return 0;
}

}  // namespace host
