#include "host/browser/filter_index.h"

#include <algorithm>
#include <cstring>

#include "host/browser/public_suffix.h"

namespace host::filter {

std::string LowerCase(std::string_view S) {
  std::string out(S);
  // Eight bytes at a time: each ASCII capital gets 0x20 added, the rest
  // (UTF-8 bytes included) stay as they are.
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  std::size_t i = 0;
  for (; i + 8 <= out.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, out.data() + i, 8);
    std::uint64_t low = w & ~kHigh;
    std::uint64_t aboveZ = low + (0x7f - 'Z') * kOnes;
    std::uint64_t fromA = low + (0x80 - 'A') * kOnes;
    std::uint64_t upper = ~w & (fromA ^ aboveZ) & kHigh;
    w |= upper >> 2;
    std::memcpy(out.data() + i, &w, 8);
  }
  for (; i < out.size(); ++i)
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = char(out[i] + 32);
  return out;
}

void FindHost(std::string_view Url, std::size_t& Begin, std::size_t& End) {
  Begin = End = 0;
  std::size_t scheme = Url.find("://");
  if (scheme == std::string_view::npos) return;
  std::size_t b = scheme + 3;
  std::size_t e = Url.find_first_of("/?#", b);
  if (e == std::string_view::npos) e = Url.size();
  std::size_t at = Url.substr(b, e - b).rfind('@');
  if (at != std::string_view::npos) b += at + 1;
  std::size_t colon = e;
  if (b < e && Url[b] == '[') {
    std::size_t close = Url.substr(b, e - b).find(']');
    if (close != std::string_view::npos) colon = b + close + 1;
  } else {
    std::size_t c = Url.substr(b, e - b).find(':');
    if (c != std::string_view::npos) colon = b + c;
  }
  Begin = b;
  End = colon;
}

bool IsTokenChar(char C) { return (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '%'; }

namespace {

constexpr std::uint64_t kHashStart = 1469598103934665603ull;

constexpr std::uint64_t HashStep(std::uint64_t H, char C) {
  return (H ^ std::uint8_t(C)) * 1099511628211ull;
}

// FNV's low bits mix poorly, and the tables index by them.
constexpr std::uint64_t HashEnd(std::uint64_t H) {
  H ^= H >> 33;
  H *= 0xff51afd7ed558ccdull;
  H ^= H >> 33;
  return H == 0 ? 1 : H;
}

}  // namespace

std::uint64_t TokenHash(std::string_view Token) {
  std::uint64_t h = kHashStart;
  for (char c : Token) h = HashStep(h, c >= 'A' && c <= 'Z' ? char(c + 32) : c);
  return HashEnd(h);
}

TRequest::TRequest(std::string_view Url, std::string_view DocumentUrl)
    : Lower(LowerCase(Url)), Original(Url) {
  FindHost(Lower, HostBegin, HostEnd);
  std::size_t b, e;
  FindHost(DocumentUrl, b, e);
  DocumentHost = LowerCase(DocumentUrl.substr(b, e - b));
  Tokens.reserve(24);
  for (std::size_t i = 0; i < Lower.size();) {
    if (!IsTokenChar(Lower[i])) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < Lower.size() && IsTokenChar(Lower[j])) ++j;
    Tokens.push_back(TokenHash(std::string_view(Lower).substr(i, j - i)));
    i = j;
  }
}

bool TRequest::IsThirdParty() const {
  if (!ThirdParty) {
    ThirdParty =
        !DocumentHost.empty() && RegistrableDomain(Host()) != RegistrableDomain(DocumentHost);
  }
  return *ThirdParty;
}

namespace {

// Whether Host is Domain or under it ("a.b.com" under "b.com"); "x.*"
// stands for x under any public suffix.
bool HostUnder(std::string_view Host, std::string_view Domain) {
  if (Domain.size() > 2 && Domain.substr(Domain.size() - 2) == ".*") {
    std::string_view suffix = PublicSuffix(Host);
    if (suffix.size() >= Host.size()) return false;
    return HostUnder(Host.substr(0, Host.size() - suffix.size() - 1),
                     Domain.substr(0, Domain.size() - 2));
  }
  if (Host.size() < Domain.size() || Domain.empty()) return false;
  if (Host.substr(Host.size() - Domain.size()) != Domain) return false;
  return Host.size() == Domain.size() || Host[Host.size() - Domain.size() - 1] == '.';
}

// Separator: anything but a letter, a digit, or _ - . %
bool IsSeparator(char C) {
  return !(IsTokenChar(C) || (C >= 'A' && C <= 'Z') || C == '_' || C == '-' || C == '.');
}

// Glob match of P (with '*' and '^') against U from Start; LeadingStar lets
// the match begin anywhere after Start. Greedy with one backtrack point,
// which suffices since every other pattern item is one character.
bool GlobAt(std::string_view P, std::string_view U, std::size_t Start, bool LeadingStar,
            bool AnchorEnd) {
  std::size_t pi = 0, ui = Start;
  std::size_t starP = LeadingStar ? 0 : std::string_view::npos, starU = Start;
  // After a star, skip straight to the next place its following literal occurs.
  auto seek = [&]() {
    if (starP < P.size() && P[starP] != '^' && P[starP] != '*') {
      std::size_t next = U.find(P[starP], starU);
      if (next == std::string_view::npos) return false;
      starU = next;
    }
    ui = starU;
    pi = starP;
    return true;
  };
  if (LeadingStar && !seek()) return false;
  while (true) {
    if (pi == P.size()) {
      if (!AnchorEnd || ui == U.size()) return true;
    } else if (P[pi] == '*') {
      starP = ++pi;
      starU = ui;
      if (!seek()) return false;
      continue;
    } else if (P[pi] == '^') {
      if (ui < U.size() && IsSeparator(U[ui])) {
        ++pi;
        ++ui;
        continue;
      }
      if (ui == U.size()) {  // the separator also matches the end
        ++pi;
        continue;
      }
    } else if (ui < U.size() && P[pi] == U[ui]) {
      ++pi;
      ++ui;
      continue;
    }
    if (starP == std::string_view::npos || starU >= U.size()) return false;
    ++starU;
    if (!seek()) return false;
  }
}

}  // namespace

bool DomainListApplies(std::string_view List, char Separator, std::string_view Host) {
  bool hasInclude = false;
  std::size_t bestLength = 0;
  bool bestInclude = false;
  while (!List.empty()) {
    std::size_t end = List.find(Separator);
    std::string_view entry = List.substr(0, end);
    List = end == std::string_view::npos ? std::string_view() : List.substr(end + 1);
    bool negated = !entry.empty() && entry[0] == '~';
    if (negated) entry.remove_prefix(1);
    if (entry.empty()) continue;
    if (!negated) hasInclude = true;
    if (entry.size() > bestLength && HostUnder(Host, entry)) {
      bestLength = entry.size();
      bestInclude = !negated;
    }
  }
  return bestLength ? bestInclude : !hasInclude;
}

bool PatternMatches(const TNetRule& Rule, const TRequest& Request) {
  std::string_view url = Rule.MatchCase ? Request.Original : std::string_view(Request.Lower);
  bool end = Rule.Anchors & anEnd;
  if (Rule.Anchors & anHost) {
    // At the host's start or just after one of its dots.
    if (Request.HostEnd == Request.HostBegin) return false;
    for (std::size_t i = Request.HostBegin; i < Request.HostEnd; ++i)
      if ((i == Request.HostBegin || url[i - 1] == '.') &&
          (Rule.Pattern.empty() || Rule.Pattern[0] == url[i] || Rule.Pattern[0] == '^') &&
          GlobAt(Rule.Pattern, url, i, false, end))
        return true;
    return false;
  }
  return GlobAt(Rule.Pattern, url, 0, !(Rule.Anchors & anStart), end);
}

namespace {

// Calls Visit(text, hash) with each token that any URL the pattern matches
// must hold whole: a run of token characters with no '*' against it and, at
// either end of the pattern, an anchor there. One pass, hashing as it goes.
template <class F>
void ForEachToken(std::string_view P, std::uint8_t Anchors, F&& Visit) {
  std::size_t n = P.size(), i = 0;
  while (i < n) {
    char c = P[i];
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
    if (!IsTokenChar(c)) {
      ++i;
      continue;
    }
    std::size_t j = i;
    std::uint64_t h = kHashStart;
    for (; j < n; ++j) {
      c = P[j];
      if (c >= 'A' && c <= 'Z') c = char(c + 32);
      if (!IsTokenChar(c)) break;
      h = HashStep(h, c);
    }
    bool startOk = i == 0 ? (Anchors & (anStart | anHost)) != 0 : P[i - 1] != '*';
    bool endOk = j == n ? (Anchors & anEnd) != 0 : P[j] != '*';
    if (startOk && endOk) Visit(P.substr(i, j - i), HashEnd(h));
    i = j;
  }
}

// About how many rules hold each token, so each rule is filed under its
// rarest. Counters are shared by hash, never keyed: a collision only
// overstates a count, and the table stays small enough for the cache.
class TTokenCounts {
 public:
  explicit TTokenCounts(std::size_t Rules) {
    while (FBits < 17 && (std::size_t(1) << FBits) < Rules * 4) ++FBits;
    FCounts.assign(std::size_t(1) << FBits, 0);
  }
  void Bump(std::uint64_t Key) {
    std::uint8_t& c = FCounts[Key >> (64 - FBits)];
    if (c < 255) ++c;
  }
  std::uint32_t Get(std::uint64_t Key) const { return FCounts[Key >> (64 - FBits)]; }

 private:
  int FBits = 8;
  std::vector<std::uint8_t> FCounts;
};

// Tokens in most URLs, worth filing a rule under only when it has no other.
bool IsCommonToken(std::string_view T) {
  switch (T.size()) {
    case 2:
      return T == "js";
    case 3:
      return T == "www" || T == "com";
    case 4:
      return T == "http" || T == "html";
    case 5:
      return T == "https";
    default:
      return false;
  }
}

}  // namespace

std::uint64_t PatternToken(std::string_view P, std::uint8_t Anchors) {
  std::uint64_t best = 0;
  int bestScore = 0;
  ForEachToken(P, Anchors, [&](std::string_view t, std::uint64_t h) {
    int score = IsCommonToken(t) ? 1 : int(t.size()) * 2;
    if (score > bestScore) {
      bestScore = score;
      best = h;
    }
  });
  return best;
}

void TKeyIndex::Build() {
  std::size_t size = 16;
  while (size < FPairs.size() * 2) size *= 2;
  FKeys.assign(size, 0);
  FBegin.assign(size, 0);
  FCount.assign(size, 0);
  std::size_t mask = size - 1;
  std::vector<std::uint32_t> slot(FPairs.size());
  for (std::size_t p = 0; p < FPairs.size(); ++p) {
    std::size_t i = FPairs[p].Key & mask;
    while (FKeys[i] != 0 && FKeys[i] != FPairs[p].Key) i = (i + 1) & mask;
    FKeys[i] = FPairs[p].Key;
    ++FCount[i];
    slot[p] = std::uint32_t(i);
  }
  std::uint32_t at = 0;
  for (std::size_t i = 0; i < size; ++i) {
    FBegin[i] = at;
    at += FCount[i];
  }
  FOrder.assign(FPairs.size(), 0);
  std::vector<std::uint32_t> fill(FBegin);
  for (std::size_t p = 0; p < FPairs.size(); ++p) FOrder[fill[slot[p]]++] = FPairs[p].Value;
  FPairs.clear();
  FPairs.shrink_to_fit();
}

void TRuleIndex::Build() {
  FByToken = TKeyIndex();
  FNoToken.clear();
  // Tokens such as "ads" or "analytics" stand in hundreds of rules; a rule
  // filed under one would be tried for every URL that holds it.
  TTokenCounts counts(FRules.size());
  std::vector<std::uint64_t> tokens;
  tokens.reserve(FRules.size() * 3);
  std::vector<std::uint32_t> firstToken(FRules.size() + 1);
  for (std::size_t n = 0; n < FRules.size(); ++n) {
    firstToken[n] = std::uint32_t(tokens.size());
    ForEachToken(FRules[n].Pattern, FRules[n].Anchors, [&](std::string_view t, std::uint64_t h) {
      if (!IsCommonToken(t)) {
        tokens.push_back(h);
        counts.Bump(h);
      }
    });
  }
  firstToken[FRules.size()] = std::uint32_t(tokens.size());
  for (std::size_t n = 0; n < FRules.size(); ++n) {
    std::uint64_t best = 0;
    std::uint32_t bestCount = 0;
    for (std::uint32_t k = firstToken[n]; k < firstToken[n + 1]; ++k) {
      std::uint32_t c = counts.Get(tokens[k]);
      if (!best || c < bestCount) {
        best = tokens[k];
        bestCount = c;
      }
    }
    // Only common tokens: the longest of those still beats none.
    if (!best) best = PatternToken(FRules[n].Pattern, FRules[n].Anchors);
    if (best)
      FByToken.Add(best, std::uint32_t(n));
    else
      FNoToken.push_back(std::uint32_t(n));
  }
  FByToken.Build();
}

const TNetRule* TRuleIndex::Find(const TRequest& Request, std::uint32_t TypeMask) const {
  const TNetRule* found = nullptr;
  auto attempt = [&](std::uint32_t n) {
    if (found) return;
    const TNetRule& r = FRules[n];
    if (!(r.Types & TypeMask)) return;
    if (r.Party == ptThird && !Request.IsThirdParty()) return;
    if (r.Party == ptFirst && Request.IsThirdParty()) return;
    if (!PatternMatches(r, Request)) return;
    if (!r.Domains.empty() && !DomainListApplies(r.Domains, '|', Request.DocumentHost)) return;
    found = &r;
  };
  for (std::uint64_t t : Request.Tokens) {
    FByToken.ForEach(t, attempt);
    if (found) return found;
  }
  for (std::uint32_t n : FNoToken) {
    attempt(n);
    if (found) break;
  }
  return found;
}

}  // namespace host::filter
