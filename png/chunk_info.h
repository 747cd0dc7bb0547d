#pragma once
// A file's chunks as they stand, without decoding: for "info" listings and
// for checking files by hand. Unknown and damaged chunks are listed too.

#include <cstdint>
#include <string>
#include <vector>

#include "host/system/stream.h"

namespace snapkit {

struct TPNGChunkInfo {
  std::string Type;  // the four type bytes
  std::uint32_t Length = 0;
  std::uint32_t StoredCRC = 0;
  std::uint32_t ComputedCRC = 0;
  bool Truncated = false;  // the file ends inside its data or CRC
  bool CRCValid() const { return StoredCRC == ComputedCRC; }
};

struct TPNGHeaderInfo {
  std::uint32_t Width = 0, Height = 0;
  std::uint8_t BitDepth = 0, ColorType = 0, Compression = 0, Filter = 0, Interlace = 0;
};

struct TPNGFileInfo {
  bool SignatureValid = false;
  bool HasHeader = false;  // the first chunk is a 13-byte IHDR
  TPNGHeaderInfo Header;
  std::vector<TPNGChunkInfo> Chunks;
  // Why listing stopped before an IEND chunk, empty when it did not.
  std::string Problem;
};

// Reads from Stream's position up to and including IEND.
TPNGFileInfo ReadPNGInfo(host::TStream& Stream);
// One line per chunk after the header's fields.
std::string FormatPNGInfo(const TPNGFileInfo& Info);

}  // namespace snapkit
