#include "host/forms/form_reader.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <map>
#include <memory>

#include "host/forms/published.h"

namespace host {

namespace {

std::string Lower(std::string S) {
  std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return std::tolower(C); });
  return S;
}

bool SameText(const std::string& A, std::string_view B) {
  return Lower(A) == Lower(std::string(B));
}

std::string Describe(const TFormValue& V) {
  switch (V.Kind) {
    case TFormValue::vkInteger:
      return "the number " + std::to_string(V.Integer);
    case TFormValue::vkString:
      return "a string";
    case TFormValue::vkIdent:
      return V.Text;
    case TFormValue::vkSet:
      return "a set";
  }
  return "";
}

}  // namespace

class TReader {
 public:
  TReader(TForm& Form, const TReadOptions& Options) : FForm(Form), FOptions(Options) {}

  void Read(const TFormObject& Root) {
    Plan(Root);
    for (TPlanned& P : FPlan) CheckProperties(P);
    Build();
  }

 private:
  struct TAssign {
    const TPropInfo* Prop;
    TPropValue Value;
    std::string Name;  // the component or handler named, empty for nil
    int Line;
  };
  struct TPlanned {
    const TFormObject* Node;
    TComponentClass Class;
    int Parent;  // index in FPlan, -1 for the form
    std::vector<TAssign> Assigns;
  };

  static void SetLoading(TComponent& C, bool On) {
    C.SetState(csLoading, On);
    C.SetState(csReading, On);
  }

  void Plan(const TFormObject& Root) {
    if (!SameText(Root.ClassName, FForm.ClassName()))
      throw EFormError(Root.Line,
                       "the file describes a " + Root.ClassName + ", not a " + FForm.ClassName());
    const TPublishedClass* RootClass = FindPublishedClass(FForm.ClassName());
    FPlan.push_back({&Root, RootClass ? RootClass->ClassRef : &FormClass, -1, {}});
    FNames[Lower(Root.Name)] = 0;
    PlanChildren(Root, 0);
  }

  void PlanChildren(const TFormObject& Node, int Index) {
    for (const TFormObject& Child : Node.Children) {
      const TPublishedClass* Class = FindPublishedClass(Child.ClassName);
      if (!Class) throw EFormError(Child.Line, "unknown class " + Child.ClassName);
      if (FNames.count(Lower(Child.Name)) || FForm.FindComponent(Child.Name))
        throw EFormError(Child.Line, "a component named " + Child.Name + " already exists");
      if (!Class->ClassRef->Create)
        throw EFormError(Child.Line, Child.ClassName + " cannot be created");
      int ChildIndex = static_cast<int>(FPlan.size());
      FNames[Lower(Child.Name)] = ChildIndex;
      FPlan.push_back({&Child, Class->ClassRef, Index, {}});
      PlanChildren(Child, ChildIndex);
    }
  }

  void CheckProperties(TPlanned& P) {
    for (const TFormProperty& F : P.Node->Properties) {
      const TPropInfo* Prop = FindPublishedProperty(P.Class, F.Name);
      if (!Prop)
        throw EFormError(F.Line, std::string(P.Class->ClassName) + " has no property " + F.Name);
      P.Assigns.push_back(Check(*Prop, F, P.Node->Name));
    }
  }

  TAssign Check(const TPropInfo& Prop, const TFormProperty& F, const std::string& Owner) {
    const TFormValue& V = F.Value;
    TAssign A{&Prop, std::int64_t{0}, "", F.Line};
    const std::string Where = Owner + "." + std::string(Prop.Name) + ": ";
    auto Fail = [&](const std::string& Expected) -> EFormError {
      return EFormError(F.Line, Where + "expected " + Expected + ", found " + Describe(V));
    };
    auto Range = [&](std::int64_t Min, std::int64_t Max) {
      if (V.Kind != TFormValue::vkInteger) throw Fail("an integer");
      if (V.Integer < Min || V.Integer > Max)
        throw EFormError(F.Line, Where + std::to_string(V.Integer) + " is out of range");
      A.Value = V.Integer;
    };
    switch (Prop.Kind) {
      case tkInteger:
        Range(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
        break;
      case tkCardinal:
        Range(0, std::numeric_limits<std::uint32_t>::max());
        break;
      case tkBoolean:
        if (V.Kind != TFormValue::vkIdent ||
            (!SameText(V.Text, "True") && !SameText(V.Text, "False")))
          throw Fail("True or False");
        A.Value = std::int64_t{SameText(V.Text, "True")};
        break;
      case tkEnumeration: {
        int Ordinal = V.Kind == TFormValue::vkIdent ? Prop.EnumType->Ordinal(V.Text) : -1;
        if (Ordinal < 0) throw Fail("a " + std::string(Prop.EnumType->Name) + " value");
        A.Value = std::int64_t{Ordinal};
        break;
      }
      case tkSet: {
        if (V.Kind != TFormValue::vkSet) throw Fail("a set of " + std::string(Prop.EnumType->Name));
        std::int64_t Mask = 0;
        for (const std::string& M : V.Members) {
          int Ordinal = Prop.EnumType->Ordinal(M);
          if (Ordinal < 0)
            throw EFormError(
                F.Line, Where + M + " is not a " + std::string(Prop.EnumType->Name) + " value");
          Mask |= std::int64_t{1} << Ordinal;
        }
        A.Value = Mask;
        break;
      }
      case tkString:
        if (V.Kind != TFormValue::vkString) throw Fail("a string");
        A.Value = V.Text;
        break;
      case tkClass: {
        if (V.Kind != TFormValue::vkIdent) throw Fail("a component name");
        A.Value = static_cast<TComponent*>(nullptr);
        if (SameText(V.Text, "nil")) break;
        auto It = FNames.find(Lower(V.Text));
        if (It == FNames.end()) throw EFormError(F.Line, Where + "no component named " + V.Text);
        TComponentClass Target = FPlan[static_cast<std::size_t>(It->second)].Class;
        if (!Target->InheritsFrom(Prop.ReferenceClass))
          throw EFormError(F.Line, Where + V.Text + " is a " + std::string(Target->ClassName) +
                                       ", not a " + std::string(Prop.ReferenceClass->ClassName));
        A.Name = V.Text;
        break;
      }
      case tkMethod: {
        if (V.Kind != TFormValue::vkIdent) throw Fail("a handler name");
        A.Value = std::any();
        if (SameText(V.Text, "nil")) break;
        const std::any* Handler = FForm.FindHandler(V.Text, &A.Name);
        if (!Handler) throw EFormError(F.Line, Where + "no handler named " + V.Text);
        if (Handler->type() != *Prop.EventType)
          throw EFormError(F.Line, Where + "handler " + V.Text +
                                       " does not take the parameters of " +
                                       std::string(Prop.Name));
        A.Value = *Handler;
        break;
      }
    }
    return A;
  }

  void Build() {
    std::vector<TComponent*> Made{&FForm};  // aligned with FPlan
    std::vector<TComponent*> Created;       // what this read made, in order
    const bool WasDesigning = FForm.InState(csDesigning);
    struct TReference {
      TComponent* Component;
      const TAssign* Assign;
    };
    std::vector<TReference> References;
    try {
      if (FOptions.Designing) FForm.SetDesigning(true);
      SetLoading(FForm, true);
      for (std::size_t I = 0; I < FPlan.size(); ++I) {
        const TPlanned& P = FPlan[I];
        TComponent* C = &FForm;
        if (I > 0) {
          std::unique_ptr<TComponent> New = P.Class->Create(&FForm);  // the form owns it
          C = New.release();
          Created.push_back(C);
          Made.push_back(C);
          SetLoading(*C, true);
          auto* Control = dynamic_cast<TControl*>(C);
          auto* Parent = dynamic_cast<TWinControl*>(Made[static_cast<std::size_t>(P.Parent)]);
          if (Control && Parent) Control->SetParent(Parent);
        }
        C->SetName(P.Node->Name);
        for (const TAssign& A : P.Assigns) {
          if (A.Prop->Kind == tkClass) {
            References.push_back({C, &A});
            continue;
          }
          A.Prop->Set(*C, A.Value);
          if (A.Prop->Kind == tkMethod) FForm.BindEvent(C, std::string(A.Prop->Name), A.Name);
        }
      }
      for (const TReference& R : References) {
        TComponent* Target = nullptr;
        if (!R.Assign->Name.empty())
          Target = Made[static_cast<std::size_t>(FNames.at(Lower(R.Assign->Name)))];
        R.Assign->Prop->Set(*R.Component, Target);
      }
      for (TComponent* C : Made) C->SetState(csReading, false);
      for (TComponent* C : Made) {
        C->Loaded();
        C->SetState(csLoading, false);
      }
    } catch (...) {
      for (TComponent* C : Made) SetLoading(*C, false);
      for (auto It = Created.rbegin(); It != Created.rend(); ++It) {
        FForm.UnbindEvents(*It);
        delete *It;
      }
      if (!WasDesigning) FForm.SetDesigning(false);
      throw;
    }
  }

  TForm& FForm;
  TReadOptions FOptions;
  std::vector<TPlanned> FPlan;
  std::map<std::string, int> FNames;  // lower-case name to index in FPlan
};

void ReadForm(TForm& Form, const std::string& Text, const TReadOptions& Options) {
  TFormObject Root = ParseForm(Text);
  TReader(Form, Options).Read(Root);
}

void ReadForm(TForm& Form, TStream& Stream, const TReadOptions& Options) {
  std::string Text(static_cast<std::size_t>(Stream.Size() - Stream.Position()), '\0');
  Stream.ReadBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
  ReadForm(Form, Text, Options);
}

void ReadFormFile(TForm& Form, const std::string& FileName, const TReadOptions& Options) {
  TFileStream Stream(FileName, fmOpenRead);
  try {
    ReadForm(Form, Stream, Options);
  } catch (const EFormError& E) {
    throw EFormError(E.Line(), E.Text(), FileName);
  }
}

}  // namespace host
