#include "dropurl/drop_url.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dropurl/testing/url_drag.h"
#include "host/ole/clipboard_formats.h"
#include "host/ole/ole_init.h"

namespace snapkit {
namespace {

using namespace host;
using testing::DragOnto;
using testing::Text;

constexpr char Bookmark[] = "Netscape Bookmark";
constexpr char URLFormat[] = "UniformResourceLocator";

struct TReport {
  TObject* Sender;
  std::string URL;
  bool operator==(const TReport& R) const { return Sender == R.Sender && URL == R.URL; }
};

// A form with a panel that a TDropURL, read with the form, makes a drop target.
class DropURLTest : public ::testing::Test {
 protected:
  void SetUp() override { OleInitialize(nullptr); }
  void TearDown() override { OleUninitialize(); }

  void Load(TDropURL& D, TWinControl* Target) {
    ReadComponent(D, [&] {
      D.SetTargetControl(Target);
      D.OnDropURL = [this](TObject* Sender, const std::string& URL) {
        Reports.push_back({Sender, URL});
      };
    });
  }
  TObject* SenderOf(const TDropURL& D) { return D.DropTarget(); }

  TCustomPanel Form{nullptr};
  TCustomPanel* Panel = [this] {
    Form.SetBounds(100, 100, 400, 300);
    auto* P = new TCustomPanel(&Form);
    P->SetParent(&Form);
    P->SetBounds(20, 30, 200, 100);
    return P;
  }();
  TDropURL* Drop = new TDropURL(&Form);
  std::vector<TReport> Reports;
};

TEST_F(DropURLTest, DropReportsTheTextOfThePreferredFormatCutTo255) {
  Load(*Drop, Panel);
  std::string Long300;
  for (int i = 0; Long300.size() < 300; ++i) Long300 += "http://x/" + std::to_string(i);
  Long300.resize(300);
  std::string Exact255 = Long300.substr(0, 255);
  struct Case {
    const char* Name;
    testing::TOffers Offers;
    const char* Reported;  // null: nothing reported
  } Cases[] = {
      {"both formats",
       {{URLFormat, Text("http://url/")}, {Bookmark, Text("http://mark/")}},
       "http://mark/"},
      {"only the URL format", {{URLFormat, Text("http://url/")}}, "http://url/"},
      {"only the bookmark format", {{Bookmark, Text("http://mark/")}}, "http://mark/"},
      {"neither, right after a drag that had one", {{"Text", Text("http://text/")}}, nullptr},
      {"no formats at all", {}, nullptr},
      {"300 characters", {{URLFormat, Text(Long300)}}, Exact255.c_str()},
      {"exactly 255", {{Bookmark, Text(Exact255)}}, Exact255.c_str()},
      {"text ends at its zero", {{URLFormat, std::string("http://a/\0junk\0", 15)}}, "http://a/"},
      {"text without a zero ends with its block", {{URLFormat, "http://b/"}}, "http://b/"},
      {"an empty bookmark wins but brings no URL",
       {{Bookmark, Text("")}, {URLFormat, Text("http://url/")}},
       nullptr},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Reports.clear();
    std::size_t Blocks = GlobalBlocksInUse();
    testing::TDragOutcome Outcome = DragOnto(*Panel, C.Offers);
    EXPECT_EQ(Outcome.Result, DRAGDROP_S_DROP);
    EXPECT_EQ(GlobalBlocksInUse(), Blocks) << "a medium was not released";
    if (!C.Reported) {
      EXPECT_TRUE(Reports.empty());
      EXPECT_EQ(Outcome.Effect, DROPEFFECT_NONE);
      continue;
    }
    EXPECT_EQ(Reports, (std::vector<TReport>{{SenderOf(*Drop), C.Reported}}));
    EXPECT_EQ(Outcome.Effect, DROPEFFECT_COPY);
  }
}

TEST_F(DropURLTest, EnterWithoutAURLLeavesTheEffectWhileOverAnswersCopy) {
  Load(*Drop, Panel);
  const DWORD All = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  struct Case {
    testing::TOffers Offers;
    std::vector<DWORD> Feedback;  // off the panel, entering it, moving on it
  } Cases[] = {
      {{{"Text", Text("http://text/")}}, {DROPEFFECT_NONE, All, DROPEFFECT_COPY}},
      {{{URLFormat, Text("http://url/")}}, {DROPEFFECT_NONE, DROPEFFECT_COPY, DROPEFFECT_COPY}},
  };
  for (const Case& C : Cases) EXPECT_EQ(DragOnto(*Panel, C.Offers, All).Feedback, C.Feedback);

  // The same calls made directly, as any drag loop would make them.
  Reports.clear();
  IDropTarget* Target = Drop->DropTarget();
  TComPtr<IDataObject> NoURL = TComPtr<IDataObject>::Attach(testing::NewURLData({}));
  TComPtr<IDataObject> WithURL =
      TComPtr<IDataObject>::Attach(testing::NewURLData({{URLFormat, Text("http://u/")}}));
  DWORD Effect = DROPEFFECT_MOVE | DROPEFFECT_LINK;
  EXPECT_EQ(Target->DragEnter(NoURL.Get(), MK_LBUTTON, {}, &Effect), S_FALSE);
  EXPECT_EQ(Effect, DROPEFFECT_MOVE | DROPEFFECT_LINK);
  Effect = DROPEFFECT_NONE;
  EXPECT_EQ(Target->DragOver(MK_LBUTTON, {}, &Effect), S_OK);
  EXPECT_EQ(Effect, DROPEFFECT_COPY);
  Effect = DROPEFFECT_MOVE;
  EXPECT_EQ(Target->DragEnter(WithURL.Get(), MK_LBUTTON, {}, &Effect), S_OK);
  EXPECT_EQ(Effect, DROPEFFECT_COPY);
  // A drag that left took its URL with it: a later drop without an enter
  // of its own reports nothing.
  EXPECT_EQ(Target->DragLeave(), S_OK);
  Effect = DROPEFFECT_COPY;
  EXPECT_EQ(Target->Drop(WithURL.Get(), 0, {}, &Effect), S_OK);
  EXPECT_EQ(Effect, DROPEFFECT_NONE);
  EXPECT_TRUE(Reports.empty());
}

TEST_F(DropURLTest, OnlyALoadedRunTimeComponentWithATargetRegisters) {
  struct Case {
    const char* Name;
    bool Designing;
    bool WithTarget;
    bool Registers;
  } Cases[] = {
      {"run time with a target", false, true, true},
      {"in the designer", true, true, false},
      {"without a target", false, false, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Reports.clear();
    TCustomPanel Control(nullptr);
    Control.SetBounds(600, 0, 50, 50);
    TDropURL D(nullptr);
    D.SetDesigning(C.Designing);
    D.SetTargetControl(&Control);
    EXPECT_EQ(D.DropTarget(), nullptr);  // nothing before Loaded
    Load(D, C.WithTarget ? &Control : nullptr);
    EXPECT_EQ(D.DropTarget() != nullptr, C.Registers);
    EXPECT_EQ(RegisteredDropTarget(Control.Handle()) != nullptr, C.Registers);
    DragOnto(Control, {{URLFormat, Text("http://u/")}});
    EXPECT_EQ(Reports.size(), C.Registers ? 1u : 0u);
  }
}

TEST_F(DropURLTest, HandlerAndTargetAreThoseOfLoadTime) {
  Load(*Drop, Panel);
  std::vector<std::string> Late;
  Drop->OnDropURL = [&](TObject*, const std::string& URL) { Late.push_back(URL); };
  auto* Other = new TCustomPanel(&Form);
  Other->SetParent(&Form);
  Other->SetBounds(250, 30, 100, 100);
  Drop->SetTargetControl(Other);
  Drop->Loaded();  // a second load changes nothing either

  DragOnto(*Other, {{URLFormat, Text("http://other/")}});
  DragOnto(*Panel, {{URLFormat, Text("http://panel/")}});
  EXPECT_EQ(Reports, (std::vector<TReport>{{SenderOf(*Drop), "http://panel/"}}));
  EXPECT_TRUE(Late.empty());
  EXPECT_EQ(RegisteredDropTarget(Other->Handle()), nullptr);
  // Registered once: the component's reference and the window's.
  EXPECT_EQ(Drop->DropTarget()->AddRef(), 3u);
  EXPECT_EQ(Drop->DropTarget()->Release(), 2u);
}

TEST_F(DropURLTest, DropTargetAnswersForItsOwnInterfacesOnly) {
  Load(*Drop, Panel);
  TMyDragDrop* Target = Drop->DropTarget();
  struct Case {
    const IID& Id;
    HRESULT Expected;
  } Cases[] = {
      {IID_IUnknown, S_OK},
      {IID_IDropTarget, S_OK},
      {IID_IDataObject, E_NOINTERFACE},
      {GUID{0x00000122, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x47}}, E_NOINTERFACE},
  };
  for (const Case& C : Cases) {
    void* Object = reinterpret_cast<void*>(1);
    EXPECT_EQ(Target->QueryInterface(C.Id, &Object), C.Expected);
    EXPECT_EQ(Object, C.Expected == S_OK ? static_cast<IDropTarget*>(Target) : nullptr);
    if (Object) static_cast<IDropTarget*>(Object)->Release();
  }
  EXPECT_EQ(Target->AddRef(), 3u);
  EXPECT_EQ(Target->Release(), 2u);
}

}  // namespace
}  // namespace snapkit
