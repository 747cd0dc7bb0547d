// Real drags over X: another program (testing/drag_source) offers a link in
// the targets a browser uses, xdotool is the hand, and the drop area of a GTK
// window hands the drag to a host drop target.

#include "host/desktop/xdnd_target.h"

#include <gtest/gtest.h>

#include <memory>

#include "dropurl/drop_url.h"
#include "host/forms/application.h"
#include "host/desktop/testing/xdnd_drag.h"
#include "host/desktop/testing/xdnd_drop_window.h"
#include "host/desktop/testing/xvfb_session.h"
#include "host/ole/testing/ole_session.h"

namespace host::desktop::testing {
namespace {

using snapkit::TDropURL;

const TScreenPoint SourceAt{60, 60};
constexpr char SourceGeometry[] = "200x150+60+60";

class XdndDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SNAPKIT_REQUIRE_XVFB();
    if (!HaveProgram("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    ASSERT_TRUE(StartGtk());
  }

  // Starts the drag source offering Targets; the drag is planned from the
  // middle of its window to Window's drop area.
  std::unique_ptr<TChildProgram> StartSource(const std::string& URL,
                                             const std::vector<std::string>& Targets) {
    std::vector<std::string> Argv{SNAPKIT_DRAG_SOURCE, "--geometry", SourceGeometry, URL};
    Argv.insert(Argv.end(), Targets.begin(), Targets.end());
    auto Source = std::make_unique<TChildProgram>(Argv);
    EXPECT_NE(Source->WaitForLine("ready", 10000), "") << "the drag source did not show up";
    return Source;
  }
  TDragPlan Plan(const TDropWindow& Window, std::function<bool()> Arrived) {
    TDragPlan P;
    P.From = {SourceAt.X + 100, SourceAt.Y + 75};
    P.To = Window.AreaCentre();
    P.Arrived = std::move(Arrived);
    return P;
  }

  host::testing::TOleSession Ole;
  std::vector<std::string> Log;
};

std::string Long300() {
  std::string URL = "http://127.0.0.1/long/";
  while (URL.size() < 300) URL += "abcdefghij";
  return URL.substr(0, 300);
}

struct TDropCase {
  const char* Name;
  std::string URL;  // the source's, for targets without one of their own
  std::vector<std::string> Targets;
  std::map<std::string, std::string> Served;  // what the data object serves
  std::string Reported;                        // by TDropURL; empty: nothing
};

std::vector<TDropCase> DropCases() {
  const std::string U = "http://127.0.0.1:8080/page?a=1&b=2";
  return {
      {"only _NETSCAPE_URL", U, {"_NETSCAPE_URL"}, {{"Netscape Bookmark", U}}, U},
      {"only text/uri-list", U, {"text/uri-list"}, {{"UniformResourceLocator", U}}, U},
      {"only text/x-moz-url", U, {"text/x-moz-url"}, {{"UniformResourceLocator", U}}, U},
      {"both, the bookmark preferred", U,
       {"text/uri-list=http://list.test/", "_NETSCAPE_URL=http://mark.test/"},
       {{"Netscape Bookmark", "http://mark.test/"}, {"UniformResourceLocator", "http://list.test/"}},
       "http://mark.test/"},
      {"300 characters", Long300(), {"_NETSCAPE_URL"}, {{"Netscape Bookmark", Long300()}},
       Long300().substr(0, 255)},
      {"neither format", U, {"text/plain", "UTF8_STRING"}, {}, ""},
  };
}

TEST_F(XdndDropTest, TargetHearsEnterOverDropWithTheLinkFormats) {
  for (const TDropCase& C : DropCases()) {
    SCOPED_TRACE(C.Name);
    Log.clear();
    TDropWindow Window(700, 300);
    TComPtr<TDataRecordingTarget> Target =
        TComPtr<TDataRecordingTarget>::Attach(new TDataRecordingTarget("T", Log));
    AttachDropTarget(Window.Area(), Target.Get());
    auto Source = StartSource(C.URL, C.Targets);
    std::size_t Blocks = GlobalBlocksInUse();
    TDragPlan P = Plan(Window, [&] { return Logged(Log, "T over"); });
    ASSERT_TRUE(DragWithXdotool(P)) << "the target never heard the drag";
    EXPECT_EQ(Source->WaitForLine("end", 10000), "end dropped");
    TScreenPoint At = P.To;
    std::string DropAt = "T drop " + std::to_string(At.X) + "," + std::to_string(At.Y);
    ASSERT_FALSE(Log.empty());
    EXPECT_EQ(Log.front().rfind("T enter ", 0), 0u) << Log.front();
    EXPECT_EQ(Log.back(), DropAt);
    for (std::size_t i = 1; i + 1 < Log.size(); ++i) EXPECT_EQ(Log[i].rfind("T over ", 0), 0u);
    EXPECT_FALSE(Logged(Log, "T leave"));
    EXPECT_EQ(Target->Served, C.Served);
    EXPECT_EQ(GlobalBlocksInUse(), Blocks) << "a medium was not released";
    for (const std::string& T : C.Targets) {
      std::string Name = T.substr(0, T.find('='));
      bool Link = Name == "_NETSCAPE_URL" || Name == "text/uri-list" || Name == "text/x-moz-url";
      bool Asked = false;
      for (const std::string& L : Source->Lines()) Asked = Asked || L == "get " + Name;
      EXPECT_EQ(Asked, Link) << Name;
    }
    DetachDropTarget(Window.Area());
  }
}

TEST_F(XdndDropTest, DropURLReportsTheLinkOfEachDrag) {
  for (const TDropCase& C : DropCases()) {
    SCOPED_TRACE(C.Name);
    TDropWindow Window(700, 300);
    host::TCustomPanel Control(nullptr);
    Control.SetBounds(0, 0, 10, 10);
    TDropURL Drop(nullptr);
    std::vector<std::string> Reports;
    host::ReadComponent(Drop, [&] {
      Drop.SetTargetControl(&Control);
      Drop.OnDropURL = [&](host::TObject*, const std::string& URL) { Reports.push_back(URL); };
    });
    ASSERT_NE(Drop.DropTarget(), nullptr);
    AttachDropTarget(Window.Area(), Drop.DropTarget());
    auto Source = StartSource(C.URL, C.Targets);
    // The source hears the target's answer to the enter as an action.
    TDragPlan P = Plan(Window, [&] { return Source->Said("action copy"); });
    ASSERT_TRUE(DragWithXdotool(P)) << "the source never heard an answer";
    std::string End = Source->WaitForLine("end", 10000);
    if (C.Reported.empty()) {
      EXPECT_TRUE(Reports.empty());
      // Nothing was taken, and the source hears so.
      EXPECT_EQ(End, "end refused");
    } else {
      EXPECT_EQ(Reports, std::vector<std::string>{C.Reported});
      EXPECT_EQ(End, "end dropped");
    }
    DetachDropTarget(Window.Area());
  }
}

TEST_F(XdndDropTest, DragsThatGoElsewhereOrAreCancelledLeaveTheTarget) {
  struct Case {
    const char* Name;
    bool Escape;
    bool Away;
    bool Detach;
  } Cases[] = {
      {"dropped beside the window", false, true, false},
      {"cancelled with Escape over the area", true, false, false},
      {"target detached while the drag is over it", false, false, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Log.clear();
    TDropWindow Window(700, 300);
    bool Destroyed = false;
    auto* Target = new TDataRecordingTarget("T", Log, &Destroyed);
    AttachDropTarget(Window.Area(), Target);
    Target->Release();  // the widget's reference is the only one now
    auto Source = StartSource("http://127.0.0.1/x", {"_NETSCAPE_URL"});
    TScreenPoint Away{1100, 900};
    TDragPlan P = Plan(Window, [&] { return Logged(Log, "T over"); });
    P.PressEscape = C.Escape;
    if (C.Away) P.ReleaseAt = &Away;
    if (C.Detach) {
      P.ThenDo = [&] {
        DetachDropTarget(Window.Area());
        EXPECT_TRUE(Destroyed) << "the detached target is still held";
      };
    }
    ASSERT_TRUE(DragWithXdotool(P));
    EXPECT_EQ(Source->WaitForLine("end", 10000), "end failed");
    PumpUntil([&] { return Logged(Log, "T leave"); }, 2000);
    EXPECT_EQ(Log.back(), "T leave");
    EXPECT_FALSE(Logged(Log, "T drop"));
    // A detached area takes no more drags.
    if (C.Detach) {
      EXPECT_EQ(std::count(Log.begin(), Log.end(), "T leave"), 1);
    }
  }
}

TEST_F(XdndDropTest, TargetThatThrowsFailsItsEnterAndHearsNoMore) {
  TDropWindow Window(700, 300);
  TComPtr<TDataRecordingTarget> Target =
      TComPtr<TDataRecordingTarget>::Attach(new TDataRecordingTarget("T", Log));
  Target->During = [](const std::string& Call) {
    if (Call == "enter") throw std::runtime_error("no entry");
  };
  std::vector<std::string> Reported;
  host::Application->OnException = [&](host::TObject*, const std::exception& E) {
    Reported.push_back(E.what());
  };
  AttachDropTarget(Window.Area(), Target.Get());
  auto Source = StartSource("http://127.0.0.1/x", {"_NETSCAPE_URL"});
  TDragPlan P = Plan(Window, [&] { return Logged(Log, "T enter"); });
  bool Entered = DragWithXdotool(P);
  std::string End = Source->WaitForLine("end", 10000);
  host::Application->OnException = nullptr;
  ASSERT_TRUE(Entered);
  EXPECT_EQ(Log.size(), 1u) << Log.back();
  EXPECT_EQ(Reported, std::vector<std::string>{"no entry"});
  // Refused all along, so the source found no one to drop on.
  EXPECT_EQ(End, "end failed");
  DetachDropTarget(Window.Area());
}

TEST_F(XdndDropTest, TargetMayLetGoOfTheWidgetWhileDropping) {
  TDropWindow Window(700, 300);
  bool Destroyed = false;
  auto* Target = new TDataRecordingTarget("T", Log, &Destroyed);
  Target->During = [&](const std::string& Call) {
    if (Call == "drop") DetachDropTarget(Window.Area());
  };
  AttachDropTarget(Window.Area(), Target);
  Target->Release();
  auto Source = StartSource("http://127.0.0.1/x", {"_NETSCAPE_URL"});
  ASSERT_TRUE(DragWithXdotool(Plan(Window, [&] { return Logged(Log, "T over"); })));
  EXPECT_EQ(Source->WaitForLine("end", 10000), "end dropped");
  EXPECT_TRUE(Destroyed);
  EXPECT_FALSE(Logged(Log, "T leave"));
  // The area takes no more drags.
  auto Again = StartSource("http://127.0.0.1/y", {"_NETSCAPE_URL"});
  std::size_t Calls = Log.size();
  TDragPlan P = Plan(Window, [&] { return Again->Said("action copy"); });
  P.TimeoutMs = 3000;  // nothing is to come: a while to see that it does not
  EXPECT_FALSE(DragWithXdotool(P));
  EXPECT_EQ(Again->WaitForLine("end", 10000), "end failed");
  EXPECT_EQ(Log.size(), Calls);
}

TEST_F(XdndDropTest, WidgetHoldsItsTargetUntilDetachedOrDestroyed) {
  struct Case {
    const char* Name;
    std::function<void(std::unique_ptr<TDropWindow>&)> End;
  } Cases[] = {
      {"detached", [](auto& Window) { DetachDropTarget(Window->Area()); }},
      {"area destroyed", [](auto& Window) { gtk_widget_destroy(Window->Area()); }},
      {"whole window destroyed", [](auto& Window) { Window.reset(); }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto Window = std::make_unique<TDropWindow>(700, 300);
    bool Destroyed = false;
    auto* Target = new TDataRecordingTarget("T", Log, &Destroyed);
    AttachDropTarget(Window->Area(), Target);
    EXPECT_EQ(Target->AddRef(), 3u);  // ours, the widget's and this one
    Target->Release();
    Target->Release();
    EXPECT_FALSE(Destroyed);
    C.End(Window);
    EXPECT_TRUE(Destroyed);
  }
  // A second target replaces the first, which is let go.
  TDropWindow Window(700, 300);
  bool FirstGone = false, SecondGone = false;
  auto* First = new TDataRecordingTarget("A", Log, &FirstGone);
  auto* Second = new TDataRecordingTarget("B", Log, &SecondGone);
  AttachDropTarget(Window.Area(), First);
  AttachDropTarget(Window.Area(), Second);
  First->Release();
  Second->Release();
  EXPECT_TRUE(FirstGone);
  EXPECT_FALSE(SecondGone);
  DetachDropTarget(Window.Area());
  EXPECT_TRUE(SecondGone);
}

}  // namespace
}  // namespace host::desktop::testing
