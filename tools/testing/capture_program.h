#pragma once
// The snapkit program run as a user runs it, against pages served on the
// loopback address, its files read back by Pillow: shared by the capture
// command's test files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/browser/testing/http_server.h"
#include "host/graphics/testing/images.h"
#include "tools/testing/child_program.h"

namespace snapkit::tools::testing {

using host::testing::Page;
using host::testing::TTestServer;

// A batch report's lines by list line: its file (or null), error and start.
inline std::map<int, nlohmann::json> ReportByLine(const std::string& File) {
  std::map<int, nlohmann::json> Lines;
  std::ifstream Report(File);
  std::string Line;
  while (std::getline(Report, Line)) {
    auto Entry = nlohmann::json::parse(Line);
    Lines[Entry["line"].get<int>()] = Entry;
  }
  return Lines;
}

// The browser profiles a capture has left under Tmp (its TMPDIR).
inline int ProfilesUnder(const std::string& Tmp) {
  int N = 0;
  for (const auto& E : std::filesystem::recursive_directory_iterator(Tmp))
    N += E.path().filename().string().rfind("snapkit-chromium-", 0) == 0;
  return N;
}

class CaptureProgram : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Server = new TTestServer;
    Server->Route("/page.html",
                  Page("<html><body style='margin:0;background:#00ff00'>"
                       "<div style='width:100px;height:2000px'></div></body></html>"));
    Server->Route("/tall.html",
                  Page("<html><body style='margin:0;background:#00ff00'>"
                       "<div style='width:100px;height:20000px'></div></body></html>"));
    Server->Route("/late.html",
                  Page("<html><body style='margin:0;background:#ffffff'><script>onload = () => "
                       "setTimeout(() => document.body.style.background = '#ff0000', 300);"
                       "</script></body></html>"));
    Server->Route("/endless", host::testing::Unfinished("<html><body>still loading"));
    host::testing::TResponse Login = Page("who are you?", "text/plain");
    Login.Status = 401;
    Login.Headers = "www-authenticate: Basic realm=\"x\"\r\n";
    Server->Route("/login", Login);
    // Green when first laid out wider than 1500 pixels.
    Server->Route("/wide.html",
                  Page("<html><body style='margin:0'><script>document.body.style.background = "
                       "innerWidth > 1500 ? '#00ff00' : '#0000ff'</script></body></html>"));
    // A box at a known place and size, and one below a 400x300 screen.
    Server->Route("/box.html",
                  Page("<html><body style='margin:0;background:#ffffff'>"
                       "<div id=box style='position:absolute;left:37px;top:53px;width:123px;"
                       "height:45px;background:#3366cc'></div>"
                       "<div id=low style='position:absolute;left:10px;top:900px;width:50px;"
                       "height:40px;background:#cc3366'></div></body></html>"));
    // Its content comes 700 ms after it has loaded.
    Server->Route("/later.html",
                  Page("<html><body style='margin:0;background:#ffffff'><script>"
                       "onload = () => setTimeout(() => { const d = document.createElement('div');"
                       "  d.id = 'late'; d.style.cssText = 'position:fixed;inset:0;background:red';"
                       "  document.body.append(d); window.ready = true; }, 700);"
                       "</script></body></html>"));
    Server->Route("/banner.html",
                  Page("<html><body style='margin:0;background:#00ff00'>"
                       "<div class=banner style='position:fixed;left:0;top:0;width:100%;"
                       "height:60px;background:#ff0000'>We use cookies</div></body></html>"));
    Server->Route("/scheme.html",
                  Page("<html><head><style>body { margin: 0; background: #ffffff }"
                       "@media (prefers-color-scheme: dark) { body { background: #000000 } }"
                       "</style></head><body></body></html>"));
    // Colours itself by whether a file of this machine could be read.
    Server->Route("/peek.html", Page("<html><body style='margin:0;background:#ffffff'><script>"
                                     "fetch('file:///etc/hostname').then(r => r.text())"
                                     ".then(() => document.body.style.background = '#ff0000',"
                                     "      () => document.body.style.background = '#0000ff');"
                                     "</script></body></html>"));
  }
  static void TearDownTestSuite() {
    delete Server;
    Server = nullptr;
  }

  // Standard output goes to the file Stdout when given, else with the
  // messages into Output.
  int Run(const std::string& Args, std::string* Output = nullptr, const std::string& Stdout = "") {
    return RunShell(std::string(SNAPKIT_PROGRAM) + " capture " + Args + " 2>&1" +
                        (Stdout.empty() ? "" : " >" + Stdout),
                    Output);
  }
  // Pillow's reading of the file: format, size and the colour near the
  // top-left corner, each channel as 0 or f (JPEG and resampling shift them).
  std::string Sees(const std::string& File) {
    std::string Out;
    host::testing::RunPython(
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
        "print(im.format, '%dx%d' % im.size, ''.join("
        "'f' if c >= 128 else '0' for c in im.convert('RGB').getpixel((2, 2))),"
        " end='')",
        {File}, &Out);
    return Out;
  }
  // Pillow's reading of the file: format, size, and its one colour in hex
  // when it has only one ("mixed" when not).
  std::string Looks(const std::string& File) {
    std::string Out;
    host::testing::RunPython(
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
        "c = im.convert('RGB').getcolors(1)\n"
        "print(im.format, '%dx%d' % im.size, '%02x%02x%02x' % c[0][1] if c else 'mixed', end='')",
        {File}, &Out);
    return Out;
  }
  std::vector<std::string> Files() {
    std::vector<std::string> Names;
    for (const auto& E : std::filesystem::directory_iterator(Dir.Path()))
      Names.push_back(E.path().filename());
    std::sort(Names.begin(), Names.end());
    return Names;
  }

  inline static TTestServer* Server = nullptr;
  host::testing::TScratchDir Dir;
};

}  // namespace snapkit::tools::testing
