#include "host/browser/credentials.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace host {
namespace {

std::string WriteFile(const std::string& Name, const std::string& Text) {
  std::string path = ::testing::TempDir() + "/" + Name;
  std::ofstream(path, std::ios::binary) << Text;
  return path;
}

// Every source of a login, good and bad; a refusal never shows the secret.
TEST(Credentials, FromArgumentFileAndEnvironment) {
  struct TCase {
    std::string Value;
    const char* User;  // nullptr: refused
    const char* Password;
    const char* Message;
  };
  std::string good = WriteFile("login_good", "alice:pa55:w0rd\r\nsecond line\n");
  std::string bare = WriteFile("login_bare", "bob:hunter2");
  std::string noColon = WriteFile("login_nocolon", "hunter2\n");
  std::string empty = WriteFile("login_empty", "");
  const TCase kCases[] = {
      {"alice:hunter2", "alice", "hunter2", ""},
      {"alice:", "alice", "", ""},
      {"alice:a:b:c", "alice", "a:b:c", ""},
      {"user@example.com:hunter2 x", "user@example.com", "hunter2 x", ""},
      {"@" + good, "alice", "pa55:w0rd", ""},
      {"@" + bare, "bob", "hunter2", ""},
      {"hunter2", nullptr, nullptr, "USER:PASSWORD"},
      {":hunter2", nullptr, nullptr, "no user"},
      {"alice:hunter2\n", nullptr, nullptr, "control character"},
      {"@" + noColon, nullptr, nullptr, "login_nocolon must be USER:PASSWORD"},
      {"@" + empty, nullptr, nullptr, "USER:PASSWORD"},
      {"@/nonexistent/hunter2", nullptr, nullptr, "Cannot open the login file"},
      {"@", nullptr, nullptr, "file name"},
  };
  for (const TCase& c : kCases) {
    for (bool fromEnvironment : {false, true}) {
      auto read = [&] {
        if (!fromEnvironment) return ParseAuthArgument(c.Value);
        setenv("SNAPKIT_AUTH", c.Value.c_str(), 1);
        TCredentials t = CredentialsFromEnvironment();
        unsetenv("SNAPKIT_AUTH");
        return t;
      };
      if (c.User) {
        TCredentials t = read();
        EXPECT_EQ(t.User, c.User) << c.Value;
        EXPECT_EQ(t.Password, c.Password) << c.Value;
        continue;
      }
      try {
        read();
        ADD_FAILURE() << "accepted " << c.Value;
      } catch (const ECredentialsError& e) {
        unsetenv("SNAPKIT_AUTH");
        EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
        if (c.Value[0] != '@') {
          // It says where the text came from, and none of the text.
          EXPECT_NE(e.Message().find(fromEnvironment ? "SNAPKIT_AUTH" : "--auth"),
                    std::string::npos)
              << e.Message();
          EXPECT_EQ(e.Message().find("hunter2"), std::string::npos) << e.Message();
        }
        // A file's content never shows, only its name.
        if (c.Value == "@" + noColon) {
          EXPECT_EQ(e.Message().find("hunter2"), std::string::npos) << e.Message();
        }
      }
    }
  }
  unsetenv("SNAPKIT_AUTH");
  EXPECT_TRUE(CredentialsFromEnvironment().Empty());
}

}  // namespace
}  // namespace host
