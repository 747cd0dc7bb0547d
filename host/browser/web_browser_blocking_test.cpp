// Ads and trackers left out of pages, with Debian's EasyList and
// EasyPrivacy and a list of the test's own: the server is the witness of
// the requests not made, the picture of the elements hidden.

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/browser/filter_list.h"
#include "host/browser/testing/web_browser_fixture.h"

namespace host {
namespace {

using testing::Page;

// The paths asked for since the first From requests.
std::vector<std::string> Since(testing::TTestServer& S, std::size_t From) {
  std::vector<std::string> All = S.Requests();
  return std::vector<std::string>(All.begin() + std::ptrdiff_t(std::min(From, All.size())),
                                  All.end());
}

bool Asked(const std::vector<std::string>& Paths, const std::string& Path) {
  return std::find(Paths.begin(), Paths.end(), Path) != Paths.end();
}

// A folder of the test's own lists, removed with them.
struct TListDir {
  TListDir() {
    gchar* Made = g_dir_make_tmp("snapkit-lists-XXXXXX", nullptr);
    FPath = Made ? Made : "";
    g_free(Made);
  }
  ~TListDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
  }
  std::string File(const std::string& Name) const { return FPath + "/" + Name; }
  const std::string& Path() const { return FPath; }
  std::string FPath;
};

// EasyList turns its generic hiding off for pages on 127.0.0.1 and
// localhost, so the page is served under a name of its own, which the
// browser resolves to the loopback address.
constexpr const char* Resolver =
    "--host-resolver-rules=MAP *.invalid ~NOTFOUND, MAP news.test 127.0.0.1";

class BlockingTest : public WebBrowserTest {
 protected:
  static void TearDownTestSuite() {
    TChromiumBrowser::Shared().Shutdown();  // the next suite's browser resolves as usual
    WebBrowserTest::TearDownTestSuite();
  }
  void SetUp() override {
    WebBrowserTest::SetUp();
    if (DefaultFilterListPath("easylist").empty() || DefaultFilterListPath("easyprivacy").empty())
      GTEST_SKIP() << "EasyList and EasyPrivacy are missing (webext-ublock-origin-chromium)";
    TChromiumBrowser& C = TChromiumBrowser::Shared();
    if (std::find(C.Options().Arguments.begin(), C.Options().Arguments.end(), Resolver) ==
        C.Options().Arguments.end()) {
      C.Shutdown();
      for (std::string& A : C.Options().Arguments)
        if (A.rfind("--host-resolver-rules=", 0) == 0) A = Resolver;
    }
    // EasyList hides .banner-ad and refuses /ads/targeted; EasyPrivacy
    // refuses /adstat.js: rules of theirs without options, so they hold
    // for a page's own address too. The own list takes the rest.
    Server->Route("/ads.html",
                  Page("<html><body style='margin:0;background:#fff'>"
                       "<div class=banner-ad style='position:absolute;left:0;top:0;width:100px;"
                       "height:100px;background:#f00'></div>"
                       "<div class=plum-box style='position:absolute;left:100px;top:0;width:100px;"
                       "height:100px;background:#00f'></div>"
                       "<script src='/ads/targeted'></script><script src='/adstat.js'></script>"
                       "<script src='/own-ad.js'></script><img src='/logo.svg'></body></html>"));
    for (const char* Script : {"/ads/targeted", "/adstat.js", "/own-ad.js"})
      Server->Route(Script, Page("window.ran = (window.ran || 0) + 1;", "text/javascript"));
    Server->Route(
        "/logo.svg",
        Page("<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'/>", "image/svg+xml"));
    std::ofstream(Lists.File("own.txt")) << "! the test's own\n/own-ad.js\n##.plum-box\n"
                                         << "/refused-page.html$document\n";
  }
  std::string Url(const std::string& Path) const {
    return "http://news.test:" + std::to_string(Server->Port()) + Path;
  }
  TListDir Lists;
};

TEST_F(BlockingTest, RefusedRequestsAreNotMadeAndHiddenElementsNotShown) {
  struct TCase {
    bool Ads, Trackers, Own;
    bool AdScript, TrackerScript, OwnScript;  // asked for
    std::uint32_t Left, Right;                // the two boxes' colours
  } Cases[] = {
      {false, false, false, true, true, true, 0xff0000, 0x0000ff},
      {true, false, false, false, true, true, 0xffffff, 0x0000ff},
      {false, true, false, true, false, true, 0xff0000, 0x0000ff},
      {false, false, true, true, true, false, 0xff0000, 0xffffff},
      {true, true, true, false, false, false, 0xffffff, 0xffffff},
      // Taken back: the page is as it was.
      {false, false, false, true, true, true, 0xff0000, 0x0000ff},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Ads) + std::to_string(C.Trackers) + std::to_string(C.Own));
    Browser->SetBlockAds(C.Ads);
    Browser->SetBlockTrackers(C.Trackers);
    Browser->SetFilterLists(C.Own ? std::vector<std::string>{Lists.File("own.txt")}
                                  : std::vector<std::string>{});
    const std::size_t From = Server->Requests().size();
    Seen.clear();
    Browser->Navigate(Url("/ads.html"));
    ASSERT_TRUE(WaitComplete());
    EXPECT_TRUE(Errors.empty());
    const std::vector<std::string> Paths = Since(*Server, From);
    EXPECT_TRUE(Asked(Paths, "/ads.html"));
    EXPECT_TRUE(Asked(Paths, "/logo.svg"));  // what no rule names still loads
    EXPECT_EQ(Asked(Paths, "/ads/targeted"), C.AdScript);
    EXPECT_EQ(Asked(Paths, "/adstat.js"), C.TrackerScript);
    EXPECT_EQ(Asked(Paths, "/own-ad.js"), C.OwnScript);
    EXPECT_EQ(Browser->Document()["body"]["childElementCount"].AsInteger(), 6);
    TBitmap B;
    ASSERT_EQ(DrawInto(*Browser, B, 800, 600), 0);
    EXPECT_EQ(Rgb(B, 50, 50), C.Left);
    EXPECT_EQ(Rgb(B, 150, 50), C.Right);
  }
}

// What cannot be filtered is said: a list that is not there when it is
// named, and a page whose own address a list refuses.
TEST_F(BlockingTest, ListsThatCannotBeReadAndRefusedPagesAreSaid) {
  struct TCase {
    std::vector<std::string> Files;
    const char* Says;
  } Bad[] = {
      {{Lists.File("none.txt")}, "Cannot read the filter list"},
      {{Lists.Path()}, "Cannot read the filter list"},
      {{""}, "Cannot read the filter list"},
      {{Lists.File("own.txt"), Lists.File("none.txt")}, "none.txt"},
  };
  for (const TCase& C : Bad) {
    try {
      Browser->SetFilterLists(C.Files);
      ADD_FAILURE() << C.Says;
    } catch (const EOleException& E) {
      EXPECT_NE(E.Message().find(C.Says), std::string::npos) << E.Message();
    }
    EXPECT_TRUE(Browser->FilterLists().empty());
  }
  // The default lists come from a folder SNAPKIT_FILTER_LISTS names; one
  // without them is refused, and names the package.
  setenv("SNAPKIT_FILTER_LISTS", Lists.Path().c_str(), 1);
  for (bool Ads : {true, false}) {
    try {
      Ads ? Browser->SetBlockAds(true) : Browser->SetBlockTrackers(true);
      ADD_FAILURE();
    } catch (const EOleException& E) {
      EXPECT_NE(E.Message().find(Ads ? "easylist.txt" : "easyprivacy.txt"), std::string::npos)
          << E.Message();
      EXPECT_NE(E.Message().find("webext-ublock-origin-chromium"), std::string::npos);
    }
  }
  unsetenv("SNAPKIT_FILTER_LISTS");
  EXPECT_FALSE(Browser->BlockAds() || Browser->BlockTrackers());

  // A list gone between naming it and the first page that needs it fails
  // that page, and the next ones, rather than leaving them unfiltered.
  std::ofstream(Lists.File("gone.txt")) << "##.plum-box\n";
  Browser->SetFilterLists({Lists.File("gone.txt")});
  std::remove(Lists.File("gone.txt").c_str());
  for (int Twice = 0; Twice < 2; ++Twice) {
    Errors.clear();
    Browser->Navigate(Url("/ads.html"));
    ASSERT_TRUE(WaitError());
    EXPECT_EQ(Errors[0].Kind, nfFailed);
    EXPECT_EQ(Errors[0].Reason, "Cannot read the filter list \"" + Lists.File("gone.txt") + "\"");
  }

  Errors.clear();
  Server->Route("/refused-page.html", Page("<html><body>never</body></html>"));
  Browser->SetFilterLists({Lists.File("own.txt")});
  const std::size_t From = Server->Requests().size();
  Browser->Navigate(Url("/refused-page.html"));
  ASSERT_TRUE(WaitError());
  EXPECT_EQ(Errors[0].Kind, nfFailed);
  EXPECT_NE(Errors[0].Reason.find("filter lists refuse the page's own address"), std::string::npos)
      << Errors[0].Reason;
  EXPECT_FALSE(Asked(Since(*Server, From), "/refused-page.html"));
  // The next page loads on a fresh one.
  Errors.clear();
  Browser->Navigate(Url("/ads.html"));
  EXPECT_TRUE(WaitComplete());
  EXPECT_TRUE(Errors.empty());
}

}  // namespace
}  // namespace host
