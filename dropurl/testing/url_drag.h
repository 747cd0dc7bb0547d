#pragma once
// Drags as a browser makes them when a link is dragged out of it: a data
// object offering the URL in some named clipboard formats, moved from
// outside onto a control and dropped there through the host's drag loop.

#include <string>
#include <utility>
#include <vector>

#include "host/forms/controls.h"
#include "host/ole/data_object.h"

namespace snapkit::testing {

// Format name and the bytes offered under it (text includes its zero).
using TOffers = std::vector<std::pair<std::string, std::string>>;

struct TDragOutcome {
  host::HRESULT Result;
  host::DWORD Effect;
  // The effect the loop showed after each move, as the source heard it.
  std::vector<host::DWORD> Feedback;
};

// Text as a browser puts it in global memory: with its terminating zero.
inline std::string Text(const std::string& S) { return S + '\0'; }

host::TDataObject* NewURLData(const TOffers& Offers);

// Drags Data from off every window onto the middle of Control, moves a
// pixel on it and lets go.
TDragOutcome DragOnto(host::TWinControl& Control, host::IDataObject* Data,
                      host::DWORD OKEffects = host::DROPEFFECT_COPY);
TDragOutcome DragOnto(host::TWinControl& Control, const TOffers& Offers,
                      host::DWORD OKEffects = host::DROPEFFECT_COPY);

}  // namespace snapkit::testing
