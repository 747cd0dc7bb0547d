#pragma once
// The screen the application runs on. Headless, it is a virtual screen of
// 1920 by 1080 pixels unless set otherwise.

namespace host {

class TScreen {
 public:
  TScreen() = default;
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Raises EInvalidOperation for a size below 1 by 1.
  void SetSize(int AWidth, int AHeight);
  // The display's monitor, from a desktop backend that has become current;
  // ignored once the program has set a size of its own.
  void SetMonitorSize(int AWidth, int AHeight);

 private:
  int FWidth = 1920;
  int FHeight = 1080;
  bool FSetByProgram = false;
};

extern TScreen* const Screen;

}  // namespace host
