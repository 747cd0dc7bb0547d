// Form files: reading through the setters with the components loading,
// references and Loaded afterwards, nesting, events by name, writing only
// what differs from the storage defaults, and bad files.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "host/forms/form_reader.h"
#include "host/forms/form_writer.h"
#include "host/forms/published.h"
#include "host/forms/timer.h"

namespace host {
namespace {

enum TShade { shLight, shMedium, shDark };
const TEnumType ShadeType{"TShade", {"shLight", "shMedium", "shDark"}};

std::vector<std::string>& Log() {
  static std::vector<std::string> L;
  return L;
}

std::string States(const TComponent& C) {
  std::string S;
  if (C.InState(csLoading)) S += "L";
  if (C.InState(csReading)) S += "R";
  if (C.InState(csDesigning)) S += "D";
  return S;
}

// Every kind of property, each setter logging what it was given and the
// component's state at that moment.
class TWidget : public TWinControl {
 public:
  explicit TWidget(TComponent* AOwner) : TWinControl(AOwner) {
    DesigningAtBirth = InState(csDesigning);
  }
  std::string ClassName() const override { return "TWidget"; }

  int Count() const { return FCount; }
  void SetCount(int V) {
    Note("Count", V);
    FCount = V;
  }
  unsigned Size() const { return FSize; }
  void SetSize(unsigned V) {
    Note("Size", V);
    FSize = V;
  }
  bool Flag() const { return FFlag; }
  void SetFlag(bool V) {
    Note("Flag", V);
    FFlag = V;
  }
  TShade Shade() const { return FShade; }
  void SetShade(TShade V) {
    Note("Shade", V);
    FShade = V;
  }
  unsigned Options() const { return FOptions; }
  void SetOptions(unsigned V) {
    Note("Options", V);
    FOptions = V;
  }
  const std::string& Text() const { return FText; }
  void SetText(const std::string& V) {
    Note("Text", 0);
    FText = V;
  }
  TControl* Buddy() const { return FBuddy; }
  void SetBuddy(TControl* V) {
    Note("Buddy", 0);
    FBuddy = V;
  }
  TNotifyEvent OnChange;

  void Loaded() override {
    Log().push_back(Name() + ".Loaded " + States(*this) +
                    (FBuddy ? " buddy " + FBuddy->Name() : ""));
    TWinControl::Loaded();
  }

  bool DesigningAtBirth = false;

 private:
  void Note(const char* Prop, std::int64_t V) {
    Log().push_back(Name() + "." + Prop + "=" + std::to_string(V) + " " + States(*this));
  }
  int FCount = 0;
  unsigned FSize = 0;
  bool FFlag = true;
  TShade FShade = shMedium;
  unsigned FOptions = 0b011;
  std::string FText;
  TControl* FBuddy = nullptr;
};

const TComponentClassRef WidgetClass{"TWidget", &WinControlClass,
                                     &CreateInstance<TWidget, TComponent, TComponent*>};
const TPublishedClass WidgetPublished{
    &WidgetClass,
    {
        OrdinalProperty("Count", tkInteger, &TWidget::Count, &TWidget::SetCount, waSetter, 0),
        OrdinalProperty("Size", tkCardinal, &TWidget::Size, &TWidget::SetSize, waSetter),
        OrdinalProperty("Flag", tkBoolean, &TWidget::Flag, &TWidget::SetFlag, waSetter, 1),
        OrdinalProperty("Shade", tkEnumeration, &TWidget::Shade, &TWidget::SetShade, waSetter,
                        shMedium, &ShadeType),
        OrdinalProperty("Options", tkSet, &TWidget::Options, &TWidget::SetOptions, waSetter, 0b011,
                        &ShadeType),
        StringProperty("Text", &TWidget::Text, &TWidget::SetText, waSetter),
        ReferenceProperty("Buddy", &TWidget::Buddy, &TWidget::SetBuddy, waSetter, &ControlClass),
        EventProperty("OnChange", &TWidget::OnChange),
    }};
const TPublishedRegistration WidgetRegistration(WidgetPublished);

class FormFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Log().clear();
    Form.AddHandler("ChangeA", TNotifyEvent([this](TObject* S) { Calls.push_back("A"); }));
    Form.AddHandler("WrongType", std::function<void(int)>([](int) {}));
  }
  TWidget& Widget(const char* Name) { return dynamic_cast<TWidget&>(*Form.FindComponent(Name)); }

  TForm Form;
  std::vector<std::string> Calls;
};

const char* const Sample = R"(object Form1: TForm
  Left = 10
  Caption = 'It''s'#9'here'
  object W1: TWidget
    Buddy = W2
    Text = 'first'
    Count = -5
    Options = [shLight, shDark]
    OnChange = changea
    object W2: TWidget
      Shade = shDark
      Size = $FFFFFFFF
      Flag = False
    end
  end
  object Timer1: TTimer
    Interval = 250
    Enabled = False
  end
end
)";

TEST_F(FormFile, ReadsThroughSettersInFileOrderThenReferencesThenLoaded) {
  ReadForm(Form, Sample);
  const std::vector<std::string> Expected = {
      "W1.Text=0 LR",  "W1.Count=-5 LR",        "W1.Options=5 LR",
      "W2.Shade=2 LR", "W2.Size=4294967295 LR", "W2.Flag=0 LR",
      "W1.Buddy=0 LR", "W1.Loaded L buddy W2",  "W2.Loaded L",
  };
  EXPECT_EQ(Log(), Expected);
  EXPECT_EQ(Form.Name(), "Form1");
  EXPECT_EQ(Form.Left(), 10);
  EXPECT_EQ(Form.Caption(), "It's\there");
  ASSERT_EQ(Form.ComponentCount(), 3);
  TWidget& W1 = Widget("W1");
  TWidget& W2 = Widget("W2");
  EXPECT_EQ(W2.Owner(), &Form);
  EXPECT_EQ(W2.Parent(), &W1);
  EXPECT_EQ(W1.Parent(), &Form);
  EXPECT_EQ(W1.Buddy(), &W2);
  EXPECT_EQ(W2.Size(), 4294967295u);
  auto& Timer = dynamic_cast<TTimer&>(*Form.FindComponent("Timer1"));
  EXPECT_EQ(Timer.Interval(), 250u);
  EXPECT_FALSE(Timer.Enabled());
  for (TComponent* C : {static_cast<TComponent*>(&Form), Form.Components(0), Form.Components(1)})
    EXPECT_EQ(States(*C), "") << C->Name();
  ASSERT_TRUE(W1.OnChange);
  W1.OnChange(&W1);
  EXPECT_EQ(Calls, std::vector<std::string>{"A"});
  EXPECT_EQ(Form.BoundHandler(&W1, "OnChange"), "ChangeA");
}

TEST_F(FormFile, DesignModeMarksEveryComponentFromItsConstruction) {
  ReadForm(Form, Sample, TReadOptions{true});
  EXPECT_TRUE(Widget("W1").DesigningAtBirth);
  EXPECT_TRUE(Widget("W2").DesigningAtBirth);
  EXPECT_EQ(Log().front(), "W1.Text=0 LRD");
  EXPECT_EQ(States(Widget("W2")), "D");
}

TEST_F(FormFile, WrittenFormsReadBackAndLeaveDefaultsOut) {
  ReadForm(Form, Sample);
  Widget("W2").SetText(std::string("quote ' tab \t nul \0 high \xc3\xa9 del \x7f", 33));
  const std::string Text = FormText(Form);
  // Defaults stay out; properties without one are always there.
  EXPECT_NE(Text.find("object W2: TWidget"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("Count = 0"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("Options = [shLight, shMedium]"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Options = [shLight, shDark]"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Buddy = nil"), std::string::npos) << Text;  // no default: always written
  EXPECT_NE(Text.find("OnChange = ChangeA"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("Interval = 1000"), std::string::npos) << Text;

  TForm Back;
  Back.AddHandler("ChangeA", TNotifyEvent([](TObject*) {}));
  ReadForm(Back, Text);
  EXPECT_EQ(FormText(Back), Text);
  auto& B2 = dynamic_cast<TWidget&>(*Back.FindComponent("W2"));
  EXPECT_EQ(B2.Text(), Widget("W2").Text());
  EXPECT_EQ(B2.Parent(), Back.FindComponent("W1"));
  EXPECT_EQ(dynamic_cast<TWidget&>(*Back.FindComponent("W1")).Buddy(), &B2);
  EXPECT_EQ(Back.Caption(), Form.Caption());
}

TEST_F(FormFile, OnlyNonDefaultValuesAreWritten) {
  Form.SetName("F");
  auto* W = new TWidget(&Form);
  W->SetName("W");
  const std::string Plain = FormText(Form);
  EXPECT_EQ(Plain,
            "object F: TForm\n  Left = 0\n  Top = 0\n  Width = 0\n  Height = 0\n  Caption = ''\n"
            "  object W: TWidget\n    Left = 0\n    Top = 0\n    Width = 0\n    Height = 0\n"
            "    Size = 0\n    Text = ''\n    Buddy = nil\n  end\nend\n");
  W->SetCount(3);
  W->SetFlag(false);
  W->SetShade(shLight);
  W->SetOptions(0);
  W->OnChange = [](TObject*) {};  // assigned in code: no name to write
  const std::string Changed = FormText(Form);
  EXPECT_NE(Changed.find("    Count = 3\n    Size = 0\n    Flag = False\n    Shade = shLight\n"
                         "    Options = []\n"),
            std::string::npos)
      << Changed;
  EXPECT_EQ(Changed.find("OnChange"), std::string::npos);

  TComponent Outside(nullptr);
  auto* Stray = new TWidget(&Outside);
  W->SetBuddy(Stray);
  EXPECT_THROW(FormText(Form), EWriteError);
  W->SetBuddy(nullptr);
  new TWidget(&Form);  // unnamed
  EXPECT_THROW(FormText(Form), EWriteError);
}

TEST_F(FormFile, BadFilesNameTheLineAndLeaveNothingBehind) {
  struct TCase {
    const char* Text;
    int Line;
    const char* Message;
  };
  const TCase Cases[] = {
      {"object F: TForm\n  object X: TNoSuchClass\n  end\nend\n", 2, "unknown class TNoSuchClass"},
      {"object F: TForm\n  object W: TWidget\n\n    Colour = 1\n  end\nend\n", 4,
       "TWidget has no property Colour"},
      {"object F: TForm\n  object W: TWidget\n    Count = 'x'\n  end\nend\n", 3,
       "W.Count: expected an integer, found a string"},
      {"object F: TForm\n  object W: TWidget\n    Count = 2147483648\n  end\nend\n", 3,
       "out of range"},
      {"object F: TForm\n  object W: TWidget\n    Size = -1\n  end\nend\n", 3, "out of range"},
      {"object F: TForm\n  object W: TWidget\n    Flag = 1\n  end\nend\n", 3, "True or False"},
      {"object F: TForm\n  object W: TWidget\n    Shade = shPurple\n  end\nend\n", 3,
       "expected a TShade value, found shPurple"},
      {"object F: TForm\n  object W: TWidget\n    Options = [shDark, shPink]\n  end\nend\n", 3,
       "shPink is not a TShade value"},
      {"object F: TForm\n  object W: TWidget\n    Text = 42\n  end\nend\n", 3, "expected a string"},
      {"object F: TForm\n  object W: TWidget\n    Buddy = Nobody\n  end\nend\n", 3,
       "no component named Nobody"},
      {"object F: TForm\n  object W: TWidget\n    Buddy = T\n  end\n  object T: TTimer\n  "
       "end\nend\n",
       3, "T is a TTimer, not a TControl"},
      {"object F: TForm\n  object W: TWidget\n    OnChange = Missing\n  end\nend\n", 3,
       "no handler named Missing"},
      {"object F: TForm\n  object W: TWidget\n    OnChange = WrongType\n  end\nend\n", 3,
       "does not take the parameters of OnChange"},
      {"object F: TForm\n  object W: TWidget\n  end\n  object w: TTimer\n  end\nend\n", 4,
       "a component named w already exists"},
      {"object F: TForm\n  object W: TWidget\n    Count = 1\n", 3,
       "the file ends inside object W (begun at line 2)"},
      {"object F: TForm\n  Caption = 'open\n  end\n", 2, "unterminated string"},
      {"object F: TForm\n  object W: TWidget\n  end\n  Left = 1\nend\n", 4,
       "after a nested object"},
      {"object F: TForm\nend\nobject G: TForm\nend\n", 3, "text after the end of object F"},
      {"object F: TPanel\nend\n", 1, "describes a TPanel, not a TForm"},
      {"object F: TForm\n  Left = 99999999999999999999\nend\n", 2, "number too large"},
      {"object F: TForm\n  Left = 12ab\nend\n", 2, "malformed number"},
      {"object F: TForm\n  Left : 1\nend\n", 2, "expected '=', found ':'"},
      {"object F: TForm\n  Left = 1 ;\nend\n", 2, "unexpected character ';'"},
      {"", 1, "the file ends where 'object' should be"},
  };
  for (const TCase& C : Cases) {
    TForm F;
    F.AddHandler("WrongType", std::function<void(int)>([](int) {}));
    try {
      ReadForm(F, C.Text);
      ADD_FAILURE() << "no error for:\n" << C.Text;
    } catch (const EFormError& E) {
      EXPECT_EQ(E.Line(), C.Line) << E.Message();
      EXPECT_EQ(E.Message().rfind("line " + std::to_string(C.Line) + ": ", 0), 0u) << E.Message();
      EXPECT_NE(E.Message().find(C.Message), std::string::npos) << E.Message();
    }
    EXPECT_EQ(F.ComponentCount(), 0) << C.Text;
    EXPECT_EQ(F.Left(), 0) << C.Text;
  }
}

// A setter that fails once the file has passed every check: the components
// made so far go again, with their event bindings.
TEST_F(FormFile, AFailingSetterUndoesTheRead) {
  TComponentClassRef Failing{"TFailing", &ComponentClass,
                             &CreateInstance<TComponent, TComponent, TComponent*>};
  TPropInfo Boom{"Boom", tkInteger, waSetter, std::nullopt};
  Boom.Get = [](TComponent&) -> TPropValue { return std::int64_t{0}; };
  Boom.Set = [](TComponent&, const TPropValue&) { throw EInvalidOperation("boom"); };
  TPublishedClass FailingPublished{&Failing, {Boom}};
  TPublishedRegistration Registration(FailingPublished);
  const char* Text =
      "object F: TForm\n  object W: TWidget\n    OnChange = ChangeA\n  end\n"
      "  object X: TFailing\n    Boom = 1\n  end\nend\n";
  EXPECT_THROW(ReadForm(Form, Text), EInvalidOperation);
  EXPECT_EQ(Form.ComponentCount(), 0);
  EXPECT_FALSE(Form.InState(csLoading));
  EXPECT_FALSE(Form.InState(csReading));
}

TEST_F(FormFile, FilesNameThemselvesInErrors) {
  char Dir[] = "/tmp/snapkit-form-XXXXXX";
  ASSERT_TRUE(mkdtemp(Dir));
  const std::string Path = std::string(Dir) + "/bad.form";
  std::ofstream(Path) << "object F: TForm\n  Width = x\nend\n";
  try {
    ReadFormFile(Form, Path);
    ADD_FAILURE();
  } catch (const EFormError& E) {
    EXPECT_EQ(E.Message().rfind(Path + ", line 2: ", 0), 0u) << E.Message();
  }
  ReadForm(Form, Sample);
  WriteFormFile(Form, Path);
  TForm Back;
  Back.AddHandler("ChangeA", TNotifyEvent([](TObject*) {}));
  ReadFormFile(Back, Path);
  EXPECT_EQ(FormText(Back), FormText(Form));
  std::filesystem::remove_all(Dir);
}

TEST(FormStrings, QuotingReadsBackEveryByte) {
  std::string All;
  for (int B = 0; B < 256; ++B) All += static_cast<char>(B);
  const std::string Cases[] = {"", "'", "''", "a'b", "\r\n", All, "#1", "\t'\t"};
  for (const std::string& S : Cases) {
    TForm F;
    F.SetName("F");
    F.SetCaption(S);
    TForm Back;
    ReadForm(Back, FormText(F));
    EXPECT_EQ(Back.Caption(), S);
  }
  EXPECT_EQ(QuoteFormString("It's\r\n"), "'It''s'#13#10");
}

}  // namespace
}  // namespace host
