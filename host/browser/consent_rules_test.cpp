#include "host/browser/consent_rules.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "host/browser/chromium_browser.h"
#include "host/browser/testing/http_server.h"

namespace host {
namespace {

std::string ReadPage(const std::string& Name) {
  std::ifstream in(std::string(SNAPKIT_SOURCE_DIR) + "/host/browser/testing/consent/" + Name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

json Evaluate(TChromiumBrowser& C, const std::string& Session, const std::string& Expression) {
  return C.CallSynchronously("Runtime.evaluate",
                             {{"expression", Expression}, {"returnByValue", true}},
                             Session)["result"]["value"];
}

// What the page looks like to its reader: no dialog showing, the article at
// the middle of the screen, nothing locking the scroll, and the page's record
// of which button, if any, was pressed.
constexpr const char* kState = R"JS(JSON.stringify({
  dialog: Array.from(document.querySelectorAll('[data-dialog]')).some(e =>
    e.isConnected && e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden'),
  content: !!(document.elementFromPoint(400, 300) || document.body).closest('#content'),
  locked: [document.documentElement, document.body].some(e => {
    const s = getComputedStyle(e);
    return s.overflowY === 'hidden' || s.position === 'fixed';
  }),
  answer: window.__answer || '',
  report: window.__snapkitConsent ? JSON.stringify(window.__snapkitConsent.report()) : ''
}))JS";

TEST(ConsentRules, EachManagersDialogIsAnsweredOrHiddenInChromium) {
  if (::access(DefaultBrowserExecutable().c_str(), X_OK) != 0)
    GTEST_SKIP() << "Chromium is not installed";
  struct TCase {
    const char* Page;
    const char* Answer;  // what the page saw pressed
    const char* Report;
  };
  const TCase kCases[] = {
      {"onetrust.html", "reject", R"([{"manager":"OneTrust","action":"click"}])"},
      {"cookiebot.html", "reject", R"([{"manager":"Cookiebot","action":"api"}])"},
      {"didomi.html", "reject", R"([{"manager":"Didomi","action":"api"}])"},  // comes late
      {"quantcast.html", "reject", R"([{"manager":"Quantcast","action":"click"}])"},
      {"osano.html", "reject", R"([{"manager":"Osano","action":"click"}])"},
      {"cookieconsent.html", "", R"([{"manager":"cookieconsent","action":"hide"}])"},
      {"usercentrics.html", "reject", R"([{"manager":"Usercentrics","action":"click"}])"},
      {"trustarc.html", "reject", R"([{"manager":"TrustArc","action":"click"}])"},
  };
  testing::TTestServer server;
  server.Route("/common.css", testing::Page(ReadPage("common.css"), "text/css"));
  for (const TCase& c : kCases)
    server.Route(std::string("/") + c.Page, testing::Page(ReadPage(c.Page)));
  server.Route("/plain.html", testing::Page(ReadPage("plain.html")));

  TChromiumBrowser& browser = TChromiumBrowser::Shared();
  json target = browser.CallSynchronously("Target.createTarget", {{"url", "about:blank"}});
  std::string session = browser.CallSynchronously(
      "Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}})["sessionId"];
  browser.CallSynchronously(
      "Emulation.setDeviceMetricsOverride",
      {{"width", 800}, {"height", 600}, {"deviceScaleFactor", 1}, {"mobile", false}}, session);
  auto load = [&](const std::string& Url) {
    browser.CallSynchronously("Page.navigate", {{"url", Url}}, session);
    for (int i = 0; i < 100 && Evaluate(browser, session, "document.readyState") != "complete"; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
  // Polls until the page settles as expected, or two seconds pass.
  auto settle = [&](const std::string& Expected) {
    json state;
    for (int i = 0; i < 40; ++i) {
      state = json::parse(Evaluate(browser, session, kState).get<std::string>());
      if (!state["dialog"] && state["report"] == Expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return state;
  };

  for (const TCase& c : kCases) {
    load(server.Url(std::string("/") + c.Page));
    Evaluate(browser, session, ConsentScript(3000));
    json state = settle(c.Report);
    EXPECT_FALSE(state["dialog"]) << c.Page;
    EXPECT_TRUE(state["content"]) << c.Page;
    EXPECT_FALSE(state["locked"]) << c.Page;
    EXPECT_EQ(state["answer"], c.Answer) << c.Page;
    EXPECT_EQ(state["report"], c.Report) << c.Page;
  }

  // A page with no manager is left alone: its own box and lock stay.
  load(server.Url("/plain.html"));
  EXPECT_EQ(Evaluate(browser, session, ConsentScript(300)), "[]");
  json state = json::parse(Evaluate(browser, session, kState).get<std::string>());
  EXPECT_TRUE(state["dialog"]);
  EXPECT_TRUE(state["locked"]);
  EXPECT_EQ(state["answer"], "");
  browser.CallSynchronously("Target.closeTarget", {{"targetId", target["targetId"]}});
}

}  // namespace
}  // namespace host
