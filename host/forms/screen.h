#pragma once
// The screen the application runs on. Headless, it is a virtual screen of
// 1920 by 1080 pixels unless set otherwise.

namespace host {

class TScreen {
 public:
  constexpr TScreen() = default;
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Raises EInvalidOperation for a size below 1 by 1.
  void SetSize(int AWidth, int AHeight);

 private:
  int FWidth = 1920;
  int FHeight = 1080;
};

extern TScreen* const Screen;

}  // namespace host
