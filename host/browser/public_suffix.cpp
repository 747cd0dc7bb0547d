#include "host/browser/public_suffix.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_set>

namespace host {
namespace {

struct TSuffixRules {
  std::unique_ptr<const std::string> Text;         // the file; the sets view into it
  std::unordered_set<std::string_view> Plain;      // "co.uk"
  std::unordered_set<std::string_view> Wildcard;   // "ck" for "*.ck"
  std::unordered_set<std::string_view> Exception;  // "www.ck" for "!www.ck"
};

TSuffixRules LoadRules() {
  TSuffixRules rules;
  for (const char* path : {"/usr/share/publicsuffix/public_suffix_list.dat",
                           "/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/"
                           "publicsuffix.org/list/effective_tld_names.dat"}) {
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;
    std::ostringstream text;
    text << in.rdbuf();
    rules.Text = std::make_unique<const std::string>(std::move(text).str());
    std::string_view all(*rules.Text);
    for (std::size_t begin = 0; begin < all.size();) {
      std::size_t end = all.find('\n', begin);
      if (end == std::string_view::npos) end = all.size();
      std::string_view line = all.substr(begin, end - begin);
      begin = end + 1;
      // A rule ends at the first white space; "//" starts a comment line.
      line = line.substr(0, line.find_first_of(" \t\r"));
      if (line.empty() || line.substr(0, 2) == "//") continue;
      if (line[0] == '!')
        rules.Exception.insert(line.substr(1));
      else if (line.substr(0, 2) == "*.")
        rules.Wildcard.insert(line.substr(2));
      else
        rules.Plain.insert(line);
    }
    break;
  }
  return rules;
}

const TSuffixRules& Rules() {
  static const TSuffixRules rules = LoadRules();
  return rules;
}

bool IsIpAddress(std::string_view Host) {
  if (!Host.empty() && Host.front() == '[') return true;
  if (Host.empty()) return false;
  for (char c : Host)
    if (!((c >= '0' && c <= '9') || c == '.')) return false;
  return true;
}

std::string_view AfterFirstLabel(std::string_view S) {
  std::size_t dot = S.find('.');
  return dot == std::string_view::npos ? std::string_view() : S.substr(dot + 1);
}

}  // namespace

std::string_view PublicSuffix(std::string_view Host) {
  if (!Host.empty() && Host.back() == '.') Host.remove_suffix(1);
  if (Host.empty() || IsIpAddress(Host)) return Host;
  const TSuffixRules& rules = Rules();
  // Longest suffix first, so the first rule that matches is the longest;
  // an exception outranks the wildcard that it carves out of.
  for (std::string_view s = Host; !s.empty(); s = AfterFirstLabel(s)) {
    if (rules.Exception.count(s)) return AfterFirstLabel(s);
    if (rules.Plain.count(s)) return s;
    std::string_view parent = AfterFirstLabel(s);
    if (!parent.empty() && rules.Wildcard.count(parent)) return s;
  }
  // The implicit rule "*": the last label.
  std::size_t dot = Host.rfind('.');
  return dot == std::string_view::npos ? Host : Host.substr(dot + 1);
}

std::string_view RegistrableDomain(std::string_view Host) {
  if (!Host.empty() && Host.back() == '.') Host.remove_suffix(1);
  std::string_view suffix = PublicSuffix(Host);
  if (suffix.size() >= Host.size()) return Host;
  std::string_view rest = Host.substr(0, Host.size() - suffix.size() - 1);
  std::size_t dot = rest.rfind('.');
  return Host.substr(dot == std::string_view::npos ? 0 : dot + 1);
}

}  // namespace host
