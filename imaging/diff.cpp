#include "imaging/diff.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "imaging/diff_rows.h"

namespace snapkit {
namespace {

// A 24-bit picture read in place: rows top-down, Stride bytes apart.
struct TPlane {
  const std::uint8_t* Base;
  std::ptrdiff_t Stride;
  const std::uint8_t* At(int X, int Y) const { return Base + Y * Stride + 3 * std::ptrdiff_t(X); }
  std::uint32_t Pixel(int X, int Y) const {
    const std::uint8_t* p = At(X, Y);
    return p[0] | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
  }
};

// The colour difference of two opaque pixels: pixelmatch's weighted YIQ
// distance, negative when A is the brighter.
inline double ColorDelta(const std::uint8_t* A, const std::uint8_t* B) {
  const double dr = int(A[2]) - int(B[2]), dg = int(A[1]) - int(B[1]), db = int(A[0]) - int(B[0]);
  const double y = dr * 0.29889531 + dg * 0.58662247 + db * 0.11448223;
  const double i = dr * 0.59597799 - dg * 0.27417610 - db * 0.32180189;
  const double q = dr * 0.21147017 - dg * 0.52261711 + db * 0.31114694;
  const double delta = 0.5053 * y * y + 0.299 * i * i + 0.1957 * q * q;
  return y > 0 ? -delta : delta;
}

inline double BrightnessDelta(const std::uint8_t* A, const std::uint8_t* B) {
  const int dr = int(A[2]) - int(B[2]), dg = int(A[1]) - int(B[1]), db = int(A[0]) - int(B[0]);
  if (!dr && !dg && !db) return 0;
  return dr * 0.29889531 + dg * 0.58662247 + db * 0.11448223;
}

struct TExtent {
  int Width, Height;
};

// More than two of the pixel's neighbours (the picture's edge counting as
// one) have its colour.
bool HasManySiblings(const TPlane& P, int X1, int Y1, TExtent E) {
  const int x0 = std::max(X1 - 1, 0), y0 = std::max(Y1 - 1, 0);
  const int x2 = std::min(X1 + 1, E.Width - 1), y2 = std::min(Y1 + 1, E.Height - 1);
  const std::uint32_t value = P.Pixel(X1, Y1);
  int same = X1 == x0 || X1 == x2 || Y1 == y0 || Y1 == y2 ? 1 : 0;
  for (int x = x0; x <= x2; ++x)
    for (int y = y0; y <= y2; ++y) {
      if (x == X1 && y == Y1) continue;
      same += P.Pixel(x, y) == value;
      if (same > 2) return true;
    }
  return false;
}

// The pixel lies on a brightness ramp: among its neighbours at most two
// share its colour, there is a darker and a brighter one, and the darkest or
// the brightest sits in a flat area in both pictures. Img is the picture
// looked at; Mine and Other the two for the flat-area test. The neighbours
// go column by column, as pixelmatch's do, so ties pick the same one.
bool AntiAliased(const TPlane& Img, int X1, int Y1, TExtent E, const TPlane& Mine,
                 const TPlane& Other) {
  const int x0 = std::max(X1 - 1, 0), y0 = std::max(Y1 - 1, 0);
  const int x2 = std::min(X1 + 1, E.Width - 1), y2 = std::min(Y1 + 1, E.Height - 1);
  const std::uint8_t* centre = Img.At(X1, Y1);
  int zeroes = X1 == x0 || X1 == x2 || Y1 == y0 || Y1 == y2 ? 1 : 0;
  double min = 0, max = 0;
  int minX = 0, minY = 0, maxX = 0, maxY = 0;
  for (int x = x0; x <= x2; ++x)
    for (int y = y0; y <= y2; ++y) {
      if (x == X1 && y == Y1) continue;
      const double delta = BrightnessDelta(centre, Img.At(x, y));
      if (delta == 0) {
        if (++zeroes > 2) return false;
      } else if (delta < min) {
        min = delta;
        minX = x;
        minY = y;
      } else if (delta > max) {
        max = delta;
        maxX = x;
        maxY = y;
      }
    }
  if (min == 0 || max == 0) return false;
  return (HasManySiblings(Mine, minX, minY, E) && HasManySiblings(Other, minX, minY, E)) ||
         (HasManySiblings(Mine, maxX, maxY, E) && HasManySiblings(Other, maxX, maxY, E));
}

struct TBand {
  std::int64_t Different = 0, AntiAliased = 0;
  int Left = 0, Top = 0, Right = 0, Bottom = 0;  // empty while Right == 0
};

struct TJob {
  TPlane A, B;
  std::uint8_t* Out;  // null without a diff picture
  std::ptrdiff_t OutStride;
  TExtent E;
  double MaxDelta;
  TDiffOptions Options;
};

inline void Paint(std::uint8_t* P, std::uint8_t Blue, std::uint8_t Green, std::uint8_t Red) {
  P[0] = Blue;
  P[1] = Green;
  P[2] = Red;
}

void CompareBand(const TJob& J, int Y0, int Y1, TBand& R) {
  for (int y = Y0; y < Y1; ++y) {
    const std::uint8_t* ra = J.A.At(0, y);
    const std::uint8_t* rb = J.B.At(0, y);
    std::uint8_t* ro = J.Out ? J.Out + y * J.OutStride : nullptr;
    if (ro) FadedGreyRow(ra, J.E.Width, J.Options.Alpha, ro);
    for (int x = FirstDifferentPixel(ra, rb, 0, J.E.Width); x < J.E.Width;
         x = FirstDifferentPixel(ra, rb, x + 1, J.E.Width)) {
      if (!(std::fabs(ColorDelta(ra + 3 * x, rb + 3 * x)) > J.MaxDelta)) continue;
      if (!J.Options.IncludeAA &&
          (AntiAliased(J.A, x, y, J.E, J.A, J.B) || AntiAliased(J.B, x, y, J.E, J.B, J.A))) {
        ++R.AntiAliased;
        if (ro) Paint(ro + 3 * x, 0, 255, 255);
        continue;
      }
      if (R.Right == 0) {
        R.Left = x;
        R.Top = y;
        R.Right = x + 1;
      }
      R.Left = std::min(R.Left, x);
      R.Right = std::max(R.Right, x + 1);
      R.Bottom = y + 1;
      ++R.Different;
      if (ro) Paint(ro + 3 * x, 0, 0, 255);
    }
  }
}

// Below this many pixels a thread costs more than it saves.
constexpr std::int64_t kParallelPixels = 1 << 19;

void CompareAll(const TJob& J, TBand& Total) {
  const std::int64_t pixels = std::int64_t(J.E.Width) * J.E.Height;
  int bands = 1;
  if (pixels >= kParallelPixels)
    bands = int(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, 8));
  bands = std::max(1, std::min(bands, J.E.Height / 16));
  std::vector<TBand> parts(bands);
  std::vector<std::thread> threads;
  auto rows = [&](int b) { return int(std::int64_t(J.E.Height) * b / bands); };
  try {
    for (int b = 1; b < bands; ++b)
      threads.emplace_back([&, b] { CompareBand(J, rows(b), rows(b + 1), parts[b]); });
  } catch (...) {
    // No thread to be had: the rest on this one.
    for (std::thread& t : threads) t.join();
    for (int b = int(threads.size()) + 1; b < bands; ++b)
      CompareBand(J, rows(b), rows(b + 1), parts[b]);
    threads.clear();
  }
  CompareBand(J, 0, rows(1), parts[0]);
  for (std::thread& t : threads) t.join();
  for (const TBand& p : parts) {
    Total.Different += p.Different;
    Total.AntiAliased += p.AntiAliased;
    if (p.Right == 0) continue;
    if (Total.Right == 0) {
      Total = TBand{Total.Different, Total.AntiAliased, p.Left, p.Top, p.Right, p.Bottom};
      continue;
    }
    Total.Left = std::min(Total.Left, p.Left);
    Total.Right = std::max(Total.Right, p.Right);
    Total.Bottom = p.Bottom;
  }
}

// Points at Source when it is 24-bit, else at a 24-bit copy kept in Holder.
const host::TBitmap& As24Bit(const host::TBitmap& Source, std::unique_ptr<host::TBitmap>& Holder) {
  if (Source.PixelFormat() == host::pf24bit) return Source;
  Holder = std::make_unique<host::TBitmap>();
  Holder->Assign(Source);
  Holder->SetPixelFormat(host::pf24bit);
  return *Holder;
}

}  // namespace

TDiffResult ComparePictures(const host::TBitmap& A, const host::TBitmap& B,
                            const TDiffOptions& Options, host::TBitmap* Diff) {
  TDiffResult r;
  r.Width1 = A.Width();
  r.Height1 = A.Height();
  r.Width2 = B.Width();
  r.Height2 = B.Height();
  r.SameSize = r.Width1 == r.Width2 && r.Height1 == r.Height2;
  if (!r.SameSize) {
    const int w = std::max(r.Width1, r.Width2), h = std::max(r.Height1, r.Height2);
    r.Total = r.Different = std::int64_t(w) * h;
    r.Ratio = r.Total ? 1 : 0;
    if (r.Total) r.Box = host::Rect(0, 0, w, h);
    if (Diff) {
      Diff->SetPixelFormat(host::pf24bit);
      Diff->SetSize(w, h);
      for (int y = 0; y < h; ++y)
        for (std::uint8_t *p = Diff->ScanLine(y), *end = p + 3 * w; p < end; p += 3)
          Paint(p, 0, 0, 255);
    }
    return r;
  }
  r.Total = std::int64_t(r.Width1) * r.Height1;
  if (Diff) {
    Diff->SetPixelFormat(host::pf24bit);
    Diff->SetSize(r.Width1, r.Height1);
  }
  if (r.Total == 0) return r;
  std::unique_ptr<host::TBitmap> holdA, holdB;
  const host::TBitmap& a = As24Bit(A, holdA);
  const host::TBitmap& b = As24Bit(B, holdB);
  const std::ptrdiff_t stride = std::ptrdiff_t(a.RowBytes());
  TJob job{TPlane{a.ScanLine(0), stride}, TPlane{b.ScanLine(0), stride},
           Diff ? Diff->ScanLine(0) : nullptr, stride, TExtent{r.Width1, r.Height1},
           // pixelmatch's limit: 35215 is the largest value the metric takes.
           35215 * Options.Threshold * Options.Threshold, Options};
  TBand total;
  CompareAll(job, total);
  r.Different = total.Different;
  r.AntiAliased = total.AntiAliased;
  r.Ratio = double(r.Different) / double(r.Total);
  if (total.Right) r.Box = host::Rect(total.Left, total.Top, total.Right, total.Bottom);
  return r;
}

int DiffVectorWidth() { return DiffWidthInUse; }

bool SetDiffVectorWidth(int Lanes) {
  if (Lanes != 1 && !(Lanes == 8 && BestDiffWidth() == 8)) return false;
  DiffWidthInUse = Lanes;
  return true;
}

}  // namespace snapkit
