// A page that grew heavy must not pass its memory on to the next load; one
// that stayed under the limit keeps its page.

#include <algorithm>
#include <string>
#include <vector>

#include "host/browser/testing/browser_processes.h"
#include "host/browser/testing/web_browser_fixture.h"

namespace host {
namespace {

TEST_F(WebBrowserTest, APageThatGrewPastTheHeapLimitGivesTheNextLoadAFreshPage) {
  // sessionStorage belongs to one page: the second document finds the mark
  // the first one left only when it loads in the same page.
  const char* Mark = "<script>sessionStorage.mark = '1';</script>";
  Server->Route("/light-mark.html",
                testing::Page(std::string("<html><body>light") + Mark + "</body></html>"));
  // Keeps N numbers of 8 bytes each.
  auto Keeping = [&](const char* Name, const char* N, const char* Then) {
    return testing::Page(std::string("<html><body>") + Name + Mark +
                         "<script>window.keep = Array.from({length: " + N +
                         "}, (_, i) => i + 0.5);" + Then + "</script></body></html>");
  };
  Server->Route("/heavy-mark.html", Keeping("heavy", "5e6", ""));
  // As heavy on the way, but all of it garbage by the next navigation.
  Server->Route("/garbage-mark.html", Keeping("garbage", "5e6", "window.keep = null;"));
  // Past the limit, but not heavy enough to be worth a collection.
  Server->Route("/middle-mark.html", Keeping("middle", "2e6", ""));
  Server->Route("/marked.html",
                testing::Page("<html><body style='margin:0'><div id=d style='width:100px;"
                              "height:100px;background:#ff0000'></div><script>"
                              "if (sessionStorage.mark) d.style.background = '#00ff00';"
                              "</script></body></html>"));
  struct TCase {
    const char* First;
    std::size_t Limit;
    bool Fresh;
  } Cases[] = {
      {"/light-mark.html", Browser->PageHeapLimit(), false},
      {"/heavy-mark.html", Browser->PageHeapLimit(), true},
      {"/garbage-mark.html", Browser->PageHeapLimit(), false},
      {"/middle-mark.html", Browser->PageHeapLimit(), false},
      {"/light-mark.html", 0, true},
      {"/heavy-mark.html", std::size_t(1) << 40, false},
  };
  TChromiumBrowser& C = TChromiumBrowser::Shared();
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::string(Case.First) + " limit " + std::to_string(Case.Limit));
    Browser->SetPageHeapLimit(Case.Limit);
    Browser->SetBounds(0, 0, 100, 100);
    Seen.clear();
    Browser->Navigate(Server->Url(Case.First));
    ASSERT_TRUE(WaitComplete());
    std::vector<pid_t> Before = testing::RendererPids(C.Pid());
    Seen.clear();
    Browser->Navigate(Server->Url("/marked.html"));
    ASSERT_TRUE(WaitComplete());
    TBitmap B;
    ASSERT_EQ(DrawInto(*Browser, B, 100, 100), 0) << Browser->RenderError();
    EXPECT_EQ(Rgb(B, 50, 50), Case.Fresh ? 0xFF0000u : 0x00FF00u);
    if (Case.Fresh) {
      // The old page's renderer, and the memory it held, is gone.
      auto OneEnded = [&] {
        std::vector<pid_t> Now = testing::RendererPids(C.Pid());
        for (pid_t Pid : Before)
          if (std::find(Now.begin(), Now.end(), Pid) == Now.end()) return true;
        return false;
      };
      EXPECT_TRUE(Application->RunUntil(OneEnded, 3000));
    }
  }
}

}  // namespace
}  // namespace host
