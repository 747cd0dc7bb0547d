// Logins for pages behind HTTP Basic and Digest: the test server checks
// them itself (http_server.cpp), so a page shown means the browser sent
// what the server computed.

#include <algorithm>
#include <string>
#include <vector>

#include "host/browser/testing/web_browser_fixture.h"

namespace host {
namespace {

using testing::LoggedIn;
using testing::Page;

TEST_F(WebBrowserTest, ALoginIsGivenOnceAndAWrongOneEndsAsAPageThatAsksForIt) {
  // A password with a colon in it: only the first colon splits.
  const std::string Right = "ann:op:en sesame";
  Server->Route(
      "/basic.html",
      LoggedIn(Page("<html><body style='margin:0;background:#0f0'></body></html>"), Right));
  Server->Route(
      "/digest.html",
      LoggedIn(Page("<html><body style='margin:0;background:#0f0'></body></html>"), Right, true));
  struct TCase {
    const char* Path;
    TCredentials Login;
    bool Shown;
  } Cases[] = {
      {"/basic.html", {}, false},
      {"/basic.html", {"ann", "wrong"}, false},
      {"/basic.html", {"bob", "op:en sesame"}, false},
      {"/basic.html", {"ann", "op:en sesame"}, true},
      {"/digest.html", {}, false},
      {"/digest.html", {"ann", "wrong"}, false},
      {"/digest.html", {"ann", "op:en sesame"}, true},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(C.Path) + " " + C.Login.User + ":" + C.Login.Password);
    Browser->SetCredentials(C.Login);
    Seen.clear();
    Errors.clear();
    const std::size_t From = Server->Requests().size();
    Browser->Navigate(Server->Url(C.Path));
    ASSERT_TRUE(Application->RunUntil(
        [&] { return !Errors.empty() || Browser->ReadyState() == READYSTATE_COMPLETE; }, 10000));
    if (C.Shown) {
      EXPECT_TRUE(Errors.empty()) << Errors[0].Reason;
      EXPECT_EQ(Browser->StatusCode(), 200);
      TBitmap B;
      ASSERT_EQ(DrawInto(*Browser, B, 800, 600), 0);
      EXPECT_EQ(Rgb(B, 10, 10), 0x00ff00u);
    } else {
      ASSERT_FALSE(Errors.empty());
      EXPECT_EQ(Errors[0].Kind, nfFailed);
      EXPECT_EQ(Errors[0].Reason, "The page asks for a login (HTTP 401)");
      EXPECT_EQ(Browser->StatusCode(), 401);
    }
    // Asked for once without a login and at most once with one: a refused
    // login is not tried again and again.
    std::vector<std::string> All = Server->Requests();
    const auto Asked =
        std::size_t(std::count(All.begin() + std::ptrdiff_t(From), All.end(), C.Path));
    EXPECT_GE(Asked, 1u);
    EXPECT_LE(Asked, C.Login.Empty() ? 1u : 2u);
  }
}

}  // namespace
}  // namespace host
