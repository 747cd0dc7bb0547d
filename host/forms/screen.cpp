#include "host/forms/screen.h"

#include "host/system/exception.h"

namespace host {

namespace {
TScreen TheScreen;
}

TScreen* const Screen = &TheScreen;

void TScreen::SetSize(int AWidth, int AHeight) {
  if (AWidth < 1 || AHeight < 1) throw EInvalidOperation("Invalid screen size");
  FWidth = AWidth;
  FHeight = AHeight;
  FSetByProgram = true;
}

void TScreen::SetMonitorSize(int AWidth, int AHeight) {
  if (FSetByProgram || AWidth < 1 || AHeight < 1) return;
  FWidth = AWidth;
  FHeight = AHeight;
}

}  // namespace host
