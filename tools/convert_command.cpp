#include "tools/convert_command.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "host/graphics/bitmap.h"
#include "host/graphics/picture.h"
#include "host/system/exception.h"
#include "imaging/filters.h"
#include "imaging/resample.h"
#include "tools/picture_output.h"

namespace snapkit::tools {

const char* const ConvertUsage =
    "snapkit convert IN OUT [--format png|jpg|bmp|webp|avif] [--size WxH]\n"
    "                [--filter NAME] [--filter-width F] [--quality N] [--lossless]\n"
    "  Reads the picture IN (any registered format: bmp, jpg, jpeg, png, webp,\n"
    "  avif, ...) and writes it to OUT: PNG for .png, JPEG for .jpg, .jpeg and\n"
    "  .jpe, BMP for .bmp, WebP for .webp, AVIF for .avif (any case). OUT -\n"
    "  writes the picture to standard output.\n"
    "  --format png|jpg|bmp|webp|avif  the format for - and for an OUT whose\n"
    "                     extension names none\n"
    "  --size WxH         resample to W x H pixels first\n"
    "  --filter NAME      box, triangle, hermite, bell, spline, lanczos3 or\n"
    "                     mitchell (the default)\n"
    "  --filter-width F   the kernel's half-width in source pixels (default 3.0\n"
    "                     for mitchell, the kernel's support for the others)\n"
    "  --quality N        JPEG, WebP or AVIF quality from 1 to 100 (90)\n"
    "  --lossless         lossless WebP: every pixel exactly as it is\n";

namespace {

constexpr std::int64_t kProgressPixels = 4'000'000;

// Resampling reports four runs from 0 to 100 through a plain procedure, so
// the bar's state has to live here.
struct TProgressBar {
  int Run = 0;
  int LastPosition = -1;
  int LastDrawn = -1;
} Bar;

void DrawProgress(std::int32_t Min, std::int32_t Max, std::int32_t Position) {
  if (Position < Bar.LastPosition) ++Bar.Run;
  Bar.LastPosition = Position;
  const int span = Max > Min ? Max - Min : 1;
  const int percent = (Bar.Run * 100 + (Position - Min) * 100 / span) / 4;
  if (percent == Bar.LastDrawn) return;
  Bar.LastDrawn = percent;
  const int filled = percent * 30 / 100;
  std::fprintf(stderr, "\rresampling [%.*s%*s] %3d%%", filled, "##############################",
               30 - filled, "", percent);
  std::fflush(stderr);
}

int ParseNumber(const std::string& Text, const std::string& What) {
  char* end = nullptr;
  long v = std::strtol(Text.c_str(), &end, 10);
  if (Text.empty() || *end || v < 1 || v > host::TBitmap::MaxDimension)
    throw TUsageError{What + " must be a whole number from 1 to " +
                      std::to_string(host::TBitmap::MaxDimension)};
  return static_cast<int>(v);
}

void ParseSize(const std::string& Text, TConvertOptions& O) {
  std::size_t x = Text.find_first_of("xX");
  if (x == std::string::npos) throw TUsageError{"--size wants WxH, for example 320x180"};
  O.Width = ParseNumber(Text.substr(0, x), "the width");
  O.Height = ParseNumber(Text.substr(x + 1), "the height");
}

std::string Lower(std::string S) {
  for (char& c : S) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return S;
}

// Runs Action; the framework's exceptions become a TFileError about File.
template <class F>
void OnFile(const std::string& File, F&& Action) {
  try {
    Action();
  } catch (const host::Exception& e) {
    throw TFileError{File, DescribeError(e)};
  } catch (const std::bad_alloc&) {
    throw TFileError{File, "out of memory"};
  }
}

}  // namespace

std::string DescribeError(const std::exception& E) {
  const auto* framework = dynamic_cast<const host::Exception*>(&E);
  std::string text = framework ? framework->Message() : E.what();
  // Blank lines between the parts of a message become ": ".
  for (std::size_t at; (at = text.find("\r\n\r\n")) != std::string::npos;)
    text.replace(at, 4, ": ");
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

TConvertOptions ParseConvertArgs(const std::vector<std::string>& Args) {
  TConvertOptions o;
  std::vector<std::string> files;
  bool optionsDone = false;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& a = Args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= Args.size()) throw TUsageError{a + " needs a value"};
      return Args[++i];
    };
    if (!optionsDone && a == "--") {
      optionsDone = true;
    } else if (!optionsDone && a == "--size") {
      ParseSize(value(), o);
    } else if (!optionsDone && a == "--format") {
      o.Given = ParseFormatName(value());
    } else if (!optionsDone && a == "--quality") {
      const std::string& v = value();
      char* end = nullptr;
      const long q = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end || q < 1 || q > 100)
        throw TUsageError{"--quality must be a whole number from 1 to 100"};
      o.Encoding.Quality = int(q);
    } else if (!optionsDone && a == "--lossless") {
      o.Encoding.Lossless = true;
    } else if (!optionsDone && a == "--filter") {
      o.Filter = Lower(value());
      if (!FindResampleFilter(o.Filter)) throw TUsageError{"unknown filter " + o.Filter};
    } else if (!optionsDone && a == "--filter-width") {
      const std::string& v = value();
      char* end = nullptr;
      o.FilterWidth = std::strtof(v.c_str(), &end);
      if (v.empty() || *end || !(o.FilterWidth > 0 && o.FilterWidth <= 100))
        throw TUsageError{"--filter-width wants a number above 0 and at most 100"};
    } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
      throw TUsageError{"unknown option " + a};
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) throw TUsageError{"convert needs an input and an output file"};
  if (o.Width == 0 && (o.Filter != "mitchell" || o.FilterWidth != 0))
    throw TUsageError{"--filter and --filter-width go with --size"};
  o.Input = files[0];
  o.Output = files[1];
  std::string why;
  const std::optional<TPictureFormat> format = OutputFormat(o.Output, o.Given, &why);
  if (!format) throw TUsageError{why};
  why = EncodingProblem(*format, o.Encoding);
  if (!why.empty()) throw TUsageError{why};
  return o;
}

void RunConvert(const TConvertOptions& Options) {
  // Checked first so that a wrong output costs no decoding.
  std::string why;
  const std::optional<TPictureFormat> format = OutputFormat(Options.Output, Options.Given, &why);
  if (!format) throw TUsageError{why};
  why = EncodingProblem(*format, Options.Encoding);
  if (!why.empty()) throw TUsageError{why};
  why = OutputFolderProblem(Options.Output);
  if (!why.empty()) throw TFileError{Options.Output, why};
  host::TPicture picture;
  OnFile(Options.Input, [&] { picture.LoadFromFile(Options.Input); });
  if (Options.Width > 0) {
    const TResampleFilterInfo* filter = FindResampleFilter(Options.Filter);
    if (!filter) throw TUsageError{"unknown filter " + Options.Filter};
    float width = Options.FilterWidth;
    if (width == 0) width = Options.Filter == "mitchell" ? 3.0f : filter->Support;
    host::TBitmap& source = picture.Bitmap();
    // Small pictures are done before a bar would be seen.
    const bool bar = Options.ShowProgress && std::int64_t(source.Width()) * source.Height() +
                                                     std::int64_t(Options.Width) * Options.Height >=
                                                 kProgressPixels;
    auto resized = std::make_unique<host::TBitmap>();
    Bar = TProgressBar{};
    Resample(source, *resized, Options.Width, Options.Height, filter->Filter, width,
             bar ? DrawProgress : nullptr);
    if (bar) std::fputs("\n", stderr);
    picture.SetGraphic(std::move(resized));
  } else if (*format == TPictureFormat::Bmp) {
    // A bitmap kind (a PNG image is one) saved as a plain bitmap hands its
    // pixels over: converting would copy them, and a large picture would
    // then be held twice.
    if (auto* bitmap = dynamic_cast<host::TBitmap*>(picture.Graphic())) {
      auto plain = std::make_unique<host::TBitmap>();
      plain->TakeImage(*bitmap);
      picture.SetGraphic(std::move(plain));
    }
  }
  OnFile(Options.Output, [&] {
    WritePicture(Options.Output, *format, [&](const std::string& temporary) {
      SavePicture(picture, temporary, Options.Encoding);
    });
  });
}

}  // namespace snapkit::tools
