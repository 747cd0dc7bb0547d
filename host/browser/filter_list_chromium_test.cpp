#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "host/browser/chromium_browser.h"
#include "host/browser/filter_list.h"

namespace host {
namespace {

// One selector Chromium refuses would drop its whole rule: the style sheet
// from Debian's lists must reach the browser whole, every selector of it.
TEST(FilterListChromium, DebianListsStyleSheetIsAcceptedWhole) {
  if (::access(DefaultBrowserExecutable().c_str(), X_OK) != 0)
    GTEST_SKIP() << "Chromium is not installed";
  std::string easylist = DefaultFilterListPath("easylist");
  std::string easyprivacy = DefaultFilterListPath("easyprivacy");
  if (easylist.empty() || easyprivacy.empty())
    GTEST_SKIP() << "EasyList/EasyPrivacy not found: install webext-ublock-origin-chromium";
  auto set = SharedFilterSet({easylist, easyprivacy});
  struct TCase {
    const char* Page;
  };
  const TCase kCases[] = {{"https://www.example.com/"},
                          {"https://www.theguardian.com/world"},
                          {"https://www.ebay.co.uk/"}};
  TChromiumBrowser& browser = TChromiumBrowser::Shared();
  json target = browser.CallSynchronously("Target.createTarget", {{"url", "about:blank"}});
  std::string session = browser.CallSynchronously(
      "Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}})["sessionId"];
  for (const TCase& c : kCases) {
    std::string css = set->HidingCss(c.Page);
    std::size_t rules = 0, selectors = 0;
    for (char ch : css) {
      rules += ch == '\n';
      selectors += ch == '\n';
    }
    // Each selector after the first in a rule follows ", ".
    for (std::size_t at = css.find(", "); at != std::string::npos; at = css.find(", ", at + 2))
      ++selectors;
    std::string script = "(() => { const s = new CSSStyleSheet(); s.replaceSync(" +
                         json(css).dump() +
                         "); let n = 0; for (const r of s.cssRules) n += r.selectorText.split(', ')"
                         ".length; return [s.cssRules.length, n]; })()";
    json result = browser.CallSynchronously("Runtime.evaluate",
                                            {{"expression", script}, {"returnByValue", true}},
                                            session)["result"]["value"];
    EXPECT_GT(rules, 100u) << c.Page;
    EXPECT_EQ(result[0], rules) << c.Page;
    EXPECT_EQ(result[1], selectors) << c.Page;
  }
  browser.CallSynchronously("Target.closeTarget", {{"targetId", target["targetId"]}});
}

}  // namespace
}  // namespace host
