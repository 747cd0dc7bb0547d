// The page's side of the capture: what each stage evaluates.

#include "host/browser/page_scripts.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace host {

using json = nlohmann::json;

namespace {

std::string Quoted(const std::string& Text) {
  return json(Text).dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

// Constructed style sheets are not subject to the page's content security
// policy, as a <style> element would be. The hidden elements get a sheet
// of their own, so that a style sheet left unclosed cannot swallow it.
std::string AddSheetScript(const std::string& Css) {
  return "(css => { const s = new CSSStyleSheet(); s.replaceSync(css);"
         "  document.adoptedStyleSheets = [...document.adoptedStyleSheets, s]; return ''; })(" +
         Quoted(Css) + ")";
}

std::string HideScript(const std::string& Hide) {
  return "(hide => { try { document.querySelector(hide); } catch (e) {"
         "    return 'Not a CSS selector: ' + hide; }"
         "  const s = new CSSStyleSheet(); s.replaceSync(hide + ' { display: none !important; }');"
         "  document.adoptedStyleSheets = [...document.adoptedStyleSheets, s]; return ''; })(" +
         Quoted(Hide) + ")";
}

std::string SelectorTest(const std::string& Selector) {
  return "(s => { try { return !!document.querySelector(s); } catch (e) { return null; } })(" +
         Quoted(Selector) + ")";
}

// Laying the page out first starts the loads of fonts that a script
// asked for a moment ago; a page whose fonts are all there pays no frame.
std::string FontsScript(int TimeoutMs) {
  return "(async () => { if (!document.fonts) return 'loaded';"
         "  void document.documentElement.offsetHeight;"
         "  if (document.fonts.status === 'loaded') return 'loaded';"
         "  let timer;"
         "  const late = new Promise(r => { timer = setTimeout(() => r('timed out'), " +
         std::to_string(std::max(TimeoutMs, 0)) +
         "); });"
         "  const done = await Promise.race([document.fonts.ready.then(() => 'loaded'), late]);"
         "  clearTimeout(timer); return done; })()";
}

// The names are lower case: late-bound names match without regard to case.
const char* const SnapshotScript =
    "(() => { const b = document.body;"
    "  return {title: document.title,"
    "          body: b ? {scrollwidth: b.scrollWidth, scrollheight: b.scrollHeight} : null}; })()";

std::string ImageWaitScript(int TimeoutMs, bool Eager) {
  // Two frames let layout and lazy loading react to a new viewport first.
  return std::string(
             "(async () => {"
             "  const frame = () => new Promise(r => requestAnimationFrame(() => r()));") +
         (Eager ? "  for (const i of document.querySelectorAll('img[loading=lazy]')) i.loading = "
                  "'eager';"
                : "") +
         "  await frame(); await frame();"
         "  const pending = [...document.images].filter(i => !i.complete).map(i =>"
         "    new Promise(r => { i.addEventListener('load', r, {once: true});"
         "                       i.addEventListener('error', r, {once: true}); }));"
         "  await Promise.race([Promise.all(pending),"
         "                      new Promise(r => setTimeout(r, " +
         std::to_string(std::max(TimeoutMs, 0)) +
         "))]);"
         "  await frame();"
         "})()";
}

// Animations that end are finished; endless ones (and videos) are set
// back to their start and paused. The caret blinks in the focused field
// alone; a sheet for every element would restyle the whole page. A frame
// first: what a page starts from a frame callback at load has begun by then.
const char* const StillScript =
    "(async () => { await new Promise(r => requestAnimationFrame(() => r()));"
    "  for (const a of document.getAnimations()) {"
    "    const end = a.effect ? a.effect.getComputedTiming().endTime : 0;"
    "    if (Number.isFinite(end)) { a.finish(); } else { a.pause(); a.currentTime = 0; } }"
    "  for (const v of document.querySelectorAll('video')) { v.pause(); v.currentTime = 0; }"
    "  const f = document.activeElement;"
    "  if (f && f !== document.body && f.style) f.style.setProperty('caret-color', 'transparent',"
    "                                                             'important');"
    "  return ''; })()";

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

}  // namespace host
