#pragma once
// A page script that answers cookie-consent dialogs "reject" where the
// manager allows it, hides them otherwise, and lifts the scroll lock they
// leave on html and body. It keeps watching for dialogs that come late, for
// a bounded time. Managers: OneTrust, Cookiebot, Didomi, Quantcast Choice
// (TCF), Osano and the open-source cookieconsent, Usercentrics, TrustArc.

#include <string>

namespace host {

// An expression to evaluate in the page (Runtime.evaluate, or as is through
// Page.addScriptToEvaluateOnNewDocument): it acts on what is there at once,
// watches the document for WatchMs more, and yields a JSON text listing
// what it did so far, as [{"manager":"OneTrust","action":"api"|"click"|"hide"}].
// A second evaluation in the same document only reports. While it runs,
// window.__snapkitConsent.report() gives the same list, updated, and
// window.__snapkitConsent.act() acts on what is there now first.
std::string ConsentScript(int WatchMs = 5000);

}  // namespace host
