#pragma once
// Reversing PNG row filters.

#include <cstdint>

namespace snapkit {

// Undoes filter FilterType (0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth) of one
// row of Count bytes in place. PriorRow is the previous row, already
// unfiltered; Offset the distance in bytes to the corresponding byte of the
// pixel on the left. Returns false, leaving Row alone, for a type above 4.
// Uses vector units where the machine has them; the result is always that
// of UnfilterRowScalar.
bool UnfilterRow(std::uint8_t FilterType, std::uint8_t* Row, const std::uint8_t* PriorRow,
                 std::int32_t Offset, std::int32_t Count);

// Two consecutive rows with the same filter type: Next's previous row is Row.
// Gives what two UnfilterRow calls give, faster where the left-to-right
// dependency limits speed (Average and Paeth on 3 and 4-byte pixels).
// Returns false, changing nothing, for any other case.
bool UnfilterRowPair(std::uint8_t FilterType, std::uint8_t* Row, std::uint8_t* Next,
                     const std::uint8_t* PriorRow, std::int32_t Offset, std::int32_t Count);

// Byte at a time, exactly as the filters are defined.
bool UnfilterRowScalar(std::uint8_t FilterType, std::uint8_t* Row, const std::uint8_t* PriorRow,
                       std::int32_t Offset, std::int32_t Count);

}  // namespace snapkit
