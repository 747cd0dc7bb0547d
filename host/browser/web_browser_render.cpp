// From the page's loaded document to the picture taken for it, before the
// document is reported complete: what late-bound reads will ask for, the
// size the application wants, images brought into view, a delay, the
// screenshot, and its decoding on a thread of its own.

#include <glib.h>

#include <algorithm>
#include <thread>

#include "host/browser/web_browser.h"
#include "host/browser/web_browser_page.h"
#include "host/forms/application.h"

namespace host {

namespace {

// The names are lower case: late-bound names match without regard to case.
const char* SnapshotScript =
    "(() => { const b = document.body;"
    "  return {title: document.title,"
    "          body: b ? {scrollwidth: b.scrollWidth, scrollheight: b.scrollHeight} : null}; })()";

std::string ImageWaitScript(int TimeoutMs) {
  // Two frames let layout and lazy loading react to a new viewport first.
  return "(async () => {"
         "  const frame = () => new Promise(r => requestAnimationFrame(() => r()));"
         "  await frame(); await frame();"
         "  const pending = [...document.images].filter(i => !i.complete).map(i =>"
         "    new Promise(r => { i.addEventListener('load', r, {once: true});"
         "                       i.addEventListener('error', r, {once: true}); }));"
         "  await Promise.race([Promise.all(pending),"
         "                      new Promise(r => setTimeout(r, " +
         std::to_string(std::max(TimeoutMs, 0)) +
         "))]);"
         "  await frame();"
         "})()";
}

}  // namespace

void TWebBrowser::MainDocumentLoaded() {
  TPage* P = LivePage();
  if (!P) return;
  ++P->Step;
  P->Preparing = true;
  FReadyState = READYSTATE_INTERACTIVE;
  Watch(wRender, FRenderTimeout);
  P->Waiting = false;
  P->WaitKind = TPage::wkUntried;
  P->Clip = nullptr;
  PreparePage(ppStyle);
}

void TWebBrowser::PrepareStep(int Step) {
  TPage* P = LivePage();
  if (!P || !P->Preparing) return;
  std::weak_ptr<TPageLink> Link = P->Link;
  unsigned Serial = P->Step;
  switch (Step) {
    case psSnapshot:
      PageCommand(
          "Runtime.evaluate", {{"expression", SnapshotScript}, {"returnByValue", true}},
          [this](TPage& P, const TDevToolsReply& R) {
            if (R.Ok() && !R.Result.contains("exceptionDetails"))
              P.Snapshot = std::make_shared<const json>(
                  json{{"document",
                        R.Result.value("result", json::object()).value("value", json::object())}});
            if (R.Kind == TDevToolsReply::rkPageGone)
              return Fail(nfCrashed, "The page crashed (its renderer ended)");
            PrepareStep(psPlan);
          });
      return;
    case psPlan: {
      FPlan = TRenderPlan{Width(), Height(), 0, 0};
      if (OnPrepareDraw) {
        std::weak_ptr<bool> Alive = FAlive;
        TWebBrowserPrepareDraw Handler = OnPrepareDraw;
        Handler(this, FPlan);
        if (!Alive.lock() || !Current(Link, Serial)) return;
      }
      FPlan.Width = std::max(FPlan.Width, 1);
      FPlan.Height = std::max(FPlan.Height, 1);
      if (FPlan.Width != Width() || FPlan.Height != Height())
        SetBounds(Left(), Top(), FPlan.Width, FPlan.Height);
      return PrepareStep(psImages);
    }
    case psImages:
      if (FPlan.ImageWaitMs <= 0) return PrepareStep(psDelay);
      PageCommand("Runtime.evaluate",
                  {{"expression", ImageWaitScript(FPlan.ImageWaitMs)}, {"awaitPromise", true}},
                  [this](TPage&, const TDevToolsReply&) { PrepareStep(psDelay); });
      return;
    case psDelay:
      if (FPlan.DelayMs <= 0) return PrepareStep(psShoot);
      return PrepareLater(FPlan.DelayMs, psShoot);
    case psShoot:
      if (!FSelector.empty()) return PreparePage(ppClip);
      return Shoot(nullptr, false);
    default:
      return;
  }
}

void TWebBrowser::Shoot(const json& Clip, bool BeyondViewport) {
  unsigned ViewSerial = FViewSerial;
  json Params = {{"format", "png"}, {"optimizeForSpeed", true}, {"fromSurface", true}};
  if (!Clip.is_null()) Params["clip"] = Clip;
  if (BeyondViewport) Params["captureBeyondViewport"] = true;
  PageCommand(
      "Page.captureScreenshot", Params, [this, ViewSerial](TPage& P, const TDevToolsReply& R) {
        if (R.Kind == TDevToolsReply::rkPageGone)
          return Fail(nfCrashed, "The page crashed (its renderer ended)");
        if (R.Kind == TDevToolsReply::rkLost) return Fail(nfBrowserLost, R.Message);
        auto Data = R.Result.find("data");
        if (!R.Ok() || Data == R.Result.end() || !Data->is_string())
          return Fail(nfFailed, "The browser could not render the page: " +
                                    (R.Message.empty() ? "no picture" : R.Message));
        // Decoded off the loop: a large page takes long.
        struct TDecoding {
          TWebBrowser* Browser;
          std::weak_ptr<bool> Alive;
          std::weak_ptr<TPageLink> Link;
          unsigned Step;
          std::string Base64;
          std::shared_ptr<TPicture> Picture = std::make_shared<TPicture>();
          std::string Error;
        };
        auto* D = new TDecoding{this,
                                FAlive,
                                P.Link,
                                P.Step,
                                Data->get<std::string>(),
                                std::make_shared<TPicture>(),
                                std::string()};
        D->Picture->Serial = ViewSerial;
        std::thread([D] {
          try {
            std::vector<std::uint8_t> Png = DecodeBase64(D->Base64);
            std::string().swap(D->Base64);
            D->Picture->Image = ReadBrowserPng(Png.data(), Png.size());
          } catch (const std::exception& E) {
            D->Error = E.what();
          }
          g_idle_add_full(
              G_PRIORITY_DEFAULT,
              [](gpointer Data) -> gboolean {
                auto* D = static_cast<TDecoding*>(Data);
                auto L = D->Link.lock();
                if (D->Alive.expired() || !L || L->Browser != D->Browser ||
                    !D->Browser->Current(D->Link, D->Step))
                  return G_SOURCE_REMOVE;
                try {
                  if (!D->Error.empty())
                    D->Browser->Fail(nfFailed, "The browser's picture cannot be read: " + D->Error);
                  else
                    D->Browser->PictureReady(D->Picture);
                } catch (...) {
                  Application->HandleException(D->Browser);
                }
                return G_SOURCE_REMOVE;
              },
              D, [](gpointer Data) { delete static_cast<TDecoding*>(Data); });
        }).detach();
      });
}

void TWebBrowser::PictureReady(std::shared_ptr<TPicture> Picture) {
  TPage* P = LivePage();
  if (!P) return;
  Watch(wNone, 0);
  P->Preparing = false;
  FPicture = std::move(Picture);
  FReadyState = READYSTATE_COMPLETE;
  FireDocumentComplete(P->MainFrameId, P->MainUrl);
}

}  // namespace host
