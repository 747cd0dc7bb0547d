// How much the picture changed from one capture to the next: the comparison
// runs on a thread of its own, and its figures come back through the loop.

#include <glib.h>

#include <cstdint>
#include <thread>

#include "capture/sitelens.h"
#include "host/forms/application.h"
#include "host/system/exception.h"
#include "imaging/diff.h"

namespace snapkit {

// Lives as long as the control: the weak references the threads' answers
// hold tell them whether it still does.
struct TSitelens::TChangeState {
  TSitelens* Lens;
  // The last capture handed to a comparison, kept for the next.
  std::shared_ptr<host::TBitmap> Previous;
  // Answers arrive in order of their captures; a late one for an older
  // capture is not shown over a newer one.
  std::uint64_t Started = 0, Shown = 0;
};

namespace {

struct TMeasuring {
  std::weak_ptr<TSitelens::TChangeState> State;
  std::uint64_t Serial;
  std::string Url;
  std::shared_ptr<host::TBitmap> Before, After;
  TDiffResult Result;
  bool Failed = false;
};

}  // namespace

void TSitelens::SetChangeThreshold(double Value) {
  if (!(Value >= 0 && Value <= 1))
    throw host::EInvalidOperation("ChangeThreshold must be from 0 to 1");
  FChangeThreshold = Value;
}

void TSitelens::StartChangeMeasure(const std::string& Url) {
  if (!FMeasureChange && !OnPageChanged) {
    // Nothing to compare with once measuring starts again.
    if (FChange) FChange->Previous.reset();
    return;
  }
  if (FRenderFailed || FCapture->Empty()) return;
  if (!FChange) FChange = std::make_shared<TChangeState>(TChangeState{this, nullptr});
  // The capture is drawn into again by the next render: the comparison
  // gets a copy of its own, which is the next one's "before".
  auto after = std::make_shared<host::TBitmap>();
  after->Assign(*FCapture);
  std::shared_ptr<host::TBitmap> before = std::move(FChange->Previous);
  FChange->Previous = after;
  if (!before) return;
  auto* m = new TMeasuring{FChange, ++FChange->Started, Url, before, after, {}, false};
  try {
    std::thread([m] {
      try {
        m->Result = ComparePictures(*m->Before, *m->After);
      } catch (...) {
        m->Failed = true;
      }
      m->Before.reset();
      m->After.reset();
      g_idle_add_full(
          G_PRIORITY_DEFAULT,
          [](gpointer Data) -> gboolean {
            auto* m = static_cast<TMeasuring*>(Data);
            auto state = m->State.lock();
            if (!state || m->Failed || m->Serial <= state->Shown) return G_SOURCE_REMOVE;
            state->Shown = m->Serial;
            state->Lens->ChangeMeasured(m->Url, m->Result.Ratio, m->Result.Box);
            return G_SOURCE_REMOVE;
          },
          m, [](gpointer Data) { delete static_cast<TMeasuring*>(Data); });
    }).detach();
  } catch (const std::system_error&) {
    delete m;  // no thread to be had: this capture goes unmeasured
  }
}

void TSitelens::ChangeMeasured(const std::string& Url, double Share, const host::TRect& Box) {
  FPageChange = Share;
  FPageChangeBox = Box;
  if (!OnPageChanged || !(Share > FChangeThreshold)) return;
  // The handler may free this control: nothing of it is touched afterwards.
  TOnPageChangedEvent Handler = OnPageChanged;
  try {
    Handler(this, Url, Share, Box);
  } catch (...) {
    host::Application->HandleException(this);
  }
}

}  // namespace snapkit
