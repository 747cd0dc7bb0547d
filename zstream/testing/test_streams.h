#pragma once
// Underlying streams that misbehave in controlled ways.

#include <algorithm>
#include <cstdint>

#include "host/system/stream.h"

namespace snapkit::testing {

// Accepts at most Capacity bytes in total, then writes short.
class TCappedStream : public host::TMemoryStream {
 public:
  explicit TCappedStream(std::int64_t Capacity) : FCapacity(Capacity) {}
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const auto room =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(FCapacity - FWritten, 0, Count));
    FWritten += room;
    return host::TMemoryStream::Write(Buffer, room);
  }

 private:
  std::int64_t FCapacity;
  std::int64_t FWritten = 0;
};

// Delivers at most Piece bytes per Read, as pipes and sockets do.
class TTrickleStream : public host::TMemoryStream {
 public:
  explicit TTrickleStream(std::int32_t Piece) : FPiece(Piece) {}
  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    ++Reads;
    return host::TMemoryStream::Read(Buffer, std::min(Count, FPiece));
  }
  int Reads = 0;

 private:
  std::int32_t FPiece;
};

}  // namespace snapkit::testing
