#include "dropurl/testing/url_drag.h"

#include "host/ole/clipboard_formats.h"
#include "host/ole/drag_drop.h"
#include "host/ole/drag_pointer.h"

namespace snapkit::testing {

using namespace host;

namespace {

class TWatchingSource : public TDropSource {
 public:
  explicit TWatchingSource(std::vector<DWORD>& Feedback) : FFeedback(Feedback) {}
  HRESULT GiveFeedback(DWORD dwEffect) override {
    FFeedback.push_back(dwEffect);
    return TDropSource::GiveFeedback(dwEffect);
  }

 private:
  std::vector<DWORD>& FFeedback;
};

}  // namespace

TDataObject* NewURLData(const TOffers& Offers) {
  auto* Data = new TDataObject;
  for (const auto& [Name, Bytes] : Offers)
    Data->Offer(RegisterClipboardFormatA(Name.c_str()), Bytes);
  return Data;
}

TDragOutcome DragOnto(TWinControl& Control, IDataObject* Data, DWORD OKEffects) {
  TPoint Middle = Control.ClientToScreen({Control.Width() / 2, Control.Height() / 2});
  TScriptedPointer Pointer;
  Pointer.MoveTo({-10000, -10000}).MoveTo(Middle).MoveTo({Middle.X + 1, Middle.Y}).ButtonUp();
  TDragOutcome Outcome{};
  TComPtr<IDropSource> Source = TComPtr<IDropSource>::Attach(new TWatchingSource(Outcome.Feedback));
  Outcome.Effect = 0xFF;
  Outcome.Result = DoDragDrop(Data, Source.Get(), OKEffects, &Outcome.Effect);
  return Outcome;
}

TDragOutcome DragOnto(TWinControl& Control, const TOffers& Offers, DWORD OKEffects) {
  TComPtr<IDataObject> Data = TComPtr<IDataObject>::Attach(NewURLData(Offers));
  return DragOnto(Control, Data.Get(), OKEffects);
}

}  // namespace snapkit::testing
