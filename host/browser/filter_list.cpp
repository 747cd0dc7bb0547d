#include "host/browser/filter_list.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <unordered_set>
#include <vector>

#include "host/browser/filter_hiding.h"
#include "host/browser/filter_index.h"

namespace host {

using namespace filter;

namespace {

constexpr std::uint32_t Bit(TResourceType T) { return 1u << T; }
constexpr std::uint32_t kRequestTypes = (1u << rtDocument) - 1;  // rtOther..rtWebSocket
constexpr std::uint32_t kPageTypes = Bit(rtDocument) | tbElemHide | tbGenericHide;

std::uint32_t TypeBit(std::string_view Name) {
  struct TName {
    std::string_view Name;
    std::uint32_t Bits;
  };
  static constexpr TName kNames[] = {
      {"script", Bit(rtScript)},
      {"image", Bit(rtImage)},
      {"stylesheet", Bit(rtStylesheet)},
      {"css", Bit(rtStylesheet)},
      {"xmlhttprequest", Bit(rtXmlHttpRequest)},
      {"xhr", Bit(rtXmlHttpRequest)},
      {"subdocument", Bit(rtSubdocument)},
      {"frame", Bit(rtSubdocument)},
      {"font", Bit(rtFont)},
      {"media", Bit(rtMedia)},
      {"ping", Bit(rtPing)},
      {"beacon", Bit(rtPing)},
      {"other", Bit(rtOther)},
      {"object", Bit(rtObject)},
      {"object-subrequest", Bit(rtObject)},
      {"websocket", Bit(rtWebSocket)},
      {"document", Bit(rtDocument)},
      {"doc", Bit(rtDocument)},
      {"popup", Bit(rtPopup)},
      {"elemhide", tbElemHide},
      {"ehide", tbElemHide},
      {"generichide", tbGenericHide},
      {"ghide", tbGenericHide},
  };
  for (const TName& n : kNames)
    if (n.Name == Name) return n.Bits;
  return 0;
}

std::string_view Trim(std::string_view S) {
  while (!S.empty() && (S.back() == '\r' || S.back() == ' ' || S.back() == '\t'))
    S.remove_suffix(1);
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  return S;
}

// Where a hiding rule's marker starts ("##", "#@#", "#?#"...), with its
// length; npos when the line is a network rule. A network rule may hold '#'
// too, but never before it anything a domain list cannot hold.
std::size_t HidingMarker(std::string_view Line, std::size_t& Length) {
  for (std::size_t pos = Line.find('#'); pos != std::string_view::npos;
       pos = Line.find('#', pos + 1)) {
    std::string_view rest = Line.substr(pos);
    Length = 0;
    static constexpr std::string_view kMarkers[] = {"##",  "#@#",  "#?#", "#@?#",
                                                    "#$#", "#@$#", "#%#", "#@%#"};
    for (std::string_view m : kMarkers)
      if (rest.substr(0, m.size()) == m) {
        Length = m.size();
        break;
      }
    if (!Length) continue;
    if (Line.substr(0, pos).find_first_of("/|^$=?&@ ") != std::string_view::npos)
      return std::string_view::npos;
    return pos;
  }
  return std::string_view::npos;
}

}  // namespace

struct TFilterSet::TImpl {
  // Each list twice, as given and in lower case; rules point into both.
  std::vector<std::unique_ptr<const std::string>> Texts;
  TRuleIndex Blocking, Important, Exceptions, PageExceptions;
  THidingRules Hiding;
  TFilterStats Stats;
  std::mutex Lock;
  std::atomic<bool> Built{false};

  void Parse(std::string_view Original, std::string_view Lower);
  void ParseNetwork(std::string_view Original, std::string_view Lower);
  void EnsureBuilt() {
    if (Built.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> guard(Lock);
    if (Built.load(std::memory_order_relaxed)) return;
    Blocking.Build();
    Important.Build();
    Exceptions.Build();
    PageExceptions.Build();
    Hiding.Build();
    Built.store(true, std::memory_order_release);
  }
};

void TFilterSet::TImpl::Parse(std::string_view Original, std::string_view Lower) {
  for (std::size_t begin = 0; begin < Lower.size();) {
    std::size_t end = Lower.find('\n', begin);
    if (end == std::string_view::npos) end = Lower.size();
    std::string_view low = Lower.substr(begin, end - begin);
    std::string_view orig = Original.substr(begin, end - begin);
    begin = end + 1;
    std::string_view t = Trim(low);
    if (t.empty() || t[0] == '!' || t[0] == '[') continue;
    std::size_t lead = std::size_t(t.data() - low.data());
    orig = orig.substr(lead, t.size());
    low = t;
    std::size_t markerLength = 0;
    std::size_t marker = HidingMarker(low, markerLength);
    if (marker == std::string_view::npos) {
      ParseNetwork(orig, low);
      continue;
    }
    std::string_view kind = low.substr(marker, markerLength);
    std::string_view selector = Trim(orig.substr(marker + markerLength));
    std::string_view domains = low.substr(0, marker);
    if (kind == "##" || kind == "#@#") {
      bool exception = kind == "#@#";
      if (Hiding.Add(domains, selector, exception))
        ++(exception ? Stats.HidingExceptions : Stats.Hiding);
      else
        ++Stats.SkippedHiding;
    } else {
      ++Stats.SkippedHiding;
    }
  }
}

void TFilterSet::TImpl::ParseNetwork(std::string_view Original, std::string_view Lower) {
  bool exception = Lower.substr(0, 2) == "@@";
  std::size_t skip = exception ? 2 : 0;
  std::string_view pattern = Lower.substr(skip);
  if (pattern.size() >= 2 && pattern[0] == '/' &&
      (pattern.back() == '/' || pattern.find("/$") != std::string_view::npos)) {
    ++Stats.SkippedRegex;
    return;
  }
  TNetRule rule;
  std::uint32_t types = 0, negated = 0;
  bool important = false;
  std::size_t dollar = pattern.rfind('$');
  if (dollar != std::string_view::npos) {
    std::string_view options = pattern.substr(dollar + 1);
    pattern = pattern.substr(0, dollar);
    while (!options.empty()) {
      std::size_t comma = options.find(',');
      std::string_view o = options.substr(0, comma);
      options = comma == std::string_view::npos ? std::string_view() : options.substr(comma + 1);
      bool neg = !o.empty() && o[0] == '~';
      std::string_view name = neg ? o.substr(1) : o;
      if (name == "third-party" || name == "3p") {
        rule.Party = neg ? ptFirst : ptThird;
      } else if (name == "first-party" || name == "1p") {
        rule.Party = neg ? ptThird : ptFirst;
      } else if (name == "match-case" && !neg) {
        rule.MatchCase = true;
      } else if (name == "important" && !neg) {
        important = true;
      } else if (name.substr(0, 7) == "domain=" && !neg && name.size() > 7) {
        rule.Domains = name.substr(7);
      } else if (std::uint32_t bit = TypeBit(name)) {
        (neg ? negated : types) |= bit;
      } else {
        ++Stats.SkippedOptions;
        return;
      }
    }
  }
  rule.Types = (types ? types : kRequestTypes) & ~negated;
  if (!exception) rule.Types &= ~(tbElemHide | tbGenericHide);  // exceptions' options only
  if (!rule.Types) {
    ++Stats.SkippedOptions;
    return;
  }
  if (pattern.substr(0, 2) == "||") {
    rule.Anchors |= anHost;
    pattern.remove_prefix(2);
  } else if (pattern.substr(0, 1) == "|") {
    rule.Anchors |= anStart;
    pattern.remove_prefix(1);
  }
  if (!pattern.empty() && pattern.back() == '|') {
    rule.Anchors |= anEnd;
    pattern.remove_suffix(1);
  }
  // Stars at either end only undo the anchor there.
  if (!pattern.empty() && pattern.front() == '*') {
    rule.Anchors &= ~(anHost | anStart);
    while (!pattern.empty() && pattern.front() == '*') pattern.remove_prefix(1);
  }
  if (!pattern.empty() && pattern.back() == '*') {
    rule.Anchors &= ~anEnd;
    while (!pattern.empty() && pattern.back() == '*') pattern.remove_suffix(1);
  }
  rule.Pattern = rule.MatchCase
                     ? Original.substr(std::size_t(pattern.data() - Lower.data()), pattern.size())
                     : pattern;
  if (exception) {
    ++Stats.Exceptions;
    if (rule.Types & kPageTypes) PageExceptions.Add(rule);
    if (rule.Types & kRequestTypes) Exceptions.Add(rule);
  } else {
    ++Stats.Blocking;
    (important ? Important : Blocking).Add(rule);
  }
}

TFilterSet::TFilterSet() : F(std::make_unique<TImpl>()) {}
TFilterSet::~TFilterSet() = default;
TFilterSet::TFilterSet(TFilterSet&&) noexcept = default;
TFilterSet& TFilterSet::operator=(TFilterSet&&) noexcept = default;

void TFilterSet::AddList(std::string Text) {
  std::lock_guard<std::mutex> guard(F->Lock);
  auto original = std::make_unique<const std::string>(std::move(Text));
  auto lower = std::make_unique<const std::string>(LowerCase(*original));
  F->Parse(*original, *lower);
  F->Texts.push_back(std::move(original));
  F->Texts.push_back(std::move(lower));
  F->Built.store(false, std::memory_order_release);
}

void TFilterSet::AddListFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary | std::ios::ate);
  if (!in) throw EFilterListError("Cannot open the filter list " + Path);
  std::streamoff size = in.tellg();
  std::string text(size > 0 ? std::size_t(size) : 0, '\0');
  in.seekg(0);
  if (!in.read(text.data(), std::streamsize(text.size())))
    throw EFilterListError("Cannot read the filter list " + Path);
  AddList(std::move(text));
}

bool TFilterSet::Blocks(std::string_view Url, std::string_view DocumentUrl,
                        TResourceType Type) const {
  F->EnsureBuilt();
  TRequest request(Url, DocumentUrl);
  std::uint32_t bit = Bit(Type);
  const TNetRule* important = F->Important.Find(request, bit);
  if (!important && !F->Blocking.Find(request, bit)) return false;
  // A page let through whole ($document) is let through for all it loads.
  if (!DocumentUrl.empty()) {
    TRequest page(DocumentUrl, DocumentUrl);
    if (F->PageExceptions.Find(page, Bit(rtDocument))) return false;
  }
  if (important) return true;
  return !F->Exceptions.Find(request, bit);
}

std::string TFilterSet::HidingCss(std::string_view PageUrl) const {
  F->EnsureBuilt();
  TRequest page(PageUrl, PageUrl);
  if (F->PageExceptions.Find(page, Bit(rtDocument) | tbElemHide)) return std::string();
  bool generic = !F->PageExceptions.Find(page, tbGenericHide);
  return F->Hiding.Css(page.Host(), generic);
}

const TFilterStats& TFilterSet::Stats() const { return F->Stats; }

TResourceType ResourceTypeFromDevTools(std::string_view Type, bool MainFrame) {
  if (Type == "Document") return MainFrame ? rtDocument : rtSubdocument;
  if (Type == "Script") return rtScript;
  if (Type == "Image") return rtImage;
  if (Type == "Stylesheet") return rtStylesheet;
  if (Type == "XHR" || Type == "Fetch" || Type == "EventSource") return rtXmlHttpRequest;
  if (Type == "Font") return rtFont;
  if (Type == "Media") return rtMedia;
  if (Type == "Ping" || Type == "CSPViolationReport") return rtPing;
  if (Type == "WebSocket") return rtWebSocket;
  return rtOther;
}

std::shared_ptr<const TFilterSet> SharedFilterSet(const std::vector<std::string>& Paths) {
  static std::mutex lock;
  static std::map<std::vector<std::string>, std::shared_ptr<const TFilterSet>> sets;
  std::lock_guard<std::mutex> guard(lock);
  std::shared_ptr<const TFilterSet>& entry = sets[Paths];
  if (!entry) {
    auto set = std::make_shared<TFilterSet>();
    try {
      for (const std::string& path : Paths) set->AddListFile(path);
    } catch (...) {
      sets.erase(Paths);
      throw;
    }
    set->Blocks("", "", rtOther);  // builds the index now, not on a page's first request
    entry = std::move(set);
  }
  return entry;
}

std::string DefaultFilterListPath(std::string_view Name) {
  if (Name.empty() ||
      Name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_") != std::string_view::npos)
    return std::string();
  auto exists = [](const std::string& path) { return std::ifstream(path).good(); };
  std::string file = std::string(Name) + ".txt";
  if (const char* dir = std::getenv("SNAPKIT_FILTER_LISTS"); dir && *dir) {
    std::string path = std::string(dir) + "/" + file;
    return exists(path) ? path : std::string();
  }
  for (const char* dir :
       {"/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist",
        "/usr/share/webext/ublock-origin/assets/thirdparties/easylist"}) {
    std::string path = std::string(dir) + "/" + file;
    if (exists(path)) return path;
  }
  return std::string();
}

}  // namespace host
