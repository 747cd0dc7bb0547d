#include "host/browser/devtools_client.h"

#include <glib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/forms/application.h"

namespace host {

namespace {

gint64 Now() { return g_get_monotonic_time(); }

int RemainingMs(gint64 Deadline) {
  gint64 Left = (Deadline - Now() + 999) / 1000;
  return Left < 0 ? 0 : static_cast<int>(std::min<gint64>(Left, 1 << 30));
}

}  // namespace

// ---- the message-loop source -----------------------------------------------

struct TDevToolsClient::TSource {
  GSource Base;
  TDevToolsClient* Client;
  gpointer Tag;

  static bool Ready(TSource* S) {
    TDevToolsClient* C = S->Client;
    return C && (!C->FEvents.empty() || (C->FClosed && !C->FClosedReported));
  }
  static gboolean Prepare(GSource* Base, gint* Timeout) {
    *Timeout = -1;
    return Ready(reinterpret_cast<TSource*>(Base));
  }
  static gboolean Check(GSource* Base) {
    auto* S = reinterpret_cast<TSource*>(Base);
    if (Ready(S)) return TRUE;
    return S->Tag && (g_source_query_unix_fd(Base, S->Tag) & (G_IO_IN | G_IO_HUP | G_IO_ERR));
  }
  static gboolean Dispatch(GSource* Base, GSourceFunc, gpointer) {
    auto* S = reinterpret_cast<TSource*>(Base);
    TDevToolsClient* C = S->Client;
    if (!C) return G_SOURCE_CONTINUE;
    if (S->Tag && (g_source_query_unix_fd(Base, S->Tag) & (G_IO_IN | G_IO_HUP | G_IO_ERR)))
      C->ReadAvailable();
    if (C->FClosed && S->Tag) {
      g_source_remove_unix_fd(Base, S->Tag);  // a closed pipe stays readable
      S->Tag = nullptr;
    }
    // The handler may free the client: nothing of it is touched afterwards.
    C->DispatchOne();
    return G_SOURCE_CONTINUE;
  }
};

// ---- the client ------------------------------------------------------------

TDevToolsClient::TDevToolsClient(int ReadFd, int WriteFd) : FReadFd(ReadFd), FWriteFd(WriteFd) {}

TDevToolsClient::~TDevToolsClient() { Detach(); }

void TDevToolsClient::Attach() {
  if (FSource) return;
  static GSourceFuncs SourceFuncs = {&TSource::Prepare, &TSource::Check, &TSource::Dispatch,
                                     nullptr,           nullptr,         nullptr};
  GSource* Base = g_source_new(&SourceFuncs, sizeof(TSource));
  auto* S = reinterpret_cast<TSource*>(Base);
  S->Client = this;
  S->Tag = FClosed ? nullptr
                   : g_source_add_unix_fd(Base, FReadFd,
                                          static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
  g_source_set_priority(Base, G_PRIORITY_DEFAULT);
  g_source_attach(Base, g_main_context_default());
  FSource = Base;
}

void TDevToolsClient::Detach() {
  if (!FSource) return;
  reinterpret_cast<TSource*>(FSource)->Client = nullptr;
  g_source_destroy(FSource);
  g_source_unref(FSource);
  FSource = nullptr;
}

void TDevToolsClient::Write(const std::string& Message) {
  if (FClosed) throw EDevToolsLost(FClosedWhy);
  std::size_t Done = 0;
  gint64 Deadline = Now() + 10 * G_USEC_PER_SEC;
  while (Done < Message.size()) {
    ssize_t N = send(FWriteFd, Message.data() + Done, Message.size() - Done, MSG_NOSIGNAL);
    if (N > 0) {
      Done += static_cast<std::size_t>(N);
      continue;
    }
    if (N < 0 && errno == EINTR) continue;
    if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The browser is not reading; keep draining its side meanwhile so that
      // neither of us blocks on a full pipe.
      pollfd P[2] = {{FWriteFd, POLLOUT, 0}, {FReadFd, POLLIN, 0}};
      int Left = RemainingMs(Deadline);
      if (Left == 0) {
        Abandon("The browser does not read its commands");
        throw EDevToolsLost(FClosedWhy);
      }
      if (poll(P, 2, Left) > 0 && (P[1].revents & (POLLIN | POLLHUP | POLLERR))) ReadAvailable();
      if (FClosed) throw EDevToolsLost(FClosedWhy);
      continue;
    }
    MarkClosed(std::string("The browser pipe is closed: ") + std::strerror(errno));
    throw EDevToolsLost(FClosedWhy);
  }
}

int TDevToolsClient::Send(const std::string& Method, const json& Params,
                          const std::string& SessionId, bool WantReply) {
  int Id = ++FNextId;
  json Message = {{"id", Id}, {"method", Method}, {"params", Params}};
  if (!SessionId.empty()) Message["sessionId"] = SessionId;
  std::string Text = Message.dump();
  Text.push_back('\0');
  if (WantReply) FReplies.emplace(Id, TAwaited{SessionId, nullptr, nullptr, false});
  try {
    Write(Text);
  } catch (...) {
    FReplies.erase(Id);
    throw;
  }
  return Id;
}

bool TDevToolsClient::WaitForReply(int Id, int TimeoutMs, json& Reply) {
  gint64 Deadline = Now() + gint64(TimeoutMs) * 1000;
  for (;;) {
    auto it = FReplies.find(Id);
    if (it != FReplies.end() && !it->second.Reply.is_null()) {
      Reply = std::move(it->second.Reply);
      FReplies.erase(it);
      return true;
    }
    if (FClosed) throw EDevToolsLost(FClosedWhy);
    // A crashed page may never answer; waiting out the time would stall
    // every other page too.
    if (it != FReplies.end() && !it->second.SessionId.empty() &&
        SessionGone(it->second.SessionId)) {
      FReplies.erase(it);
      throw EDevToolsPageGone("The page crashed or was closed");
    }
    int Left = RemainingMs(Deadline);
    if (Left == 0) return false;
    pollfd P{FReadFd, POLLIN, 0};
    int R = poll(&P, 1, Left);
    if (R < 0 && errno != EINTR) {
      MarkClosed(std::string("Cannot read from the browser: ") + std::strerror(errno));
      continue;
    }
    if (R > 0) ReadAvailable();
  }
}

void TDevToolsClient::Forget(int Id) { FReplies.erase(Id); }

int TDevToolsClient::Command(const std::string& Method, const json& Params,
                             const std::string& SessionId, TDevToolsReplyHandler Handler) {
  int Id = ++FNextId;
  FReplies.emplace(Id, TAwaited{SessionId, nullptr, std::move(Handler), false});
  if (FClosed) {
    QueueReply(Id, {TDevToolsReply::rkLost, nullptr, FClosedWhy});
    return Id;
  }
  if (!SessionId.empty() && SessionGone(SessionId)) {
    QueueReply(Id, {TDevToolsReply::rkPageGone, nullptr, "The page crashed or was closed"});
    return Id;
  }
  json Message = {{"id", Id}, {"method", Method}, {"params", Params}};
  if (!SessionId.empty()) Message["sessionId"] = SessionId;
  std::string Text = Message.dump();
  Text.push_back('\0');
  try {
    Write(Text);
  } catch (const EDevToolsLost&) {
    // MarkClosed has queued the loss for every handler, this one's too.
  }
  return Id;
}

void TDevToolsClient::QueueReply(int Id, TDevToolsReply Reply) {
  auto it = FReplies.find(Id);
  if (it == FReplies.end() || it->second.Queued) return;
  it->second.Queued = true;
  TQueued Q;
  Q.ReplyId = Id;
  Q.Reply = std::move(Reply);
  FEvents.push_back(std::move(Q));
}

void TDevToolsClient::SessionEnded(const std::string& SessionId) {
  if (SessionId.empty()) return;
  FGoneSessions.insert(SessionId);
  for (auto& R : FReplies)
    if (R.second.Handler && R.second.SessionId == SessionId)
      QueueReply(R.first, {TDevToolsReply::rkPageGone, nullptr, "The page crashed or was closed"});
}

json TDevToolsClient::Call(const std::string& Method, const json& Params,
                           const std::string& SessionId, int TimeoutMs) {
  int Id = Send(Method, Params, SessionId, true);
  json Reply;
  if (!WaitForReply(Id, TimeoutMs, Reply)) {
    Forget(Id);
    std::string Why = " did not answer " + Method + " within " + std::to_string(TimeoutMs) + " ms";
    if (!SessionId.empty()) {
      // A page whose script never yields does not answer, while the browser
      // may well: the page alone is given up.
      SessionEnded(SessionId);
      throw EDevToolsPageGone("The page" + Why);
    }
    Abandon("The browser" + Why);
    throw EDevToolsLost(FClosedWhy);
  }
  if (Reply.contains("error")) {
    const json& E = Reply["error"];
    throw EDevToolsError(Method, E.value("code", 0), E.value("message", std::string("error")));
  }
  auto R = Reply.find("result");
  return R == Reply.end() ? json::object() : std::move(*R);
}

void TDevToolsClient::Abandon(const std::string& Why) { MarkClosed(Why); }

bool TDevToolsClient::ReadAvailable() {
  char Chunk[65536];
  while (!FClosed) {
    ssize_t N = read(FReadFd, Chunk, sizeof Chunk);
    if (N > 0) {
      Parse(Chunk, static_cast<std::size_t>(N));
      continue;
    }
    if (N < 0 && errno == EINTR) continue;
    if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    MarkClosed(N == 0 ? "The browser process has ended"
                      : std::string("Cannot read from the browser: ") + std::strerror(errno));
  }
  return !FClosed;
}

void TDevToolsClient::Parse(const char* Data, std::size_t Size) {
  FBuffer.append(Data, Size);
  std::size_t Start = 0;
  for (;;) {
    std::size_t End = FBuffer.find('\0', FScanned);
    if (End == std::string::npos) {
      FScanned = FBuffer.size();
      break;
    }
    json Message = json::parse(FBuffer.begin() + static_cast<std::ptrdiff_t>(Start),
                               FBuffer.begin() + static_cast<std::ptrdiff_t>(End), nullptr, false);
    Start = FScanned = End + 1;
    if (Message.is_discarded() || !Message.is_object()) continue;
    auto Id = Message.find("id");
    if (Id != Message.end()) {
      auto it = Id->is_number_integer() ? FReplies.find(Id->get<int>()) : FReplies.end();
      if (it == FReplies.end()) continue;
      if (!it->second.Handler) {
        it->second.Reply = std::move(Message);
        continue;
      }
      TDevToolsReply R;
      if (auto E = Message.find("error"); E != Message.end() && E->is_object()) {
        R.Kind = TDevToolsReply::rkError;
        R.Code = E->value("code", 0);
        R.Message = E->value("message", std::string("error"));
      } else if (auto Result = Message.find("result"); Result != Message.end()) {
        R.Result = std::move(*Result);
      } else {
        R.Result = json::object();
      }
      QueueReply(it->first, std::move(R));
      continue;
    }
    auto Method = Message.find("method");
    if (Method == Message.end() || !Method->is_string()) continue;
    TDevToolsEvent Event;
    Event.Sequence = ++FLastSequence;
    Event.Method = Method->get<std::string>();
    Event.SessionId = Message.value("sessionId", std::string());
    auto Params = Message.find("params");
    if (Params != Message.end()) Event.Params = std::move(*Params);
    // Known as soon as read, so that waits on the page end at once; the
    // event itself comes before the failed replies.
    std::string Gone;
    if (Event.Method == "Inspector.targetCrashed" || Event.Method == "Inspector.detached") {
      Gone = Event.SessionId;
    } else if (Event.Method == "Target.detachedFromTarget" && Event.Params.is_object()) {
      Gone = Event.Params.value("sessionId", std::string());
    }
    TQueued Q;
    Q.Event = std::move(Event);
    FEvents.push_back(std::move(Q));
    SessionEnded(Gone);
  }
  if (Start > 0) {
    FBuffer.erase(0, Start);
    FScanned -= Start;
  }
}

void TDevToolsClient::MarkClosed(const std::string& Why) {
  if (FClosed) return;
  FClosed = true;
  FClosedWhy = Why;
  for (auto& R : FReplies)
    if (R.second.Handler) QueueReply(R.first, {TDevToolsReply::rkLost, nullptr, Why});
}

bool TDevToolsClient::DispatchOne() {
  if (!FEvents.empty()) {
    TQueued Q = std::move(FEvents.front());
    FEvents.pop_front();
    if (Q.ReplyId) {
      auto it = FReplies.find(Q.ReplyId);
      if (it == FReplies.end()) return true;  // forgotten
      TDevToolsReplyHandler Handler = std::move(it->second.Handler);
      FReplies.erase(it);
      try {
        Handler(Q.Reply);
      } catch (...) {
        Application->HandleException(nullptr);
      }
      return true;
    }
    const TDevToolsEvent& Event = Q.Event;
    if (OnEvent) {
      auto Handler = OnEvent;
      try {
        Handler(Event);
      } catch (...) {
        Application->HandleException(nullptr);
      }
    }
    return true;
  }
  if (FClosed && !FClosedReported) {
    FClosedReported = true;
    if (OnClosed) {
      auto Handler = OnClosed;
      try {
        Handler();
      } catch (...) {
        Application->HandleException(nullptr);
      }
    }
    return true;
  }
  return false;
}

}  // namespace host
