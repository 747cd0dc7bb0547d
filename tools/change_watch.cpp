#include "tools/change_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "imaging/phash.h"
#include "tools/capture_job.h"
#include "tools/convert_command.h"
#include "tools/diff_command.h"
#include "tools/diff_picture.h"

namespace snapkit::tools {
namespace {

double Share(const std::string& Text, const std::string& What) {
  char* end = nullptr;
  const double v = std::strtod(Text.c_str(), &end);
  if (Text.empty() || *end || !(v >= 0 && v <= 1))
    throw TUsageError{What + " needs a number from 0 to 1, not " + Text};
  return v;
}

}  // namespace

bool ParseChangeWatchArg(const std::string& A, const std::function<const std::string&()>& Value,
                         TChangeWatchOptions& W) {
  if (A == "--changed")
    W.Changed = true;
  else if (A == "--threshold")
    W.Threshold = Share(Value(), A);
  else if (A == "--min-change")
    W.MinChange = Share(Value(), A);
  else if (A == "--diff-out")
    W.DiffOut = Value();
  else
    return false;
  return true;
}

void CheckChangeWatch(TCaptureOptions& O) {
  TChangeWatchOptions& w = O.Watch;
  const bool tuned = w.Threshold != 0.1 || w.MinChange != 0 || !w.DiffOut.empty();
  if (!w.Changed) {
    if (tuned) throw TUsageError{"--threshold, --min-change and --diff-out go with --changed"};
    return;
  }
  if (!O.EveryMs || !O.Batch.empty())
    throw TUsageError{"--changed watches one page: it goes with --every"};
  if (!w.DiffOut.empty()) {
    std::string why;
    if (!OutputFormat(w.DiffOut, std::nullopt, &why)) throw TUsageError{why};
  }
  w.Report = O.Report;
  O.Report.clear();
}

TChangeWatch::TChangeWatch(const TChangeWatchOptions& Options) : FOptions(Options) {
  if (FOptions.Report.empty()) return;
  FReport =
      ::open(FOptions.Report.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_TRUNC, 0666);
  if (FReport < 0)
    throw TCaptureFailure{
        ceFailed, "cannot write the report " + FOptions.Report + ": " + std::strerror(errno)};
}

TChangeWatch::~TChangeWatch() {
  if (FReport >= 0) ::close(FReport);
}

TChangeWatch::TVerdict TChangeWatch::Measure(const host::TBitmap& Capture) {
  TVerdict v;
  if (FHaveLast) {
    TDiffOptions o;
    o.Threshold = FOptions.Threshold;
    v.First = false;
    v.Change = ComparePictures(FLast, Capture, o, FOptions.DiffOut.empty() ? nullptr : &FDiff);
    v.Write = v.Change.Different > 0 && v.Change.Ratio > FOptions.MinChange;
  }
  if (v.Write) {
    FLast.Assign(Capture);
    FLast.SetPixelFormat(host::pf24bit);
    FHaveLast = true;
  }
  FVerdict = v;
  return v;
}

void TChangeWatch::Record(const TCaptureResult& R) {
  const bool ok = R.Code == ceOk;
  if (ok && R.Unchanged) return;
  if (ok && !FVerdict.First && !FOptions.DiffOut.empty()) {
    try {
      const TPictureFormat format = *OutputFormat(FOptions.DiffOut, std::nullopt, nullptr);
      WritePicture(FOptions.DiffOut, format, [&](const std::string& temporary) {
        if (format == TPictureFormat::Png && WriteDiffPNG(FDiff, temporary)) return;
        FDiff.SaveToFile(temporary);
      });
    } catch (const host::Exception& e) {
      std::fprintf(stderr, "snapkit: %s: %s\n", FOptions.DiffOut.c_str(), DescribeError(e).c_str());
    }
  }
  if (FReport < 0) return;
  const bool measured = ok && !FVerdict.First;
  nlohmann::ordered_json line = {
      {"url", R.Url},
      {"file", ok ? nlohmann::ordered_json(R.File) : nullptr},
      {"size", R.Bytes},
      {"width", R.Width},
      {"height", R.Height},
      {"milliseconds", R.Milliseconds},
      {"started", R.StartedUs ? nlohmann::ordered_json(IsoTime(R.StartedUs)) : nullptr},
      {"error", ok ? nullptr : nlohmann::ordered_json(R.Error)},
      {"phash", R.HasPHash ? nlohmann::ordered_json(HashToHex(R.PHash)) : nullptr},
      // Against the last picture written; null for the first.
      {"different", measured ? nlohmann::ordered_json(FVerdict.Change.Different) : nullptr},
      {"ratio", measured ? nlohmann::ordered_json(FVerdict.Change.Ratio) : nullptr},
      {"box",
       measured ? nlohmann::ordered_json::parse(BoxJson(FVerdict.Change.Box).dump()) : nullptr}};
  const std::string text =
      line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
  if (::write(FReport, text.data(), text.size()) != ssize_t(text.size()))
    std::fprintf(stderr, "snapkit: the report lost a line\n");
}

}  // namespace snapkit::tools
