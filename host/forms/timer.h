#pragma once
// TTimer: calls OnTimer every Interval milliseconds from the application's
// message loop while it is enabled and the interval is not 0.

#include <string>

#include "host/forms/component.h"

namespace host {

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  std::string ClassName() const override { return "TTimer"; }

  unsigned Interval() const { return FInterval; }
  // A new interval starts counting afresh.
  void SetInterval(unsigned Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);

  TNotifyEvent OnTimer;

 private:
  void Update();
  static int Tick(void* Self);

  unsigned FInterval = 1000;
  bool FEnabled = true;
  unsigned FSourceId = 0;
};

}  // namespace host
