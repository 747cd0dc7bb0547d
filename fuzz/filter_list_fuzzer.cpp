// A filter list through TFilterSet: the input is the list, and its lines
// also serve as addresses to ask about. What must hold: reading never
// raises; every question is answered; the style sheet is only whole rules
// "selectors {display:none !important}", so no selector reaches beyond its
// rule; a page let through by $document is refused nothing, and one with
// $elemhide gets no style sheet, whatever else the list says.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/browser/filter_list.h"

using snapkit::fuzz::Check;

namespace {

void CheckCss(const std::string& Css) {
  constexpr std::string_view kTail = " {display:none !important}";
  std::string_view rest(Css);
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    Check(end != std::string_view::npos, "every style rule ends its line");
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    Check(line.size() > kTail.size() && line.substr(line.size() - kTail.size()) == kTail,
          "every style line is one hiding rule: " + std::string(line));
    std::string_view selectors = line.substr(0, line.size() - kTail.size());
    Check(selectors.find_first_of("{}\n") == std::string_view::npos,
          "selectors hold no braces: " + std::string(line));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  std::vector<std::string> urls = {"http://page.test/", "https://ads.example.com/banner.gif?x=1"};
  for (std::size_t begin = 0; begin < Text.size() && urls.size() < 8;) {
    std::size_t end = Text.find('\n', begin);
    if (end == std::string::npos) end = Text.size();
    std::string line = Text.substr(begin, end - begin);
    begin = end + 1;
    std::size_t cut = line.find_first_of("$#");
    urls.push_back("http://" + line.substr(0, cut));
  }

  host::TFilterSet set;
  set.AddList(Text);
  for (const std::string& url : urls)
    for (int type = host::rtOther; type <= host::rtPopup; ++type)
      set.Blocks(url, "http://page.test/", host::TResourceType(type));
  CheckCss(set.HidingCss("http://page.test/"));
  for (const std::string& url : urls) CheckCss(set.HidingCss(url));

  host::TFilterSet allowed;
  allowed.AddList(Text);
  allowed.AddList("@@||page.test^$document\n@@||other.test^$elemhide\n");
  for (const std::string& url : urls)
    for (int type = host::rtOther; type <= host::rtPopup; ++type)
      Check(!allowed.Blocks(url, "http://page.test/", host::TResourceType(type)),
            "a page let through is refused nothing: " + url);
  Check(allowed.HidingCss("http://page.test/").empty(), "a page let through hides nothing");
  Check(allowed.HidingCss("https://www.other.test/x").empty(), "$elemhide hides nothing");
  return 0;
}
