#include "host/forms/form_writer.h"

#include <algorithm>

#include "host/forms/form_parser.h"
#include "host/forms/published.h"

namespace host {

namespace {

class TWriter {
 public:
  explicit TWriter(TForm& Form) : FForm(Form) {
    for (int I = 0; I < Form.ComponentCount(); ++I) FOwned.push_back(Form.Components(I));
  }

  std::string Text() {
    const TPublishedClass* Root = FindPublishedClass(FForm.ClassName());
    WriteObject(FForm, Root ? Root->ClassRef : &FormClass, 0);
    return FOut;
  }

 private:
  bool InForm(const TComponent* C) const {
    return C == &FForm || std::find(FOwned.begin(), FOwned.end(), C) != FOwned.end();
  }

  // The component this one is written inside: its parent when that is one
  // of the form's own, else the form.
  const TComponent* Container(const TComponent* C) const {
    auto* Control = dynamic_cast<const TControl*>(C);
    if (Control && Control->Parent() && Control->Parent() != &FForm && InForm(Control->Parent()))
      return Control->Parent();
    return &FForm;
  }

  void WriteObject(TComponent& C, TComponentClass Class, int Depth) {
    if (C.Name().empty())
      throw EWriteError("An unnamed " + C.ClassName() + " cannot be written to a form file");
    const std::string Indent(static_cast<std::size_t>(Depth) * 2, ' ');
    FOut += Indent + "object " + C.Name() + ": " + C.ClassName() + "\n";
    for (const TPropInfo* P : PublishedProperties(Class)) {
      std::string Value;
      if (Stored(C, *P, Value)) FOut += Indent + "  " + std::string(P->Name) + " = " + Value + "\n";
    }
    for (TComponent* Child : FOwned) {
      if (Container(Child) != &C) continue;
      const TPublishedClass* Published = FindPublishedClass(Child->ClassName());
      if (!Published || Published->ClassRef->ClassName != Child->ClassName())
        throw EWriteError("No published properties are declared for " + Child->ClassName());
      WriteObject(*Child, Published->ClassRef, Depth + 1);
    }
    FOut += Indent + "end\n";
  }

  bool Stored(TComponent& C, const TPropInfo& P, std::string& Out) {
    TPropValue V = P.Get(C);
    if (P.Kind == tkMethod) {
      if (!std::get<std::int64_t>(V)) return false;
      Out = FForm.BoundHandler(&C, std::string(P.Name));
      return !Out.empty();
    }
    if (P.Kind == tkString) {
      Out = QuoteFormString(std::get<std::string>(V));
      return true;
    }
    if (P.Kind == tkClass) {
      TComponent* Target = std::get<TComponent*>(V);
      if (!Target) {
        Out = "nil";
      } else if (!InForm(Target) || Target->Name().empty()) {
        throw EWriteError(C.Name() + "." + std::string(P.Name) +
                          " refers to a component outside the form");
      } else {
        Out = Target->Name();
      }
      return true;
    }
    std::int64_t Ordinal = std::get<std::int64_t>(V);
    if (P.Default && *P.Default == Ordinal) return false;
    switch (P.Kind) {
      case tkBoolean:
        Out = Ordinal ? "True" : "False";
        break;
      case tkEnumeration:
        Out = std::string(P.EnumType->Names.at(static_cast<std::size_t>(Ordinal)));
        break;
      case tkSet:
        Out = "[";
        for (std::size_t I = 0; I < P.EnumType->Names.size(); ++I)
          if (Ordinal & (std::int64_t{1} << I))
            Out += (Out.size() > 1 ? ", " : "") + std::string(P.EnumType->Names[I]);
        Out += "]";
        break;
      default:
        Out = std::to_string(Ordinal);
        break;
    }
    return true;
  }

  TForm& FForm;
  std::vector<TComponent*> FOwned;
  std::string FOut;
};

}  // namespace

std::string FormText(TForm& Form) { return TWriter(Form).Text(); }

void WriteForm(TForm& Form, TStream& Stream) {
  std::string Text = FormText(Form);
  Stream.WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
}

void WriteFormFile(TForm& Form, const std::string& FileName) {
  std::string Text = FormText(Form);  // nothing is created for a form that cannot be written
  TFileStream Stream(FileName, fmCreate);
  Stream.WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
}

}  // namespace host
