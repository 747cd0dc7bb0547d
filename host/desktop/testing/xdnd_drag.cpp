#include "host/desktop/testing/xdnd_drag.h"

#include <gtk/gtk.h>

#include <signal.h>

#include <algorithm>
#include <stdexcept>

namespace host::desktop::testing {

bool StartGtk() {
  g_setenv("NO_AT_BRIDGE", "1", TRUE);
  return gtk_init_check(nullptr, nullptr);
}

bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs) {
  gint64 Deadline = g_get_monotonic_time() + gint64(TimeoutMs) * 1000;
  // Wakes the loop now and then, so that a state no event tells of (the
  // screen, another process) is looked at again.
  guint Ticker = g_timeout_add(guint(std::clamp(TimeoutMs, 1, 50)),
                               +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; },
                               nullptr);
  while (!Done() && g_get_monotonic_time() < Deadline) g_main_context_iteration(nullptr, TRUE);
  g_source_remove(Ticker);
  return Done();
}

namespace {

GSubprocess* Spawn(const std::vector<std::string>& Argv, GSubprocessFlags Flags) {
  std::vector<const gchar*> Args;
  for (const std::string& A : Argv) Args.push_back(A.c_str());
  Args.push_back(nullptr);
  GError* Error = nullptr;
  GSubprocess* Process = g_subprocess_newv(Args.data(), Flags, &Error);
  if (!Process) {
    std::string Message = "cannot start " + Argv[0] + ": " + Error->message;
    g_error_free(Error);
    throw std::runtime_error(Message);
  }
  return Process;
}

}  // namespace

int RunPumping(const std::vector<std::string>& Argv, int TimeoutMs) {
  GSubprocess* Process = Spawn(Argv, G_SUBPROCESS_FLAGS_NONE);
  struct TWait {
    bool Done = false;
  } Wait;
  g_subprocess_wait_async(
      Process, nullptr,
      +[](GObject*, GAsyncResult*, gpointer W) { static_cast<TWait*>(W)->Done = true; }, &Wait);
  bool Finished = PumpUntil([&] { return Wait.Done; }, TimeoutMs);
  int Status = -1;
  if (Finished && g_subprocess_get_if_exited(Process)) Status = g_subprocess_get_exit_status(Process);
  if (!Finished) {
    g_subprocess_force_exit(Process);
    // The wait callback points at Wait: it must have run before Wait goes.
    PumpUntil([&] { return Wait.Done; }, 5000);
  }
  g_object_unref(Process);
  return Status;
}

TChildProgram::TChildProgram(const std::vector<std::string>& Argv, bool KeepOutput) {
  FProcess = Spawn(Argv, KeepOutput ? G_SUBPROCESS_FLAGS_STDOUT_PIPE
                                    : GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                                       G_SUBPROCESS_FLAGS_STDERR_SILENCE));
  FCancel = g_cancellable_new();
  if (!KeepOutput) return;
  FOutput = g_data_input_stream_new(g_subprocess_get_stdout_pipe(FProcess));
  ReadNext();
}

void TChildProgram::ReadNext() {
  g_data_input_stream_read_line_async(
      FOutput, G_PRIORITY_DEFAULT, FCancel,
      +[](GObject* Stream, GAsyncResult* Result, gpointer Self) {
        gsize Length = 0;
        GError* Error = nullptr;
        char* Line = g_data_input_stream_read_line_finish(G_DATA_INPUT_STREAM(Stream), Result,
                                                          &Length, &Error);
        if (Error) {
          // Cancelled: the child object is gone, touch nothing of it.
          bool Cancelled = g_error_matches(Error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
          g_error_free(Error);
          if (Cancelled) return;
          static_cast<TChildProgram*>(Self)->FRunning = false;
          return;
        }
        auto* Child = static_cast<TChildProgram*>(Self);
        if (!Line) {
          Child->FRunning = false;
          return;
        }
        Child->FLines.emplace_back(Line, Length);
        g_free(Line);
        Child->ReadNext();
      },
      this);
}

bool TChildProgram::Said(const std::string& Prefix) const {
  for (const std::string& L : FLines)
    if (L.rfind(Prefix, 0) == 0) return true;
  return false;
}

std::string TChildProgram::WaitForLine(const std::string& Prefix, int TimeoutMs) {
  std::string Found;
  auto Look = [&] {
    for (const std::string& L : FLines)
      if (L.rfind(Prefix, 0) == 0) {
        Found = L;
        return true;
      }
    return false;
  };
  PumpUntil([&] { return Look() || !FRunning; }, TimeoutMs);
  Look();
  return Found;
}

TChildProgram::~TChildProgram() {
  // Asked first, so that a browser takes its helper processes along.
  struct TWait {
    bool Done = false;
  } Wait;
  g_subprocess_send_signal(FProcess, SIGTERM);
  g_subprocess_wait_async(
      FProcess, nullptr,
      +[](GObject*, GAsyncResult*, gpointer W) { static_cast<TWait*>(W)->Done = true; }, &Wait);
  if (!PumpUntil([&] { return Wait.Done; }, 5000)) {
    g_subprocess_force_exit(FProcess);
    PumpUntil([&] { return Wait.Done; }, 5000);
  }
  g_cancellable_cancel(FCancel);
  // Let a pending read hear of the cancel while its stream still exists.
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  if (FOutput) g_object_unref(FOutput);
  g_object_unref(FCancel);
  g_object_unref(FProcess);
}

namespace {

bool Xdotool(std::vector<std::string> Commands) {
  Commands.insert(Commands.begin(), "xdotool");
  return RunPumping(Commands) == 0;
}

std::string N(int V) { return std::to_string(V); }

}  // namespace

bool DragWithXdotool(const TDragPlan& Plan) {
  TScreenPoint From = Plan.From, To = Plan.To;
  Xdotool({"mousemove", N(From.X), N(From.Y)});
  PumpUntil([] { return false; }, 150);
  Xdotool({"mousedown", "1"});
  PumpUntil([] { return false; }, 150);
  // Past the source's drag threshold in small steps, as a hand would.
  for (int i = 1; i <= 6; ++i) {
    Xdotool({"mousemove", N(From.X + 4 * i), N(From.Y + 3 * i)});
    PumpUntil([] { return false; }, 60);
  }
  const int Steps = 12;
  TScreenPoint Start{From.X + 24, From.Y + 18};
  for (int i = 1; i <= Steps; ++i) {
    Xdotool({"mousemove", N(Start.X + (To.X - Start.X) * i / Steps),
             N(Start.Y + (To.Y - Start.Y) * i / Steps)});
    PumpUntil([] { return false; }, 60);
  }
  // Each nudge is a new position the source reports; the site answers the
  // first ones only once the source's data has come.
  gint64 Deadline = g_get_monotonic_time() + gint64(Plan.TimeoutMs) * 1000;
  bool Reached = false;
  for (int i = 0; !(Reached = Plan.Arrived()) && g_get_monotonic_time() < Deadline; ++i) {
    Xdotool({"mousemove", N(To.X + (i % 2 ? 2 : 0)), N(To.Y)});
    PumpUntil(Plan.Arrived, 100);
  }
  if (Reached && Plan.ThenDo) Plan.ThenDo();
  TScreenPoint End = Plan.ReleaseAt ? *Plan.ReleaseAt : To;
  Xdotool({"mousemove", N(End.X + 1), N(End.Y)});
  PumpUntil([] { return false; }, 150);
  Xdotool({"mousemove", N(End.X), N(End.Y)});
  PumpUntil([] { return false; }, 150);
  if (Plan.PressEscape) {
    Xdotool({"key", "Escape"});
    PumpUntil([] { return false; }, 150);
  }
  Xdotool({"mouseup", "1"});
  return Reached;
}

}  // namespace host::desktop::testing
