// The control's measure of change: only when asked for, on the full-size
// capture, after OnWebImageReady, and OnPageChanged past ChangeThreshold.

#include <gtest/gtest.h>

#include "capture/sitelens.h"
#include "capture/testing/capture_fixture.h"
#include "host/forms/application.h"
#include "host/system/exception.h"

namespace snapkit {
namespace {

using testing::CaptureTest;
using testing::TLens;

std::string WordPage(const char* Word) {
  return testing::Body(std::string("<p style='position:absolute;left:50px;top:40px;margin:0;"
                                   "font:24px sans-serif'>") +
                       Word + "</p>");
}

struct TChange {
  std::string Url;
  double Share;
  host::TRect Box;
  std::size_t ReadyBefore;  // OnWebImageReady events before it
};

TEST_F(CaptureTest, PageChangeIsMeasuredWhenAskedAndPassesTheThreshold) {
  struct TCase {
    const char* What;
    const char *First, *Second;
    bool Ask, Event;
    double Threshold;
    bool Changes, Fires;
  } cases[] = {
      {"a word changed, the event assigned", "alpha", "bravo", false, true, 0, true, true},
      {"a word changed, the property asked for", "alpha", "bravo", true, false, 0, true, false},
      {"the same page, the event assigned", "alpha", "alpha", false, true, 0, false, false},
      {"a change below the threshold", "alpha", "bravo", false, true, 0.5, true, false},
      {"not asked for", "alpha", "bravo", false, false, 0, false, false},
  };
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const std::string path = "/word" + std::to_string(++n) + ".html";
    Server->Route(path, host::testing::Page(WordPage(c.First)));
    TLens L;
    L->SetWebPageView(wvCustom);
    L->SetViewWidth(400);
    L->SetViewHeight(200);
    L->SetBounds(0, 0, 100, 50);  // the shown picture is a quarter of the capture
    L->SetMeasureChange(c.Ask);
    L->SetChangeThreshold(c.Threshold);
    std::vector<TChange> changes;
    if (c.Event)
      L->OnPageChanged = [&](host::TObject*, const std::string& Url, double Share,
                             const host::TRect& Box) {
        changes.push_back({Url, Share, Box, L.Ready.size()});
      };
    L->setUrl(Server->Url(path));
    ASSERT_TRUE(L.WaitReady());
    L.Settle(100);
    EXPECT_EQ(L->PageChange(), -1);  // nothing to compare with yet
    Server->Route(path, host::testing::Page(WordPage(c.Second)));
    L->Refresh();
    ASSERT_TRUE(L.WaitReady());
    const bool measured = c.Ask || c.Event;
    host::Application->RunUntil([&] { return L->PageChange() >= 0; }, measured ? 5000 : 300);
    L.Settle(100);
    if (!measured) {
      EXPECT_EQ(L->PageChange(), -1);
      continue;
    }
    const host::TRect box = L->PageChangeBox();
    if (c.Changes) {
      // A word of 24-pixel type at (50, 40) of the full 400x200 capture.
      EXPECT_GT(L->PageChange(), 0.001);
      EXPECT_LT(L->PageChange(), 0.05);
      EXPECT_GE(box.Left, 48);
      EXPECT_GE(box.Top, 38);
      EXPECT_LE(box.Right, 200);
      EXPECT_LE(box.Bottom, 75);
      EXPECT_GT(box.Bottom, 50);  // in capture pixels, not the shown picture's
    } else {
      EXPECT_EQ(L->PageChange(), 0);
      EXPECT_EQ(box.Right, 0);
    }
    ASSERT_EQ(changes.size(), c.Fires ? 1u : 0u);
    if (!c.Fires) continue;
    EXPECT_EQ(changes[0].Url, Server->Url(path));
    EXPECT_EQ(changes[0].Share, L->PageChange());
    EXPECT_EQ(changes[0].Box.Left, box.Left);
    EXPECT_EQ(changes[0].Box.Bottom, box.Bottom);
    EXPECT_EQ(changes[0].ReadyBefore, 2u);  // after the second capture's OnWebImageReady
  }
}

TEST(PageChange, ThresholdIsAShare) {
  host::TComponent form(nullptr);
  auto* lens = new TSitelens(&form);
  for (double bad : {-0.1, 1.5})
    EXPECT_THROW(lens->SetChangeThreshold(bad), host::EInvalidOperation) << bad;
  lens->SetChangeThreshold(0.25);
  EXPECT_EQ(lens->ChangeThreshold(), 0.25);
}

}  // namespace
}  // namespace snapkit
