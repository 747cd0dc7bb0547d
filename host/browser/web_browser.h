#pragma once
// TWebBrowser: the platform web browser control, here a page of the shared
// headless Chromium. The page is laid out at the control's width and height.
// Navigate checks the address and returns at once; loading goes on in the
// background, and nothing of it waits in the application's message loop.
// Its events arrive through that loop: OnBeforeNavigate2 before every
// navigation of the page, its frames and each redirect, OnDocumentComplete
// once for every document that completes, the page's own last, when
// ReadyState reads READYSTATE_COMPLETE, and OnNavigateError when a
// navigation that was accepted fails. Before the page's own document is
// reported complete its picture has been taken and decoded (OnPrepareDraw
// says at what size), so that a Draw in the handler does not wait.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "host/browser/cookies_file.h"
#include "host/browser/credentials.h"
#include "host/forms/controls.h"
#include "host/graphics/canvas.h"
#include "host/system/ole_types.h"

namespace host {

class TWebBrowser;
class TFilterSet;
struct TPageLink;
struct TNavigation;

using HDC = TCanvas*;

// Navigate refuses the address before anything is sent: Why says what is
// wrong with it, the message adds the address.
class EAddressRefused : public EOleException {
 public:
  EAddressRefused(const std::string& Why, const std::string& URL)
      : EOleException(Why + ": " + URL), FWhy(Why) {}
  const std::string& Why() const { return FWhy; }

 private:
  std::string FWhy;
};

enum TOleEnum : int {
  READYSTATE_UNINITIALIZED = 0,
  READYSTATE_LOADING = 1,
  READYSTATE_LOADED = 2,
  READYSTATE_INTERACTIVE = 3,
  READYSTATE_COMPLETE = 4,
};

// The late-bound value world of the control: empty (a parameter not
// supplied), null, a boolean, a number, a string, or an object of the page
// whose properties can be read by name in turn. Names match properties
// without regard to case ("ScrollWidth" reads scrollWidth).
class OleVariant {
 public:
  OleVariant() = default;
  OleVariant(const char* Value) : FValue(Value) {}
  OleVariant(const std::string& Value) : FValue(Value) {}
  OleVariant(double Value) : FValue(Value) {}
  OleVariant(int Value) : FValue(Value) {}
  OleVariant(bool Value) : FValue(Value) {}
  static OleVariant Null();

  bool IsEmpty() const { return !FObject && FValue.is_discarded(); }
  bool IsNull() const { return !FObject && FValue.is_null(); }
  bool IsObject() const { return FObject != nullptr; }

  // Reads a parameterless property. Raises EOleException when this is not
  // an object, has no such property, or the browser cannot be asked.
  OleVariant Get(const std::string& Name) const;
  OleVariant operator[](const std::string& Name) const { return Get(Name); }

  // Conversions raise EConvertError for values that have none. Numbers
  // become integers rounding halves to even.
  std::int64_t AsInteger() const;
  double AsNumber() const;
  std::string AsString() const;
  bool AsBoolean() const;

  struct TRemote;

 private:
  friend class TWebBrowser;
  static OleVariant FromObject(std::shared_ptr<TPageLink> Link, std::string ObjectId);
  static const std::string& Fetch(TRemote& R);
  static OleVariant Lookup(TRemote& Object, const std::string& Name);
  static OleVariant FromJson(const nlohmann::json& Value);
  std::shared_ptr<TRemote> FObject;
  nlohmann::json FValue = nlohmann::json(nlohmann::json::value_t::discarded);
};

// The base of every object the control hands out late-bound.
class IDispatch {
 public:
  virtual ~IDispatch() = default;
};

// The control's own interface.
class IWebBrowser2 : public IDispatch {
 public:
  virtual TOleEnum ReadyState() = 0;
  virtual std::string LocationURL() = 0;
  virtual OleVariant Document() = 0;
  virtual void Navigate(const std::wstring& URL) = 0;
  virtual void Stop() = 0;
};

// Renders the control's current view. Query it from the control interface
// with dynamic_cast, as the platform queries interfaces.
class IViewObject {
 public:
  virtual ~IViewObject() = default;
  using TContinue = bool (*)(std::uintptr_t);
  // Renders the view (laid out at the control's size) into hdcDraw's bitmap
  // within lprcBounds, scaled if the sizes differ. Returns 0 on success and
  // a negative code on failure (E_INVALIDARG for a bad aspect, index or
  // bounds, E_FAIL when the browser cannot render).
  virtual HRESULT Draw(std::uint32_t dwDrawAspect, std::int32_t lindex, void* pvAspect,
                       const void* ptd, const void* hdcTargetDev, HDC hdcDraw,
                       const TRect* lprcBounds, const TRect* lprcWBounds, TContinue pfnContinue,
                       std::uintptr_t dwContinue) = 0;
};

using TWebBrowserBeforeNavigate2 =
    std::function<void(TObject* Sender, IDispatch* pDisp, const OleVariant& URL,
                       const OleVariant& Flags, const OleVariant& TargetFrameName,
                       const OleVariant& PostData, const OleVariant& Headers, bool& Cancel)>;
using TWebBrowserDocumentComplete =
    std::function<void(TObject* Sender, IDispatch* pDisp, const OleVariant& URL)>;

// Why a navigation that was accepted did not complete.
enum TNavigateFailure : int {
  nfUnreachable,  // no answer from the address: host, DNS, connection, TLS
  nfTimeout,      // not loaded or not rendered in time, or hung in its own script
  nfCrashed,      // the page's renderer ended, or the page was closed
  nfBrowserLost,  // the browser ended or stopped answering
  nfFailed,       // anything else: a redirect loop, a download, no document
};
// The navigation ended without a complete document: no event of it comes
// any more and the page is left blank. Also called when the page is lost
// while it shows a document. Not called for a navigation that a later
// Navigate replaced.
using TWebBrowserNavigateError = std::function<void(
    TObject* Sender, const std::string& URL, TNavigateFailure Kind, const std::string& Reason)>;

// What to draw once the page's own document has loaded, asked for before
// it is reported complete. Width and Height start as the control's size.
enum TWaitUntil : std::uint8_t { wuLoad, wuDOMContentLoaded, wuNetworkIdle };

struct TRenderPlan {
  int Width = 0;
  int Height = 0;
  int ImageWaitMs = 0;  // > 0: first wait this long at most for images still loading
  // Width x Height is the picture's, of the page as laid out for the
  // control's size: the control keeps its size and the picture reaches past
  // its viewport, so a page's 100vh stays one screen and fixed headers show
  // once. Lazy images anywhere on the page are loaded.
  bool BeyondViewport = false;
  int DelayMs = 0;      // then wait this long for pages that draw late
};
using TWebBrowserPrepareDraw = std::function<void(TObject* Sender, TRenderPlan& Plan)>;

class TWebBrowser : public TWinControl, public IWebBrowser2, public IViewObject {
 public:
  explicit TWebBrowser(TComponent* AOwner);
  ~TWebBrowser() override;
  std::string ClassName() const override { return "TWebBrowser"; }

  IWebBrowser2* GetControlInterface() { return this; }
  IWebBrowser2* ControlInterface() { return this; }
  // The automation object: "Document", "LocationURL", "LocationName",
  // "ReadyState" and "Busy" can be read from it.
  OleVariant OleObject();

  // Raises EOleException for an address that is malformed or whose scheme
  // the control does not load (http, https, file, data and about are
  // loaded); everything later is reported through the events.
  void Navigate(const std::wstring& URL) override;
  void Navigate(const std::string& URL);
  // Stops loading and gives up the navigation under way: no event of it
  // comes any more.
  void Stop() override;
  TOleEnum ReadyState() override;
  std::string LocationURL() override;
  OleVariant Document() override;
  // The HTTP status the page's own document came with; 0 for documents
  // that have none (files, about:blank) and before the first one arrives;
  // after a failure, the status of the page given up, if it had one.
  int StatusCode() const;
  bool Busy();

  HRESULT Draw(std::uint32_t dwDrawAspect, std::int32_t lindex, void* pvAspect, const void* ptd,
               const void* hdcTargetDev, HDC hdcDraw, const TRect* lprcBounds,
               const TRect* lprcWBounds, TContinue pfnContinue, std::uintptr_t dwContinue) override;

  // Why the last Draw failed, empty after one that worked: the picture of
  // the page's document is drawn, and there is none while it loads or after
  // it failed.
  const std::string& RenderError() const { return FRenderError; }

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  // How long the browser may take to answer a navigation (with its first
  // document, or its failure); past it the navigation fails as timed out.
  int NavigateTimeout() const { return FNavigateTimeout; }
  void SetNavigateTimeout(int Ms) { FNavigateTimeout = Ms; }
  // A page still loading after this long is stopped, so that it completes
  // with what it has; one that does not stop either (its script never
  // yields) fails as timed out. 0 waits for ever.
  int LoadTimeout() const { return FLoadTimeout; }
  void SetLoadTimeout(int Ms) { FLoadTimeout = Ms; }
  // From the end of the load to the picture taken for OnDocumentComplete;
  // past it the navigation fails as timed out.
  int RenderTimeout() const { return FRenderTimeout; }
  void SetRenderTimeout(int Ms) { FRenderTimeout = Ms; }
  // A page whose script and document heaps still hold this many bytes or
  // more when the next navigation starts, once their garbage is collected,
  // is closed, and that navigation loads in a fresh page with a renderer of
  // its own. The garbage is collected first only once the heaps reach
  // 32 MiB (or this limit, if higher); below that the page is kept. A
  // renderer keeps the garbage and freed memory of the pages it has shown
  // long after they are gone; closing the page ends the renderer and all of
  // it. 0 gives every navigation a fresh page. Below the limit a page is
  // kept: a fresh one costs a renderer's start-up.
  std::size_t PageHeapLimit() const { return FPageHeapLimit; }
  void SetPageHeapLimit(std::size_t Bytes) { FPageHeapLimit = Bytes; }

  // ---- what pages are loaded with (web_browser_options.cpp) ----------------
  // Device pixels per CSS pixel: pictures have this many times the pixels
  // of the layout's size. Above 0 and at most 8, else EInvalidOperation.
  double DeviceScaleFactor() const { return FScaleFactor; }
  void SetDeviceScaleFactor(double Value);
  // Sent instead of the browser's own when not empty.
  const std::string& UserAgent() const { return FUserAgent; }
  void SetUserAgent(const std::string& Value);
  // Sent with every request of the page. A name that is no HTTP token, or a
  // line break in a value, raises EOleException.
  using THeaders = std::vector<std::pair<std::string, std::string>>;
  const THeaders& ExtraHeaders() const { return FExtraHeaders; }
  void SetExtraHeaders(const THeaders& Value);
  // The prefers-color-scheme the page sees: "light", "dark", or empty for
  // the browser's own.
  const std::string& ColorScheme() const { return FColorScheme; }
  void SetColorScheme(const std::string& Value);
  // False refuses file: addresses: Navigate raises for them. Chromium
  // keeps web pages from them already; a page's own navigation to one that
  // commits all the same fails.
  bool AllowLocal() const { return FAllowLocal; }
  void SetAllowLocal(bool Value) { FAllowLocal = Value; }
  // When the page counts as loaded: its load event (the default), its
  // DOMContentLoaded, or the load and then no more than two requests in
  // flight for 500 ms, which pages that send beacons for ever still reach.
  // LoadTimeout bounds the wait for an idle network too; a page that never
  // goes idle fails as timed out.
  TWaitUntil WaitUntil() const { return FWaitUntil; }
  void SetWaitUntil(TWaitUntil Value);

  // ---- who the page is to the sites it loads (web_browser_access.cpp) -----
  // A page with cookies or a proxy has a browser context of its own: its
  // cookies reach no other control and go with the page.
  // Cookies (as ReadCookiesFile reads them) set before every navigation. One
  // without a name or a host raises EOleException.
  const std::vector<TCookie>& Cookies() const { return FCookies; }
  void SetCookies(std::vector<TCookie> Value);
  // NAME=VALUE cookies for the host of each address navigated to (http and
  // https only). One ParseCookieArgument refuses raises EOleException.
  const std::vector<std::string>& PageCookies() const { return FPageCookies; }
  void SetPageCookies(std::vector<std::string> Value);
  // Every request of the page, loopback addresses too, goes through this
  // proxy: http://, https:// or socks5://HOST[:PORT]; empty for none.
  // Anything else raises EOleException, as ProxyServer says.
  const std::string& Proxy() const { return FProxy; }
  void SetProxy(const std::string& Url);
  // The proxy as the browser takes it ("http://host:3128"). Raises
  // EOleException for what is no such address, and for a user name or
  // password in it, which the browser cannot be given this way; messages
  // never repeat those.
  static std::string ProxyServer(const std::string& Url);
  // Cookie-consent dialogs answered "reject" where the manager allows it,
  // else hidden, and their scroll lock lifted (consent_rules.h).
  bool BlockCookieBanners() const { return FBlockCookieBanners; }
  void SetBlockCookieBanners(bool Value);

  // ---- what is done to a loaded page before its picture is taken ----------
  // In this order, before the page is measured: StyleSheet is added to the
  // document, the elements that HideSelector matches get display:none,
  // Script runs (a promise it ends with is awaited), and WaitFor is polled
  // until it holds. A failing script, or a selector that is none, fails the
  // navigation; time runs out as RenderTimeout says.
  const std::string& StyleSheet() const { return FStyleSheet; }
  void SetStyleSheet(const std::string& Value) { FStyleSheet = Value; }
  const std::string& HideSelector() const { return FHideSelector; }
  void SetHideSelector(const std::string& Value) { FHideSelector = Value; }
  const std::string& Script() const { return FScript; }
  void SetScript(const std::string& Value) { FScript = Value; }
  // A CSS selector that must match, or a JavaScript expression that must be
  // true: a selector when the text is one, else an expression; "js:" before
  // it makes it an expression whatever it looks like ("js:window.ready").
  const std::string& WaitFor() const { return FWaitFor; }
  void SetWaitFor(const std::string& Value) { FWaitFor = Value; }
  // Not empty: the picture is the box of the first element it matches, as
  // laid out when it is taken; none matching fails the navigation.
  const std::string& Selector() const { return FSelector; }
  void SetSelector(const std::string& Value) { FSelector = Value; }
  // The web fonts the page uses are loaded before its picture is taken, for
  // at most half of RenderTimeout; FontsWait says how that wait ended
  // ("loaded", "timed out", "off"), empty before it.
  bool WaitForFonts() const { return FWaitForFonts; }
  void SetWaitForFonts(bool Value) { FWaitForFonts = Value; }
  const std::string& FontsWait() const;
  // Just before the picture: CSS animations and transitions that end are
  // finished, endless ones set back to their start and paused, videos shown
  // at their first frame, and the text caret hidden, so that the same page
  // gives the same pixels every time.
  bool DisableAnimations() const { return FDisableAnimations; }
  void SetDisableAnimations(bool Value) { FDisableAnimations = Value; }
  // What the picture being prepared still waits for ("the selector #x to
  // match", "the network to go idle"); empty when it waits for nothing of
  // WaitFor's or WaitUntil's.
  std::string Waiting() const;
  // The size in pixels of the picture taken for the document, while it
  // still shows the current view; false when there is none.
  bool PictureSize(int& Width, int& Height) const;

  // ---- ads, trackers and logins (web_browser_blocking.cpp, page_fetch.cpp) --
  // Requests that EasyList (ads), EasyPrivacy (trackers) or the files of
  // FilterLists (the same syntax) refuse are not fetched, and the elements
  // their hiding rules name are hidden. A page whose own address they
  // refuse fails. The lists are read on the first page that needs them and
  // kept for the process. A list that is missing or unreadable raises
  // EOleException. Off, nothing of it is sent to the browser.
  bool BlockAds() const { return FBlockAds; }
  void SetBlockAds(bool Value);
  bool BlockTrackers() const { return FBlockTrackers; }
  void SetBlockTrackers(bool Value);
  const std::vector<std::string>& FilterLists() const { return FFilterLists; }
  void SetFilterLists(std::vector<std::string> Files);
  // The files those options name, in the order read; raises EOleException
  // as the setters do.
  static std::vector<std::string> FilterListPaths(bool Ads, bool Trackers,
                                                  const std::vector<std::string>& Files);
  // The login given to an HTTP Basic or Digest challenge, once for each
  // navigation; a second challenge is refused, so a wrong password ends as
  // a page that asks for a login. Empty: challenges are not answered.
  // Chromium itself keeps a login that worked and may send it again
  // unasked to the same server for the rest of the browser's life.
  const TCredentials& Credentials() const { return FCredentials; }
  void SetCredentials(const TCredentials& Value);

  TWebBrowserBeforeNavigate2 OnBeforeNavigate2;
  TWebBrowserDocumentComplete OnDocumentComplete;
  TWebBrowserNavigateError OnNavigateError;
  TWebBrowserPrepareDraw OnPrepareDraw;

 private:
  friend class OleVariant;
  friend struct TNavigation;
  struct TPage;
  using TNavigationRef = std::shared_ptr<TNavigation>;
  using TStep = std::function<void(TNavigation& N, const struct TDevToolsReply& Reply)>;

  void FiltersChanged();  // web_browser_blocking.cpp

  // The page (page_session.cpp): the browser's tab behind the control, kept
  // from one navigation to the next.
  TPage* LivePage();
  void OpenPage();
  void OpenTarget(std::weak_ptr<TPage> Weak, const std::string& ContextId);
  void PageReady();
  void ClosePage();
  void SubscribePage();
  void SetUpPage(const std::string& SessionId);
  void ApplyViewport();
  void CheckHeap(const TNavigationRef& N);
  // Sends a command of the page whose answer reaches Step while N is still
  // the control's navigation.
  void PageCommand(const TNavigationRef& N, const std::string& Method, const nlohmann::json& Params,
                   TStep Step);
  // Waits for the answer: for the application's own late-bound reads only.
  nlohmann::json PageCallSynchronously(const std::string& Method,
                                       const nlohmann::json& Params = nlohmann::json::object(),
                                       int TimeoutMs = 10000);

  // The navigation (web_browser.cpp, navigation_events.cpp).
  void Replace(TNavigationRef N);
  void Fail(const TNavigationRef& N, TNavigateFailure Kind, const std::string& Reason);
  void DeadlinePassed(const TNavigationRef& N);
  void HandleEvent(const struct TDevToolsEvent& Event);
  void HandleLoadEvent(const TNavigationRef& N, const struct TDevToolsEvent& Event);
  void NavigateAnswered(const TNavigationRef& N, const struct TDevToolsReply& Reply);
  bool FireBeforeNavigate(const TNavigationRef& N, const std::string& FrameId,
                          const std::string& URL);
  bool FireDocumentComplete(const TNavigationRef& N, const std::string& FrameId,
                            const std::string& URL);
  IDispatch* FrameDispatch(TNavigation& N, const std::string& FrameId);
  bool RefusedLocal(const TNavigationRef& N, const std::string& URL);

  // From the loaded document to its picture (capture_steps.cpp), one stage
  // after the other.
  void Advance(const TNavigationRef& N);
  void DocumentLoaded(const TNavigationRef& N);
  void LoadEventFired(const TNavigationRef& N);
  void Shoot(const TNavigationRef& N);
  void Decode(const TNavigationRef& N, std::string Base64);

  // The Fetch domain (page_fetch.cpp): enabled on a page's setup when
  // anything is blocked or a login is given; its events answered.
  void EnableFetch(const std::string& SessionId);
  void HandleFetchEvent(const struct TDevToolsEvent& Event);
  // The hiding rules' style sheet for N's page into Css; false when N failed
  // (its lists could not be read).
  bool FilterHidingCss(const TNavigationRef& N, std::string& Css);

  OleVariant Evaluate(const std::string& Expression);
  static OleVariant Convert(const nlohmann::json& Reply, const std::shared_ptr<TPageLink>& Link);

  std::shared_ptr<TPage> FPage;
  TNavigationRef FNav;
  int FNavigateTimeout = 30000;
  int FLoadTimeout = 60000;
  int FRenderTimeout = 30000;
  std::size_t FPageHeapLimit = 8 << 20;
  std::string FRenderError;

  double FScaleFactor = 1;
  std::string FUserAgent;
  THeaders FExtraHeaders;
  std::string FColorScheme;
  bool FAllowLocal = true;
  TWaitUntil FWaitUntil = wuLoad;
  // The page was set up with other options: the next navigation opens a
  // fresh one.
  bool FPageOptionsChanged = false;
  std::string FStyleSheet, FHideSelector, FScript, FWaitFor, FSelector;
  bool FWaitForFonts = true;
  bool FDisableAnimations = false;

  // Cookies, proxy and consent dialogs (web_browser_access.cpp).
  bool OwnContext() const { return !FProxy.empty() || !FCookies.empty() || !FPageCookies.empty(); }
  void OpenContext(std::weak_ptr<TPage> Weak);
  void SetUpAccess(const std::string& SessionId);
  void SendCookies(const TNavigationRef& N);
  void HandleConsent(const TNavigationRef& N);
  std::vector<TCookie> FCookies;
  std::vector<std::string> FPageCookies;
  std::string FProxy;  // as ProxyServer gives it
  bool FBlockCookieBanners = false;

  // Ads, trackers and logins.
  bool FBlockAds = false, FBlockTrackers = false;
  std::vector<std::string> FFilterLists;
  std::shared_ptr<const TFilterSet> FFilterSet;  // read on the first page that needs it
  std::string FFilterError;                      // why it could not be read
  TCredentials FCredentials;
  std::weak_ptr<TNavigation> FAuthAnswered;  // the navigation a login was given to
};

}  // namespace host
