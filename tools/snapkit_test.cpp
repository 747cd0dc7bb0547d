// The program's own help, its man page and the README's section on it tell
// the same options and exit codes.

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "tools/testing/child_program.h"

namespace {

using snapkit::tools::testing::ReadFile;

std::string Help(const std::string& Args) {
  std::string Out;
  snapkit::tools::testing::RunShell(std::string(SNAPKIT_PROGRAM) + " " + Args, &Out);
  return Out;
}

// Runs of white space as one space, and roff's escapes and fonts gone.
std::string Plain(std::string Text) {
  Text = std::regex_replace(Text, std::regex(R"(\\-)"), "-");
  Text = std::regex_replace(Text, std::regex(R"(\\&|\\f[BIRP])"), "");
  Text = std::regex_replace(Text, std::regex(R"(\n\.[A-Z]+ ?)"), "\n");
  return std::regex_replace(Text, std::regex(R"(\s+)"), " ");
}

std::set<std::string> Options(const std::string& Text) {
  std::set<std::string> Found;
  const std::regex Option(R"(--[a-z][a-z-]*[a-z])");
  for (auto It = std::sregex_iterator(Text.begin(), Text.end(), Option);
       It != std::sregex_iterator(); ++It)
    Found.insert(It->str());
  return Found;
}

TEST(ProgramDocuments, HelpManPageAndReadmeAgree) {
  const std::string Help_ = Plain(Help("--help"));
  const std::string Man = Plain(ReadFile(std::string(SNAPKIT_SOURCE_DIR) + "/packaging/snapkit.1"));
  std::string Readme = ReadFile(std::string(SNAPKIT_SOURCE_DIR) + "/README.md");
  const std::size_t From = Readme.find("## The snapkit program");
  ASSERT_NE(From, std::string::npos);
  Readme = Readme.substr(From, Readme.find("\n## ", From + 1) - From);
  // Less the measurements' table, which names other programs' options.
  Readme = Plain(std::regex_replace(Readme, std::regex(R"(\n\|[^\n]*)"), ""));

  // Every option one of them names, all three name.
  std::set<std::string> All = Options(Help_);
  for (const std::string& Text : {Man, Readme})
    for (const std::string& O : Options(Text)) All.insert(O);
  EXPECT_GE(All.size(), 31u);
  for (const std::string& O : All) {
    EXPECT_NE(Help_.find(O), std::string::npos) << O << " is not in --help";
    EXPECT_NE(Man.find(O), std::string::npos) << O << " is not in the man page";
    EXPECT_NE(Readme.find(O), std::string::npos) << O << " is not in the README";
  }
  // Each command's help is a part of the whole help.
  for (const char* Command : {"capture", "convert", "info", "palette", "view"})
    EXPECT_NE(Plain(Help("--help")).find(Plain(Help(std::string(Command) + " --help"))),
              std::string::npos)
        << Command;

  // The exit codes, as each of them words them.
  struct TSays {
    const std::string& Text;
    std::string Usage;
  };
  for (const TSays& S :
       {TSays{Help_, "2 a wrong command line"}, TSays{Man, "2 on a wrong command line"},
        TSays{Readme,
              "wrong command line prints its one line and `Try 'snapkit COMMAND "
              "--help'`, and exits with 2"}}) {
    EXPECT_NE(S.Text.find(S.Usage), std::string::npos) << S.Usage;
    EXPECT_NE(S.Text.find("0 written, 1 failed (in "), std::string::npos);
    EXPECT_NE(S.Text.find("2 usage (also two list lines naming one file), 3 malformed URL, 4 "
                          "unreachable"),
              std::string::npos);
    EXPECT_NE(S.Text.find("5 HTTP error status, 6 timed out"), std::string::npos);
  }
}

}  // namespace
