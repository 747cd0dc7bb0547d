#include "imaging/testing/pixelmatch.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace snapkit::testing {
namespace fs = std::filesystem;
namespace {

// The last pixelmatch that measures in YIQ space; 8 went over to OKLab.
const char* const kPackages = "pixelmatch@7.2.0 pngjs@7.0.0";

fs::path CacheFolder() {
  // Beside the test program, in the build tree.
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "npm-cache" /
         "pixelmatch-7.2.0";
}

std::string Run(const std::string& Command, int* Status) {
  std::string output;
  if (FILE* p = popen(Command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
      output.append(buffer, n);
    *Status = pclose(p);
  } else {
    *Status = -1;
  }
  return output;
}

const char* const kScript = R"(import fs from 'fs';
import pixelmatch from 'pixelmatch';
import { PNG } from 'pngjs';
const [mode, list] = process.argv.slice(2);
const read = (f) => new Uint8Array(fs.readFileSync(f));
if (mode === 'decode') {
  const png = PNG.sync.read(fs.readFileSync(list));
  fs.writeFileSync(list + '.rgba', png.data);
  console.log(png.width + ' ' + png.height);
} else {
  for (const line of fs.readFileSync(list, 'utf8').split('\n').filter(Boolean)) {
    const [a, b, w, h, wb, hb, t, aa, out] = line.split(' ');
    const img1 = read(a), img2 = read(b);
    const diff = new Uint8Array(img1.length);
    try {
      if (w !== wb || h !== hb) throw new Error('Image sizes do not match.');
      const n = pixelmatch(img1, img2, diff, +w, +h, { threshold: +t, includeAA: aa === '1' });
      fs.writeFileSync(out, diff);
      console.log(n);
    } catch (e) { console.log('error ' + e.message); }
  }
}
)";

std::string Quote(const fs::path& P) { return "'" + P.string() + "'"; }

void WriteFile(const fs::path& File, const void* Data, std::size_t Size) {
  std::ofstream out(File, std::ios::binary);
  out.write(static_cast<const char*>(Data), std::streamsize(Size));
  if (!out) throw std::runtime_error("cannot write " + File.string());
}

std::vector<std::uint8_t> ReadFile(const fs::path& File) {
  std::ifstream in(File, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::string PixelmatchUnavailable() {
  static const std::string why = []() -> std::string {
    const fs::path dir = CacheFolder();
    int status = 0;
    Run("command -v node >/dev/null && command -v npm >/dev/null", &status);
    if (status != 0) return "node or npm is not installed";
    if (!fs::exists(dir / "node_modules" / "pixelmatch" / "package.json") ||
        !fs::exists(dir / "node_modules" / "pngjs" / "package.json")) {
      fs::create_directories(dir);
      WriteFile(dir / "package.json", "{\"private\": true}\n", 18);
      const std::string log = Run("cd " + Quote(dir) + " && timeout 120 npm install --no-audit " +
                                      "--no-fund --no-save " + kPackages + " 2>&1",
                                  &status);
      if (status != 0)
        return std::string("pixelmatch could not be installed from the npm registry: ") +
               log.substr(0, 300);
    }
    std::ofstream(dir / "compare.mjs") << kScript;
    return {};
  }();
  return why;
}

TRGBAImage DecodeWithPngjs(const std::string& File) {
  const fs::path dir = CacheFolder();
  const fs::path copy = dir / ("decode-" + std::to_string(getpid()) + ".png");
  fs::copy_file(File, copy, fs::copy_options::overwrite_existing);
  int status = 0;
  std::istringstream answer(
      Run("node " + Quote(dir / "compare.mjs") + " decode " + Quote(copy), &status));
  TRGBAImage image;
  answer >> image.Width >> image.Height;
  if (status != 0 || !answer) throw std::runtime_error("pngjs could not decode " + File);
  image.Pixels = ReadFile(copy.string() + ".rgba");
  fs::remove(copy);
  fs::remove(copy.string() + ".rgba");
  return image;
}

void ToRGBA(const host::TBitmap& Bitmap, TRGBAImage& Image) {
  Image.Width = Bitmap.Width();
  Image.Height = Bitmap.Height();
  Image.Pixels.resize(4 * std::size_t(Image.Width) * Image.Height);
  std::uint8_t* o = Image.Pixels.data();
  for (int y = 0; y < Image.Height; ++y) {
    const std::uint8_t* p = Bitmap.ScanLine(y);
    for (int x = 0; x < Image.Width; ++x, p += 3, o += 4) {
      o[0] = p[2];
      o[1] = p[1];
      o[2] = p[0];
      o[3] = 255;
    }
  }
}

void FromRGBA(const TRGBAImage& Image, host::TBitmap& Bitmap) {
  Bitmap.SetPixelFormat(host::pf24bit);
  Bitmap.SetSize(Image.Width, Image.Height);
  const std::uint8_t* p = Image.Pixels.data();
  for (int y = 0; y < Image.Height; ++y) {
    std::uint8_t* o = Bitmap.ScanLine(y);
    for (int x = 0; x < Image.Width; ++x, p += 4, o += 3) {
      o[0] = p[2];
      o[1] = p[1];
      o[2] = p[0];
    }
  }
}

std::vector<TPixelmatchAnswer> RunPixelmatch(const std::vector<TPixelmatchJob>& Jobs) {
  const fs::path dir = CacheFolder() / ("run-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ostringstream list;
  for (std::size_t i = 0; i < Jobs.size(); ++i) {
    const TPixelmatchJob& j = Jobs[i];
    const fs::path a = dir / (std::to_string(i) + "a"), b = dir / (std::to_string(i) + "b");
    WriteFile(a, j.A->Pixels.data(), j.A->Pixels.size());
    WriteFile(b, j.B->Pixels.data(), j.B->Pixels.size());
    char threshold[32];
    std::snprintf(threshold, sizeof threshold, "%.17g", j.Threshold);
    list << a.string() << ' ' << b.string() << ' ' << j.A->Width << ' ' << j.A->Height << ' '
         << j.B->Width << ' ' << j.B->Height << ' ' << threshold << ' ' << (j.IncludeAA ? 1 : 0)
         << ' ' << (dir / (std::to_string(i) + "out")).string() << '\n';
  }
  const std::string listText = list.str();
  WriteFile(dir / "list", listText.data(), listText.size());
  int status = 0;
  std::istringstream answer(Run(
      "node " + Quote(CacheFolder() / "compare.mjs") + " compare " + Quote(dir / "list"), &status));
  std::vector<TPixelmatchAnswer> answers;
  std::string line;
  for (std::size_t i = 0; i < Jobs.size() && std::getline(answer, line); ++i) {
    TPixelmatchAnswer a;
    if (line.rfind("error ", 0) == 0) {
      a.Error = line.substr(6);
    } else {
      a.Count = std::stoll(line);
      a.Diff.Width = Jobs[i].A->Width;
      a.Diff.Height = Jobs[i].A->Height;
      a.Diff.Pixels = ReadFile(dir / (std::to_string(i) + "out"));
    }
    answers.push_back(std::move(a));
  }
  fs::remove_all(dir);
  if (status != 0 || answers.size() != Jobs.size())
    throw std::runtime_error("pixelmatch did not answer every pair");
  return answers;
}

}  // namespace snapkit::testing
