// One navigation's way from its page to its picture, one stage after the
// other in the order they run: the page opened or kept, the navigation
// sent and loaded (navigation_events.cpp), then the application's style
// sheet, hidden elements, script and condition, what late-bound reads will
// ask for, the size wanted, images brought into view, a delay, the selected
// element's box, the screenshot and its decoding off the loop. Each stage
// either moves on at once or leaves a command, the decoder or the
// navigation's timer to call Advance again; RenderTimeout bounds it all.

#include <glib.h>

#include <algorithm>
#include <thread>

#include "host/browser/navigation.h"
#include "host/browser/page_scripts.h"
#include "host/browser/page_session.h"
#include "host/browser/screenshot.h"
#include "host/browser/web_browser.h"
#include "host/forms/application.h"

namespace host {

namespace {

constexpr int WaitPollMs = 100;
// The compositor gives up on pictures larger than this a side.
constexpr double MaxPictureSide = 16384;

// The first line of what a script threw (a stack follows it).
std::string Thrown(const json& Details) {
  std::string Text = Details.value("exception", json::object()).value("description", std::string());
  if (Text.empty()) Text = Details.value("text", std::string());
  return Text.substr(0, Text.find('\n'));
}

// What went wrong with an evaluation: the answer's failure, what the
// script threw, or the complaint it returned as a string.
std::optional<TFailure> Problem(const TDevToolsReply& R, const std::string& What) {
  if (auto F = ReplyFailure(R, What)) return F;
  if (auto D = R.Result.find("exceptionDetails"); D != R.Result.end())
    return TFailure{nfFailed, What + ": " + Thrown(*D)};
  const json Value = R.Result.value("result", json::object()).value("value", json());
  if (Value.is_string() && !Value.get<std::string>().empty())
    return TFailure{nfFailed, Value.get<std::string>()};
  return std::nullopt;
}

json Evaluation(const std::string& Expression, bool Await = false) {
  return {{"expression", Expression}, {"returnByValue", true}, {"awaitPromise", Await}};
}

}  // namespace

void TWebBrowser::DocumentLoaded(const TNavigationRef& N) {
  N->Stage = stStyle;
  N->ReadyState = READYSTATE_INTERACTIVE;
  N->SetDeadline(dlRender, FRenderTimeout);
  Advance(N);
}

void TWebBrowser::Advance(const TNavigationRef& N) {
  // A stage whose command answers moves on to Next, or fails as Problem says.
  auto Run = [this, &N](const json& Params, const std::string& What, TStage Next) {
    PageCommand(N, "Runtime.evaluate", Params,
                [this, What, Next](TNavigation& N, const TDevToolsReply& R) {
                  if (auto F = Problem(R, What)) return Fail(N.Self.lock(), F->Kind, F->Reason);
                  N.Stage = Next;
                  Advance(N.Self.lock());
                });
  };
  while (!N->Ended()) {
    switch (N->Stage) {
      case stPage:
        // A browser lost a moment ago, before the loop could tell, is this
        // navigation's business, not a failure to report: its page is left
        // first. Other controls hear of the loss now, and one of their
        // handlers may free this one.
        if (FPage && !FPage->SessionId.empty()) Chromium().Unsubscribe(FPage->SessionId);
        if (bool Alive = Chromium().CheckAlive(); N->Ended()) {
          return;
        } else if (FPage && (!Alive || !LivePage())) {
          ClosePage();
        } else if (FPage && !FPage->SessionId.empty()) {
          SubscribePage();
        }
        if (!FPage) return OpenPage();  // PageReady comes back here
        if (!FPage->Ready) return;
        N->Stage = FPage->Navigations > 0 ? stHeap : stNavigate;
        continue;
      case stHeap:
        if (FPageHeapLimit == 0 || FPageOptionsChanged || N->HeapAsked) {
          // Replaced, or silent for too long: no use to the next load.
          ClosePage();
          N->Stage = stPage;
          continue;
        }
        N->HeapAsked = true;
        return CheckHeap(N);
      case stNavigate:
        SendCookies(N);  // before the navigation, in the session's order
        if (N->Ended()) return;
        ++FPage->Navigations;
        N->SentAt = Chromium().LastSequence();
        return PageCommand(N, "Page.navigate", {{"url", N->Url}},
                           [this](TNavigation& N, const TDevToolsReply& R) {
                             if (N.Stage == stNavigate) NavigateAnswered(N.Self.lock(), R);
                           });
      case stLoad:
        return;  // the page's events move it on
      case stStyle:
        if (FStyleSheet.empty()) {
          N->Stage = stFilterHide;
          continue;
        }
        return Run(Evaluation(AddSheetScript(FStyleSheet)), "The style sheet could not be added",
                   stFilterHide);
      case stFilterHide: {
        // The filter lists' hiding rules (page_fetch.cpp), a sheet of their own.
        std::string Css;
        if (!FilterHidingCss(N, Css)) return;
        if (Css.empty()) {
          N->Stage = stHide;
          continue;
        }
        return Run(Evaluation(AddSheetScript(Css)),
                   "The filter lists' hiding rules could not be added", stHide);
      }
      case stHide:
        if (FHideSelector.empty()) {
          N->Stage = stConsent;
          continue;
        }
        return Run(Evaluation(HideScript(FHideSelector)), "The elements could not be hidden",
                   stConsent);
      case stConsent:
        if (!FBlockCookieBanners) {
          N->Stage = stScript;
          continue;
        }
        return HandleConsent(N);  // web_browser_access.cpp
      case stScript:
        if (FScript.empty()) {
          N->Stage = stWaitFor;
          continue;
        }
        return PageCommand(N, "Runtime.evaluate", {{"expression", FScript}, {"awaitPromise", true}},
                           [this](TNavigation& N, const TDevToolsReply& R) {
                             if (auto F = ReplyFailure(R, "The script failed"))
                               return Fail(N.Self.lock(), F->Kind, F->Reason);
                             if (auto D = R.Result.find("exceptionDetails"); D != R.Result.end())
                               return Fail(N.Self.lock(), nfFailed,
                                           "The script failed: " + Thrown(*D));
                             N.Stage = stWaitFor;
                             Advance(N.Self.lock());
                           });
      case stWaitFor: {
        if (FWaitFor.empty()) {
          N->Stage = stFonts;
          continue;
        }
        const bool Js = FWaitFor.rfind("js:", 0) == 0;
        if (Js) N->WaitKind = TNavigation::wkExpression;
        const std::string Text = Js ? FWaitFor.substr(3) : FWaitFor;
        const bool Expression = N->WaitKind == TNavigation::wkExpression;
        // The line breaks keep a comment at the end of the text from
        // swallowing the rest.
        return PageCommand(
            N, "Runtime.evaluate",
            Evaluation(
                Expression ? "(async () => !!(await (\n" + Text + "\n)))()" : SelectorTest(Text),
                Expression),
            [this, Expression, Text](TNavigation& N, const TDevToolsReply& R) {
              if (auto F = ReplyFailure(R, "The browser could not test " + Text))
                return Fail(N.Self.lock(), F->Kind, F->Reason);
              if (auto D = R.Result.find("exceptionDetails"); D != R.Result.end()) {
                if (D->value("exception", json::object()).value("className", "") == "SyntaxError")
                  return Fail(N.Self.lock(), nfFailed,
                              "Neither a CSS selector nor a JavaScript expression: " + Text + " (" +
                                  Thrown(*D) + ")");
                return N.Wake(WaitPollMs);  // what it names may not be there yet
              }
              const json Value = R.Result.value("result", json::object()).value("value", json());
              if (!Expression && Value.is_null()) {
                N.WaitKind = TNavigation::wkExpression;
                return Advance(N.Self.lock());
              }
              if (!Expression) N.WaitKind = TNavigation::wkSelector;
              if (Value != true) return N.Wake(WaitPollMs);
              N.Stage = stFonts;
              Advance(N.Self.lock());
            });
      }
      case stFonts:
        if (!FWaitForFonts) {
          N->FontsWait = "off";
          N->Stage = stSnapshot;
          continue;
        }
        // Half the time left to the picture: a font that never comes must
        // not cost the picture of the rest.
        return PageCommand(
            N, "Runtime.evaluate", Evaluation(FontsScript(FRenderTimeout / 2), true),
            [this](TNavigation& N, const TDevToolsReply& R) {
              // It yields how the wait ended, not a complaint.
              const std::string What = "The page's fonts could not be waited for";
              if (auto F = ReplyFailure(R, What)) return Fail(N.Self.lock(), F->Kind, F->Reason);
              if (auto D = R.Result.find("exceptionDetails"); D != R.Result.end())
                return Fail(N.Self.lock(), nfFailed, What + ": " + Thrown(*D));
              N.FontsWait =
                  R.Result.value("result", json::object()).value("value", std::string("loaded"));
              N.Stage = stSnapshot;
              Advance(N.Self.lock());
            });
      case stSnapshot:
        return PageCommand(
            N, "Runtime.evaluate", Evaluation(SnapshotScript),
            [this](TNavigation& N, const TDevToolsReply& R) {
              if (R.Kind == TDevToolsReply::rkPageGone || R.Kind == TDevToolsReply::rkLost)
                return Fail(N.Self.lock(), ReplyFailure(R, "")->Kind, ReplyFailure(R, "")->Reason);
              // Without one, late-bound reads ask the page.
              if (R.Ok() && !R.Result.contains("exceptionDetails"))
                N.Snapshot = std::make_shared<const json>(json{
                    {"document",
                     R.Result.value("result", json::object()).value("value", json::object())}});
              N.Stage = stPlan;
              Advance(N.Self.lock());
            });
      case stPlan:
        N->Plan = TRenderPlan{Width(), Height(), 0, 0};
        if (OnPrepareDraw) {
          TWebBrowserPrepareDraw Handler = OnPrepareDraw;
          Handler(this, N->Plan);
          if (N->Ended()) return;
        }
        N->Plan.Width = std::max(N->Plan.Width, 1);
        N->Plan.Height = std::max(N->Plan.Height, 1);
        N->Stage = N->Plan.ImageWaitMs > 0 ? stImages : stDelay;
        if (N->Plan.BeyondViewport) {
          N->ViewWidth = Width();
          N->ViewHeight = Height();
        } else {
          N->ViewWidth = N->Plan.Width;
          N->ViewHeight = N->Plan.Height;
        }
        if (N->ViewWidth != Width() || N->ViewHeight != Height())
          SetBounds(Left(), Top(), N->ViewWidth, N->ViewHeight);
        continue;
      case stImages:
        return PageCommand(
            N, "Runtime.evaluate",
            Evaluation(ImageWaitScript(N->Plan.ImageWaitMs, N->Plan.BeyondViewport), true),
            [this](TNavigation& N, const TDevToolsReply&) {
              N.Stage = stDelay;
              Advance(N.Self.lock());
            });
      case stDelay:
        N->Stage = stAnimations;
        if (N->Plan.DelayMs > 0) return N->Wake(N->Plan.DelayMs);
        continue;
      case stAnimations:
        if (!FDisableAnimations) {
          N->Stage = stClip;
          continue;
        }
        return Run(Evaluation(StillScript, true), "The page's animations could not be stopped",
                   stClip);
      case stClip:
        if (FSelector.empty()) {
          N->Clip = nullptr;
          N->BeyondViewport = N->Plan.BeyondViewport;
          if (N->BeyondViewport)
            N->Clip = {{"x", 0},
                       {"y", 0},
                       {"width", N->Plan.Width},
                       {"height", N->Plan.Height},
                       {"scale", 1}};
          N->Stage = stScreenshot;
          continue;
        }
        return PageCommand(
            N, "Runtime.evaluate", Evaluation(BoxScript(FSelector)),
            [this](TNavigation& N, const TDevToolsReply& R) {
              if (auto F = Problem(R, "The element could not be found"))
                return Fail(N.Self.lock(), F->Kind, F->Reason);
              const json Box = R.Result.value("result", json::object()).value("value", json());
              if (!Box.is_object())
                return Fail(N.Self.lock(), nfFailed, "The element could not be found");
              const double Side = MaxPictureSide / FScaleFactor;
              N.Clip = {{"x", Box.value("x", 0.0)},
                        {"y", Box.value("y", 0.0)},
                        {"width", std::min(Box.value("width", 1.0), Side)},
                        {"height", std::min(Box.value("height", 1.0), Side)},
                        {"scale", 1}};
              N.BeyondViewport = !Box.value("inside", false);
              N.Stage = stScreenshot;
              Advance(N.Self.lock());
            });
      case stScreenshot:
        return Shoot(N);
      case stDecode:
        return;  // the decoder moves it on
      case stReport:
        N->Stage = stDone;
        N->ReadyState = READYSTATE_COMPLETE;
        N->SetDeadline(dlNone, 0);
        FireDocumentComplete(N, FPage ? FPage->MainFrameId : std::string(), N->MainUrl);
        return;
      case stDone:
      case stFailed:
      case stStopped:
        return;
    }
  }
}

void TWebBrowser::Shoot(const TNavigationRef& N) {
  // Taken at the size planned, whatever resized the control since (a
  // frame's navigation, say); the override reaches the page before the
  // screenshot, as the commands of a session run in order.
  if (Width() != N->ViewWidth || Height() != N->ViewHeight)
    SetBounds(Left(), Top(), N->ViewWidth, N->ViewHeight);
  N->ShotWidth = Width();
  N->ShotHeight = Height();
  N->ShotScale = FScaleFactor;
  json Params = {{"format", "png"}, {"optimizeForSpeed", true}, {"fromSurface", true}};
  if (!N->Clip.is_null()) Params["clip"] = N->Clip;
  if (N->BeyondViewport) Params["captureBeyondViewport"] = true;
  N->Stage = stDecode;
  PageCommand(N, "Page.captureScreenshot", Params, [this](TNavigation& N, const TDevToolsReply& R) {
    if (auto F = ReplyFailure(R, "The browser could not render the page"))
      return Fail(N.Self.lock(), F->Kind, F->Reason);
    auto Data = R.Result.find("data");
    if (Data == R.Result.end() || !Data->is_string())
      return Fail(N.Self.lock(), nfFailed, "The browser could not render the page: no picture");
    Decode(N.Self.lock(), Data->get<std::string>());
  });
}

// On a thread of its own: a large page takes long. What it gives reaches
// the navigation from the loop, if it is still the control's.
void TWebBrowser::Decode(const TNavigationRef& N, std::string Base64) {
  struct TDecoding {
    std::weak_ptr<TNavigation> Navigation;
    TGraphicClass Reader;
    std::string Base64;
    std::shared_ptr<const TBitmap> Picture;
    std::string Error;
  };
  TGraphicClass Reader = nullptr;
  try {
    Reader = ScreenshotReader();
  } catch (const Exception& E) {
    return Fail(N, nfFailed, "The browser's picture cannot be read: " + E.Message());
  }
  auto* D = new TDecoding{N, Reader, std::move(Base64), nullptr, std::string()};
  std::thread([D] {
    try {
      D->Picture = DecodeScreenshot(D->Reader, D->Base64);
    } catch (const std::exception& E) {
      D->Error = E.what();
    }
    std::string().swap(D->Base64);
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer Data) -> gboolean {
          auto* D = static_cast<TDecoding*>(Data);
          auto N = D->Navigation.lock();
          if (!N || N->Ended() || N->Stage != stDecode) return G_SOURCE_REMOVE;
          TWebBrowser* B = N->Browser;
          try {
            if (!D->Error.empty())
              return B->Fail(N, nfFailed, "The browser's picture cannot be read: " + D->Error),
                     G_SOURCE_REMOVE;
            N->Picture = std::move(D->Picture);
            // Resized while it was taken: the plan is asked for again.
            bool Stale = B->Width() != N->ShotWidth || B->Height() != N->ShotHeight ||
                         B->FScaleFactor != N->ShotScale;
            N->Stage = Stale ? stPlan : stReport;
            B->Advance(N);
          } catch (...) {
            Application->HandleException(N->Ended() ? nullptr : B);
          }
          return G_SOURCE_REMOVE;
        },
        D, [](gpointer Data) { delete static_cast<TDecoding*>(Data); });
  }).detach();
}

}  // namespace host
