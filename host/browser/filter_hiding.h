#pragma once
// Element-hiding rules of the filter lists: generic ones, ones for some
// domains, and the exceptions, turned into a page's style sheet.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "host/browser/filter_index.h"

namespace host::filter {

// Whether a selector can go into a style sheet as it stands: no extended
// pseudo-classes and nothing (braces, comments, open strings) that would
// reach beyond its own rule.
bool IsPlainSelector(std::string_view Selector);

class THidingRules {
 public:
  // Domains is the lower-case list before the marker ("a.com,~b.com" or "");
  // false, and nothing kept, for a selector that is not plain.
  bool Add(std::string_view Domains, std::string_view Selector, bool Exception);
  void Build();
  std::string Css(std::string_view Host, bool Generic) const;

 private:
  struct TRule {
    std::string_view Domains;
    std::string_view Selector;
  };
  std::vector<std::string_view> FGeneric;
  std::vector<TRule> FSpecific, FExcluding, FExceptions;
  std::unordered_set<std::string_view> FGenericExceptions;
  TKeyIndex FSpecificByDomain, FExceptionsByDomain;
  std::vector<std::string_view> FGenericKept;
  std::string FGenericCss;
};

}  // namespace host::filter
