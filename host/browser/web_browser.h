#pragma once
// TWebBrowser: the platform web browser control, here a page of the shared
// headless Chromium. The page is laid out at the control's width and height.
// Navigate returns once the browser has accepted the request (or refused
// it); loading goes on in the background and its events arrive through the
// application's message loop: OnBeforeNavigate2 before every navigation of
// the page, its frames and each redirect, OnDocumentComplete once for every
// document that completes, the page's own last, when ReadyState reads
// READYSTATE_COMPLETE. Failures raise EOleException.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "host/forms/controls.h"
#include "host/graphics/canvas.h"
#include "host/system/ole_types.h"

namespace host {

class TWebBrowser;
struct TPageLink;

using HDC = TCanvas*;

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
// The page is gone (its renderer crashed, the browser ended): no event of it
// comes any more, and a page still loading never completes. Not called for
// the page a Navigate replaces.
using TWebBrowserPageLost = std::function<void(TObject* Sender, const std::string& Reason)>;

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

  // Raises EOleException when the browser refuses the URL (an invalid URL,
  // a host that cannot be reached, an error answer without a page), when it
  // does not accept it within NavigateTimeout, or when the browser is lost
  // twice. A page or browser that was lost before is replaced first.
  void Navigate(const std::wstring& URL) override;
  void Navigate(const std::string& URL);
  void Stop() override;
  TOleEnum ReadyState() override { return FReadyState; }
  std::string LocationURL() override;
  OleVariant Document() override;
  // The HTTP status the page's own document came with; 0 for documents
  // that have none (files, about:blank) and before the first one arrives.
  int StatusCode() const;
  // Waits until the images of the page that are still loading (lazy ones
  // just brought into view among them) have loaded or failed, at most
  // TimeoutMs.
  void WaitForImages(int TimeoutMs);
  bool Busy() const {
    return FReadyState != READYSTATE_COMPLETE && FReadyState != READYSTATE_UNINITIALIZED;
  }

  HRESULT Draw(std::uint32_t dwDrawAspect, std::int32_t lindex, void* pvAspect, const void* ptd,
               const void* hdcTargetDev, HDC hdcDraw, const TRect* lprcBounds,
               const TRect* lprcWBounds, TContinue pfnContinue, std::uintptr_t dwContinue) override;

  // Why the last Draw failed, empty after one that worked.
  const std::string& RenderError() const { return FRenderError; }

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  // How long Navigate waits for the browser to accept a request.
  int NavigateTimeout() const { return FNavigateTimeout; }
  void SetNavigateTimeout(int Ms) { FNavigateTimeout = Ms; }
  // A page still loading after this long is stopped, so that it completes
  // with what it has; 0 waits for ever.
  int LoadTimeout() const { return FLoadTimeout; }
  void SetLoadTimeout(int Ms) { FLoadTimeout = Ms; }
  // A page whose script and document heaps hold this many bytes or more
  // when the next navigation starts is closed, and that navigation loads in
  // a fresh page with a renderer of its own. A renderer keeps the garbage
  // and freed memory of the pages it has shown long after they are gone;
  // closing the page ends the renderer and all of it. 0 gives every
  // navigation a fresh page. Light pages keep theirs: a fresh one costs a
  // renderer's start-up.
  std::size_t PageHeapLimit() const { return FPageHeapLimit; }
  void SetPageHeapLimit(std::size_t Bytes) { FPageHeapLimit = Bytes; }

  TWebBrowserBeforeNavigate2 OnBeforeNavigate2;
  TWebBrowserDocumentComplete OnDocumentComplete;
  TWebBrowserPageLost OnPageLost;

 private:
  friend class OleVariant;
  struct TPage;
  struct TFrame;

  TPage& Page();
  void ClosePage();
  void ApplyViewport();
  nlohmann::json PageCall(const std::string& Method,
                          const nlohmann::json& Params = nlohmann::json::object());
  void HandleEvent(const struct TDevToolsEvent& Event);
  void FireBeforeNavigate(const std::string& FrameId, const std::string& URL);
  void FireDocumentComplete(const std::string& FrameId, const std::string& URL);
  IDispatch* FrameDispatch(const std::string& FrameId);
  void NavigateSilently(TPage& P, const std::string& URL);
  void NavigateOnce(const std::string& URL);
  void DropLostPage();
  void CloseHeavyPage();
  void PageLost(const std::string& Reason);
  void StartLoadWatch();
  void StopLoadWatch();
  static int LoadWatchExpired(void* Self);
  OleVariant Evaluate(const std::string& Expression);
  static OleVariant Convert(const nlohmann::json& Reply, const std::shared_ptr<TPageLink>& Link);

  std::unique_ptr<TPage> FPage;
  TOleEnum FReadyState = READYSTATE_UNINITIALIZED;
  int FNavigateTimeout = 30000;
  int FLoadTimeout = 60000;
  std::size_t FPageHeapLimit = 8 << 20;
  unsigned FLoadWatch = 0;
  bool FNavigating = false;
  std::string FRenderError;
};

}  // namespace host
