// Callers wait on these events, so they must come for every step of a load,
// in order, with the page's own completion last and alone reading complete.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "host/browser/testing/web_browser_fixture.h"

namespace host {
namespace {

TEST_F(WebBrowserTest, FramesCompleteBeforeThePageWhichAloneReadsComplete) {
  std::string Top = Server->Url("/frames.html");
  Browser->Navigate(Top);
  ASSERT_TRUE(WaitComplete());
  ASSERT_FALSE(Seen.empty());
  EXPECT_EQ(Seen.front().Kind, "before");
  EXPECT_EQ(Seen.front().Url, Top);
  EXPECT_TRUE(Seen.front().TopLevel);

  std::vector<std::string> Completed = Urls("complete");
  ASSERT_EQ(Completed.size(), 3u);
  EXPECT_EQ(Completed.back(), Top);
  for (const std::string& Child : {Server->Url("/child1.html"), Server->Url("/child2.html")}) {
    auto Before = std::find_if(Seen.begin(), Seen.end(), [&](const TSeen& S) {
      return S.Kind == "before" && S.Url == Child;
    });
    auto Done = std::find_if(Seen.begin(), Seen.end(), [&](const TSeen& S) {
      return S.Kind == "complete" && S.Url == Child;
    });
    ASSERT_NE(Before, Seen.end()) << Child;
    ASSERT_NE(Done, Seen.end()) << Child;
    EXPECT_LT(Before - Seen.begin(), Done - Seen.begin());
    EXPECT_FALSE(Done->TopLevel);
    EXPECT_NE(Done->ReadyState, READYSTATE_COMPLETE);
  }
  EXPECT_TRUE(Seen.back().TopLevel);
  EXPECT_EQ(Browser->ReadyState(), READYSTATE_COMPLETE);
  EXPECT_EQ(Browser->LocationURL(), Top);
  // Nothing more arrives for a page that has completed.
  std::size_t Count = Seen.size();
  Application->RunUntil([] { return false; }, 300);
  EXPECT_EQ(Seen.size(), Count);
}

TEST_F(WebBrowserTest, HandlerExceptionIsReportedAndLoadingGoesOn) {
  std::vector<TObject*> Senders;
  Application->OnException = [&](TObject* Sender, const std::exception&) {
    Senders.push_back(Sender);
  };
  auto Record = Browser->OnDocumentComplete;
  Browser->OnDocumentComplete = [&](TObject* Sender, IDispatch* pDisp, const OleVariant& URL) {
    Record(Sender, pDisp, URL);
    throw EConvertError("handler failed");
  };
  Browser->Navigate(Server->Url("/frames.html"));
  bool Done = WaitComplete();
  Application->OnException = nullptr;
  ASSERT_TRUE(Done);
  EXPECT_EQ(Urls("complete").size(), 3u);
  EXPECT_EQ(Senders, std::vector<TObject*>(3, Browser.get()));
}

TEST_F(WebBrowserTest, RedirectsAnnounceEveryStep) {
  Browser->Navigate(Server->Url("/r1"));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Urls("before"), (std::vector<std::string>{Server->Url("/r1"), Server->Url("/r2"),
                                                      Server->Url("/final.html")}));
  EXPECT_EQ(Urls("complete"), std::vector<std::string>{Server->Url("/final.html")});
}

TEST_F(WebBrowserTest, RefreshByThePageIsANewNavigation) {
  // The refresh may come while the first document's picture is being
  // taken, which gives that document up: the page ends on the second.
  Browser->Navigate(Server->Url("/meta.html"));
  ASSERT_TRUE(Application->RunUntil(
      [&] {
        return !Urls("complete").empty() && Urls("complete").back() == Server->Url("/final.html");
      },
      10000));
  EXPECT_EQ(Urls("before"),
            (std::vector<std::string>{Server->Url("/meta.html"), Server->Url("/final.html")}));
  EXPECT_EQ(Seen.back().ReadyState, READYSTATE_COMPLETE);
}

TEST_F(WebBrowserTest, CancelledNavigationDoesNotLoad) {
  Browser->OnBeforeNavigate2 = [](TObject*, IDispatch*, const OleVariant&, const OleVariant&,
                                  const OleVariant&, const OleVariant&, const OleVariant&,
                                  bool& Cancel) { Cancel = true; };
  std::size_t Asked = Server->Requests().size();
  Browser->Navigate(Server->Url("/final.html?cancelled"));
  Application->RunUntil([] { return false; }, 300);
  EXPECT_TRUE(Seen.empty());
  EXPECT_EQ(Server->Requests().size(), Asked);
}

TEST_F(WebBrowserTest, FileUrlsLoadAndDraw) {
  gchar* Dir = g_dir_make_tmp("snapkit-browser-test-XXXXXX", nullptr);
  ASSERT_NE(Dir, nullptr);
  std::string Path = std::string(Dir) + "/page.html";
  std::ofstream(Path) << "<html><body style='margin:0;background:#123456'></body></html>";
  Browser->SetBounds(0, 0, 64, 48);
  Browser->Navigate(std::wstring(L"file://") + std::wstring(Path.begin(), Path.end()));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Urls("complete").back(), "file://" + Path);
  TBitmap B;
  ASSERT_EQ(DrawInto(*Browser, B, 64, 48), 0);
  EXPECT_EQ(Rgb(B, 32, 24), 0x123456u);
  // Refused once local files are not allowed, whatever the scheme's case.
  Browser->SetAllowLocal(false);
  for (const std::string& Url : {"file://" + Path, "FILE://" + Path})
    EXPECT_THROW(Browser->Navigate(Url), EOleException) << Url;
  remove(Path.c_str());
  rmdir(Dir);
  g_free(Dir);
}

TEST_F(WebBrowserTest, SameDocumentNavigationStillCompletes) {
  Browser->Navigate(Server->Url("/final.html"));
  ASSERT_TRUE(WaitComplete());
  Seen.clear();
  Browser->Navigate(Server->Url("/final.html#part"));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Urls("complete"), std::vector<std::string>{Server->Url("/final.html#part")});
}

}  // namespace
}  // namespace host
