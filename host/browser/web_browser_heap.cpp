// Whether the next navigation keeps the page's renderer or gets a fresh one.

#include <glib.h>

#include "host/browser/navigation.h"
#include "host/browser/page_session.h"
#include "host/browser/web_browser.h"

namespace host {

namespace {

// Long enough for a renderer that is still loading to answer; a page that
// does not is in a script of its own and is replaced.
constexpr int HeapQueryMs = 1000;

// Below this the garbage is left to V8, which collects it on its own at
// about this size. A collection asked for costs 30-45 ms of a renderer's
// time (measured over documentation pages, which reach 8 MiB every few
// pages but rarely this).
constexpr double CollectFrom = 32 << 20;

}  // namespace

// A renderer keeps the garbage and freed memory of the pages it has shown;
// a page still heavy once its garbage is collected is closed, so that the
// next load has a fresh renderer. Collecting first matters: most of what an
// ordinary page leaves is garbage, and a renderer's start costs far more
// than a collection. Below CollectFrom the garbage is left to V8. The
// answer moves the navigation on; its timer, waking first, counts as heavy.
void TWebBrowser::CheckHeap(const TNavigationRef& N) {
  N->Wake(HeapQueryMs);
  PageCommand(
      N, "Runtime.getHeapUsage", json::object(), [this](TNavigation& N, const TDevToolsReply& R) {
        if (N.Stage != stHeap) return;  // decided already
        auto Decide = [this, &N](bool Heavy) {
          N.StopWaking();
          if (Heavy) ClosePage();  // the page stage opens a fresh one
          N.Stage = Heavy ? stPage : stNavigate;
          Advance(N.Self.lock());
        };
        if (R.Kind == TDevToolsReply::rkError) return Decide(false);  // cannot tell: kept
        if (!R.Ok()) return Decide(true);
        double Used = R.Result.value("usedSize", 0.0) + R.Result.value("embedderHeapUsedSize", 0.0);
        if (Used < double(FPageHeapLimit) || (!N.HeapCollected && Used < CollectFrom))
          return Decide(false);
        if (N.HeapCollected) return Decide(true);
        N.HeapCollected = true;
        PageCommand(N.Self.lock(), "HeapProfiler.collectGarbage", json::object(),
                    [this](TNavigation& N, const TDevToolsReply&) {
                      if (N.Stage == stHeap) CheckHeap(N.Self.lock());
                    });
      });
}

}  // namespace host
