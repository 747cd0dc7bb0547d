#include "host/ole/testing/recording_target.h"

namespace host::testing {

void TRecordingTarget::Note(const std::string& Call, POINTL pt, bool WithPoint) {
  std::string Entry = FName + " " + Call;
  if (WithPoint) Entry += " " + std::to_string(pt.x) + "," + std::to_string(pt.y);
  FLog.push_back(Entry);
  if (During) During(Call);
}

HRESULT TRecordingTarget::DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                                    DWORD* pdwEffect) {
  Note("enter", pt, true);
  if (SUCCEEDED(EnterResult)) *pdwEffect = Accepts;
  return EnterResult;
}

HRESULT TRecordingTarget::DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  Note("over", pt, true);
  *pdwEffect = Accepts;
  return S_OK;
}

HRESULT TRecordingTarget::DragLeave() {
  Note("leave", {}, false);
  return S_OK;
}

HRESULT TRecordingTarget::Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                               DWORD* pdwEffect) {
  Note("drop", pt, true);
  *pdwEffect = Accepts;
  return S_OK;
}

}  // namespace host::testing
