// Options only take effect as a page opens, so a bad one must be refused
// when it is set, not found out by a later navigation.

#include <string>

#include "host/browser/testing/web_browser_fixture.h"

namespace host {
namespace {

// A page is set up with the options when it opens; a change reaches the
// next navigation, and taking one back leaves the browser's own.
TEST_F(WebBrowserTest, PageOptionsReachTheNextNavigation) {
  std::string Lower;
  auto Agent = [&](const std::string& Set) {
    Browser->SetUserAgent(Set);
    Seen.clear();
    Browser->Navigate(Server->Url("/agent.html"));
    EXPECT_TRUE(WaitComplete()) << Set;
    std::string Head = Server->RequestHead("/agent.html");
    std::size_t At = Head.find("User-Agent: ");
    return At == std::string::npos ? Head : Head.substr(At + 12, Head.find('\r', At) - At - 12);
  };
  EXPECT_EQ(Agent("one/1"), "one/1");
  EXPECT_EQ(Agent("two/2"), "two/2");
  std::string Own = Agent("");
  EXPECT_EQ(Own.rfind("Mozilla/", 0), 0u) << Own;

  // What no page could be set up with is refused when it is set.
  EXPECT_THROW(Browser->SetDeviceScaleFactor(0), EInvalidOperation);
  EXPECT_THROW(Browser->SetDeviceScaleFactor(8.5), EInvalidOperation);
  EXPECT_THROW(Browser->SetColorScheme("blue"), EOleException);
  EXPECT_THROW(Browser->SetUserAgent("a\r\nX-Evil: 1"), EOleException);
  EXPECT_THROW(Browser->SetExtraHeaders({{"Bad Name", "v"}}), EOleException);
  EXPECT_THROW(Browser->SetExtraHeaders({{"X-Ok", "a\nb"}}), EOleException);
  EXPECT_EQ(Browser->DeviceScaleFactor(), 1.0);
  EXPECT_TRUE(Browser->ExtraHeaders().empty());
}

}  // namespace
}  // namespace host
