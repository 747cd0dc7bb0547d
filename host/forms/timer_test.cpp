#include "host/forms/timer.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "host/forms/application.h"

namespace host {
namespace {

TEST(TimerTest, TicksThroughTheMessageLoopAtItsInterval) {
  TTimer Timer(nullptr);
  Timer.SetInterval(20);
  int Ticks = 0;
  gint64 Start = g_get_monotonic_time();
  Timer.OnTimer = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &Timer);
    ++Ticks;
  };
  EXPECT_EQ(Ticks, 0);
  ASSERT_TRUE(Application->RunUntil([&] { return Ticks >= 3; }, 2000));
  EXPECT_GE(g_get_monotonic_time() - Start, 3 * 20 * 1000 - 2000);
}

TEST(TimerTest, DisabledOrZeroIntervalNeverTicks) {
  TTimer Timer(nullptr);
  int Ticks = 0;
  Timer.OnTimer = [&](TObject*) { ++Ticks; };
  Timer.SetInterval(10);
  Timer.SetEnabled(false);
  EXPECT_FALSE(Application->RunUntil([&] { return Ticks > 0; }, 60));
  Timer.SetEnabled(true);
  Timer.SetInterval(0);
  EXPECT_FALSE(Application->RunUntil([&] { return Ticks > 0; }, 60));
  Timer.SetInterval(10);
  EXPECT_TRUE(Application->RunUntil([&] { return Ticks > 0; }, 1000));
}

TEST(TimerTest, HandlerMayFreeItsOwnTimer) {
  TTimer* Timer = new TTimer(nullptr);
  Timer->SetInterval(5);
  bool Freed = false;
  Timer->OnTimer = [&](TObject*) {
    FreeAndNil(Timer);
    Freed = true;
  };
  ASSERT_TRUE(Application->RunUntil([&] { return Freed; }, 1000));
  EXPECT_EQ(Timer, nullptr);
  Application->RunUntil([] { return false; }, 30);  // nothing left to tick
}

TEST(TimerTest, FreedTimerStopsTicking) {
  int Ticks = 0;
  {
    TTimer Timer(nullptr);
    Timer.SetInterval(5);
    Timer.OnTimer = [&](TObject*) { ++Ticks; };
    ASSERT_TRUE(Application->RunUntil([&] { return Ticks > 0; }, 1000));
  }
  int After = Ticks;
  Application->RunUntil([] { return false; }, 40);
  EXPECT_EQ(Ticks, After);
}

}  // namespace
}  // namespace host
