#include "host/system/dialogs.h"

#include <errno.h>

#include <cstdio>
#include <mutex>
#include <utility>

namespace host {

namespace {

std::mutex& HookLock() {
  static std::mutex m;
  return m;
}

TMessageBoxHook& Hook() {
  static TMessageBoxHook hook;
  return hook;
}

// With nobody to ask, the box answers with its first button.
int DefaultAnswer(unsigned Flags) { return (Flags & 0xF) == MB_YESNO ? mrYes : mrOk; }

}  // namespace

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook NewHook) {
  std::lock_guard<std::mutex> lock(HookLock());
  return std::exchange(Hook(), std::move(NewHook));
}

int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) {
  TMessageBoxHook hook;
  {
    std::lock_guard<std::mutex> lock(HookLock());
    hook = Hook();
  }
  // Called outside the lock so that a hook may show another box.
  if (hook) return hook(Text, Caption, Flags);
  std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
  return DefaultAnswer(Flags);
}

void ShowMessage(const std::string& Text) {
  MessageBox(Text, program_invocation_short_name, MB_OK);
}

}  // namespace host
