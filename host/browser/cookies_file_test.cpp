#include "host/browser/cookies_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>

namespace host {
namespace {

constexpr std::int64_t kNow = 1700000000;

// Python's http.cookiejar.MozillaCookieJar reading the same files (one run
// for all): per file, one cookie a line (domain, subdomains, path, secure,
// httponly, expires, name, value), then a line "--".
std::string PythonReads(const std::vector<std::string>& Texts) {
  std::string files;
  for (std::size_t i = 0; i < Texts.size(); ++i) {
    std::string path = ::testing::TempDir() + "/cookies_oracle" + std::to_string(i) + ".txt";
    std::ofstream(path, std::ios::binary) << "# Netscape HTTP Cookie File\n" << Texts[i];
    files += " " + path;
  }
  std::string command =
      "python3 -c \"import http.cookiejar as j, sys\n"
      "for f in sys.argv[1:]:\n"
      " c = j.MozillaCookieJar()\n"
      " c.load(f, ignore_discard=True)\n"
      " for k in sorted(c, key=lambda k: (k.domain, k.path, k.name)):\n"
      "  print(k.domain.lstrip('.'), k.domain_specified, k.path, k.secure,"
      " k.has_nonstandard_attr(j.HTTPONLY_ATTR), k.expires, k.name, k.value, sep='|')\n"
      " print('--')\" " +
      files + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  char buffer[512];
  while (pipe && fgets(buffer, sizeof buffer, pipe.get())) out += buffer;
  return out;
}

std::string OursRead(const std::string& Text) {
  std::vector<TCookie> cookies = ReadCookiesText(Text, kNow);
  std::sort(cookies.begin(), cookies.end(), [](const TCookie& A, const TCookie& B) {
    return std::tie(A.Domain, A.Path, A.Name) < std::tie(B.Domain, B.Path, B.Name);
  });
  std::string out;
  auto py = [](bool B) { return B ? "True" : "False"; };
  for (const TCookie& c : cookies)
    out += c.Domain + "|" + py(c.IncludeSubdomains) + "|" + c.Path + "|" + py(c.Secure) + "|" +
           py(c.HttpOnly) + "|" + std::to_string(c.Expires) + "|" + c.Name + "|" + c.Value + "\n";
  return out;
}

TEST(CookiesFile, ReadsAsPythonsCookieJarDoes) {
  if (std::system("python3 -c 'import http.cookiejar' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3 is not installed";
  const std::vector<std::string> kFiles = {
      // curl's own kind of file
      ".example.com\tTRUE\t/\tFALSE\t2000000000\tsid\tabc123\n"
      "www.example.com\tFALSE\t/app\tTRUE\t2000000001\tpref\tdark\n",
      // HttpOnly lines, comments, blank lines and CRLF, as exporters write them
      "# comment\r\n\r\n#HttpOnly_.shop.test\tTRUE\t/\tTRUE\t1999999999\ttoken\tx.y-z\r\n"
      "shop.test\tFALSE\t/cart\tFALSE\t1999999998\tcart\t3 items\r\n",
      // values with '=' and spaces; an expired cookie is dropped
      "a.test\tFALSE\t/\tFALSE\t2100000000\tq\tk=v&x=1\n"
      "a.test\tFALSE\t/\tFALSE\t1600000000\told\tgone\n"
      "a.test\tFALSE\t/p/q\tFALSE\t2100000000\tspace\t  padded \n",
  };
  std::string python = PythonReads(kFiles);
  ASSERT_EQ(python.find("Error"), std::string::npos) << python;
  std::string ours;
  for (const std::string& text : kFiles) ours += OursRead(text) + "--\n";
  EXPECT_EQ(ours, python);
}

TEST(CookiesFile, SessionCookiesAndMissingValues) {
  std::vector<TCookie> c = ReadCookiesText(
      "h.test\tFALSE\t/\tFALSE\t0\tsession\tv\n"
      "h.test\tFALSE\t/\tFALSE\t0\tempty\n",
      kNow);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].Expires, 0);
  EXPECT_EQ(c[1].Name, "empty");
  EXPECT_EQ(c[1].Value, "");
}

TEST(CookiesFile, MalformedLinesNameTheirLineAndNeverTheValue) {
  struct TCase {
    const char* Text;
    const char* Message;
  };
  const TCase kCases[] = {
      {"# c\nh.test\tFALSE\t/\tFALSE\ts3cr3t\n",
       "line 2: expected 7 tab-separated fields, found 5"},
      {"h.test FALSE / FALSE 0 n s3cr3t\n", "line 1: expected 7"},
      {"\n\nh.test\tyes\t/\tFALSE\t0\tn\ts3cr3t\n", "line 3: the subdomains field"},
      {"h.test\tFALSE\t/\tTrue\t0\tn\ts3cr3t\n", "line 1: the secure field"},
      {"h.test\tFALSE\t/\tFALSE\tsoon\tn\ts3cr3t\n", "line 1: the expiry field"},
      {"h.test\tFALSE\t/\tFALSE\t-1\tn\ts3cr3t\n", "line 1: the expiry field"},
      {"\tFALSE\t/\tFALSE\t0\tn\ts3cr3t\n", "line 1: the domain field"},
      {".#h.test\tFALSE\t/\tFALSE\t0\tn\ts3cr3t\n", "line 1: the domain field"},
      {"h.test/x\tFALSE\t/\tFALSE\t0\tn\ts3cr3t\n", "line 1: the domain field"},
      {"..h.test\tFALSE\t/\tFALSE\t0\tn\ts3cr3t\n", "line 1: the domain field"},
      {"[::1\tFALSE\t/\tFALSE\t0\tn\ts3cr3t\n", "line 1: the domain field"},
      {"h.test\tFALSE\tp\tFALSE\t0\tn\ts3cr3t\n", "line 1: the path field"},
      {"h.test\tFALSE\t/\tFALSE\t0\t\ts3cr3t\n", "line 1: the cookie has no name"},
      {"h.test\tFALSE\t/\tFALSE\t0\ta;b\ts3cr3t\n", "line 1: the cookie's name"},
      {"h.test\tFALSE\t/\tFALSE\t0\tn\ts3cr3t;x\n", "line 1: the cookie's value"},
      {"h.test\tFALSE\t/\tFALSE\t0\tn\ts3cr3t\xff\n", "line 1: the line is not UTF-8"},
      {"h.test\tFALSE\t/\tFALSE\t0\tn\ts3cr3t\xc0\xaf\n", "line 1: the line is not UTF-8"},
      {"h.test\tFALSE\t/\tFALSE\t0\tn\ts3cr3t\xed\xa0\x80\n", "line 1: the line is not UTF-8"},
      {"h.test\tFALSE\t/\tFALSE\t0\tn\ts3cr3t\t8\n",
       "line 1: expected 7 tab-separated fields, found 8"},
  };
  for (const TCase& c : kCases) {
    try {
      ReadCookiesText(c.Text, kNow);
      ADD_FAILURE() << "no error for " << c.Text;
    } catch (const ECookiesError& e) {
      EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
      EXPECT_EQ(e.Message().find("s3cr3t"), std::string::npos) << e.Message();
    }
  }
  EXPECT_THROW(ReadCookiesFile("/nonexistent/cookies.txt"), ECookiesError);
}

TEST(CookiesFile, CookieArgumentsForThePageHost) {
  struct TCase {
    const char* Argument;
    const char* Url;
    const char* Domain;  // nullptr: refused
    bool Secure;
  };
  const TCase kCases[] = {
      {"sid=abc", "https://WWW.Example.com:8443/path?q", "www.example.com", true},
      {"sid=a=b", "http://user@host.test/", "host.test", false},
      {"empty=", "http://[::1]:8080/", "[::1]", false},
      {"=s3cr3t", "http://h.test/", nullptr, false},
      {"nosign", "http://h.test/", nullptr, false},
      {"a b=s3cr3t", "http://h.test/", nullptr, false},
      {"n=s3cr3t;evil=1", "http://h.test/", nullptr, false},
      {"n=s3cr3t", "file:///tmp/x.html", nullptr, false},
      {"n=s3cr3t", "http:///path", nullptr, false},
      {"n=s3cr3t\xe2\x82", "http://h.test/", nullptr, false},
      {"n=\xe2\x82\xac", "http://h.test/", "h.test", false},
  };
  for (const TCase& c : kCases) {
    if (!c.Domain) {
      try {
        ParseCookieArgument(c.Argument, c.Url);
        ADD_FAILURE() << "accepted " << c.Argument << " for " << c.Url;
      } catch (const ECookiesError& e) {
        EXPECT_EQ(e.Message().find("s3cr3t"), std::string::npos) << e.Message();
      }
      continue;
    }
    TCookie k = ParseCookieArgument(c.Argument, c.Url);
    EXPECT_EQ(k.Domain, c.Domain) << c.Url;
    EXPECT_EQ(k.Secure, c.Secure) << c.Url;
    EXPECT_EQ(k.Name + "=" + k.Value, c.Argument);
    EXPECT_EQ(k.Path, "/");
    EXPECT_FALSE(k.IncludeSubdomains);
  }
}

TEST(CookiesFile, DevToolsParameters) {
  std::vector<TCookie> c = ReadCookiesText(
      "#HttpOnly_.a.test\tTRUE\t/x\tTRUE\t2000000000\tn\tv\nb.test\tFALSE\t/\tFALSE\t0\tm\tw\n",
      kNow);
  nlohmann::json p = CookiesToDevTools(c);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0], nlohmann::json::parse(R"({"name":"n","value":"v","domain":".a.test","path":"/x",
      "secure":true,"httpOnly":true,"expires":2000000000.0})"));
  EXPECT_EQ(p[1], nlohmann::json::parse(R"({"name":"m","value":"w","url":"http://b.test/",
      "path":"/","secure":false,"httpOnly":false})"));
}

}  // namespace
}  // namespace host
