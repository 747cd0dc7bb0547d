#include "host/browser/devtools_client.h"

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "host/forms/application.h"

namespace host {
namespace {

// The browser's side of the pipe, played by the test.
class DevToolsClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int Commands[2], Replies[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, Commands), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, Replies), 0);
    ClientWrite = Commands[0];
    PeerRead = Commands[1];
    ClientRead = Replies[0];
    PeerWrite = Replies[1];
    for (int Fd : {ClientWrite, ClientRead}) fcntl(Fd, F_SETFL, O_NONBLOCK);
    Client = std::make_unique<TDevToolsClient>(ClientRead, ClientWrite);
  }
  void TearDown() override {
    Client.reset();
    for (int Fd : {ClientWrite, ClientRead, PeerRead, PeerWrite})
      if (Fd >= 0) close(Fd);
  }
  void Say(const std::string& Text, bool Terminate = true) {
    std::string S = Text;
    if (Terminate) S.push_back('\0');
    ASSERT_EQ(write(PeerWrite, S.data(), S.size()), static_cast<ssize_t>(S.size()));
  }
  // The next command the client sent.
  json Heard() {
    std::string S;
    char C;
    while (read(PeerRead, &C, 1) == 1 && C != '\0') S.push_back(C);
    return json::parse(S);
  }
  void HangUp() {
    close(PeerWrite);
    PeerWrite = -1;
  }

  int ClientWrite = -1, ClientRead = -1, PeerRead = -1, PeerWrite = -1;
  std::unique_ptr<TDevToolsClient> Client;
};

TEST_F(DevToolsClientTest, ReplyFoundAmongEventsWhichWaitForTheLoopInOrder) {
  Say(R"({"method":"Page.a","params":{"n":1},"sessionId":"S1"})");
  Say(R"({"id":99,"result":{"stale":true}})");
  Say(R"({"method":"Page.b","params":{"n":2}})");
  Say(R"({"id":1,"res)", false);  // a reply split across writes
  Say(R"(ult":{"answer":42}})");
  std::vector<TDevToolsEvent> Events;
  Client->OnEvent = [&](const TDevToolsEvent& E) { Events.push_back(E); };
  Client->Attach();
  json Result = Client->Call("Target.getTargets", {{"x", 1}}, "S9", 1000);
  EXPECT_EQ(Result["answer"], 42);
  json Sent = Heard();
  EXPECT_EQ(Sent["id"], 1);
  EXPECT_EQ(Sent["method"], "Target.getTargets");
  EXPECT_EQ(Sent["params"]["x"], 1);
  EXPECT_EQ(Sent["sessionId"], "S9");
  EXPECT_TRUE(Events.empty());  // nothing is handed out while waiting
  EXPECT_EQ(Client->LastSequence(), 2u);
  ASSERT_TRUE(Application->RunUntil([&] { return Events.size() == 2; }, 1000));
  EXPECT_EQ(Events[0].Method, "Page.a");
  EXPECT_EQ(Events[0].SessionId, "S1");
  EXPECT_EQ(Events[0].Params["n"], 1);
  EXPECT_EQ(Events[0].Sequence, 1u);
  EXPECT_EQ(Events[1].Method, "Page.b");
  EXPECT_EQ(Events[1].Sequence, 2u);
  // Events that come while idle arrive through the loop too.
  Say(R"({"method":"Page.c"})");
  ASSERT_TRUE(Application->RunUntil([&] { return Events.size() == 3; }, 1000));
  EXPECT_EQ(Events[2].Method, "Page.c");
}

TEST_F(DevToolsClientTest, ErrorReplyRaisesWithItsText) {
  Say(R"({"id":1,"error":{"code":-32000,"message":"Cannot navigate to invalid URL"}})");
  try {
    Client->Call("Page.navigate", {{"url", "x"}}, {}, 1000);
    FAIL();
  } catch (const EDevToolsError& E) {
    EXPECT_EQ(E.Code(), -32000);
    EXPECT_EQ(E.Message(), "Cannot navigate to invalid URL");
    EXPECT_EQ(E.Method(), "Page.navigate");
  }
  EXPECT_FALSE(Client->Closed());
}

TEST_F(DevToolsClientTest, SilenceRaisesAfterTheTimeoutAndAbandonsTheClient) {
  gint64 Start = g_get_monotonic_time();
  EXPECT_THROW(Client->Call("Browser.getVersion", json::object(), {}, 200), EDevToolsLost);
  gint64 Ms = (g_get_monotonic_time() - Start) / 1000;
  EXPECT_GE(Ms, 190);
  EXPECT_LT(Ms, 2000);
  EXPECT_TRUE(Client->Closed());
  EXPECT_THROW(Client->Send("Browser.close"), EDevToolsLost);
}

TEST_F(DevToolsClientTest, ACommandToAPageThatCrashesEndsAtOnceAndTheOthersGoOn) {
  // The crash is the browser's last word on that page: no reply follows.
  struct TCase {
    const char* Gone;
    const char* SessionOfCommand;
  } Cases[] = {
      {R"({"method":"Inspector.targetCrashed","params":{},"sessionId":"S1"})", "S1"},
      {R"({"method":"Inspector.detached","params":{"reason":"x"},"sessionId":"S2"})", "S2"},
      {R"({"method":"Target.detachedFromTarget","params":{"sessionId":"S3"}})", "S3"},
  };
  int Id = 0;
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Gone);
    Say(C.Gone);
    gint64 Start = g_get_monotonic_time();
    EXPECT_THROW(Client->Call("Page.captureScreenshot", json::object(), C.SessionOfCommand, 5000),
                 EDevToolsPageGone);
    EXPECT_LT((g_get_monotonic_time() - Start) / 1000, 1000);
    EXPECT_TRUE(Client->SessionGone(C.SessionOfCommand));
    EXPECT_FALSE(Client->Closed());
    EXPECT_EQ(Heard()["id"], ++Id);
  }
  // Another page, and the browser itself, still answer.
  Say(R"({"id":4,"result":{"ok":true}})");
  EXPECT_EQ(Client->Call("Runtime.evaluate", json::object(), "S4", 1000)["ok"], true);
  EXPECT_FALSE(Client->SessionGone("S4"));
}

TEST_F(DevToolsClientTest, PollReadsWithoutTheLoop) {
  Say(R"({"method":"Inspector.targetCrashed","params":{},"sessionId":"S1"})");
  EXPECT_FALSE(Client->SessionGone("S1"));
  Client->Poll();
  EXPECT_TRUE(Client->SessionGone("S1"));
  EXPECT_FALSE(Client->Closed());
  HangUp();
  Client->Poll();
  EXPECT_TRUE(Client->Closed());
}

TEST_F(DevToolsClientTest, LateReplyIsKeptForItsWaiter) {
  int Id = Client->Send("Page.navigate", json::object(), {}, true);
  json Reply;
  EXPECT_FALSE(Client->WaitForReply(Id, 50, Reply));
  EXPECT_FALSE(Client->Closed());
  Say(R"({"id":1,"result":{"loaderId":"L"}})");
  ASSERT_TRUE(Client->WaitForReply(Id, 1000, Reply));
  EXPECT_EQ(Reply["result"]["loaderId"], "L");
  // A reply nobody asked to keep is dropped.
  int Other = Client->Send("Page.stopLoading");
  Say(R"({"id":2,"result":{}})");
  EXPECT_FALSE(Client->WaitForReply(Other, 50, Reply));
}

TEST_F(DevToolsClientTest, ClosedPipeRaisesAtOnceAndIsReportedOnce) {
  int Closed = 0;
  Client->OnClosed = [&] { ++Closed; };
  Client->Attach();
  Say(R"({"method":"Page.last"})");
  HangUp();
  gint64 Start = g_get_monotonic_time();
  EXPECT_THROW(Client->Call("Browser.getVersion", json::object(), {}, 5000), EDevToolsLost);
  EXPECT_LT((g_get_monotonic_time() - Start) / 1000, 1000);
  EXPECT_THROW(Client->Send("Browser.close"), EDevToolsLost);
  std::vector<std::string> Events;
  Client->OnEvent = [&](const TDevToolsEvent& E) { Events.push_back(E.Method); };
  ASSERT_TRUE(Application->RunUntil([&] { return Closed > 0; }, 1000));
  Application->RunUntil([] { return false; }, 50);
  EXPECT_EQ(Closed, 1);
  EXPECT_EQ(Events, std::vector<std::string>{"Page.last"});
}

TEST_F(DevToolsClientTest, WritingToAGoneBrowserRaisesWithoutSignal) {
  close(PeerRead);
  PeerRead = -1;
  EXPECT_THROW(Client->Call("Browser.getVersion", json::object(), {}, 5000), EDevToolsLost);
  EXPECT_TRUE(Client->Closed());
}

TEST_F(DevToolsClientTest, HandlerMayDestroyTheClient) {
  Client->Attach();
  Say(R"({"method":"Page.one"})");
  Say(R"({"method":"Page.two"})");
  int Seen = 0;
  Client->OnEvent = [&](const TDevToolsEvent&) {
    ++Seen;
    Client.reset();
  };
  ASSERT_TRUE(Application->RunUntil([&] { return Seen > 0; }, 1000));
  Application->RunUntil([] { return false; }, 50);
  EXPECT_EQ(Seen, 1);
}

}  // namespace
}  // namespace host
