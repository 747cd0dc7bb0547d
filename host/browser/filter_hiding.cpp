#include "host/browser/filter_hiding.h"

#include <algorithm>

#include "host/browser/public_suffix.h"

namespace host::filter {
namespace {

// Selectors per style rule: one the browser refuses takes its rule along.
constexpr std::size_t kChunk = 100;

void AppendCss(std::string& Out, const std::vector<std::string_view>& Selectors) {
  for (std::size_t i = 0; i < Selectors.size(); i += kChunk) {
    std::size_t end = std::min(Selectors.size(), i + kChunk);
    for (std::size_t k = i; k < end; ++k) {
      if (k > i) Out += ", ";
      Out += Selectors[k];
    }
    Out += " {display:none !important}\n";
  }
}

template <class F>
void ForEachDomain(std::string_view List, F&& Visit) {
  while (!List.empty()) {
    std::size_t comma = List.find(',');
    Visit(List.substr(0, comma));
    List = comma == std::string_view::npos ? std::string_view() : List.substr(comma + 1);
  }
}

// The keys a page's host is found under: itself and each parent domain,
// and "x.*" for each of those above its public suffix.
std::vector<std::uint64_t> HostKeys(std::string_view Host) {
  std::vector<std::uint64_t> keys;
  for (std::string_view s = Host; !s.empty();) {
    keys.push_back(TokenHash(s));
    std::size_t dot = s.find('.');
    s = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
  }
  std::string_view suffix = PublicSuffix(Host);
  if (suffix.size() < Host.size()) {
    std::string_view entity = Host.substr(0, Host.size() - suffix.size() - 1);
    for (std::string_view s = entity; !s.empty();) {
      keys.push_back(TokenHash(std::string(s) + ".*"));
      std::size_t dot = s.find('.');
      s = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
    }
  }
  return keys;
}

}  // namespace

bool IsPlainSelector(std::string_view S) {
  if (S.empty() || S.back() == '\\') return false;
  if (S[0] == '+' || S[0] == '^') return false;  // scriptlets, HTML filters
  if (S.find_first_of("{}") != std::string_view::npos) return false;
  if (S.find("/*") != std::string_view::npos) return false;
  static constexpr std::string_view kExtended[] = {
      ":has-text(",        ":-abp-",         ":contains(",
      ":xpath(",           ":upward(",       ":remove(",
      ":style(",           ":matches-css",   ":matches-path(",
      ":matches-attr(",    ":matches-prop(", ":matches-media(",
      ":min-text-length(", ":watch-attr(",   ":nth-ancestor(",
      ":others(",          ":if(",           ":if-not(",
      ":remove-attr(",     ":remove-class(", ":shadow(",
      ":spath(",           ":properties("};
  if (S.find(':') != std::string_view::npos)
    for (std::string_view e : kExtended)
      if (S.find(e) != std::string_view::npos) return false;
  int round = 0, square = 0;
  char quote = 0;
  for (std::size_t i = 0; i < S.size(); ++i) {
    char c = S[i];
    if (c == '\\') {
      ++i;
      continue;
    }
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'')
      quote = c;
    else if (c == '(')
      ++round;
    else if (c == ')')
      --round;
    else if (c == '[')
      ++square;
    else if (c == ']')
      --square;
    if (round < 0 || square < 0) return false;
  }
  return !quote && round == 0 && square == 0;
}

bool THidingRules::Add(std::string_view Domains, std::string_view Selector, bool Exception) {
  if (!IsPlainSelector(Selector)) return false;
  if (Domains.empty()) {
    if (Exception)
      FGenericExceptions.insert(Selector);
    else
      FGeneric.push_back(Selector);
    return true;
  }
  bool included = false;
  ForEachDomain(Domains, [&](std::string_view d) { included |= !d.empty() && d[0] != '~'; });
  if (Exception)
    FExceptions.push_back({Domains, Selector});
  else
    (included ? FSpecific : FExcluding).push_back({Domains, Selector});
  return true;
}

void THidingRules::Build() {
  FSpecificByDomain = TKeyIndex();
  FExceptionsByDomain = TKeyIndex();
  auto index = [](TKeyIndex& Index, const std::vector<TRule>& Rules) {
    for (std::size_t n = 0; n < Rules.size(); ++n)
      ForEachDomain(Rules[n].Domains, [&](std::string_view d) {
        if (!d.empty() && d[0] != '~') Index.Add(TokenHash(d), std::uint32_t(n));
      });
    Index.Build();
  };
  index(FSpecificByDomain, FSpecific);
  index(FExceptionsByDomain, FExceptions);
  FGenericKept.clear();
  for (std::string_view s : FGeneric)
    if (!FGenericExceptions.count(s)) FGenericKept.push_back(s);
  FGenericCss.clear();
  AppendCss(FGenericCss, FGenericKept);
}

std::string THidingRules::Css(std::string_view Host, bool Generic) const {
  std::vector<std::uint64_t> keys = HostKeys(Host);
  auto collect = [&](const TKeyIndex& Index, const std::vector<TRule>& Rules) {
    std::vector<std::uint32_t> found;
    for (std::uint64_t k : keys) Index.ForEach(k, [&](std::uint32_t n) { found.push_back(n); });
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<std::string_view> selectors;
    for (std::uint32_t n : found)
      if (DomainListApplies(Rules[n].Domains, ',', Host)) selectors.push_back(Rules[n].Selector);
    return selectors;
  };
  std::vector<std::string_view> excepted = collect(FExceptionsByDomain, FExceptions);
  std::unordered_set<std::string_view> except(excepted.begin(), excepted.end());

  std::vector<std::string_view> specific;
  for (std::string_view s : collect(FSpecificByDomain, FSpecific))
    if (!except.count(s)) specific.push_back(s);
  if (Generic)
    for (const TRule& r : FExcluding)
      if (!except.count(r.Selector) && DomainListApplies(r.Domains, ',', Host))
        specific.push_back(r.Selector);

  std::string css;
  if (Generic) {
    bool touched = false;
    for (std::string_view s : excepted)
      touched |= std::find(FGenericKept.begin(), FGenericKept.end(), s) != FGenericKept.end();
    if (!touched) {
      css = FGenericCss;
    } else {
      std::vector<std::string_view> kept;
      for (std::string_view s : FGenericKept)
        if (!except.count(s)) kept.push_back(s);
      AppendCss(css, kept);
    }
  }
  AppendCss(css, specific);
  return css;
}

}  // namespace host::filter
