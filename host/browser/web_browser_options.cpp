// What pages are loaded with: the device scale factor, the user agent,
// extra request headers, the colour scheme and whether local files may be
// shown. They are set on a page when it is opened; a change reaches the
// next navigation, which gets a fresh page for it (the browser has no clean
// way to take an override back).

#include <glib.h>

#include <algorithm>
#include <cstring>

#include "host/browser/navigation.h"
#include "host/browser/page_session.h"
#include "host/browser/web_browser.h"

namespace host {

namespace {

bool IsToken(const std::string& Name) {
  if (Name.empty()) return false;
  for (unsigned char C : Name)
    if (!g_ascii_isalnum(char(C)) && !std::strchr("!#$%&'*+-.^_`|~", C)) return false;
  return true;
}

}  // namespace

void TWebBrowser::SetDeviceScaleFactor(double Value) {
  if (!(Value > 0 && Value <= 8))
    throw EInvalidOperation("The device scale factor must be above 0 and at most 8");
  if (Value == FScaleFactor) return;
  FScaleFactor = Value;
  ApplyViewport();
}

void TWebBrowser::SetUserAgent(const std::string& Value) {
  if (Value.find_first_of("\r\n") != std::string::npos)
    throw EOleException("A user agent cannot hold a line break");
  if (Value == FUserAgent) return;
  FUserAgent = Value;
  FPageOptionsChanged = true;
}

void TWebBrowser::SetExtraHeaders(const THeaders& Value) {
  for (const auto& [Name, Text] : Value) {
    if (!IsToken(Name)) throw EOleException("Not a header name: " + Name);
    if (Text.find_first_of("\r\n") != std::string::npos)
      throw EOleException("The header " + Name + " cannot hold a line break");
  }
  if (Value == FExtraHeaders) return;
  FExtraHeaders = Value;
  FPageOptionsChanged = true;
}

void TWebBrowser::SetColorScheme(const std::string& Value) {
  if (!Value.empty() && Value != "light" && Value != "dark")
    throw EOleException("The colour scheme is light, dark or empty, not " + Value);
  if (Value == FColorScheme) return;
  FColorScheme = Value;
  FPageOptionsChanged = true;
}

void TWebBrowser::SetWaitUntil(TWaitUntil Value) {
  if (Value != wuLoad && Value != wuDOMContentLoaded && Value != wuNetworkIdle)
    throw EInvalidOperation("Not a load condition: " + std::to_string(int(Value)));
  if (Value == FWaitUntil) return;
  // Only the idle network needs the page's lifecycle events.
  if (Value == wuNetworkIdle || FWaitUntil == wuNetworkIdle) FPageOptionsChanged = true;
  FWaitUntil = Value;
}

// Sent before the page's first navigation: the commands of one session run
// in the order sent, so none needs waiting for.
void TWebBrowser::SetUpPage(const std::string& SessionId) {
  FPageOptionsChanged = false;
  TChromiumBrowser& C = Chromium();
  if (!FUserAgent.empty())
    C.Send("Network.setUserAgentOverride", {{"userAgent", FUserAgent}}, SessionId);
  if (!FExtraHeaders.empty()) {
    json Headers = json::object();
    // A name given twice is one header of both values, as HTTP folds them.
    for (const auto& [Name, Text] : FExtraHeaders) {
      json& Slot = Headers[Name];
      Slot = Slot.is_string() ? Slot.get<std::string>() + ", " + Text : Text;
    }
    C.Send("Network.setExtraHTTPHeaders", {{"headers", Headers}}, SessionId);
  }
  if (FWaitUntil == wuNetworkIdle)
    C.Send("Page.setLifecycleEventsEnabled", {{"enabled", true}}, SessionId);
  if (!FColorScheme.empty()) {
    json Feature = {{"name", "prefers-color-scheme"}, {"value", FColorScheme}};
    C.Send("Emulation.setEmulatedMedia", {{"features", json::array({Feature})}}, SessionId);
  }
}

const std::string& TWebBrowser::FontsWait() const {
  static const std::string None;
  return FNav ? FNav->FontsWait : None;
}

std::string TWebBrowser::Waiting() const {
  if (FNav && !FNav->Ended() && FNav->Stage == stLoad && FNav->LoadFired)
    return "the network to go idle";
  if (!FNav || FNav->Ended() || FNav->Stage != stWaitFor) return std::string();
  std::string Text = FWaitFor.rfind("js:", 0) == 0 ? FWaitFor.substr(3) : FWaitFor;
  switch (FNav->WaitKind) {
    case TNavigation::wkSelector:
      return "the selector " + Text + " to match";
    case TNavigation::wkExpression:
      return Text + " to be true";
    case TNavigation::wkUntried:
      break;
  }
  return Text;
}

bool TWebBrowser::PictureSize(int& Width, int& Height) const {
  if (!FNav || !FNav->Picture) return false;
  Width = FNav->Picture->Width();
  Height = FNav->Picture->Height();
  return true;
}

}  // namespace host
