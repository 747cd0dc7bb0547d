// TSitelens itself: what it owns, its properties, refreshing, the timer,
// resizing and its window message.

#include "capture/sitelens.h"

#include <cstdio>

#include "dropurl/drop_url.h"
#include "host/graphics/picture.h"

namespace snapkit {

const char* const DefaultSitelensURL = "about:blank";

TSitelens::TSitelens(host::TComponent* AOwner) : host::TCustomPanel(AOwner) {
  SetBounds(Left(), Top(), 128, 128);
  FSavedVisible = Visible();
  FHiddenForLoad = false;
  FSavedWidth = Width();
  FSavedHeight = Height();
  FURL = DefaultSitelensURL;
  try {
    FViewFile = MakeTempFileName("SLX", "BMP");
  } catch (const host::Exception&) {
    // No temporary folder now: "View Full Image" tries again and reports it.
  }

  FDropURL = new TDropURL(this);
  FDropURL->SetTargetControl(this);
  FDropURL->OnDropURL = [this](host::TObject* Sender, const std::string& URL) {
    DropURL1DropURL(Sender, URL);
  };

  FWebPageView = wvScreen;
  FProportional = true;
  FTimedUpdate = false;

  FCapture = std::make_unique<host::TBitmap>();
  FPopup = new host::TPopupMenu(this);
  FLaunchItem = new host::TMenuItem(this);
  FLaunchItem->SetCaption("Launch in Browser");
  FLaunchItem->OnClick = [this](host::TObject* Sender) { LaunchHandler(Sender); };
  FPopup->Items().Add(FLaunchItem);
  FViewItem = new host::TMenuItem(this);
  FViewItem->SetCaption("View Full Image");
  FViewItem->OnClick = [this](host::TObject* Sender) { ViewHandler(Sender); };
  FPopup->Items().Add(FViewItem);

  FCaptureDone = false;
  OnResize = [this](host::TObject* Sender) { Panel1Resize(Sender); };

  FBrowserHost = new host::TScrollBox(this);
  FBrowserHost->SetParent(this);
  FBrowserHost->HorzScrollBar().SetVisible(false);
  FBrowserHost->VertScrollBar().SetVisible(false);
  FBrowserHost->SetVisible(true);
  FBrowserHost->SetBounds(FBrowserHost->Left(), FBrowserHost->Top(), 1, 1);
  FBrowser = new host::TWebBrowser(this);
  FBrowser->SetParent(FBrowserHost);
  FBrowser->OnBeforeNavigate2 =
      [this](host::TObject* Sender, host::IDispatch* pDisp, const host::OleVariant& URL,
             const host::OleVariant& Flags, const host::OleVariant& TargetFrameName,
             const host::OleVariant& PostData, const host::OleVariant& Headers, bool& Cancel) {
        WebBrowser1BeforeNavigate2(Sender, pDisp, URL, Flags, TargetFrameName, PostData, Headers,
                                   Cancel);
      };
  FBrowser->OnDocumentComplete = [this](host::TObject* Sender, host::IDispatch* pDisp,
                                        const host::OleVariant& URL) {
    WebPageBrowserDocumentComplete(Sender, pDisp, URL);
  };
  FBrowser->OnNavigateError = [this](host::TObject*, const std::string&,
                                     host::TNavigateFailure Kind, const std::string& Reason) {
    WebBrowserNavigateError(Kind, Reason);
  };
  FBrowser->OnPrepareDraw = [this](host::TObject*, host::TRenderPlan& Plan) {
    WebBrowserPrepareDraw(Plan);
  };

  FImage = new host::TImage(this);
  FImage->SetIncrementalDisplay(true);
  FImage->SetCenter(true);
  FImage->SetParent(this);
  FImage->SetAlign(host::alClient);
  FImage->OnMouseDown = [this](host::TObject* Sender, host::TMouseButton Button,
                               host::TShiftState Shift, int X,
                               int Y) { Image1MouseDown(Sender, Button, Shift, X, Y); };
  FImage->Picture().SetGraphic(std::make_unique<host::TBitmap>());

  FActive = true;
}

TSitelens::~TSitelens() {
  // From here on no resize or late event may start work on a half-freed
  // control.
  SetState(host::csDestroying, true);
  OnResize = nullptr;
  host::FreeAndNil(FDropURL);
  host::FreeAndNil(FTimer);
  // The browser goes first: once it is freed no event of its page arrives.
  host::FreeAndNil(FBrowser);
  host::FreeAndNil(FBrowserHost);
  host::FreeAndNil(FImage);
  FCapture.reset();
  host::FreeAndNil(FPopup);
  // "View Full Image" wrote it; nobody else will remove it.
  if (!FViewFile.empty()) std::remove(FViewFile.c_str());
}

void TSitelens::Loaded() {
  host::TCustomPanel::Loaded();
  FDropURL->Loaded();
}

void TSitelens::Navigate() {
  FLastError.clear();
  FLastFailure = host::nfFailed;
  try {
    FBrowser->Navigate(FURL);
  } catch (const std::exception& E) {
    FLastError = E.what();
    // A refused request raises no events, so an invisible control hidden
    // for the load would otherwise stay shown at zero size.
    RestoreAfterLoad();
    throw;
  }
}

void TSitelens::setUrl(const std::string& Value) {
  if (Value == FURL) return;
  FURL = Value;
  if (!FActive) return;
  FCaptureDone = false;
  FBrowserHost->SetVisible(true);
  if (!FURL.empty()) {
    Navigate();
  } else {
    // What was under way (a render waiting for its delay among it) belongs
    // to the address given up.
    FBrowser->Stop();
    RestoreAfterLoad();
  }
}

void TSitelens::Refresh() {
  if (!FCaptureDone || !FActive) return;
  FCaptureDone = false;
  if (!FURL.empty()) Navigate();
}

void TSitelens::SetActive(bool Value) {
  if (Value == FActive) return;
  FActive = Value;
  if (Value) Refresh();
}

void TSitelens::SetWebPageView(TWebPageView Value) {
  if (Value == FWebPageView) return;
  FWebPageView = Value;
  Refresh();
}

void TSitelens::SetProportional(bool Value) {
  if (Value == FProportional) return;
  FProportional = Value;
  Refresh();
}

void TSitelens::SetTimedUpdate(bool Value) {
  if (Value == FTimedUpdate) return;
  FTimedUpdate = Value;
  if (InState(host::csDesigning)) return;
  if (Value) {
    FTimer = new host::TTimer(this);
    if (FTimerInterval == 0) SetTimerInterval(60000);
    FTimer->SetInterval(FTimerInterval);
    FTimer->OnTimer = [this](host::TObject* Sender) { Timer1Timer(Sender); };
    FTimer->SetEnabled(true);
  } else {
    host::FreeAndNil(FTimer);
  }
}

void TSitelens::SetTimerInterval(unsigned Value) {
  if (Value == FTimerInterval || Value == 0) return;
  FTimerInterval = Value;
  if (FTimedUpdate && FTimer) FTimer->SetInterval(Value);
}

void TSitelens::Timer1Timer(host::TObject*) { Refresh(); }

// The last capture is scaled again: the browser's picture of the page is
// what FCapture already holds, and after a failure the browser has none,
// while the last good capture stays shown and can be saved. Nothing here
// calls the application, so no handler runs inside the resize.
void TSitelens::Panel1Resize(host::TObject*) {
  if (FRestoringSize || !FCaptureDone || !FActive || FRenderFailed || FCapture->Empty()) return;
  try {
    ShowCapture();
  } catch (const std::exception& E) {
    FLastError = E.what();
  }
}

void TSitelens::WndProc(host::TMessage& Message) {
  if (Message.Msg == UM_DISPLAYFILE) {
    UMDisplayFile(Message);
    return;
  }
  host::TCustomPanel::WndProc(Message);
}

void TSitelens::UMDisplayFile(host::TMessage&) { FCaptureDone = false; }

void TSitelens::DropURL1DropURL(host::TObject*, const std::string& URL) { setUrl(URL); }

}  // namespace snapkit
