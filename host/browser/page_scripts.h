#pragma once
// The expressions a navigation evaluates in its page on the way to the
// picture, one function each, in the order the stages run them.

#include <string>

namespace host {

// Adds a constructed style sheet; yields "".
std::string AddSheetScript(const std::string& Css);
// Hides what Hide selects; yields a complaint when it is no selector.
std::string HideScript(const std::string& Hide);
// true or false; null when the text is no selector.
std::string SelectorTest(const std::string& Selector);
// Waits at most TimeoutMs for the web fonts in use; yields "loaded" or
// "timed out".
std::string FontsScript(int TimeoutMs);
// What late-bound reads will ask for: the title and the body's scroll size.
extern const char* const SnapshotScript;
// Waits at most TimeoutMs for the images still loading; Eager first loads
// the lazy ones wherever they are.
std::string ImageWaitScript(int TimeoutMs, bool Eager);
// After a frame, finishes or stops the page's animations and its videos
// (awaited).
extern const char* const StillScript;
// A complaint, or the box of what Selector selects in page coordinates
// and whether it lies within the viewport.
std::string BoxScript(const std::string& Selector);

}  // namespace host
