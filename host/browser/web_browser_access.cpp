// Who the page is to the sites it loads: its cookies, the proxy it goes
// through, and the consent dialogs it answers. Cookies and a proxy give the
// page a browser context of its own (page_session.cpp), so that they reach
// no other control and end with the page; the consent script is set up with
// the page and run once more before the picture (capture_steps.cpp).

#include <glib.h>

#include <cstdlib>

#include "host/browser/consent_rules.h"
#include "host/browser/cookies_file.h"
#include "host/browser/navigation.h"
#include "host/browser/page_session.h"
#include "host/browser/web_browser.h"

namespace host {

namespace {

// Long enough for a page's whole capture: the page is navigated away or
// closed long before on most.
constexpr int ConsentWatchMs = 60000;

// Any URL serves for checking a NAME=VALUE: the host only fills the domain.
constexpr const char* AnyPage = "http://localhost/";

std::string Lower(const std::string& Text) {
  std::string Out = Text;
  for (char& C : Out) C = g_ascii_tolower(C);
  return Out;
}

bool IsHostName(const std::string& Host) {
  if (Host.empty() || Host.size() > 253 || Host.front() == '.' || Host.front() == '-') return false;
  for (char C : Host)
    if (!g_ascii_isalnum(C) && C != '-' && C != '.' && C != '_') return false;
  return true;
}

bool IsIPv6(const std::string& Host) {
  if (Host.size() < 2) return false;
  for (char C : Host)
    if (!g_ascii_isxdigit(C) && C != ':' && C != '.') return false;
  return Host.find(':') != std::string::npos;
}

}  // namespace

std::string TWebBrowser::ProxyServer(const std::string& Url) {
  const std::size_t Sep = Url.find("://");
  const std::string Form = "A proxy is given as http://, https:// or socks5://HOST[:PORT]";
  if (Sep == std::string::npos) throw EOleException(Form);
  const std::string Scheme = Lower(Url.substr(0, Sep));
  if (Scheme != "http" && Scheme != "https" && Scheme != "socks5") throw EOleException(Form);
  std::string Rest = Url.substr(Sep + 3);
  const std::size_t End = Rest.find_first_of("/?#");
  std::string Authority = Rest.substr(0, End);
  if (End != std::string::npos && Rest.substr(End) != "/")
    throw EOleException("A proxy's address has no path, query or fragment");
  // Said without the address: what comes before '@' is a secret.
  if (Authority.find('@') != std::string::npos)
    throw EOleException(
        "A proxy's user name and password cannot be given to the browser; use a proxy that "
        "needs none");
  std::string Host, Port;
  if (!Authority.empty() && Authority[0] == '[') {
    const std::size_t Close = Authority.find(']');
    if (Close == std::string::npos || !IsIPv6(Authority.substr(1, Close - 1)))
      throw EOleException("Not a proxy host: " + Authority);
    Host = Authority.substr(0, Close + 1);
    if (Close + 1 < Authority.size()) {
      if (Authority[Close + 1] != ':') throw EOleException("Not a proxy host: " + Authority);
      Port = Authority.substr(Close + 2);
    }
  } else {
    const std::size_t Colon = Authority.find(':');
    Host = Authority.substr(0, Colon);
    if (Colon != std::string::npos) Port = Authority.substr(Colon + 1);
    Host = Lower(Host);
    if (!IsHostName(Host)) throw EOleException("Not a proxy host: " + Authority);
  }
  long Number = Scheme == "http" ? 80 : Scheme == "https" ? 443 : 1080;
  if (!Port.empty() || Authority.back() == ':') {
    char* Stop = nullptr;
    Number = std::strtol(Port.c_str(), &Stop, 10);
    if (Port.empty() || *Stop || !g_ascii_isdigit(Port[0]) || Number < 1 || Number > 65535)
      throw EOleException("A proxy's port is a number from 1 to 65535, not " + Port);
  }
  return Scheme + "://" + Host + ":" + std::to_string(Number);
}

void TWebBrowser::SetProxy(const std::string& Url) {
  std::string Server = Url.empty() ? std::string() : ProxyServer(Url);
  if (Server == FProxy) return;
  FProxy = std::move(Server);
  FPageOptionsChanged = true;
}

void TWebBrowser::SetCookies(std::vector<TCookie> Value) {
  for (const TCookie& C : Value)
    if (C.Name.empty() || C.Domain.empty()) throw EOleException("A cookie needs a name and a host");
  FCookies = std::move(Value);
  FPageOptionsChanged = true;
}

void TWebBrowser::SetPageCookies(std::vector<std::string> Value) {
  for (const std::string& NameValue : Value) {
    try {
      ParseCookieArgument(NameValue, AnyPage);
    } catch (const ECookiesError& E) {
      throw EOleException(E.Message());
    }
  }
  if (Value == FPageCookies) return;
  FPageCookies = std::move(Value);
  FPageOptionsChanged = true;
}

void TWebBrowser::SetBlockCookieBanners(bool Value) {
  if (Value == FBlockCookieBanners) return;
  FBlockCookieBanners = Value;
  FPageOptionsChanged = true;
}

// Loopback addresses go through the proxy too: the browser's own rule
// keeps them from it. A page replaced or freed before the answer leaves
// its context to nobody, so it goes.
void TWebBrowser::OpenContext(std::weak_ptr<TPage> Weak) {
  json Params = json::object();
  if (!FProxy.empty()) {
    Params["proxyServer"] = FProxy;
    Params["proxyBypassList"] = "<-loopback>";
  }
  Chromium().Command("Target.createBrowserContext", Params, {},
                     [this, Weak](const TDevToolsReply& R) {
                       auto P = Weak.lock();
                       if (!P || !P->Link->Browser) {
                         if (R.Ok() && R.Result.contains("browserContextId"))
                           Chromium().Send("Target.disposeBrowserContext",
                                           {{"browserContextId", R.Result["browserContextId"]}});
                         return;
                       }
                       auto Id = R.Result.find("browserContextId");
                       if (!R.Ok() || Id == R.Result.end() || !Id->is_string()) {
                         ClosePage();
                         if (FNav && !FNav->Ended())
                           Fail(FNav, R.Kind == TDevToolsReply::rkLost ? nfBrowserLost : nfFailed,
                                "The browser could not open a page: " +
                                    (R.Ok() ? std::string("no browser context") : R.Message));
                         return;
                       }
                       P->ContextId = Id->get<std::string>();
                       OpenTarget(Weak, P->ContextId);
                     });
}

void TWebBrowser::SetUpAccess(const std::string& SessionId) {
  if (FBlockCookieBanners)
    Chromium().Send("Page.addScriptToEvaluateOnNewDocument",
                    {{"source", ConsentScript(ConsentWatchMs)}}, SessionId);
}

// Before every navigation, so that each capture starts with the cookies
// given whatever the page before did with them; the command runs before the
// navigation as the commands of a session run in order.
void TWebBrowser::SendCookies(const TNavigationRef& N) {
  if (FCookies.empty() && FPageCookies.empty()) return;
  std::vector<TCookie> Cookies = FCookies;
  for (const std::string& NameValue : FPageCookies) {
    try {
      Cookies.push_back(ParseCookieArgument(NameValue, N->Url));
    } catch (const ECookiesError&) {
      break;  // no http(s) host to give them to
    }
  }
  if (Cookies.empty()) return;
  PageCommand(N, "Network.setCookies", {{"cookies", CookiesToDevTools(Cookies)}},
              [this](TNavigation& N, const TDevToolsReply& R) {
                if (auto F = ReplyFailure(R, "The browser did not take the cookies"))
                  Fail(N.Self.lock(), F->Kind, F->Reason);
              });
}

// Dialogs that came after the watch began but before its next look, or
// after it ended, are dealt with now; a document the script did not reach
// gets it now.
void TWebBrowser::HandleConsent(const TNavigationRef& N) {
  const std::string Expression =
      "(" + ConsentScript(ConsentWatchMs) + ", JSON.stringify(window.__snapkitConsent.act()))";
  PageCommand(N, "Runtime.evaluate", {{"expression", Expression}, {"returnByValue", true}},
              [this](TNavigation& N, const TDevToolsReply& R) {
                // What the page's own script breaks in it costs the dialogs,
                // not the picture.
                if (auto F = ReplyFailure(R, "The consent dialogs could not be answered"))
                  return Fail(N.Self.lock(), F->Kind, F->Reason);
                N.Stage = stScript;
                Advance(N.Self.lock());
              });
}

}  // namespace host
