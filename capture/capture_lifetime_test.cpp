// An application may free a control at any moment, even from its own
// event; nothing may reach it afterwards.

#include <gtest/gtest.h>
#include <signal.h>

#include "capture/sitelens.h"
#include "capture/testing/capture_fixture.h"
#include "host/browser/chromium_browser.h"

namespace snapkit {
namespace {

using testing::CaptureTest;
using testing::TLens;

TEST_F(CaptureTest, AControlFreedMidLoadOrInItsOwnEventIsNeverTouchedAgain) {
  {
    TLens L;
    L->setUrl(Server->Url("/endless"));
  }
  {
    TLens L;
    L->SetTimerInterval(50);
    L->SetTimedUpdate(true);
    L->setUrl(Server->Url("/frames.html"));
    host::Application->RunUntil([&] { return false; }, 30);  // part-way through
  }
  auto* Form = new host::TComponent(nullptr);
  auto* Lens = new TSitelens(Form);
  bool Freed = false;
  Lens->OnWebImageReady = [&](host::TObject* Sender, const std::string&) {
    delete Form;  // frees the control, which is the Sender
    Freed = true;
  };
  Lens->setUrl(Server->Url("/frames.html"));
  ASSERT_TRUE(host::Application->RunUntil([&] { return Freed; }, 15000));
  host::Application->RunUntil([&] { return false; }, 300);

  // Freed by its own error handler.
  Form = new host::TComponent(nullptr);
  Lens = new TSitelens(Form);
  Freed = false;
  Lens->OnCaptureError = [&](host::TObject*, const std::string&, const std::string&) {
    delete Form;
    Freed = true;
  };
  Lens->setUrl("http://127.0.0.1:" + std::to_string(host::testing::ClosedPort()) + "/");
  ASSERT_TRUE(host::Application->RunUntil([&] { return Freed; }, 15000));

  // The browser dies under two loading controls; the first to hear of it
  // frees the other, which is never called.
  auto* FormA = new host::TComponent(nullptr);
  auto* FormB = new host::TComponent(nullptr);
  auto* A = new TSitelens(FormA);
  auto* B = new TSitelens(FormB);
  int Heard = 0;
  A->OnCaptureError = [&](host::TObject*, const std::string&, const std::string&) {
    ++Heard;
    delete FormB;
    FormB = nullptr;
  };
  B->OnCaptureError = [&](host::TObject*, const std::string&, const std::string&) {
    ++Heard;
    delete FormA;
    FormA = nullptr;
  };
  A->setUrl(Server->Url("/endless"));
  B->setUrl(Server->Url("/endless?b"));
  host::Application->RunUntil([&] { return false; }, 500);
  ASSERT_EQ(kill(host::TChromiumBrowser::Shared().Pid(), SIGKILL), 0);
  ASSERT_TRUE(host::Application->RunUntil([&] { return Heard > 0; }, 5000));
  host::Application->RunUntil([&] { return false; }, 500);
  EXPECT_EQ(Heard, 1);
  delete FormA;
  delete FormB;
}

}  // namespace
}  // namespace snapkit
