#include "host/forms/application.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <thread>

#include "host/forms/controls.h"
#include "host/forms/screen.h"

namespace host {
namespace {

TEST(ApplicationTest, RunUntilGivesUpAfterItsTimeout) {
  gint64 Start = g_get_monotonic_time();
  EXPECT_FALSE(Application->RunUntil([] { return false; }, 50));
  gint64 Elapsed = g_get_monotonic_time() - Start;
  EXPECT_GE(Elapsed, 45 * 1000);
  EXPECT_LT(Elapsed, 1000 * 1000);
}

TEST(ApplicationTest, RunStopsOnTerminate) {
  constexpr UINT UM_QUIT = WM_APP + 1;
  struct TQuitter : TCustomPanel {
    using TCustomPanel::TCustomPanel;
    void WndProc(TMessage& M) override {
      if (M.Msg == WM_APP + 1) Application->Terminate();
      TCustomPanel::WndProc(M);
    }
  } Quitter(nullptr);
  PostMessage(Quitter.Handle(), UM_QUIT, 0, 0);
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
}

TEST(ApplicationTest, MessagesPostedFromAnotherThreadArriveInOrderOnTheLoopThread) {
  struct TCollector : TCustomPanel {
    using TCustomPanel::TCustomPanel;
    void WndProc(TMessage& M) override {
      if (M.Msg == WM_APP + 2) {
        Values.push_back(static_cast<int>(M.WParam));
        EXPECT_EQ(std::this_thread::get_id(), Loop);
      }
      TCustomPanel::WndProc(M);
    }
    std::vector<int> Values;
    std::thread::id Loop = std::this_thread::get_id();
  } Collector(nullptr);
  HWND H = Collector.Handle();
  std::thread Poster([H] {
    for (int i = 0; i < 100; ++i) PostMessage(H, WM_APP + 2, static_cast<WPARAM>(i), 0);
  });
  Poster.join();
  ASSERT_TRUE(Application->RunUntil([&] { return Collector.Values.size() == 100; }, 2000));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(Collector.Values[static_cast<std::size_t>(i)], i);
}

TEST(ScreenTest, VirtualScreenDefaultsToFullHdAndCanBeSet) {
  EXPECT_EQ(Screen->Width(), 1920);
  EXPECT_EQ(Screen->Height(), 1080);
  Screen->SetSize(1024, 768);
  EXPECT_EQ(Screen->Width(), 1024);
  EXPECT_THROW(Screen->SetSize(0, 768), EInvalidOperation);
  EXPECT_EQ(Screen->Height(), 768);
  Screen->SetSize(1920, 1080);
}

}  // namespace
}  // namespace host
