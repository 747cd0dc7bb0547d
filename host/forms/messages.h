#pragma once
// Window handles and messages. A handle names a windowed control's window
// for as long as it exists; handles are never reused within a process, so a
// stale handle finds nothing instead of another window.

#include <cstdint>
#include <functional>

namespace host {

struct HWND__;
using HWND = HWND__*;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// Mouse messages carry the client point as LParam: x in the low 16 bits,
// y in the next 16, both signed.
constexpr LPARAM MakeLParam(int X, int Y) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(Y & 0xFFFF) << 16) |
                             static_cast<std::uint32_t>(X & 0xFFFF));
}
constexpr int LParamX(LPARAM L) { return static_cast<std::int16_t>(L & 0xFFFF); }
constexpr int LParamY(LPARAM L) { return static_cast<std::int16_t>((L >> 16) & 0xFFFF); }

// Delivers the message to the window's control at once and returns its
// result; 0 when the window does not exist.
LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
// Queues the message for the application's message loop and returns true;
// false when the window does not exist. A message whose window is gone by
// the time the loop reaches it is dropped. Safe to call from any thread.
bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
bool IsWindow(HWND Wnd);

// Called with each window's handle just before the window is destroyed, so
// that registrations kept by handle (drop targets) can be let go. Returns an
// id for RemoveWindowDestroyHook.
int AddWindowDestroyHook(std::function<void(HWND)> Hook);
void RemoveWindowDestroyHook(int Id);

}  // namespace host
