#pragma once
// Deterministic image-like byte buffers for tests and benchmarks: their
// compression ratios resemble real captures, unlike zeros or pure noise.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace snapkit::testing {

// Small, seedable and the same on every machine.
class Lcg {
 public:
  explicit Lcg(std::uint32_t Seed) : FState(Seed * 2654435761u + 1) {}
  std::uint32_t Next() {
    FState = FState * 1664525u + 1013904223u;
    return FState >> 8;
  }

 private:
  std::uint32_t FState;
};

// 24-bit rows of a desktop screenshot: flat panels, borders and runs of
// dark "text" strokes on light backgrounds.
inline std::vector<std::uint8_t> ScreenshotLike(std::size_t Bytes, std::uint32_t Seed = 1) {
  std::vector<std::uint8_t> out(Bytes);
  Lcg rng(Seed);
  const std::size_t row = 1280 * 3;
  std::uint8_t panel[3] = {0xF0, 0xF0, 0xF0};
  for (std::size_t i = 0; i < Bytes; i += 3) {
    const std::size_t x = (i % row) / 3, y = i / row;
    if (x == 0 && y % 40 == 0) {
      for (auto& c : panel) c = static_cast<std::uint8_t>(0xC0 + rng.Next() % 0x40);
    }
    std::uint8_t px[3] = {panel[0], panel[1], panel[2]};
    if (x % 320 == 0 || y % 40 == 0) px[0] = px[1] = px[2] = 0x80;
    if (y % 40 > 10 && y % 40 < 22 && x % 320 > 16 && (rng.Next() % 7) < 2)
      px[0] = px[1] = px[2] = static_cast<std::uint8_t>(rng.Next() % 0x50);
    for (std::size_t k = 0; k < 3 && i + k < Bytes; ++k) out[i + k] = px[k];
  }
  return out;
}

// 24-bit rows of a photograph: smooth gradients under sensor noise.
inline std::vector<std::uint8_t> PhotoLike(std::size_t Bytes, std::uint32_t Seed = 2) {
  std::vector<std::uint8_t> out(Bytes);
  Lcg rng(Seed);
  const std::size_t row = 1024 * 3;
  for (std::size_t i = 0; i < Bytes; ++i) {
    const std::size_t x = (i % row) / 3, y = i / row, c = i % 3;
    const int base = static_cast<int>((x * (c + 1) + y * (3 - c)) / 5 % 256);
    const int noise = static_cast<int>(rng.Next() % 13) - 6;
    out[i] = static_cast<std::uint8_t>(std::min(255, std::max(0, base + noise)));
  }
  return out;
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t Bytes, std::uint32_t Seed = 3) {
  std::vector<std::uint8_t> out(Bytes);
  Lcg rng(Seed);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng.Next());
  return out;
}

}  // namespace snapkit::testing
