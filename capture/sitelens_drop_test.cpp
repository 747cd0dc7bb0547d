// Links dropped onto the control: a loaded control captures them, one made in
// code and never loaded accepts none.

#include <gtest/gtest.h>

#include "capture/sitelens.h"
#include "capture/testing/capture_testing.h"
#include "dropurl/testing/url_drag.h"
#include "host/browser/testing/http_server.h"
#include "host/ole/ole_init.h"

namespace snapkit {
namespace {

using snapkit::testing::DragOnto;
using snapkit::testing::TLens;

TEST(SitelensDropTest, ALinkDroppedOnALoadedControlIsCaptured) {
  host::testing::TTestServer Server;
  Server.Route("/dropped.html",
               host::testing::Page("<html><body style='background:#00ff00'></body></html>"));
  std::string Url = Server.Url("/dropped.html");
  TLens L;
  host::ReadComponent(*L, [] {});  // as a form file would load it
  snapkit::testing::TDragOutcome Outcome =
      DragOnto(*L, {{"UniformResourceLocator", snapkit::testing::Text(Url)}});
  EXPECT_EQ(Outcome.Effect, host::DROPEFFECT_COPY);
  EXPECT_EQ(L->URL(), Url);
  ASSERT_TRUE(L.WaitReady());
  EXPECT_EQ(L.Ready[0].Url, Url);
  EXPECT_EQ(snapkit::testing::PixelAt(L->Capture(), 10, 10), 0x00ff00u);
}

TEST(SitelensDropTest, AControlNeverLoadedAcceptsNoDrop) {
  host::OleInitialize(nullptr);
  {
    TLens L;
    snapkit::testing::TDragOutcome Outcome =
        DragOnto(*L, {{"UniformResourceLocator", snapkit::testing::Text("http://127.0.0.1:1/")}});
    EXPECT_EQ(Outcome.Effect, host::DROPEFFECT_NONE);
    EXPECT_EQ(L->URL(), DefaultSitelensURL);
  }
  host::OleUninitialize();
}

}  // namespace
}  // namespace snapkit
