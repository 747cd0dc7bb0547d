// TSitelens and TDropURL in form files: the stored properties in their
// declaration order acting through the setters, Loaded, design mode, and
// writing back. Navigation is checked against a real Chromium.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "capture/sitelens.h"
#include "capture/sitelens_published.h"
#include "dropurl/drop_url.h"
#include "dropurl/drop_url_published.h"
#include "host/browser/testing/http_server.h"
#include "host/forms/application.h"
#include "host/forms/form_reader.h"
#include "host/forms/form_writer.h"
#include "host/forms/published.h"

namespace snapkit {
namespace {

using host::testing::TTestServer;

bool NeverNavigated(TSitelens& Lens) {
  return Lens.Browser().ReadyState() == host::READYSTATE_UNINITIALIZED;
}

std::string Replace(std::string S, const std::string& From, const std::string& To) {
  std::size_t At = S.find(From);
  if (At != std::string::npos) S.replace(At, From.size(), To);
  return S;
}

std::string Lens(const std::string& Body) {
  return "object F: TForm\n  object Sitelens1: TSitelens\n" + Body + "  end\nend\n";
}

// What TDropURL's Loaded sees, recorded before it runs.
struct TSeen {
  bool Designing, Loading, HasHandler;
  host::TWinControl* Target;
};
std::vector<TSeen> Seen;

class TWatchedDropURL : public TDropURL {
 public:
  using TDropURL::TDropURL;
  std::string ClassName() const override { return "TWatchedDropURL"; }
  void Loaded() override {
    Seen.push_back({InState(host::csDesigning), InState(host::csLoading),
                    static_cast<bool>(OnDropURL), TargetControl()});
    TDropURL::Loaded();
  }
};
const host::TComponentClassRef WatchedClass{
    "TWatchedDropURL", &DropURLClass,
    &host::CreateInstance<TWatchedDropURL, host::TComponent, host::TComponent*>};
const host::TPublishedClass WatchedPublished{&WatchedClass, {}};
const host::TPublishedRegistration WatchedRegistration(WatchedPublished);

class SitelensForm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Server = new TTestServer;
    Server->Route("/green.html",
                  host::testing::Page("<html><body style='background:#00ff00'></body></html>"));
  }
  static void TearDownTestSuite() {
    delete Server;
    Server = nullptr;
  }
  void SetUp() override {
    Seen.clear();
    Form.AddHandler("Sitelens1WebImageReady",
                    TOnWebImageReadyEvent(
                        [this](host::TObject*, const std::string& Url) { Ready.push_back(Url); }));
    Form.AddHandler(
        "Sitelens1CaptureError",
        TOnCaptureErrorEvent([](host::TObject*, const std::string&, const std::string&) {}));
    Form.AddHandler("DropURL1DropURL", TOnURLDropEvent([](host::TObject*, const std::string&) {}));
  }
  TSitelens& Sitelens(const char* Name = "Sitelens1") {
    return dynamic_cast<TSitelens&>(*Form.FindComponent(Name));
  }
  int Requests(const std::string& Path) {
    std::vector<std::string> R = Server->Requests();
    return static_cast<int>(std::count(R.begin(), R.end(), Path));
  }

  static TTestServer* Server;
  host::TForm Form;
  std::vector<std::string> Ready;
};

TTestServer* SitelensForm::Server = nullptr;

std::string ExampleForm() {
  std::ifstream In(std::string(SNAPKIT_SOURCE_DIR) + "/examples/thumbnails.form");
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

// The example form, pointed at the loopback server: its first control
// navigates once, its handler is called by name, and the second control,
// stored inactive, navigates nowhere.
TEST_F(SitelensForm, AStoredURLIsNavigatedOnceUnlessStoredInactive) {
  const std::string Url = Server->Url("/green.html");
  ReadForm(Form, Replace(ExampleForm(), "https://www.example.org/", Url));
  ASSERT_TRUE(host::Application->RunUntil([&] { return !Ready.empty(); }, 20000));
  host::Application->RunUntil([] { return false; }, 300);  // a second navigation would show
  EXPECT_EQ(Requests("/green.html"), 1);
  ASSERT_EQ(Ready.size(), 1u);
  EXPECT_EQ(Ready[0], Url);

  TSitelens& Second = Sitelens("Sitelens2");
  EXPECT_FALSE(Second.Active());
  EXPECT_EQ(Second.URL(), "https://www.example.com/");
  EXPECT_TRUE(NeverNavigated(Second));
  EXPECT_EQ(Second.WebPageView(), wvCustom);
  EXPECT_EQ(Second.ViewWidth(), 1024u);
  EXPECT_FALSE(Second.Proportional());
}

TEST_F(SitelensForm, TheDefaultURLOrAnInactiveOneIsNotNavigated) {
  ReadForm(Form, Lens("    URL = '" + std::string(DefaultSitelensURL) + "'\n"));
  EXPECT_TRUE(NeverNavigated(Sitelens()));
  host::TForm Other;
  ReadForm(Other, Lens("    Active = False\n    URL = '" + Server->Url("/inactive.html") + "'\n"));
  auto& Inactive = dynamic_cast<TSitelens&>(*Other.FindComponent("Sitelens1"));
  EXPECT_EQ(Inactive.URL(), Server->Url("/inactive.html"));
  EXPECT_TRUE(NeverNavigated(Inactive));
  EXPECT_EQ(Requests("/inactive.html"), 0);
}

// The timer is made when TimedUpdate is read, while TimerInterval is still
// the new control's 0, so it starts at 60000; a stored TimerInterval then
// adjusts it. In the designer no timer is made at all.
TEST_F(SitelensForm, TimedUpdateMakesTheTimerAndTimerIntervalAdjustsIt) {
  struct TCase {
    const char* Body;
    bool Designing;
    bool HasTimer;
    unsigned Interval;
  };
  const TCase Cases[] = {
      {"    TimedUpdate = True\n", false, true, 60000},
      {"    TimedUpdate = True\n    TimerInterval = 45000\n", false, true, 45000},
      {"    TimerInterval = 45000\n    TimedUpdate = True\n", false, true, 45000},
      {"    TimedUpdate = True\n    TimerInterval = 45000\n", true, false, 0},
  };
  for (const TCase& C : Cases) {
    host::TForm F;
    ReadForm(F, Lens(C.Body), host::TReadOptions{C.Designing});
    auto& L = dynamic_cast<TSitelens&>(*F.FindComponent("Sitelens1"));
    EXPECT_TRUE(L.TimedUpdate()) << C.Body;
    ASSERT_EQ(L.Timer() != nullptr, C.HasTimer) << C.Body;
    if (C.HasTimer) {
      EXPECT_EQ(L.Timer()->Interval(), C.Interval) << C.Body;
      EXPECT_TRUE(L.Timer()->Enabled());
    }
    EXPECT_EQ(L.InState(host::csDesigning), C.Designing);
  }
}

// Loaded runs once the whole form is read: the drop target sees its target
// and the handler bound by name, and knows whether it is in the designer.
TEST_F(SitelensForm, TDropURLIsLoadedWithItsTargetAndHandler) {
  // The drop target comes first and refers forward to its target.
  const std::string File =
      "object F: TForm\n"
      "  object DropURL1: TWatchedDropURL\n"
      "    TargetControl = Sitelens1\n"
      "    OnDropURL = DropURL1DropURL\n"
      "  end\n"
      "  object Sitelens1: TSitelens\n"
      "    Active = False\n"
      "  end\n"
      "end\n";
  for (bool Designing : {false, true}) {
    Seen.clear();
    host::TForm F;
    F.AddHandler("DropURL1DropURL", TOnURLDropEvent([](host::TObject*, const std::string&) {}));
    ReadForm(F, File, host::TReadOptions{Designing});
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_EQ(Seen[0].Designing, Designing);
    EXPECT_TRUE(Seen[0].Loading);
    EXPECT_TRUE(Seen[0].HasHandler);
    EXPECT_EQ(Seen[0].Target, F.FindComponent("Sitelens1"));
    EXPECT_FALSE(F.FindComponent("DropURL1")->InState(host::csLoading));
  }
}

TEST_F(SitelensForm, WritingKeepsEveryValueAndLeavesDefaultsOut) {
  Form.SetName("F");
  auto* Plain = new TSitelens(&Form);
  Plain->SetName("Plain");
  auto* Set = new TSitelens(&Form);
  Set->SetName("Set");
  Set->SetActive(false);
  Set->setUrl("http://127.0.0.1:1/page?a='b'");
  Set->SetCaption("Seen");
  Set->SetWebPageView(wvFull);
  Set->SetViewWidth(640);
  Set->SetViewHeight(480);
  Set->SetProportional(false);
  Set->SetTimedUpdate(true);
  Set->SetTimerInterval(45000);
  Set->OnWebImageReady = [](host::TObject*, const std::string&) {};
  Form.BindEvent(Set, "OnWebImageReady", "Sitelens1WebImageReady");
  auto* Drop = new TDropURL(&Form);
  Drop->SetName("DropURL1");
  Drop->SetTargetControl(Set);

  const std::string Text = host::FormText(Form);
  // A new control differs from its storage defaults only in TimerInterval
  // (0, not 30000); URL and the view size have none and are always written.
  EXPECT_NE(Text.find("  object Plain: TSitelens\n    Left = 0\n    Top = 0\n    Width = 128\n"
                      "    Height = 128\n    Caption = ''\n    URL = 'about:blank'\n"
                      "    ViewWidth = 0\n    ViewHeight = 0\n    TimerInterval = 0\n  end\n"),
            std::string::npos)
      << Text;
  EXPECT_NE(Text.find("    Active = False\n    URL = 'http://127.0.0.1:1/page?a=''b'''\n"
                      "    WebPageView = wvFull\n    ViewWidth = 640\n    ViewHeight = 480\n"
                      "    Proportional = False\n    TimedUpdate = True\n"
                      "    TimerInterval = 45000\n    OnWebImageReady = Sitelens1WebImageReady\n"),
            std::string::npos)
      << Text;
  EXPECT_NE(Text.find("  object DropURL1: TDropURL\n    TargetControl = Set\n  end\n"),
            std::string::npos)
      << Text;

  host::TForm Back;
  Back.AddHandler("Sitelens1WebImageReady",
                  TOnWebImageReadyEvent([](host::TObject*, const std::string&) {}));
  ReadForm(Back, Text);
  EXPECT_EQ(host::FormText(Back), Text);
  for (const char* Name : {"Plain", "Set"}) {
    auto& A = dynamic_cast<TSitelens&>(*Form.FindComponent(Name));
    auto& B = dynamic_cast<TSitelens&>(*Back.FindComponent(Name));
    EXPECT_EQ(B.Active(), A.Active());
    EXPECT_EQ(B.URL(), A.URL());
    EXPECT_EQ(B.Caption(), A.Caption());
    EXPECT_EQ(B.WebPageView(), A.WebPageView());
    EXPECT_EQ(B.ViewWidth(), A.ViewWidth());
    EXPECT_EQ(B.ViewHeight(), A.ViewHeight());
    EXPECT_EQ(B.Proportional(), A.Proportional());
    EXPECT_EQ(B.TimedUpdate(), A.TimedUpdate());
    EXPECT_EQ(B.TimerInterval(), A.TimerInterval());
    EXPECT_EQ(static_cast<bool>(B.OnWebImageReady), static_cast<bool>(A.OnWebImageReady));
    EXPECT_TRUE(NeverNavigated(B));
  }
  EXPECT_EQ(dynamic_cast<TDropURL&>(*Back.FindComponent("DropURL1")).TargetControl(),
            Back.FindComponent("Set"));
}

TEST_F(SitelensForm, PackageClassesAreCheckedLikeAnyOther) {
  const std::pair<const char*, const char*> Cases[] = {
      {"    WebPageView = wvPartial\n", "expected a TWebPageView value, found wvPartial"},
      {"    TimerInterval = -1\n", "-1 is out of range"},
      {"    URL = about\n", "expected a string, found about"},
      {"    OnWebImageReady = DropURL1DropURL\n", ""},  // the same parameters: accepted
      {"    OnCaptureError = DropURL1DropURL\n", "does not take the parameters of OnCaptureError"},
  };
  for (const auto& [Body, Message] : Cases) {
    host::TForm F;
    F.AddHandler("DropURL1DropURL", TOnURLDropEvent([](host::TObject*, const std::string&) {}));
    try {
      ReadForm(F, Lens(std::string("    Active = False\n") + Body));
      EXPECT_STREQ(Message, "") << Body;
    } catch (const host::EFormError& E) {
      EXPECT_EQ(E.Line(), 4) << E.Message();
      EXPECT_NE(std::string(Message), "");
      EXPECT_NE(E.Message().find(Message), std::string::npos) << E.Message();
      EXPECT_EQ(F.ComponentCount(), 0);
    }
  }
}

}  // namespace
}  // namespace snapkit
