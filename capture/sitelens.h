#pragma once
// TSitelens: a panel that shows a live, scaled picture of a web page. It
// loads its URL into a hidden browser, renders the completed page into a
// full-size bitmap (FCapture), scales that into its own client area with a
// Mitchell filter and fires OnWebImageReady. A timer, a resize or a change of
// the view settings renders again; SaveToFile writes the capture as BMP,
// JPEG or PNG; a right click offers to open the page or the full capture.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/browser/web_browser.h"
#include "host/forms/controls.h"
#include "host/forms/menus.h"
#include "host/forms/timer.h"
#include "host/graphics/bitmap.h"

namespace snapkit {

class TDropURL;

enum TWebPageView : std::uint8_t { wvScreen = 0, wvFull = 1, wvCustom = 2 };

using TOnWebImageReadyEvent = std::function<void(host::TObject* Sender, const std::string& url)>;
// Why a capture did not complete or render: the address being captured and
// the exception's message.
using TOnCaptureErrorEvent =
    std::function<void(host::TObject* Sender, const std::string& url, const std::string& Message)>;

// The picture changed at a capture by Share of its pixels (0 to 1) against
// the one before, within Box (full-size capture pixels).
using TOnPageChangedEvent = std::function<void(host::TObject* Sender, const std::string& url,
                                               double Share, const host::TRect& Box)>;

// An application may send this to the control's window to hold refreshes
// and resize redraws back until the next capture has ended.
constexpr host::UINT UM_DISPLAYFILE = host::WM_APP + 999;

// The address a new control holds. It is never navigated by itself.
extern const char* const DefaultSitelensURL;

// A full-page capture is kept within these bounds: past them the browser's
// compositor gives up (16384 pixels a side) and one capture would hold
// gigabytes. The page is captured from its top-left corner.
constexpr int MaxCaptureSide = 16384;
constexpr std::int64_t MaxCapturePixels = std::int64_t(32) << 20;
// Images that a full-page capture's larger view has only just brought into
// view (lazily loaded ones) are waited for at most this long.
constexpr int FullPageImageWaitMs = 5000;

// Shrinks W x H to fit within MaxW x MaxH, keeping the aspect ratio; returns
// false and leaves both unchanged when they fit already. A size of 0 or less
// is taken as the box's.
bool ScaleToFit(int& W, int& H, int MaxW, int MaxH);

// A name for a new file in the private temporary folder, Prefix followed by
// a random number, with the extension replaced by Extension when it is not
// empty. No file of that name is left behind.
std::string MakeTempFileName(const std::string& Prefix, const std::string& Extension);

class TSitelens : public host::TCustomPanel {
 public:
  explicit TSitelens(host::TComponent* AOwner);
  ~TSitelens() override;
  std::string ClassName() const override { return "TSitelens"; }

  void Loaded() override;
  // Captures the current URL again, unless a capture is under way or none
  // has ended since the last URL change.
  void Refresh();
  // Writes the last capture; Width > 0 asks for that size (fitted when
  // Proportional). ".JPG" gives JPEG, ".PNG" PNG, anything else BMP. Returns
  // 0 when written, -1 when nothing has been shown yet or the last render
  // failed (then nothing is written).
  std::int32_t SaveToFile(const std::string& FileName, std::int32_t Width, std::int32_t Height);
  // The size of the picture the last SaveToFile that returned 0 wrote.
  int WrittenWidth() const { return FWrittenWidth; }
  int WrittenHeight() const { return FWrittenHeight; }

  bool Active() const { return FActive; }
  void SetActive(bool Value);
  const std::string& URL() const { return FURL; }
  void setUrl(const std::string& Value);
  TWebPageView WebPageView() const { return FWebPageView; }
  void SetWebPageView(TWebPageView Value);
  unsigned ViewWidth() const { return FViewWidth; }
  void SetViewWidth(unsigned Value) { FViewWidth = Value; }
  unsigned ViewHeight() const { return FViewHeight; }
  void SetViewHeight(unsigned Value) { FViewHeight = Value; }
  // The whole page's size when the last full-page capture measured it: past
  // the bounds of a picture, ViewWidth and ViewHeight are less. 0 before.
  int PageWidth() const { return FPageWidth; }
  int PageHeight() const { return FPageHeight; }
  bool Proportional() const { return FProportional; }
  void SetProportional(bool Value);
  bool TimedUpdate() const { return FTimedUpdate; }
  void SetTimedUpdate(bool Value);
  unsigned TimerInterval() const { return FTimerInterval; }
  void SetTimerInterval(unsigned Value);

  // Milliseconds to wait after the page has loaded before it is rendered,
  // for pages that draw late; 0 renders at once.
  unsigned RenderDelay() const { return FRenderDelay; }
  void SetRenderDelay(unsigned Value) { FRenderDelay = Value; }

  // The quality SaveToFile writes JPEG, WebP and AVIF files with, 1 to 100.
  int JPEGQuality() const { return FJPEGQuality; }
  void SetJPEGQuality(int Value);
  // SaveToFile writes WebP files lossless (the quality then unused).
  bool WebPLossless() const { return FWebPLossless; }
  void SetWebPLossless(bool Value) { FWebPLossless = Value; }

  // What pages are loaded with and what is done to them before they are
  // captured (the device scale factor, a selected element, a condition
  // waited for, ...) are the browser's: Browser().SetDeviceScaleFactor(2).
  // The capture has the browser's picture's pixels: the scale factor's
  // times the view's, or the selected element's box.

  TOnWebImageReadyEvent OnWebImageReady;
  // Captures that fail are otherwise silent: the control keeps its previous
  // picture. This tells the application why.
  TOnCaptureErrorEvent OnCaptureError;
  // The message of the last capture that failed, and what kind of failure
  // it was when the browser reported it; cleared when a capture starts.
  const std::string& LastError() const { return FLastError; }
  host::TNavigateFailure LastFailure() const { return FLastFailure; }
  // The HTTP status the last page came with (404 for a page not found,
  // which is captured as shown); 0 for files and pages without one.
  int StatusCode() const { return FBrowser->StatusCode(); }

  // The full-size capture, the picture shown and the hidden browser.
  host::TBitmap& Capture() { return *FCapture; }
  host::TImage& Image() { return *FImage; }
  host::TWebBrowser& Browser() { return *FBrowser; }
  bool CaptureDone() const { return FCaptureDone; }
  bool HiddenForLoad() const { return FHiddenForLoad; }
  const std::string& ViewFile() const { return FViewFile; }
  host::TPopupMenu& PopupMenu() { return *FPopup; }
  host::TTimer* Timer() const { return FTimer; }
  TDropURL& DropURL() { return *FDropURL; }

  // How much the picture changed at the last capture, against the one
  // before, measured on the full-size captures with `snapkit diff`'s
  // comparison off the loop thread: the share of pixels (0 to 1) and their
  // box. Measured only while MeasureChange is set or OnPageChanged is
  // assigned; -1 (and an empty box) until a capture has been compared.
  // The figures arrive after OnWebImageReady, with OnPageChanged.
  bool MeasureChange() const { return FMeasureChange; }
  void SetMeasureChange(bool Value) { FMeasureChange = Value; }
  double PageChange() const { return FPageChange; }
  const host::TRect& PageChangeBox() const { return FPageChangeBox; }
  // OnPageChanged fires when the share is above this (0: any pixel).
  double ChangeThreshold() const { return FChangeThreshold; }
  void SetChangeThreshold(double Value);
  TOnPageChangedEvent OnPageChanged;
  // What the measuring threads' answers find the control by.
  struct TChangeState;

  void WndProc(host::TMessage& Message) override;

 private:
  void Timer1Timer(host::TObject* Sender);
  void Panel1Resize(host::TObject* Sender);
  void UMDisplayFile(host::TMessage& Message);
  void DropURL1DropURL(host::TObject* Sender, const std::string& URL);
  void WebBrowser1BeforeNavigate2(host::TObject* Sender, host::IDispatch* pDisp,
                                  const host::OleVariant& URL, const host::OleVariant& Flags,
                                  const host::OleVariant& TargetFrameName,
                                  const host::OleVariant& PostData, const host::OleVariant& Headers,
                                  bool& Cancel);
  void WebPageBrowserDocumentComplete(host::TObject* Sender, host::IDispatch* pDisp,
                                      const host::OleVariant& URL);
  void CaptureLoadedPage(const std::string& Url);
  void CaptureSize(unsigned& Width, unsigned& Height);
  void WebBrowserPrepareDraw(host::TRenderPlan& Plan);
  void WebBrowserNavigateError(host::TNavigateFailure Kind, const std::string& Reason);
  void DisplayWebPage(host::IWebBrowser2* Browser, unsigned ViewWidth, unsigned ViewHeight);
  // Scales FCapture into the picture shown.
  void ShowCapture();
  void Image1MouseDown(host::TObject* Sender, host::TMouseButton Button, host::TShiftState Shift,
                       int X, int Y);
  void LaunchHandler(host::TObject* Sender);
  void ViewHandler(host::TObject* Sender);
  void Navigate();
  int ScrollSize(const char* Name);
  void CaptureFailed(const std::string& Url, const std::exception& E);
  void RestoreAfterLoad();
  // Compares the new capture with the one before, off the loop thread.
  void StartChangeMeasure(const std::string& Url);
  void ChangeMeasured(const std::string& Url, double Share, const host::TRect& Box);

  TDropURL* FDropURL = nullptr;
  std::unique_ptr<host::TBitmap> FCapture;
  host::TPopupMenu* FPopup = nullptr;
  host::TMenuItem* FLaunchItem = nullptr;
  host::TMenuItem* FViewItem = nullptr;
  host::TScrollBox* FBrowserHost = nullptr;
  host::TWebBrowser* FBrowser = nullptr;
  host::TImage* FImage = nullptr;
  host::TTimer* FTimer = nullptr;

  std::string FViewFile;
  bool FCaptureDone = false;
  bool FHiddenForLoad = false;
  bool FRestoringSize = false;
  bool FSavedVisible = true;
  int FSavedWidth = 128;
  int FSavedHeight = 128;
  int FWrittenWidth = 0;
  int FWrittenHeight = 0;
  std::string FLastError;
  host::TNavigateFailure FLastFailure = host::nfFailed;
  bool FRenderFailed = false;  // FCapture holds what a failed render left

  bool FActive = true;
  std::string FURL;
  TWebPageView FWebPageView = wvScreen;
  unsigned FViewWidth = 0;
  unsigned FViewHeight = 0;
  int FPageWidth = 0, FPageHeight = 0;
  bool FProportional = true;
  bool FTimedUpdate = false;
  unsigned FTimerInterval = 0;
  unsigned FRenderDelay = 0;
  int FJPEGQuality = 90;

  bool FMeasureChange = false;
  double FPageChange = -1;
  host::TRect FPageChangeBox;
  double FChangeThreshold = 0;
  std::shared_ptr<TChangeState> FChange;
  bool FWebPLossless = false;
};

}  // namespace snapkit
