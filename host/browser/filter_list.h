#pragma once
// Ad and tracker filter lists in Adblock Plus syntax (EasyList, EasyPrivacy):
// which requests to refuse and which elements to hide. A set is parsed once
// and then answers from any thread.
//
// Read: network rules with ||host^, |start, end|, * and ^, @@ exceptions,
// the options third-party (3p, first-party, 1p), the request types,
// domain=, match-case, important, and on exceptions document, elemhide and
// generichide; element hiding ## with and without domains ("x.*" included)
// and #@# exceptions. Skipped whole, and counted: regular-expression rules,
// rules with any other option (redirect, csp, removeparam, badfilter...),
// and the extended hiding syntaxes (#?#, #$#, #%#, ##+js, ##^ and selectors
// with :has-text and its kind), which plain CSS cannot express.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/system/exception.h"

namespace host {

HOST_EXCEPTION(EFilterListError, Exception);

enum TResourceType : std::uint8_t {
  rtOther,
  rtScript,
  rtImage,
  rtStylesheet,
  rtXmlHttpRequest,
  rtSubdocument,
  rtFont,
  rtMedia,
  rtPing,
  rtObject,
  rtWebSocket,
  rtDocument,  // the page itself (the main frame)
  rtPopup,
};

// The type for a DevTools Network/Fetch resourceType ("Script", "XHR",
// "Document"...); a document outside the main frame is a subdocument.
TResourceType ResourceTypeFromDevTools(std::string_view Type, bool MainFrame = false);

struct TFilterStats {
  std::size_t Blocking = 0;          // network rules that refuse
  std::size_t Exceptions = 0;        // @@ rules
  std::size_t Hiding = 0;            // ## selectors
  std::size_t HidingExceptions = 0;  // #@# selectors
  std::size_t SkippedRegex = 0;
  std::size_t SkippedOptions = 0;  // an option this reader does not apply
  std::size_t SkippedHiding = 0;   // extended or unsafe selectors
};

class TFilterSet {
 public:
  TFilterSet();
  ~TFilterSet();
  TFilterSet(TFilterSet&&) noexcept;
  TFilterSet& operator=(TFilterSet&&) noexcept;

  // Adds the rules of one list; the set keeps the text.
  void AddList(std::string Text);
  // Raises EFilterListError when the file cannot be read.
  void AddListFile(const std::string& Path);

  // Whether a request for Url made by the page at DocumentUrl is refused.
  // DocumentUrl decides domain= and third-party; "" for none.
  bool Blocks(std::string_view Url, std::string_view DocumentUrl, TResourceType Type) const;

  // The style sheet that hides the page's ad elements: rules of the form
  // "sel1, sel2 {display:none !important}", one per line, a bounded number of
  // selectors each so one selector the browser refuses loses only its own line.
  // "" when nothing applies.
  std::string HidingCss(std::string_view PageUrl) const;

  const TFilterStats& Stats() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
};

// The set made of these list files, parsed on first use and then kept for
// the process, so each page that asks pays nothing. Raises EFilterListError
// when a file cannot be read (and keeps nothing then).
std::shared_ptr<const TFilterSet> SharedFilterSet(const std::vector<std::string>& Paths);

// The file of a list by name ("easylist", "easyprivacy"): NAME.txt in the
// folder SNAPKIT_FILTER_LISTS names if set, else Debian's copy from the
// package webext-ublock-origin-chromium (or -firefox). "" when absent.
std::string DefaultFilterListPath(std::string_view Name);

}  // namespace host
