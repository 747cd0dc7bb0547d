#pragma once
// The header chunk (13 bytes: width, height, bit depth, colour type,
// compression, filter and interlace methods) and the end marker.

#include <cstdint>

#include "png/chunk.h"

namespace snapkit {

class TChunkIHDR : public TChunk {
  SNAPKIT_DECLARE_CHUNK_CLASS

 public:
  explicit TChunkIHDR(TChunkList* Owner) : TChunkIHDR(Owner, &ClassInfo) {}

  std::uint32_t GetWidth() const;
  std::uint32_t GetHeight() const;
  // Store the value and resize the owning bitmap when its size differs.
  void SetWidth(std::uint32_t Value);
  void SetHeight(std::uint32_t Value);
  // Index 0..4: bit depth, colour type, compression, filter, interlace
  // method; other indexes read 0 and write nothing.
  std::uint8_t GetValue(std::int32_t Index) const;
  void SetValue(std::int32_t Index, std::uint8_t Value);

  std::uint8_t BitDepth() const { return GetValue(0); }
  std::uint8_t ColorType() const { return GetValue(1); }
  std::uint8_t InterlaceMethod() const { return GetValue(4); }

  // Brings every field up to date from the owning image first (this may
  // convert the bitmap to 24 bits per pixel).
  void SaveToStream(host::TStream& Stream) override;

 protected:
  TChunkIHDR(TChunkList* Owner, TChunkClass OwnClass);

 private:
  std::uint8_t* Bytes() { return Data().Memory(); }
  const std::uint8_t* Bytes() const { return Data().Memory(); }
};

class TChunkIEND : public TChunk {
  SNAPKIT_DECLARE_CHUNK_CLASS

 public:
  explicit TChunkIEND(TChunkList* Owner) : TChunkIEND(Owner, &ClassInfo) {}

 protected:
  TChunkIEND(TChunkList* Owner, TChunkClass OwnClass) : TChunk(Owner, OwnClass) {}
};

}  // namespace snapkit
