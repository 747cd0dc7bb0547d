#include "host/forms/timer.h"

#include <glib.h>

#include "host/forms/application.h"

namespace host {

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) { Update(); }

namespace {
void RemoveSource(unsigned Id) {
  if (GSource* S = g_main_context_find_source_by_id(Application->MainContext(), Id))
    g_source_destroy(S);
}
}  // namespace

TTimer::~TTimer() {
  if (FSourceId) RemoveSource(FSourceId);
}

void TTimer::SetInterval(unsigned Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  Update();
}

void TTimer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  Update();
}

void TTimer::Update() {
  if (FSourceId) {
    RemoveSource(FSourceId);
    FSourceId = 0;
  }
  if (!FEnabled || FInterval == 0) return;
  GSource* Source = g_timeout_source_new(FInterval);
  g_source_set_callback(Source, reinterpret_cast<GSourceFunc>(&TTimer::Tick), this, nullptr);
  FSourceId = g_source_attach(Source, Application->MainContext());
  g_source_unref(Source);
}

int TTimer::Tick(void* Self) {
  auto* Timer = static_cast<TTimer*>(Self);
  // The handler may free the timer or change it; nothing of it is used after.
  if (Timer->OnTimer) {
    TNotifyEvent Handler = Timer->OnTimer;
    try {
      Handler(Timer);
    } catch (...) {
      Application->HandleException(Timer);
    }
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace host
