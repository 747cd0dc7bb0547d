#include "tools/page_options.h"

#include "tools/convert_command.h"

namespace snapkit::tools {

namespace {

template <class TSet>
void Set(const char* Option, TSet&& Setter) {
  try {
    Setter();
  } catch (const host::Exception& E) {
    throw TUsageError{std::string(Option) + ": " + E.Message()};
  }
}

}  // namespace

void SetPageOptions(host::TWebBrowser& B, const TCaptureOptions& O) {
  Set("--scale", [&] { B.SetDeviceScaleFactor(O.Scale); });
  Set("--selector", [&] { B.SetSelector(O.Selector); });
  Set("--wait-for", [&] { B.SetWaitFor(O.WaitFor); });
  Set("--hide", [&] { B.SetHideSelector(O.Hide); });
  Set("--javascript", [&] { B.SetScript(O.Script); });
  Set("--css", [&] { B.SetStyleSheet(O.StyleSheet); });
  Set("--user-agent", [&] { B.SetUserAgent(O.UserAgent); });
  Set("--header", [&] { B.SetExtraHeaders(O.Headers); });
  Set("--color-scheme", [&] { B.SetColorScheme(O.ColorScheme); });
  Set("--no-local", [&] { B.SetAllowLocal(!O.NoLocal); });
  Set("--wait-until", [&] { B.SetWaitUntil(O.WaitUntil); });
  Set("--disable-animations", [&] { B.SetDisableAnimations(O.DisableAnimations); });
  Set("--cookies", [&] { B.SetCookies(O.Cookies); });
  Set("--cookie", [&] { B.SetPageCookies(O.PageCookies); });
  Set("--proxy", [&] { B.SetProxy(O.Proxy); });
  Set("--block-cookie-banners", [&] { B.SetBlockCookieBanners(O.BlockCookieBanners); });
  Set("--filter-list", [&] { B.SetFilterLists(O.FilterLists); });
  Set("--block-ads", [&] { B.SetBlockAds(O.BlockAds); });
  Set("--block-trackers", [&] { B.SetBlockTrackers(O.BlockTrackers); });
  Set("--auth", [&] { B.SetCredentials(O.Auth); });
}

}  // namespace snapkit::tools
