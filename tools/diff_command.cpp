#include "tools/diff_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "host/graphics/picture.h"
#include "imaging/diff.h"
#include "imaging/phash.h"
#include "png/png_image.h"
#include "tools/convert_command.h"
#include "tools/diff_picture.h"
#include "tools/picture_output.h"

namespace snapkit::tools {

const char* const DiffUsage =
    "snapkit diff A B [--out DIFF.png] [--threshold T] [--include-aa] [--json]\n"
    "snapkit diff --hash A B [--json]\n"
    "  Counts the pixels that differ between two pictures of any format read\n"
    "  (\"N of M pixels differ (P%)\"), leaving out anti-aliasing unless\n"
    "  --include-aa. --threshold T (0 to 1, default 0.1) is the colour\n"
    "  difference that counts; --out writes red for each different pixel,\n"
    "  yellow for anti-aliasing, over a faded copy of A. Pictures of different\n"
    "  sizes differ in every pixel. --hash prints the distance (0 to 64) of\n"
    "  their perceptual hashes instead. --json prints an object.\n"
    "  Exit codes: 0 the same; 1 different; 2 a wrong command line; 3 a file\n"
    "  that cannot be read or written.\n";

TDiffCommandOptions ParseDiffArgs(const std::vector<std::string>& Args) {
  TDiffCommandOptions o;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& a = Args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= Args.size()) throw TUsageError{a + " needs a value"};
      return Args[++i];
    };
    if (a == "--out") {
      o.Out = value();
      std::string why;
      if (!OutputFormat(o.Out, std::nullopt, &why)) throw TUsageError{why};
    } else if (a == "--threshold") {
      const std::string& v = value();
      char* end = nullptr;
      o.Threshold = std::strtod(v.c_str(), &end);
      if (v.empty() || *end || !(o.Threshold >= 0 && o.Threshold <= 1))
        throw TUsageError{"--threshold needs a number from 0 to 1, not " + v};
    } else if (a == "--include-aa") {
      o.IncludeAA = true;
    } else if (a == "--json") {
      o.Json = true;
    } else if (a == "--hash") {
      o.Hash = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw TUsageError{"unknown option " + a};
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) throw TUsageError{"diff needs two pictures"};
  if (o.Hash && (!o.Out.empty() || o.IncludeAA))
    throw TUsageError{"--hash compares hashes only: no --out or --include-aa"};
  o.First = files[0];
  o.Second = files[1];
  return o;
}

namespace {

// Raises TFileError naming File.
std::unique_ptr<host::TPicture> Load(const std::string& File) {
  auto picture = std::make_unique<host::TPicture>();
  try {
    picture->LoadFromFile(File);
    picture->Bitmap();
  } catch (const host::Exception& e) {
    throw TFileError{File, DescribeError(e)};
  } catch (const std::bad_alloc&) {
    throw TFileError{File, "out of memory"};
  }
  return picture;
}

// Both at once: decoding is most of the command's time.
void LoadBoth(const TDiffCommandOptions& O, std::unique_ptr<host::TPicture>& A,
              std::unique_ptr<host::TPicture>& B) {
  std::exception_ptr failed;
  std::thread second;
  try {
    second = std::thread([&] {
      try {
        B = Load(O.Second);
      } catch (...) {
        failed = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    B = Load(O.Second);
  }
  std::exception_ptr mine;
  try {
    A = Load(O.First);
  } catch (...) {
    mine = std::current_exception();
  }
  if (second.joinable()) second.join();
  if (mine) std::rethrow_exception(mine);
  if (failed) std::rethrow_exception(failed);
}

struct TStopwatch {
  std::chrono::steady_clock::time_point Last = std::chrono::steady_clock::now();
  // Milliseconds since the last lap.
  double Lap() {
    const auto now = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - Last).count();
    Last = now;
    return ms;
  }
};

nlohmann::json Size(const host::TBitmap& B) {
  return {{"width", B.Width()}, {"height", B.Height()}};
}

}  // namespace

nlohmann::json BoxJson(const host::TRect& Box) {
  if (Box.Right == 0) return nullptr;
  return {{"left", Box.Left}, {"top", Box.Top}, {"width", Box.Width()}, {"height", Box.Height()}};
}

TDiffCommandResult RunDiff(const TDiffCommandOptions& O) {
  if (!O.Out.empty()) {
    const std::string why = OutputFolderProblem(O.Out);
    if (!why.empty()) throw TFileError{O.Out, why};
  }
  // SNAPKIT_DIFF_TIMES=1 prints where the time went (for the benchmark).
  const bool times = std::getenv("SNAPKIT_DIFF_TIMES") != nullptr;
  TStopwatch watch;
  std::unique_ptr<host::TPicture> pa, pb;
  LoadBoth(O, pa, pb);
  const double decoded = watch.Lap();
  const host::TBitmap& a = pa->Bitmap();
  const host::TBitmap& b = pb->Bitmap();
  TDiffCommandResult result;
  char line[256];
  if (O.Hash) {
    const std::uint64_t ha = PerceptualHash(a), hb = PerceptualHash(b);
    const int distance = HashDistance(ha, hb);
    result.ExitCode = distance ? 1 : 0;
    if (O.Json) {
      result.Text = nlohmann::json{{"distance", distance},
                                   {"a", {{"phash", HashToHex(ha)}}},
                                   {"b", {{"phash", HashToHex(hb)}}}}
                        .dump() +
                    "\n";
    } else {
      std::snprintf(line, sizeof line, "hash distance %d (%s %s)\n", distance,
                    HashToHex(ha).c_str(), HashToHex(hb).c_str());
      result.Text = line;
    }
    return result;
  }
  TDiffOptions options;
  options.Threshold = O.Threshold;
  options.IncludeAA = O.IncludeAA;
  std::unique_ptr<TPNGImage> diff;
  if (!O.Out.empty()) diff = std::make_unique<TPNGImage>();
  const TDiffResult r = ComparePictures(a, b, options, diff.get());
  const double compared = watch.Lap();
  result.ExitCode = r.Different ? 1 : 0;
  if (diff) {
    const TPictureFormat format = *OutputFormat(O.Out, std::nullopt, nullptr);
    try {
      WritePicture(O.Out, format, [&](const std::string& temporary) {
        if (format == TPictureFormat::Png) {
          if (!WriteDiffPNG(*diff, temporary)) diff->SaveToFile(temporary);
          return;
        }
        host::TPicture out;
        auto plain = std::make_unique<host::TBitmap>();
        plain->TakeImage(*diff);
        out.SetGraphic(std::move(plain));
        out.SaveToFile(temporary);
      });
    } catch (const host::Exception& e) {
      throw TFileError{O.Out, DescribeError(e)};
    }
  }
  if (times)
    std::fprintf(stderr, "decode %.2f ms, compare %.2f ms, write %.2f ms\n", decoded, compared,
                 watch.Lap());
  if (O.Json) {
    nlohmann::json j{{"different", r.Different},
                     {"total", r.Total},
                     {"ratio", r.Ratio},
                     {"box", BoxJson(r.Box)},
                     {"antialiased", r.AntiAliased},
                     {"same_size", r.SameSize},
                     {"a", Size(a)},
                     {"b", Size(b)}};
    result.Text = j.dump() + "\n";
    return result;
  }
  if (!r.SameSize) {
    std::snprintf(line, sizeof line, "sizes differ: %dx%d and %dx%d\n", a.Width(), a.Height(),
                  b.Width(), b.Height());
    result.Text = line;
  }
  std::snprintf(line, sizeof line, "%lld of %lld pixels differ (%.2f%%)\n",
                static_cast<long long>(r.Different), static_cast<long long>(r.Total),
                100 * r.Ratio);
  result.Text += line;
  return result;
}

}  // namespace snapkit::tools
