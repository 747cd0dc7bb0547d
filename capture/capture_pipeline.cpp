// From a loaded page to the picture shown: the browser's navigation events,
// rendering into FCapture and scaling into the image.

#include <algorithm>
#include <limits>

#include "capture/sitelens.h"
#include "host/forms/screen.h"
#include "host/graphics/picture.h"
#include "host/system/numeric.h"
#include "imaging/filters.h"
#include "imaging/resample.h"

namespace snapkit {

bool ScaleToFit(int& W, int& H, int MaxW, int MaxH) {
  if (MaxW >= W && MaxH >= H) return false;
  if (W <= 0) W = MaxW;
  if (H <= 0) H = MaxH;
  const int W0 = W, H0 = H;
  long double Rx = static_cast<long double>(MaxW) / W;
  long double Ry = static_cast<long double>(MaxH) / H;
  long double R = std::min(Rx, Ry);
  W = static_cast<int>(host::Round(W0 * R));
  H = static_cast<int>(host::Round(H0 * R));
  if (W <= 0 || H <= 0) {
    W = W0;
    H = H0;
  }
  return true;
}

void TSitelens::WebBrowser1BeforeNavigate2(host::TObject*, host::IDispatch* pDisp,
                                           const host::OleVariant&, const host::OleVariant&,
                                           const host::OleVariant&, const host::OleVariant&,
                                           const host::OleVariant&, bool&) {
  // A frame's navigation is not the page's: laying the page out anew for
  // it would make the picture being taken stale.
  if (pDisp != FBrowser->ControlInterface()) return;
  FBrowser->SetBounds(FBrowser->Left(), FBrowser->Top(), host::Screen->Width(),
                      host::Screen->Height());
  if (FHiddenForLoad) return;
  FSavedVisible = Visible();
  if (Visible()) return;
  FSavedWidth = Width();
  FSavedHeight = Height();
  SetBounds(Left(), Top(), 0, 0);
  SetVisible(true);
  FHiddenForLoad = true;
}

int TSitelens::ScrollSize(const char* Name) {
  return static_cast<int>(
      std::clamp<std::int64_t>(FBrowser->OleObject()["Document"]["Body"][Name].AsInteger(), 0,
                               std::numeric_limits<int>::max()));
}

void TSitelens::WebPageBrowserDocumentComplete(host::TObject*, host::IDispatch* pDisp,
                                               const host::OleVariant& URL) {
  // A frame's document is part of the page, not a capture of its own.
  if (pDisp != FBrowser->ControlInterface()) return;
  std::string Url;
  try {
    Url = URL.AsString();
    if (FBrowser->ReadyState() != host::READYSTATE_COMPLETE) return;
  } catch (...) {
    return;
  }
  CaptureLoadedPage(Url);
}

void TSitelens::CaptureSize(unsigned& Width, unsigned& Height) {
  // The bounds are the picture's, which has the scale factor's times the
  // page's pixels a side: past them a capture would fail in the compositor
  // or take gigabytes.
  const double Scale = FBrowser->DeviceScaleFactor();
  const int Side = std::min(MaxCaptureSide, int(MaxCaptureSide / Scale));
  const std::int64_t Pixels = std::int64_t(double(MaxCapturePixels) / (Scale * Scale));
  switch (FWebPageView) {
    case wvScreen:
      Width = static_cast<unsigned>(host::Screen->Width());
      Height = static_cast<unsigned>(host::Screen->Height());
      return;
    case wvFull: {
      FPageWidth = ScrollSize("ScrollWidth");
      FPageHeight = ScrollSize("ScrollHeight");
      int W = std::min(FPageWidth, Side);
      int H = std::min(FPageHeight, Side);
      // Past the bounds the page is cut at the bottom (and the right).
      if (W > 0) H = static_cast<int>(std::min<std::int64_t>(H, Pixels / W));
      Width = static_cast<unsigned>(W);
      Height = static_cast<unsigned>(H);
      return;
    }
    case wvCustom: {
      Width = std::min<unsigned>(Width < 32 ? 640 : Width, unsigned(Side));
      Height = std::min<unsigned>(Height < 32 ? 480 : Height, unsigned(Side));
      Height = static_cast<unsigned>(std::min<std::int64_t>(Height, Pixels / Width));
      return;
    }
  }
}

// Asked by the browser before it reports the page complete, so that the
// picture drawn in the handler was taken and decoded while the loop went on.
void TSitelens::WebBrowserPrepareDraw(host::TRenderPlan& Plan) {
  unsigned W = FViewWidth, H = FViewHeight;
  try {
    CaptureSize(W, H);
  } catch (const std::exception&) {
    return;  // the handler's own lookup fails the same way and says so
  }
  Plan.Width = static_cast<int>(W);
  Plan.Height = static_cast<int>(H);
  // The page stays laid out for the screen, and the picture goes on below
  // it; lazily loaded images are loaded, else they would be drawn blank.
  if (FWebPageView == wvFull) {
    Plan.BeyondViewport = true;
    Plan.ImageWaitMs = FullPageImageWaitMs;
  }
  Plan.DelayMs = static_cast<int>(FRenderDelay);
}

void TSitelens::CaptureLoadedPage(const std::string& Url) {
  try {
    CaptureSize(FViewWidth, FViewHeight);
    // A full page was taken past the screen it stays laid out for.
    if (FWebPageView != wvFull)
      FBrowser->SetBounds(FBrowser->Left(), FBrowser->Top(), static_cast<int>(FViewWidth),
                          static_cast<int>(FViewHeight));
    DisplayWebPage(FBrowser->GetControlInterface(), FViewWidth, FViewHeight);
    RestoreAfterLoad();
    StartChangeMeasure(Url);
  } catch (const std::exception& E) {
    CaptureFailed(Url, E);
    return;
  } catch (...) {
    return;
  }
  if (!OnWebImageReady) return;
  // The handler may free this control: nothing of it is touched afterwards.
  TOnWebImageReadyEvent Handler = OnWebImageReady;
  try {
    Handler(this, Url);
  } catch (...) {
  }
}

void TSitelens::RestoreAfterLoad() {
  if (!FHiddenForLoad) return;
  FHiddenForLoad = false;
  SetVisible(FSavedVisible);
  if (Width() == 0) {
    // The capture was just shown unscaled; getting the old size back is not
    // a resize to render again for.
    FRestoringSize = true;
    SetBounds(Left(), Top(), FSavedWidth, FSavedHeight);
    FRestoringSize = false;
  }
}

void TSitelens::DisplayWebPage(host::IWebBrowser2* Browser, unsigned ViewWidth,
                               unsigned ViewHeight) {
  int VW = static_cast<int>(ViewWidth), VH = static_cast<int>(ViewHeight);
  try {
    // The browser's picture, of the scale factor's pixels or of one element.
    const double Scale = FBrowser->DeviceScaleFactor();
    if ((Scale != 1 || !FBrowser->Selector().empty()) && !FBrowser->PictureSize(VW, VH)) {
      VW = static_cast<int>(host::Round(VW * Scale));
      VH = static_cast<int>(host::Round(VH * Scale));
    }
    const host::TRect R = host::Rect(0, 0, VW, VH);
    FCapture->SetWidth(VW);
    FCapture->SetHeight(VH);
    if (auto* View = dynamic_cast<host::IViewObject*>(Browser)) {
      host::HRESULT Result = View->Draw(host::DVASPECT_CONTENT, 1, nullptr, nullptr, Handle(),
                                        &FCapture->Canvas(), &R, nullptr, nullptr, 0);
      FRenderFailed = Result < 0;
      if (Result < 0) {
        const std::string& Why = FBrowser->RenderError();
        throw host::EOleException("The browser could not render the page" +
                                  (Why.empty() ? std::string() : ": " + Why));
      }
      ShowCapture();
    }
  } catch (const std::exception& E) {
    FCaptureDone = true;
    CaptureFailed(FBrowser->LocationURL(), E);
    return;
  } catch (...) {
  }
  FCaptureDone = true;
}

void TSitelens::ShowCapture() {
  host::TBitmap& Shown = FImage->Picture().Bitmap();
  if (Width() < 1) {
    Shown.Assign(*FCapture);
  } else {
    int W = Width(), H = Height();
    if (FProportional) {
      W = FCapture->Width() - 4;
      H = FCapture->Height() - 4;
      ScaleToFit(W, H, Width(), Height());
    }
    Resample(*FCapture, Shown, W, H, MitchellFilter, 3.0f);
  }
  FImage->Repaint();
}

void TSitelens::WebBrowserNavigateError(host::TNavigateFailure Kind, const std::string& Reason) {
  if (FCaptureDone) return;  // the picture was taken before
  // No document will complete: the capture ends here, so that the timer
  // tries again; the previous picture stays.
  FCaptureDone = true;
  FLastFailure = Kind;
  RestoreAfterLoad();
  CaptureFailed(FURL, host::EOleException(Reason));
}

void TSitelens::CaptureFailed(const std::string& Url, const std::exception& E) {
  FLastError = E.what();
  if (!OnCaptureError) return;
  TOnCaptureErrorEvent Handler = OnCaptureError;
  try {
    Handler(this, Url, FLastError);
  } catch (...) {
  }
}

}  // namespace snapkit
