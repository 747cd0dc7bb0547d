#pragma once
// Row filters and their scores for the encoder. The vector versions give the
// same bytes and scores as the plain ones; which runs depends on the CPU.

#include <cstdint>

namespace snapkit {

// Instruction sets the encoder's loops can use, in increasing order.
enum TVectorLevel { vlPlain, vlSSE2, vlSSSE3, vlAVX2 };
// The best level this CPU supports (checked once).
TVectorLevel BestVectorLevel();

// Out[t] for each filter type t (1..4) whose bit is in Set: the filtered
// row R against the previous raw row P. Offset is the filter distance (1..8).
void ComputeFilters(const std::uint8_t* R, const std::uint8_t* P, std::uint8_t* const Out[5],
                    std::uint32_t Length, std::uint32_t Offset, std::uint8_t Set);
// Number of positions k, 4 <= k < Length, where Row[k-4..k] are five equal bytes.
std::uint32_t RunScore(const std::uint8_t* Row, std::uint32_t Length);
// 24-bit bitmap pixels (blue, green, red) to PNG order (red, green, blue),
// each sample through Map when it is not null.
void SwapToRGB(const std::uint8_t* BGR, std::uint8_t* RGB, std::uint32_t Pixels,
               const std::uint8_t* Map);

// The same at a given level (at most BestVectorLevel()), for tests and benchmarks.
void ComputeFiltersAt(TVectorLevel Level, const std::uint8_t* R, const std::uint8_t* P,
                      std::uint8_t* const Out[5], std::uint32_t Length, std::uint32_t Offset,
                      std::uint8_t Set);
std::uint32_t RunScoreAt(TVectorLevel Level, const std::uint8_t* Row, std::uint32_t Length);
void SwapToRGBAt(TVectorLevel Level, const std::uint8_t* BGR, std::uint8_t* RGB,
                 std::uint32_t Pixels, const std::uint8_t* Map);

}  // namespace snapkit
