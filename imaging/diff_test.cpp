#include "imaging/diff.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/testing/pixelmatch.h"

namespace snapkit {
namespace {

using testing::TRGBAImage;

std::string Data(const char* Name) {
  return std::string(SNAPKIT_SOURCE_DIR) + "/imaging/testing/data/" + Name;
}

// A horizontal ramp with the same ramp plus noise of up to Amplitude per
// channel on a share of the pixels: many differences sit just around the
// thresholds, and a ramp is what the anti-aliasing test looks for.
std::pair<TRGBAImage, TRGBAImage> NoisyGradient(int Width, int Height, int Amplitude) {
  TRGBAImage a{Width, Height, std::vector<std::uint8_t>(4 * std::size_t(Width) * Height)};
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> noise(-Amplitude, Amplitude), pick(0, 3);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      std::uint8_t* p = &a.Pixels[4 * (std::size_t(y) * Width + x)];
      p[0] = std::uint8_t(255 * x / Width);
      p[1] = std::uint8_t(255 * y / Height);
      p[2] = std::uint8_t(128 + (x - y) % 64);
      p[3] = 255;
    }
  TRGBAImage b = a;
  for (std::size_t i = 0; i < b.Pixels.size(); i += 4)
    if (pick(rng) == 0)
      for (int c = 0; c < 3; ++c)
        b.Pixels[i + c] = std::uint8_t(std::clamp(b.Pixels[i + c] + noise(rng), 0, 255));
  return {a, b};
}

// Hard-edged blocks, noise and single pixels, with a few pixels changed:
// small and odd-sized, so the picture's edges and the vector loops' tails
// are where the differences are.
std::pair<TRGBAImage, TRGBAImage> SmallChanged(int Width, int Height, unsigned Seed) {
  std::mt19937 rng(Seed);
  std::uniform_int_distribution<int> byte(0, 255), kind(0, 2);
  TRGBAImage a{Width, Height, std::vector<std::uint8_t>(4 * std::size_t(Width) * Height)};
  for (std::size_t i = 0; i < a.Pixels.size(); i += 4) {
    const int k = kind(rng);
    for (int c = 0; c < 3; ++c)
      a.Pixels[i + c] = std::uint8_t(k == 0 ? 255 : k == 1 ? 0 : byte(rng));
    a.Pixels[i + 3] = 255;
  }
  TRGBAImage b = a;
  for (int n = 0; n < Width * Height / 5; ++n) {
    const std::size_t i =
        4 * std::uniform_int_distribution<std::size_t>(0, std::size_t(Width) * Height - 1)(rng);
    for (int c = 0; c < 3; ++c) b.Pixels[i + c] = std::uint8_t(byte(rng));
  }
  return {a, b};
}

TRGBAImage Cropped(const TRGBAImage& Image, int Width, int Height) {
  TRGBAImage c{Width, Height, {}};
  for (int y = 0; y < Height; ++y)
    c.Pixels.insert(c.Pixels.end(), Image.Pixels.begin() + 4 * std::size_t(y) * Image.Width,
                    Image.Pixels.begin() + 4 * (std::size_t(y) * Image.Width + Width));
  return c;
}

// The smallest rectangle around pixelmatch's red pixels.
host::TRect RedBox(const TRGBAImage& Diff) {
  host::TRect box{};
  bool any = false;
  for (int y = 0; y < Diff.Height; ++y)
    for (int x = 0; x < Diff.Width; ++x) {
      const std::uint8_t* p = &Diff.Pixels[4 * (std::size_t(y) * Diff.Width + x)];
      if (!(p[0] == 255 && p[1] == 0 && p[2] == 0)) continue;
      if (!any) box = host::Rect(x, y, x + 1, y + 1);
      any = true;
      box.Left = std::min(box.Left, x);
      box.Top = std::min(box.Top, y);
      box.Right = std::max(box.Right, x + 1);
      box.Bottom = y + 1;
    }
  return box;
}

struct TPair {
  const char* Name;
  TRGBAImage A, B;
};

class DiffAgainstPixelmatch : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = testing::PixelmatchUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
  }
  void TearDown() override { SetDiffVectorWidth(best_); }
  int best_ = DiffVectorWidth();
};

TEST_F(DiffAgainstPixelmatch, CountsAndDiffPicturesAreTheSame) {
  const TRGBAImage notes = testing::DecodeWithPngjs(Data("notes.png"));
  std::vector<TPair> pairs;
  pairs.push_back({"real capture, a few words changed", notes,
                   testing::DecodeWithPngjs(Data("notes_words_changed.png"))});
  pairs.push_back({"real capture, text moved by one pixel", notes,
                   testing::DecodeWithPngjs(Data("notes_moved_1px.png"))});
  auto [ga, gb] = NoisyGradient(1100, 520, 12);
  pairs.push_back({"noise on a gradient, large enough for several threads", ga, gb});
  auto [sa, sb] = NoisyGradient(37, 9, 40);
  pairs.push_back({"strong noise on a small gradient", sa, sb});
  pairs.push_back({"identical", notes, notes});
  for (auto [w, h, seed] :
       {std::tuple{1, 1, 1u}, {2, 3, 2u}, {5, 1, 3u}, {67, 11, 4u}, {23, 40, 5u}}) {
    auto [a, b] = SmallChanged(w, h, seed);
    pairs.push_back({"small, changed at its edges", a, b});
  }
  pairs.push_back({"sizes that differ", notes, Cropped(notes, notes.Width, notes.Height - 1)});

  struct TRun {
    std::size_t Pair;
    double Threshold;
    bool IncludeAA;
  };
  std::vector<TRun> runs;
  std::vector<testing::TPixelmatchJob> jobs;
  for (std::size_t p = 0; p < pairs.size(); ++p)
    for (auto [t, aa] : {std::pair{0.1, false}, {0.05, false}, {0.1, true}}) {
      runs.push_back({p, t, aa});
      jobs.push_back({&pairs[p].A, &pairs[p].B, t, aa});
    }
  const std::vector<testing::TPixelmatchAnswer> answers = testing::RunPixelmatch(jobs);

  for (int width : {8, 1}) {
    if (!SetDiffVectorWidth(width)) continue;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const TPair& pair = pairs[runs[i].Pair];
      SCOPED_TRACE(std::string(pair.Name) + ", threshold " + std::to_string(runs[i].Threshold) +
                   (runs[i].IncludeAA ? ", anti-aliasing counted" : "") + ", vector width " +
                   std::to_string(width));
      host::TBitmap a, b, diff;
      testing::FromRGBA(pair.A, a);
      testing::FromRGBA(pair.B, b);
      TDiffOptions options;
      options.Threshold = runs[i].Threshold;
      options.IncludeAA = runs[i].IncludeAA;
      const TDiffResult r = ComparePictures(a, b, options, &diff);
      const testing::TPixelmatchAnswer& judge = answers[i];
      if (!judge.Error.empty()) {
        // pixelmatch refuses pictures of different sizes; here they are one
        // difference as large as both.
        EXPECT_EQ(judge.Error, "Image sizes do not match.");
        EXPECT_FALSE(r.SameSize);
        EXPECT_EQ(r.Different, r.Total);
        EXPECT_EQ(r.Total, std::int64_t(pair.A.Width) * pair.A.Height);
        continue;
      }
      ASSERT_TRUE(r.SameSize);
      EXPECT_EQ(r.Different, judge.Count);
      EXPECT_EQ(r.Total, std::int64_t(pair.A.Width) * pair.A.Height);
      const host::TRect box = RedBox(judge.Diff);
      EXPECT_EQ(r.Box.Left, box.Left);
      EXPECT_EQ(r.Box.Top, box.Top);
      EXPECT_EQ(r.Box.Right, box.Right);
      EXPECT_EQ(r.Box.Bottom, box.Bottom);
      TRGBAImage ours;
      testing::ToRGBA(diff, ours);
      std::size_t wrong = 0, first = 0;
      for (std::size_t k = 0; k < ours.Pixels.size(); ++k)
        if (ours.Pixels[k] != judge.Diff.Pixels[k] && wrong++ == 0) first = k / 4;
      EXPECT_EQ(wrong, 0u) << "first at pixel (" << first % ours.Width << ", " << first / ours.Width
                           << ")";
    }
  }
}

// Beyond pixelmatch: what the comparison adds (formats, shares, sizes).
TEST(Diff, AnyPixelFormatAndTheShareOfPixels) {
  auto [ra, rb] = SmallChanged(64, 48, 9);
  host::TBitmap a, b, a32, b32;
  testing::FromRGBA(ra, a);
  testing::FromRGBA(rb, b);
  a32.Assign(a);
  a32.SetPixelFormat(host::pf32bit);
  b32.Assign(b);
  b32.SetPixelFormat(host::pf32bit);
  const TDiffResult r24 = ComparePictures(a, b), r32 = ComparePictures(a32, b32);
  EXPECT_GT(r24.Different, 0);
  EXPECT_EQ(r32.Different, r24.Different);
  EXPECT_EQ(r32.AntiAliased, r24.AntiAliased);
  EXPECT_DOUBLE_EQ(r24.Ratio, double(r24.Different) / (64 * 48));

  host::TBitmap empty, wide, diff;
  wide.SetPixelFormat(host::pf24bit);
  wide.SetSize(70, 20);
  struct TCase {
    const host::TBitmap *A, *B;
    std::int64_t Different, Total;
    int BoxRight, BoxBottom;
  } cases[] = {
      {&empty, &empty, 0, 0, 0, 0},
      {&a, &a, 0, 64 * 48, 0, 0},
      {&a, &wide, 70 * 48, 70 * 48, 70, 48},
      {&empty, &a, 64 * 48, 64 * 48, 64, 48},
  };
  for (const TCase& c : cases) {
    const TDiffResult r = ComparePictures(*c.A, *c.B, {}, &diff);
    EXPECT_EQ(r.Different, c.Different);
    EXPECT_EQ(r.Total, c.Total);
    EXPECT_EQ(r.Box.Right, c.BoxRight);
    EXPECT_EQ(r.Box.Bottom, c.BoxBottom);
    EXPECT_EQ(diff.Width() * diff.Height(), c.Total);
  }
}

}  // namespace
}  // namespace snapkit
