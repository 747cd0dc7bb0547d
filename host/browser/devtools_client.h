#pragma once
// A DevTools protocol client over a pipe of NUL-terminated JSON messages.
// Commands are answered through the application's message loop: each reply
// reaches its handler from the loop, in the order replies and events came,
// so nothing waits while a page loads. Call, which reads the pipe directly
// until its reply comes (never running the loop, so no handler is
// re-entered), is left for the application's own late-bound reads.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "host/system/exception.h"

using GSource = struct _GSource;

namespace host {

using json = nlohmann::json;

// The browser answered a command with an error.
class EDevToolsError : public EOleException {
 public:
  EDevToolsError(const std::string& Method, int Code, const std::string& Text)
      : EOleException(Text), FMethod(Method), FCode(Code) {}
  const std::string& Method() const { return FMethod; }
  int Code() const { return FCode; }

 private:
  std::string FMethod;
  int FCode;
};

// The browser is gone or does not answer; the client is unusable after it.
HOST_EXCEPTION(EDevToolsLost, EOleException);
// The page a command went to crashed or was closed before it answered; the
// browser and its other pages go on.
HOST_EXCEPTION(EDevToolsPageGone, EOleException);

struct TDevToolsEvent {
  std::uint64_t Sequence;  // counts every event read, from 1
  std::string Method;
  std::string SessionId;
  json Params;
};

// The answer to a command sent with a handler.
struct TDevToolsReply {
  enum TKind { rkResult, rkError, rkPageGone, rkLost };
  TKind Kind = rkResult;
  json Result;          // rkResult
  std::string Message;  // the others: what went wrong
  int Code = 0;         // rkError: the browser's error code
  bool Ok() const { return Kind == rkResult; }
};
using TDevToolsReplyHandler = std::function<void(const TDevToolsReply&)>;

class TDevToolsClient {
 public:
  // ReadFd and WriteFd must be non-blocking; they stay owned by the caller.
  TDevToolsClient(int ReadFd, int WriteFd);
  ~TDevToolsClient();
  TDevToolsClient(const TDevToolsClient&) = delete;
  TDevToolsClient& operator=(const TDevToolsClient&) = delete;

  // Sends a command and waits up to TimeoutMs for its reply; returns its
  // result. Raises EDevToolsError for an error reply, EDevToolsLost when the
  // pipe closes or a command to the browser itself times out, and
  // EDevToolsPageGone when the command's page crashes or does not answer in
  // time (the page counts as gone from then on).
  json Call(const std::string& Method, const json& Params = json::object(),
            const std::string& SessionId = {}, int TimeoutMs = 30000);
  // Sends a command and returns its id; with WantReply its reply is kept
  // for WaitForReply, else dropped.
  int Send(const std::string& Method, const json& Params = json::object(),
           const std::string& SessionId = {}, bool WantReply = false);
  // Waits up to TimeoutMs for the reply to command Id: the whole message
  // (with "result" or "error"). False when the time ran out; the reply is
  // then still kept if it comes. Raises EDevToolsLost when the pipe closes
  // and EDevToolsPageGone when the command's page crashes meanwhile.
  bool WaitForReply(int Id, int TimeoutMs, json& Reply);
  // Sends a command whose reply is handed to Handler from the message loop:
  // its result, an error answer, rkPageGone when its page crashed or was
  // closed first, rkLost when the browser went. Always called exactly once,
  // unless Forget(Id) comes first.
  int Command(const std::string& Method, const json& Params, const std::string& SessionId,
              TDevToolsReplyHandler Handler);
  // Stops keeping the reply of command Id (or calling its handler).
  void Forget(int Id);
  // Marks the client unusable, as a closed pipe does.
  void Abandon(const std::string& Why);
  // Reads what the browser has sent, without waiting: a closed pipe or a
  // crashed page is known afterwards even if the loop has not run.
  void Poll() { ReadAvailable(); }
  // The page of this session crashed or was detached; commands to it fail.
  bool SessionGone(const std::string& SessionId) const {
    return FGoneSessions.count(SessionId) != 0;
  }

  // Receives each event from the message loop.
  std::function<void(const TDevToolsEvent&)> OnEvent;
  // Called from the message loop once when the pipe closes.
  std::function<void()> OnClosed;

  bool Closed() const { return FClosed; }
  // The sequence number of the last event read so far.
  std::uint64_t LastSequence() const { return FLastSequence; }

  // Starts or stops delivering events through the application's loop.
  void Attach();
  void Detach();

 private:
  struct TSource;
  friend struct TSource;

  void Write(const std::string& Message);
  // Reads what is available without blocking; returns false once the pipe
  // has closed.
  bool ReadAvailable();
  void Parse(const char* Data, std::size_t Size);
  void MarkClosed(const std::string& Why);
  void SessionEnded(const std::string& SessionId);
  void QueueReply(int Id, TDevToolsReply Reply);
  bool DispatchOne();

  int FReadFd, FWriteFd;
  int FNextId = 0;
  struct TAwaited {
    std::string SessionId;
    json Reply;                     // null until it comes
    TDevToolsReplyHandler Handler;  // set: delivered through the loop
    bool Queued = false;
  };
  std::map<int, TAwaited> FReplies;
  std::set<std::string> FGoneSessions;
  std::string FBuffer;
  std::size_t FScanned = 0;
  // Events and handled replies, in the order they came.
  struct TQueued {
    TDevToolsEvent Event;
    int ReplyId = 0;
    TDevToolsReply Reply;
  };
  std::deque<TQueued> FEvents;
  std::uint64_t FLastSequence = 0;
  bool FClosed = false;
  bool FClosedReported = false;
  std::string FClosedWhy;
  GSource* FSource = nullptr;
};

}  // namespace host
