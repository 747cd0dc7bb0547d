#pragma once
// The inside of the filter set: network rules, their matching and the token
// index that finds the few rules worth trying for a request. Views point into
// the list texts that the filter set keeps.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host::filter {

// Bits of a rule's type mask beyond the request types (see TResourceType).
constexpr std::uint32_t tbElemHide = 1u << 20;
constexpr std::uint32_t tbGenericHide = 1u << 21;

enum : std::uint8_t { anStart = 1, anEnd = 2, anHost = 4 };
enum : std::uint8_t { ptAny = 0, ptFirst = 1, ptThird = 2 };

struct TNetRule {
  std::string_view Pattern;  // lower case unless MatchCase
  std::string_view Domains;  // the raw value of domain=, '|'-separated, lower case
  std::uint32_t Types = 0;
  std::uint8_t Anchors = 0;
  std::uint8_t Party = ptAny;
  bool MatchCase = false;
};

// One request as the rules see it; built once per question.
struct TRequest {
  std::string Lower;          // the URL in lower case
  std::string_view Original;  // the URL as given, for match-case rules
  std::size_t HostBegin = 0, HostEnd = 0;
  std::string DocumentHost;  // lower case
  std::vector<std::uint64_t> Tokens;
  mutable std::optional<bool> ThirdParty;

  TRequest(std::string_view Url, std::string_view DocumentUrl);
  std::string_view Host() const {
    return std::string_view(Lower).substr(HostBegin, HostEnd - HostBegin);
  }
  bool IsThirdParty() const;
};

// The host of a URL ("" when it has none), as offsets into it.
void FindHost(std::string_view Url, std::size_t& Begin, std::size_t& End);
std::string LowerCase(std::string_view S);

std::uint64_t TokenHash(std::string_view Token);
bool IsTokenChar(char C);  // on lower-case text

// Whether Host falls under a domain list ("a.com|~b.a.com", "x.*"): the most
// specific entry that the host is under decides; with none, the list applies
// only if it names no domain to include.
bool DomainListApplies(std::string_view List, char Separator, std::string_view Host);

bool PatternMatches(const TNetRule& Rule, const TRequest& Request);

// The best token of a pattern for the index, 0 if it has none that a
// matching URL must contain whole.
std::uint64_t PatternToken(std::string_view Pattern, std::uint8_t Anchors);

// Numbers (rules) by a 64-bit key (a token's or a domain's hash), laid out in
// one array when built: open addressing, then each key's numbers in a row.
class TKeyIndex {
 public:
  void Add(std::uint64_t Key, std::uint32_t Value) { FPairs.push_back({Key, Value}); }
  // Lays out what was added since the last Build, which is then forgotten.
  void Build();
  template <class F>
  void ForEach(std::uint64_t Key, F&& Visit) const {
    if (FKeys.empty()) return;
    std::size_t mask = FKeys.size() - 1;
    for (std::size_t i = Key & mask; FKeys[i] != 0; i = (i + 1) & mask)
      if (FKeys[i] == Key) {
        for (std::uint32_t k = FBegin[i]; k < FBegin[i] + FCount[i]; ++k) Visit(FOrder[k]);
        return;
      }
  }

 private:
  struct TPair {
    std::uint64_t Key;
    std::uint32_t Value;
  };
  std::vector<TPair> FPairs;
  std::vector<std::uint64_t> FKeys;
  std::vector<std::uint32_t> FBegin, FCount, FOrder;
};

// Rules keyed by a token hash, so a lookup is a probe per URL token.
class TRuleIndex {
 public:
  void Add(const TNetRule& Rule) { FRules.push_back(Rule); }
  // (Re)builds the index over every rule added so far.
  void Build();
  std::size_t Size() const { return FRules.size(); }
  // The first rule whose types meet TypeMask and that matches the request.
  const TNetRule* Find(const TRequest& Request, std::uint32_t TypeMask) const;

 private:
  std::vector<TNetRule> FRules;
  std::vector<std::uint32_t> FNoToken;
  TKeyIndex FByToken;
};

}  // namespace host::filter
