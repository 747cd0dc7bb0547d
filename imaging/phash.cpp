#include "imaging/phash.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace snapkit {
namespace {

constexpr int kColumns = 9, kRows = 8;

// Cell i of Cells across Size pixels starts here; each cell holds at least
// one pixel when there are fewer pixels than cells.
int CellStart(int I, int Cells, int Size) {
  return std::min(int(std::int64_t(Size) * I / Cells), std::max(Size - 1, 0));
}

}  // namespace

std::uint64_t PerceptualHash(const host::TBitmap& Picture) {
  const int w = Picture.Width(), h = Picture.Height();
  if (w == 0 || h == 0) return 0;
  const host::TBitmap* source = &Picture;
  std::unique_ptr<host::TBitmap> copy;
  if (Picture.PixelFormat() != host::pf24bit) {
    copy = std::make_unique<host::TBitmap>();
    copy->Assign(Picture);
    copy->SetPixelFormat(host::pf24bit);
    source = copy.get();
  }
  // Column c of the grid covers pixels [start[c], start[c + 1]); a pixel of
  // a tiny picture may count in several cells.
  std::array<int, kColumns + 1> xs{}, ys{};
  for (int c = 0; c <= kColumns; ++c) xs[c] = c == kColumns ? w : CellStart(c, kColumns, w);
  for (int r = 0; r <= kRows; ++r) ys[r] = r == kRows ? h : CellStart(r, kRows, h);
  std::array<std::int64_t, kColumns * kRows> sum{}, count{};
  std::vector<std::int64_t> row(static_cast<std::size_t>(w));
  for (int r = 0; r < kRows; ++r) {
    const int top = ys[r], bottom = std::max(ys[r + 1], top + 1);
    std::fill(row.begin(), row.end(), 0);
    for (int y = top; y < bottom; ++y) {
      const std::uint8_t* p = source->ScanLine(y);
      // Grey in thousandths: 299 red + 587 green + 114 blue.
      for (int x = 0; x < w; ++x, p += 3) row[x] += 114 * p[0] + 587 * p[1] + 299 * p[2];
    }
    for (int c = 0; c < kColumns; ++c) {
      const int left = xs[c], right = std::max(xs[c + 1], left + 1);
      for (int x = left; x < right; ++x) sum[r * kColumns + c] += row[x];
      count[r * kColumns + c] = std::int64_t(right - left) * (bottom - top);
    }
  }
  std::uint64_t hash = 0;
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c + 1 < kColumns; ++c) {
      const int i = r * kColumns + c;
      // Means compared without dividing: left / nl - right / nr > 1 grey
      // level. The margin keeps flat areas flat: a resampler's ringing or a
      // JPEG's noise would otherwise set their bits at random.
      if (sum[i] * count[i + 1] - sum[i + 1] * count[i] > 1000 * count[i] * count[i + 1])
        hash |= std::uint64_t(1) << (8 * r + c);
    }
  return hash;
}

int HashDistance(std::uint64_t A, std::uint64_t B) { return __builtin_popcountll(A ^ B); }

std::string HashToHex(std::uint64_t Hash) {
  static const char digits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, Hash >>= 4) text[i] = digits[Hash & 15];
  return text;
}

bool HashFromHex(const std::string& Text, std::uint64_t& Hash) {
  if (Text.size() != 16) return false;
  std::uint64_t value = 0;
  for (char ch : Text) {
    int digit;
    if (ch >= '0' && ch <= '9')
      digit = ch - '0';
    else if (ch >= 'a' && ch <= 'f')
      digit = ch - 'a' + 10;
    else if (ch >= 'A' && ch <= 'F')
      digit = ch - 'A' + 10;
    else
      return false;
    value = value << 4 | unsigned(digit);
  }
  Hash = value;
  return true;
}

}  // namespace snapkit
