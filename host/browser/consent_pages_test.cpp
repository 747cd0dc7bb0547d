// BlockCookieBanners on pages built as each consent manager builds its
// dialog: with it the picture shows the article where the dialog was and
// the page scrolls, also where the dialog is drawn in a frame of its own;
// without it the dialog is in the picture.

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "host/browser/testing/web_browser_fixture.h"

namespace host {
namespace {

std::string ReadPage(const std::string& Name) {
  std::ifstream In(std::string(SNAPKIT_SOURCE_DIR) + "/host/browser/testing/consent/" + Name);
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

// The article's background (common.css): linear-gradient(#cde, #468) down
// its 3000 pixels, at row Y.
std::uint32_t Article(int Y) {
  const double T = (Y + 0.5) / 3000;
  auto Mix = [T](int From, int To) { return std::uint32_t(From + (To - From) * T + 0.5); };
  return Mix(0xcc, 0x44) << 16 | Mix(0xdd, 0x66) << 8 | Mix(0xee, 0x88);
}

bool Near(std::uint32_t A, std::uint32_t B) {
  for (int Shift : {0, 8, 16})
    if (std::abs(int(A >> Shift & 0xFF) - int(B >> Shift & 0xFF)) > 3) return false;
  return true;
}

TEST_F(WebBrowserTest, ConsentDialogsAreAnsweredOrHidden) {
  struct TCase {
    const char* Page;
    int DelayMs;          // its dialog comes late
    bool Locks = true;    // the dialog locks the page's scrolling
    bool Managed = true;  // false: a page's own box, left alone
  };
  const TCase Cases[] = {
      {"onetrust.html", 0},       {"cookiebot.html", 0}, {"didomi.html", 900},
      {"quantcast.html", 0},      {"osano.html", 0},     {"cookieconsent.html", 0, false},
      {"usercentrics.html", 900}, {"trustarc.html", 0},  {"plain.html", 0, true, false},
      {"framed.html", 0, false},
  };
  Server->Route("/consent/common.css", testing::Page(ReadPage("common.css"), "text/css"));
  Server->Route("/consent/framed-dialog.html", testing::Page(ReadPage("framed-dialog.html")));
  for (const TCase& C : Cases)
    Server->Route(std::string("/consent/") + C.Page, testing::Page(ReadPage(C.Page)));
  int Delay = 0;
  Browser->OnPrepareDraw = [&](TObject*, TRenderPlan& Plan) { Plan.DelayMs = Delay; };
  // Read when asked, as the picture is taken.
  Browser->SetScript(
      "Object.defineProperty(document, 'snapkitLocked', {get: () =>"
      "  [document.documentElement, document.body].some(e => {"
      "    const s = getComputedStyle(e); return s.overflowY == 'hidden' || s.position == 'fixed';"
      "  })})");
  // Where the dialogs draw their overlay and their box.
  const int Points[][2] = {{40, 100}, {400, 300}, {700, 560}};
  for (bool Block : {true, false}) {
    Browser->SetBlockCookieBanners(Block);
    for (const TCase& C : Cases) {
      const std::string What = std::string(C.Page) + (Block ? " blocked" : " shown");
      Delay = C.DelayMs;
      Seen.clear();
      Browser->Navigate(Server->Url(std::string("/consent/") + C.Page));
      ASSERT_TRUE(WaitComplete()) << What;
      TBitmap B;
      ASSERT_EQ(DrawInto(*Browser, B, 800, 600), 0) << What;
      bool Clear = true;
      for (const auto& P : Points) Clear = Clear && Near(Rgb(B, P[0], P[1]), Article(P[1]));
      const bool Gone = Block && C.Managed;
      EXPECT_EQ(Clear, Gone) << What << ": " << std::hex << Rgb(B, 400, 300);
      EXPECT_EQ(Browser->OleObject()["Document"]["snapkitLocked"].AsBoolean(), !Gone && C.Locks)
          << What;
    }
  }
}

}  // namespace
}  // namespace host
