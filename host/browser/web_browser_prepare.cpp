// What the application asked to be done to a loaded page before its
// picture is taken: a style sheet, elements hidden, a script, a condition
// waited for, and the box of one element to take. Each is a command whose
// answer moves on to the next; waiting is a timer between two polls, so
// nothing holds the loop, and RenderTimeout bounds it all.

#include <glib.h>

#include <algorithm>

#include "host/browser/web_browser.h"
#include "host/browser/web_browser_page.h"

namespace host {

namespace {

constexpr int WaitPollMs = 100;
// The compositor gives up on pictures larger than this a side.
constexpr double MaxPictureSide = 16384;

std::string Quoted(const std::string& Text) {
  return json(Text).dump(-1, ' ', false, json::error_handler_t::replace);
}

// Constructed style sheets are not subject to the page's content security
// policy, as a <style> element would be. The hidden elements get a sheet
// of their own, so that a style sheet left unclosed cannot swallow it.
std::string StyleScript(const std::string& Css, const std::string& Hide) {
  return "((css, hide) => {"
         "  const add = text => { const s = new CSSStyleSheet(); s.replaceSync(text);"
         "    document.adoptedStyleSheets = [...document.adoptedStyleSheets, s]; };"
         "  if (hide) {"
         "    try { document.querySelector(hide); } catch (e) { return 'Not a CSS selector: ' + "
         "hide; }"
         "  }"
         "  if (css) add(css);"
         "  if (hide) add(hide + ' { display: none !important; }');"
         "  return '';"
         "})(" +
         Quoted(Css) + ", " + Quoted(Hide) + ")";
}

// true or false; null when the text is no selector.
std::string SelectorTest(const std::string& Selector) {
  return "(s => { try { return !!document.querySelector(s); } catch (e) { return null; } })(" +
         Quoted(Selector) + ")";
}

// A description of the problem, or the box in page coordinates and whether
// it lies within the viewport.
std::string BoxScript(const std::string& Selector) {
  return "(s => { let e;"
         "  try { e = document.querySelector(s); } catch (x) { return 'Not a CSS selector: ' + s; }"
         "  if (!e) return 'No element matches the selector ' + s;"
         "  const r = e.getBoundingClientRect();"
         "  if (!(r.width > 0 && r.height > 0))"
         "    return 'The element that ' + s + ' selects has no size (it is not shown)';"
         "  return {x: r.left + scrollX, y: r.top + scrollY, width: r.width, height: r.height,"
         "          inside: r.left >= 0 && r.top >= 0 && r.right <= innerWidth &&"
         "                  r.bottom <= innerHeight}; })(" +
         Quoted(Selector) + ")";
}

// The first line of what a script threw (a stack follows it).
std::string Thrown(const json& Details) {
  std::string Text = Details.value("exception", json::object()).value("description", std::string());
  if (Text.empty()) Text = Details.value("text", std::string());
  return Text.substr(0, Text.find('\n'));
}

// Empty when the evaluation went well and returned no complaint.
std::string Problem(const TDevToolsReply& R, const std::string& What) {
  if (!R.Ok()) return What + ": " + R.Message;
  if (auto D = R.Result.find("exceptionDetails"); D != R.Result.end())
    return What + ": " + Thrown(*D);
  const json Value = R.Result.value("result", json::object()).value("value", json());
  return Value.is_string() ? Value.get<std::string>() : std::string();
}

}  // namespace

void TWebBrowser::PrepareLater(int Ms, int Step) {
  TPage* P = LivePage();
  if (!P) return;
  struct TPosted {
    TWebBrowser* Browser;
    std::weak_ptr<bool> Alive;
    std::weak_ptr<TPageLink> Link;
    unsigned Step;
    int Next;
  };
  g_timeout_add_full(
      G_PRIORITY_DEFAULT, guint(std::max(Ms, 0)),
      [](gpointer Data) -> gboolean {
        auto* T = static_cast<TPosted*>(Data);
        // The link is checked first: the browser may be gone.
        auto L = T->Link.lock();
        if (T->Alive.expired() || !L || L->Browser != T->Browser ||
            !T->Browser->Current(T->Link, T->Step))
          return G_SOURCE_REMOVE;
        if (T->Next >= ppStyle)
          T->Browser->PreparePage(T->Next);
        else
          T->Browser->PrepareStep(T->Next);
        return G_SOURCE_REMOVE;
      },
      new TPosted{this, FAlive, P->Link, P->Step, Step},
      [](gpointer Data) { delete static_cast<TPosted*>(Data); });
}

void TWebBrowser::PreparePage(int Step) {
  TPage* P = LivePage();
  if (!P || !P->Preparing) return;
  // True when the answer ended the navigation.
  auto Gone = [this](const TDevToolsReply& R) {
    if (R.Kind == TDevToolsReply::rkPageGone)
      Fail(nfCrashed, "The page crashed (its renderer ended)");
    if (R.Kind == TDevToolsReply::rkLost) Fail(nfBrowserLost, R.Message);
    return R.Kind == TDevToolsReply::rkPageGone || R.Kind == TDevToolsReply::rkLost;
  };
  switch (Step) {
    case ppStyle:
      if (FStyleSheet.empty() && FHideSelector.empty()) return PreparePage(ppScript);
      PageCommand(
          "Runtime.evaluate",
          {{"expression", StyleScript(FStyleSheet, FHideSelector)}, {"returnByValue", true}},
          [this, Gone](TPage&, const TDevToolsReply& R) {
            if (Gone(R)) return;
            std::string Why = Problem(R, "The style sheet could not be added");
            if (!Why.empty()) return Fail(nfFailed, Why);
            PreparePage(ppScript);
          });
      return;
    case ppScript:
      if (FScript.empty()) return PreparePage(ppWaitFor);
      PageCommand("Runtime.evaluate", {{"expression", FScript}, {"awaitPromise", true}},
                  [this, Gone](TPage&, const TDevToolsReply& R) {
                    if (Gone(R)) return;
                    if (!R.Ok() || R.Result.contains("exceptionDetails"))
                      return Fail(nfFailed, Problem(R, "The script failed"));
                    PreparePage(ppWaitFor);
                  });
      return;
    case ppWaitFor: {
      P->Waiting = !FWaitFor.empty();
      if (!P->Waiting) return PrepareStep(psSnapshot);
      const bool Js = FWaitFor.rfind("js:", 0) == 0;
      if (Js) P->WaitKind = TPage::wkExpression;
      const std::string Text = Js ? FWaitFor.substr(3) : FWaitFor;
      const bool Expression = P->WaitKind == TPage::wkExpression;
      // The line breaks keep a comment at the end of the text from
      // swallowing the rest.
      json Params = {{"expression", Expression ? "(async () => !!(await (\n" + Text + "\n)))()"
                                               : SelectorTest(Text)},
                     {"returnByValue", true},
                     {"awaitPromise", Expression}};
      PageCommand(
          "Runtime.evaluate", Params,
          [this, Gone, Expression, Text](TPage& P, const TDevToolsReply& R) {
            if (Gone(R)) return;
            if (!R.Ok())
              return Fail(nfFailed, "The browser could not test " + Text + ": " + R.Message);
            if (auto D = R.Result.find("exceptionDetails"); D != R.Result.end()) {
              if (D->value("exception", json::object()).value("className", "") == "SyntaxError")
                return Fail(nfFailed, "Neither a CSS selector nor a JavaScript expression: " +
                                          Text + " (" + Thrown(*D) + ")");
              // What it names may not be there yet.
              return PrepareLater(WaitPollMs, ppWaitFor);
            }
            const json Value = R.Result.value("result", json::object()).value("value", json());
            if (!Expression && Value.is_null()) {
              P.WaitKind = TPage::wkExpression;
              return PreparePage(ppWaitFor);
            }
            if (!Expression) P.WaitKind = TPage::wkSelector;
            if (Value != true) return PrepareLater(WaitPollMs, ppWaitFor);
            P.Waiting = false;
            PrepareStep(psSnapshot);
          });
      return;
    }
    case ppClip:
      PageCommand(
          "Runtime.evaluate", {{"expression", BoxScript(FSelector)}, {"returnByValue", true}},
          [this, Gone](TPage& P, const TDevToolsReply& R) {
            if (Gone(R)) return;
            std::string Why = Problem(R, "The element could not be found");
            if (!Why.empty()) return Fail(nfFailed, Why);
            const json Box = R.Result.value("result", json::object()).value("value", json());
            if (!Box.is_object()) return Fail(nfFailed, "The element could not be found");
            const double Side = MaxPictureSide / FScaleFactor;
            P.Clip = {{"x", Box.value("x", 0.0)},
                      {"y", Box.value("y", 0.0)},
                      {"width", std::min(Box.value("width", 1.0), Side)},
                      {"height", std::min(Box.value("height", 1.0), Side)},
                      {"scale", 1}};
            Shoot(P.Clip, !Box.value("inside", false));
          });
      return;
    default:
      return;
  }
}

}  // namespace host
