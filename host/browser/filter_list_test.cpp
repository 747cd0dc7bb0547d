#include "host/browser/filter_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "host/browser/filter_index.h"
#include "host/browser/public_suffix.h"

namespace host {
namespace {

// Requests against rules, from the Adblock Plus filter syntax: what each
// construct matches and, as important, what it must not.
TEST(FilterList, RequestsBlockedAsTheSyntaxSays) {
  struct TCase {
    const char* Rules;
    const char* Url;
    const char* Page;
    TResourceType Type;
    bool Blocked;
  };
  const char* kPage = "https://news.example/article";
  const TCase kCases[] = {
      // Plain patterns: implicit wildcards at both ends.
      {"adv", "http://example.com/advice.html", kPage, rtImage, true},
      {"adv\n@@advice", "http://example.com/advice.html", kPage, rtImage, false},
      {"adv\n@@advice", "http://example.com/adverts.html", kPage, rtImage, true},
      {"/banner/*/img^", "http://example.com/banner/foo/img", kPage, rtImage, true},
      {"/banner/*/img^", "http://example.com/banner/foo/bar/img?param", kPage, rtImage, true},
      {"/banner/*/img^", "http://example.com/banner/img", kPage, rtImage, false},
      {"/banner/*/img^", "http://example.com/banner/foo/imgraph", kPage, rtImage, false},
      {"/banner/*/img^", "http://example.com/banner/foo/img.gif", kPage, rtImage, false},
      // End and start anchors.
      {"swf|", "http://example.com/annoyingflash.swf", kPage, rtObject, true},
      {"swf|", "http://example.com/swf/index.html", kPage, rtObject, false},
      {"|http://baddomain.example/", "http://baddomain.example/banner.gif", kPage, rtImage, true},
      {"|http://baddomain.example/", "http://gooddomain.example/analyze?http://baddomain.example/",
       kPage, rtImage, false},
      // The domain anchor: the host or a subdomain, never a longer name.
      {"||example.com^", "http://example.com:8080/", kPage, rtScript, true},
      {"||example.com^", "https://subdomain.example.com/x.js", kPage, rtScript, true},
      {"||example.com^", "http://example.com", kPage, rtScript, true},
      {"||example.com^", "http://example.com.evil.com/", kPage, rtScript, false},
      {"||example.com^", "http://badexample.com/", kPage, rtScript, false},
      {"||example.com^", "http://other.test/?u=example.com/", kPage, rtScript, false},
      {"||ads.example.com/path", "http://ads.example.com/path/x", kPage, rtScript, true},
      // Case: ignored unless match-case.
      {"/BannerAd.", "http://x.test/bannerad.gif", kPage, rtImage, true},
      {"/BannerAd.$match-case", "http://x.test/bannerad.gif", kPage, rtImage, false},
      {"/BannerAd.$match-case", "http://x.test/BannerAd.gif", kPage, rtImage, true},
      // Types, positive and negated; the page itself is not a default type.
      {"/ads/*$script", "http://x.test/ads/a.js", kPage, rtScript, true},
      {"/ads/*$script", "http://x.test/ads/a.png", kPage, rtImage, false},
      {"/ads/*$script,image", "http://x.test/ads/a.png", kPage, rtImage, true},
      {"/ads/*$~script", "http://x.test/ads/a.js", kPage, rtScript, false},
      {"/ads/*$~script", "http://x.test/ads/a.css", kPage, rtStylesheet, true},
      {"/ads/*$xmlhttprequest", "http://x.test/ads/q", kPage, rtXmlHttpRequest, true},
      {"/ads/*$subdocument", "http://x.test/ads/f.html", kPage, rtSubdocument, true},
      {"/ads/*$font", "http://x.test/ads/f.woff", kPage, rtFont, true},
      {"/ads/*$media", "http://x.test/ads/v.mp4", kPage, rtMedia, true},
      {"/ads/*$ping", "http://x.test/ads/p", kPage, rtPing, true},
      {"/ads/*$other", "http://x.test/ads/p", kPage, rtOther, true},
      {"/ads/*", "http://x.test/ads/", "", rtDocument, false},
      {"||x.test^$document", "http://x.test/", "", rtDocument, true},
      {"||x.test^$popup", "http://x.test/a.js", kPage, rtScript, false},
      // Third party: by registrable domain, so subdomains are first party.
      {"||tracker.test^$third-party", "http://tracker.test/t.js", kPage, rtScript, true},
      {"||tracker.test^$third-party", "http://tracker.test/t.js", "http://www.tracker.test/",
       rtScript, false},
      {"/t.js$third-party", "http://cdn.news.example/t.js", kPage, rtScript, false},
      {"/t.js$~third-party", "http://cdn.news.example/t.js", kPage, rtScript, true},
      {"/t.js$~third-party", "http://other.test/t.js", kPage, rtScript, false},
      {"/t.js$third-party", "http://a.bbc.co.uk/t.js", "http://b.bbc.co.uk/", rtScript, false},
      {"/t.js$third-party", "http://a.example.co.uk/t.js", "http://b.other.co.uk/", rtScript, true},
      // domain=: the page's host; the most specific entry decides.
      {"/ads/*$domain=a.test", "http://x.test/ads/1", "http://a.test/", rtImage, true},
      {"/ads/*$domain=a.test", "http://x.test/ads/1", "http://www.a.test/", rtImage, true},
      {"/ads/*$domain=a.test", "http://x.test/ads/1", "http://b.test/", rtImage, false},
      {"/ads/*$domain=a.test", "http://x.test/ads/1", "http://aa.test/", rtImage, false},
      {"/ads/*$domain=~a.test", "http://x.test/ads/1", "http://a.test/", rtImage, false},
      {"/ads/*$domain=~a.test", "http://x.test/ads/1", "http://b.test/", rtImage, true},
      {"/ads/*$domain=a.test|~s.a.test", "http://x.test/ads/1", "http://s.a.test/", rtImage, false},
      {"/ads/*$domain=a.test|~s.a.test", "http://x.test/ads/1", "http://t.a.test/", rtImage, true},
      {"/ads/*$domain=b.test|c.test", "http://x.test/ads/1", "http://c.test/", rtImage, true},
      {"/ads/*$domain=shop.*", "http://x.test/ads/1", "http://www.shop.co.uk/", rtImage, true},
      {"/ads/*$domain=shop.*", "http://x.test/ads/1", "http://shop.example.com/", rtImage, false},
      // Exceptions, $document and $important.
      {"||ads.test^\n@@||ads.test/ok/", "http://ads.test/ok/a.js", kPage, rtScript, false},
      {"||ads.test^\n@@||ads.test/ok/$image", "http://ads.test/ok/a.js", kPage, rtScript, true},
      {"||ads.test^\n@@||news.example^$document", "http://ads.test/a.js", kPage, rtScript, false},
      {"||ads.test^\n@@||other.example^$document", "http://ads.test/a.js", kPage, rtScript, true},
      {"||ads.test^$important\n@@||ads.test^", "http://ads.test/a.js", kPage, rtScript, true},
      {"||ads.test^$important\n@@||news.example^$document", "http://ads.test/a.js", kPage, rtScript,
       false},
      {"||ads.test^\n@@||news.example^$generichide", "http://ads.test/a.js", kPage, rtScript, true},
      // Separators: anything but letters, digits and _ - . %
      {"||x.test/a^b", "http://x.test/a?b", kPage, rtImage, true},
      {"||x.test/a^b", "http://x.test/a-b", kPage, rtImage, false},
      {"||x.test/a^b", "http://x.test/a%b", kPage, rtImage, false},
      {"&ad=^", "http://x.test/?q=1&ad=", kPage, rtImage, true},
      // A rule whose options this reader does not know is not applied at all.
      {"||x.test^$redirect=noop.js", "http://x.test/a.js", kPage, rtScript, false},
      {"||x.test^$csp=script-src 'none'", "http://x.test/", kPage, rtOther, false},
      {"||x.test^$script,badoption", "http://x.test/a.js", kPage, rtScript, false},
      // Regular expressions are not read.
      {"/ad[0-9]+\\.js/", "http://x.test/ad1.js", kPage, rtScript, false},
      // Comments, the header and blank lines with CRLF.
      {"[Adblock Plus 2.0]\r\n! ||x.test^\r\n\r\n", "http://x.test/a", kPage, rtImage, false},
      {"! c\r\n||x.test^\r\n", "http://x.test/a", kPage, rtImage, true},
      // A '#' in a network rule does not make it a hiding rule.
      {"||x.test/#ad", "http://x.test/#ad", kPage, rtImage, true},
      // Stars at the ends, and an empty pattern limited by options.
      {"*/ads/*", "http://x.test/ads/1", kPage, rtImage, true},
      {"$script,domain=a.test", "http://cdn.test/lib.js", "http://a.test/", rtScript, true},
      {"$script,domain=a.test", "http://cdn.test/lib.js", "http://b.test/", rtScript, false},
  };
  for (const TCase& c : kCases) {
    TFilterSet set;
    set.AddList(c.Rules);
    EXPECT_EQ(set.Blocks(c.Url, c.Page, c.Type), c.Blocked)
        << "rules: " << c.Rules << "\nurl: " << c.Url << "\npage: " << c.Page;
  }
}

// Selectors present (+) or absent (-) in a page's style sheet.
TEST(FilterList, HidingCssForAPage) {
  struct TCase {
    const char* Rules;
    const char* Page;
    const char* Present;  // '|'-separated
    const char* Absent;
  };
  const TCase kCases[] = {
      {"##.ad-banner", "https://a.test/", ".ad-banner", ""},
      {"a.test##.only-a", "https://www.a.test/p", ".only-a", ""},
      {"a.test##.only-a", "https://b.test/", "", ".only-a"},
      {"a.test,~s.a.test##.x", "https://s.a.test/", "", ".x"},
      {"a.test,~s.a.test##.x", "https://t.a.test/", ".x", ""},
      {"~b.test##.not-b", "https://a.test/", ".not-b", ""},
      {"~b.test##.not-b", "https://b.test/", "", ".not-b"},
      {"shop.*##.promo", "https://shop.co.uk/", ".promo", ""},
      {"shop.*##.promo", "https://shop.example.com/", "", ".promo"},
      {"##.g\na.test#@#.g", "https://a.test/", "", ".g"},
      {"##.g\na.test#@#.g", "https://b.test/", ".g", ""},
      {"##.g\n#@#.g", "https://b.test/", "", ".g"},
      {"##.g\na.test##.s\n@@||a.test^$generichide", "https://a.test/", ".s", ".g"},
      {"##.g\na.test##.s\n@@||a.test^$elemhide", "https://a.test/", "", ".g|.s"},
      {"##.g\n@@||a.test^$document", "https://a.test/", "", ".g"},
      // Selectors that plain CSS cannot hold, or that would escape their rule.
      {"##.ok\n##div:has-text(Ad)\n##.x:-abp-contains(Ad)\n##+js(noeval)\n##^script",
       "https://a.test/", ".ok", "has-text|abp|js(|script"},
      {"##.ok\n##a}body{color:red\n##[title=\"x\n##.c /* c", "https://a.test/", ".ok",
       "color|title|/*"},
      {"##.ok\na.test#?#div:-abp-has(.ad)\na.test#$#.x{color:red}\na.test#%#alert(1)",
       "https://a.test/", ".ok", "abp|color|alert"},
      {"##div[id^=\"ad-\"]\n##.a > .b", "https://a.test/", "div[id^=\"ad-\"]|.a > .b", ""},
  };
  for (const TCase& c : kCases) {
    TFilterSet set;
    set.AddList(c.Rules);
    std::string css = set.HidingCss(c.Page);
    auto each = [](std::string_view List, auto&& F) {
      while (!List.empty()) {
        std::size_t bar = List.find('|');
        F(std::string(List.substr(0, bar)));
        List = bar == std::string_view::npos ? std::string_view() : List.substr(bar + 1);
      }
    };
    each(c.Present, [&](const std::string& s) {
      EXPECT_NE(css.find(s), std::string::npos) << c.Rules << " on " << c.Page << ":\n" << css;
    });
    each(c.Absent, [&](const std::string& s) {
      EXPECT_EQ(css.find(s), std::string::npos) << c.Rules << " on " << c.Page << ":\n" << css;
    });
    if (*c.Present) {
      EXPECT_NE(css.find("{display:none !important}"), std::string::npos);
    }
  }
}

TEST(FilterList, HidingCssComesInBoundedRules) {
  std::string rules;
  for (int i = 0; i < 250; ++i) rules += "##.ad" + std::to_string(i) + "\n";
  TFilterSet set;
  set.AddList(rules);
  std::string css = set.HidingCss("https://a.test/");
  std::size_t lines = 0, commas = 0;
  for (char c : css) {
    lines += c == '\n';
    commas += c == ',';
  }
  EXPECT_EQ(lines, 3u);  // 100 + 100 + 50
  EXPECT_EQ(commas, 247u);
  EXPECT_EQ(set.Stats().Hiding, 250u);
}

TEST(FilterList, ListsAddUpAndCountWhatTheySkip) {
  TFilterSet set;
  set.AddList("||a.test^\n/re[g]ex/\n||b.test^$rewrite=x\n##.h\n#?#.x:has-text(y)");
  EXPECT_FALSE(set.Blocks("http://c.test/", "", rtScript));
  set.AddList("||c.test^\n@@||c.test/ok");
  EXPECT_TRUE(set.Blocks("http://a.test/", "", rtScript));
  EXPECT_TRUE(set.Blocks("http://c.test/", "", rtScript));
  EXPECT_FALSE(set.Blocks("http://c.test/ok", "", rtScript));
  const TFilterStats& s = set.Stats();
  EXPECT_EQ(s.Blocking, 2u);
  EXPECT_EQ(s.Exceptions, 1u);
  EXPECT_EQ(s.Hiding, 1u);
  EXPECT_EQ(s.SkippedRegex, 1u);
  EXPECT_EQ(s.SkippedOptions, 1u);
  EXPECT_EQ(s.SkippedHiding, 1u);
  EXPECT_THROW(set.AddListFile("/nonexistent/list.txt"), EFilterListError);
}

// The word-at-a-time lower-casing against the plain rule, for every byte at
// every place in a word.
TEST(FilterList, LowerCaseOfEveryByteAtEveryOffset) {
  for (int offset = 0; offset < 9; ++offset) {
    std::string text(std::size_t(offset), 'Q');
    for (int b = 0; b < 256; ++b) text.push_back(char(b));
    std::string lower = filter::LowerCase(text);
    ASSERT_EQ(lower.size(), text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      unsigned char c = text[i];
      EXPECT_EQ((unsigned char)lower[i], c >= 'A' && c <= 'Z' ? c + 32 : c) << offset << " " << i;
    }
  }
}

TEST(FilterList, DevToolsTypesAndRegistrableDomains) {
  EXPECT_EQ(ResourceTypeFromDevTools("Document", true), rtDocument);
  EXPECT_EQ(ResourceTypeFromDevTools("Document"), rtSubdocument);
  EXPECT_EQ(ResourceTypeFromDevTools("Fetch"), rtXmlHttpRequest);
  EXPECT_EQ(ResourceTypeFromDevTools("Ping"), rtPing);
  EXPECT_EQ(ResourceTypeFromDevTools("Manifest"), rtOther);
  struct TCase {
    const char* Host;
    const char* Registrable;
  };
  for (TCase c :
       {TCase{"www.example.com", "example.com"}, TCase{"a.b.example.co.uk", "example.co.uk"},
        TCase{"co.uk", "co.uk"}, TCase{"localhost", "localhost"}, TCase{"127.0.0.1", "127.0.0.1"},
        TCase{"x.y.unknowntld", "y.unknowntld"}})
    EXPECT_EQ(RegistrableDomain(c.Host), c.Registrable) << c.Host;
}

TEST(FilterList, SharedSetsAreParsedOncePerListOfFiles) {
  std::string dir = ::testing::TempDir();
  std::ofstream(dir + "/shared_a.txt") << "||a.test^\n";
  std::ofstream(dir + "/shared_b.txt") << "||b.test^\n";
  std::remove((dir + "/shared_missing.txt").c_str());  // left by an earlier run
  auto a = SharedFilterSet({dir + "/shared_a.txt"});
  auto ab = SharedFilterSet({dir + "/shared_a.txt", dir + "/shared_b.txt"});
  EXPECT_EQ(SharedFilterSet({dir + "/shared_a.txt"}), a);
  EXPECT_NE(ab, a);
  EXPECT_FALSE(a->Blocks("http://b.test/", "", rtScript));
  EXPECT_TRUE(ab->Blocks("http://b.test/", "", rtScript));
  EXPECT_THROW(SharedFilterSet({dir + "/shared_missing.txt"}), EFilterListError);
  std::ofstream(dir + "/shared_missing.txt") << "||m.test^\n";
  EXPECT_TRUE(
      SharedFilterSet({dir + "/shared_missing.txt"})->Blocks("http://m.test/", "", rtImage));
}

TEST(FilterList, DefaultPathsFollowTheEnvironment) {
  const char* saved = std::getenv("SNAPKIT_FILTER_LISTS");
  std::string savedValue = saved ? saved : "";
  std::string dir = ::testing::TempDir();
  std::ofstream(dir + "/mylist.txt") << "||a.test^\n";
  setenv("SNAPKIT_FILTER_LISTS", dir.c_str(), 1);
  EXPECT_EQ(DefaultFilterListPath("mylist"), dir + "/mylist.txt");
  EXPECT_EQ(DefaultFilterListPath("absent"), "");
  EXPECT_EQ(DefaultFilterListPath("../etc/passwd"), "");
  if (saved)
    setenv("SNAPKIT_FILTER_LISTS", savedValue.c_str(), 1);
  else
    unsetenv("SNAPKIT_FILTER_LISTS");
}

// Debian's lists: addresses their own rules name are refused, ordinary ones are not.
TEST(FilterList, DebianListsBlockWellKnownAdAddresses) {
  std::string easylist = DefaultFilterListPath("easylist");
  std::string easyprivacy = DefaultFilterListPath("easyprivacy");
  if (easylist.empty() || easyprivacy.empty())
    GTEST_SKIP() << "EasyList/EasyPrivacy not found: install webext-ublock-origin-chromium";
  TFilterSet set;
  set.AddListFile(easylist);
  set.AddListFile(easyprivacy);
  EXPECT_GT(set.Stats().Blocking, 50000u);
  EXPECT_GT(set.Stats().Hiding, 10000u);
  const char* page = "https://www.news-site.example/story.html";
  struct TCase {
    const char* Url;
    TResourceType Type;
    bool Blocked;
  };
  const TCase kCases[] = {
      {"https://securepubads.g.doubleclick.net/tag/js/gpt.js", rtScript, true},
      {"https://pagead2.googlesyndication.com/pagead/js/adsbygoogle.js", rtScript, true},
      {"https://www.google-analytics.com/analytics.js", rtScript, true},
      {"https://www.googletagmanager.com/gtm.js?id=GTM-XXXX", rtScript, true},
      {"https://connect.facebook.net/en_US/fbevents.js", rtScript, true},
      {"https://static.criteo.net/js/ld/publishertag.js", rtScript, true},
      {"https://www.news-site.example/story.html", rtDocument, false},
      {"https://www.news-site.example/css/site.css", rtStylesheet, false},
      {"https://www.news-site.example/images/photo.jpg", rtImage, false},
      {"https://cdn.jsdelivr.net/npm/jquery@3/dist/jquery.min.js", rtScript, false},
      {"https://fonts.gstatic.com/s/roboto/v30/font.woff2", rtFont, false},
  };
  for (const TCase& c : kCases) EXPECT_EQ(set.Blocks(c.Url, page, c.Type), c.Blocked) << c.Url;
  std::string css = set.HidingCss(page);
  EXPECT_NE(css.find(".adsbygoogle"), std::string::npos);
  EXPECT_EQ(css.find("has-text"), std::string::npos);
}

}  // namespace
}  // namespace host
