// Whether the next navigation keeps the page's renderer or gets a fresh one.

#include <glib.h>

#include <functional>
#include <memory>

#include "host/browser/web_browser.h"
#include "host/browser/web_browser_page.h"

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
// than a collection. Below CollectFrom the garbage is left to V8.
void TWebBrowser::CheckHeapThenNavigate() {
  if (FPageHeapLimit == 0 || FPageOptionsChanged) {
    OpenPage();
    return;
  }
  TPage& P = *FPage;
  unsigned Serial = ++P.Step;
  std::weak_ptr<TPageLink> Link = P.Link;
  std::weak_ptr<bool> Alive = FAlive;
  struct TCheck {
    bool Decided = false;
    bool Collected = false;
    guint Timer = 0;
    std::function<void(bool)> Decide;
    std::function<void()> Query;
  };
  auto Check = std::make_shared<TCheck>();
  Check->Decide = [this, Alive, Link, Serial, Weak = std::weak_ptr<TCheck>(Check)](bool Heavy) {
    auto C = Weak.lock();
    if (!C || C->Decided || Alive.expired() || !Current(Link, Serial)) return;
    C->Decided = true;
    if (C->Timer) g_source_remove(C->Timer);
    C->Timer = 0;
    if (Heavy)
      OpenPage();
    else
      SendNavigate();
  };
  std::string Session = P.SessionId;
  Check->Query = [this, Alive, Link, Serial, Session, Weak = std::weak_ptr<TCheck>(Check)] {
    Chromium().Command("Runtime.getHeapUsage", json::object(), Session,
                       [this, Alive, Link, Serial, Session, Weak](const TDevToolsReply& R) {
                         auto C = Weak.lock();
                         if (!C || Alive.expired() || !Current(Link, Serial)) return;
                         if (R.Kind == TDevToolsReply::rkError)
                           return C->Decide(false);  // cannot tell: kept
                         if (!R.Ok()) return C->Decide(true);
                         double Used = R.Result.value("usedSize", 0.0) +
                                       R.Result.value("embedderHeapUsedSize", 0.0);
                         if (Used < double(FPageHeapLimit)) return C->Decide(false);
                         if (!C->Collected && Used < CollectFrom) return C->Decide(false);
                         if (C->Collected) return C->Decide(true);
                         C->Collected = true;
                         Chromium().Command("HeapProfiler.collectGarbage", json::object(), Session,
                                            [Weak](const TDevToolsReply&) {
                                              if (auto C = Weak.lock(); C && !C->Decided)
                                                C->Query();
                                            });
                       });
  };
  // A page busy in a script of its own does not answer (nor does one whose
  // collection takes long): no use to the next load either.
  Check->Timer = g_timeout_add_full(
      G_PRIORITY_DEFAULT, HeapQueryMs,
      [](gpointer Data) -> gboolean {
        TCheck& C = **static_cast<std::shared_ptr<TCheck>*>(Data);
        C.Timer = 0;
        C.Decide(true);
        return G_SOURCE_REMOVE;
      },
      new std::shared_ptr<TCheck>(Check),
      [](gpointer Data) { delete static_cast<std::shared_ptr<TCheck>*>(Data); });
  Check->Query();
}

}  // namespace host
