#pragma once
// A drop target for tests: it writes each call it gets into a shared log
// ("A enter 10,20") and answers as told.

#include <functional>
#include <string>
#include <vector>

#include "host/ole/drag_drop.h"

namespace host::testing {

class TRecordingTarget : public TRefCounted<IDropTarget, IID_IDropTarget> {
 public:
  TRecordingTarget(std::string Name, std::vector<std::string>& Log, bool* Destroyed = nullptr)
      : FName(std::move(Name)), FLog(Log), FDestroyed(Destroyed) {}

  HRESULT EnterResult = S_OK;
  // The effect it answers, whatever it was offered: keeping answers within
  // the source's effects is the loop's job.
  DWORD Accepts = DROPEFFECT_COPY;
  // Runs inside the named call ("enter", "over", "leave", "drop").
  std::function<void(const std::string& Call)> During;

  HRESULT DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;
  HRESULT DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;
  HRESULT DragLeave() override;
  HRESULT Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;

 protected:
  ~TRecordingTarget() override {
    if (FDestroyed) *FDestroyed = true;
  }

 private:
  void Note(const std::string& Call, POINTL pt, bool WithPoint);

  std::string FName;
  std::vector<std::string>& FLog;
  bool* FDestroyed;
};

}  // namespace host::testing
