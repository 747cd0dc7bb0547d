#include "host/forms/application.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <thread>

#include "host/forms/controls.h"
#include "host/forms/screen.h"
#include "host/forms/timer.h"

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

TEST(ApplicationTest, ExceptionsFromHandlersGoToOnExceptionNotThroughTheLoop) {
  struct TThrower : TCustomPanel {
    using TCustomPanel::TCustomPanel;
    void WndProc(TMessage& M) override {
      if (M.Msg == WM_APP + 3) throw EInvalidOperation("from a message");
      TCustomPanel::WndProc(M);
    }
  } Control(nullptr);
  std::vector<std::string> Reported;
  std::vector<TObject*> Senders;
  Application->OnException = [&](TObject* Sender, const std::exception& E) {
    Senders.push_back(Sender);
    Reported.push_back(E.what());
  };
  PostMessage(Control.Handle(), WM_APP + 3, 0, 0);
  TTimer Timer(nullptr);
  Timer.SetInterval(5);
  Timer.OnTimer = [&](TObject*) {
    Timer.SetEnabled(false);
    throw std::runtime_error("from a timer");
  };
  EXPECT_TRUE(Application->RunUntil([&] { return Reported.size() == 2; }, 2000));
  Application->OnException = nullptr;
  ASSERT_EQ(Reported.size(), 2u);
  EXPECT_EQ(Reported[0], "from a message");
  EXPECT_EQ(Senders[0], &Control);
  EXPECT_EQ(Reported[1], "from a timer");
  EXPECT_EQ(Senders[1], &Timer);
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
