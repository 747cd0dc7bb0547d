#include "host/forms/application.h"

#include <glib.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <stdexcept>

#include "host/forms/controls.h"
#include "host/forms/messages.h"
#include "host/system/dialogs.h"

namespace host {

namespace {

TApplication TheApplication;

struct TPosted {
  HWND Wnd;
  TMessage Message;
};

// Posted messages wait here; one source, attached while any wait, delivers
// them in the order they were posted.
struct TPostQueue {
  std::mutex Lock;
  std::deque<TPosted> Queue;
  GSource* Source = nullptr;  // attached while the queue is not empty
};

TPostQueue& PostQueue() {
  static TPostQueue Q;
  return Q;
}

gboolean DeliverPosted(gpointer) {
  TPostQueue& Q = PostQueue();
  std::deque<TPosted> Batch;
  {
    std::lock_guard<std::mutex> Guard(Q.Lock);
    Batch.swap(Q.Queue);
    g_source_unref(Q.Source);
    Q.Source = nullptr;
  }
  for (const TPosted& P : Batch) {
    try {
      SendMessage(P.Wnd, P.Message.Msg, P.Message.WParam, P.Message.LParam);
    } catch (...) {
      Application->HandleException(FindControl(P.Wnd));
    }
  }
  return G_SOURCE_REMOVE;
}

}  // namespace

TApplication* const Application = &TheApplication;

TApplication::~TApplication() = default;

GMainContext* TApplication::MainContext() const { return g_main_context_default(); }

void TApplication::ProcessMessages() {
  while (g_main_context_iteration(MainContext(), FALSE)) {
  }
}

void TApplication::HandleMessage() { g_main_context_iteration(MainContext(), TRUE); }

void TApplication::Run() {
  while (!FTerminated) HandleMessage();
}

bool TApplication::RunUntil(const std::function<bool()>& Done, int TimeoutMs) {
  if (Done()) return true;
  gint64 Deadline = g_get_monotonic_time() + gint64(TimeoutMs) * 1000;
  // A timeout source wakes the blocking iteration when nothing else does.
  bool Expired = false;
  GSource* Timeout = g_timeout_source_new(static_cast<guint>(std::max(TimeoutMs, 0)));
  g_source_set_callback(
      Timeout,
      [](gpointer Flag) -> gboolean {
        *static_cast<bool*>(Flag) = true;
        return G_SOURCE_REMOVE;
      },
      &Expired, nullptr);
  g_source_attach(Timeout, MainContext());
  bool Result = false;
  while (!(Result = Done()) && !Expired && g_get_monotonic_time() < Deadline) HandleMessage();
  g_source_destroy(Timeout);
  g_source_unref(Timeout);
  return Result;
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr Current = std::current_exception();
  if (!Current) return;
  try {
    std::rethrow_exception(Current);
  } catch (const std::exception& E) {
    if (OnException) {
      auto Handler = OnException;
      Handler(Sender, E);
    } else {
      MessageBox(E.what(), "Error", MB_OK | MB_ICONERROR);
    }
  } catch (...) {
    std::runtime_error Unknown("Unknown exception");
    if (OnException) {
      auto Handler = OnException;
      Handler(Sender, Unknown);
    } else {
      MessageBox(Unknown.what(), "Error", MB_OK | MB_ICONERROR);
    }
  }
}

bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (!IsWindow(Wnd)) return false;
  TPostQueue& Q = PostQueue();
  std::lock_guard<std::mutex> Guard(Q.Lock);
  Q.Queue.push_back({Wnd, {Msg, WParam, LParam, 0}});
  if (!Q.Source) {
    Q.Source = g_idle_source_new();
    g_source_set_priority(Q.Source, G_PRIORITY_DEFAULT);
    g_source_set_callback(Q.Source, DeliverPosted, nullptr, nullptr);
    g_source_attach(Q.Source, Application->MainContext());
  }
  return true;
}

}  // namespace host
