#pragma once
// What every fuzz target needs: a stream over the input and the check that
// turns a broken property into a crash libFuzzer records.

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/system/stream.h"

namespace snapkit::fuzz {

// A memory stream holding a copy of Data, positioned at its start.
void Fill(host::TMemoryStream& Stream, const std::uint8_t* Data, std::size_t Size);

// Aborts with What on stderr when Condition is false. A plain abort, not an
// exception: the caller's catch blocks must not swallow it.
void Check(bool Condition, const std::string& What);

}  // namespace snapkit::fuzz
