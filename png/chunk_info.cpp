#include "png/chunk_info.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "png/byte_order.h"
#include "png/crc.h"
#include "png/png_image.h"

namespace snapkit {

namespace {

bool ReadExactly(host::TStream& Stream, void* Buffer, std::int64_t Count) {
  auto* p = static_cast<std::uint8_t*>(Buffer);
  while (Count > 0) {
    const std::int32_t n =
        Stream.Read(p, static_cast<std::int32_t>(std::min<std::int64_t>(Count, 1 << 20)));
    if (n <= 0) return false;
    p += n;
    Count -= n;
  }
  return true;
}

const char* ColorTypeName(std::uint8_t ColorType) {
  switch (ColorType) {
    case 0:
      return "greyscale";
    case 2:
      return "RGB";
    case 3:
      return "palette";
    case 4:
      return "greyscale+alpha";
    case 6:
      return "RGBA";
    default:
      return "unknown";
  }
}

std::string Printable(const std::string& Type) {
  std::string result;
  for (unsigned char c : Type) {
    if (c >= 0x20 && c < 0x7F) {
      result += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      result += hex;
    }
  }
  return result;
}

}  // namespace

TPNGFileInfo ReadPNGInfo(host::TStream& Stream) {
  TPNGFileInfo info;
  std::uint8_t signature[8];
  if (!ReadExactly(Stream, signature, 8) || std::memcmp(signature, PNGSignature, 8) != 0) {
    info.Problem = "not a PNG file (bad signature)";
    return info;
  }
  info.SignatureValid = true;
  std::vector<std::uint8_t> data;
  for (;;) {
    std::uint8_t field[8];
    if (!ReadExactly(Stream, field, 8)) {
      info.Problem = "the file ends without an IEND chunk";
      break;
    }
    TPNGChunkInfo chunk;
    chunk.Length = GetBE32(field);
    chunk.Type.assign(reinterpret_cast<const char*>(field + 4), 4);
    const std::int64_t left = Stream.Size() - Stream.Position();
    if (chunk.Length > 0x7FFFFFFFu || static_cast<std::int64_t>(chunk.Length) + 4 > left) {
      chunk.Truncated = true;
      info.Chunks.push_back(chunk);
      info.Problem = "chunk " + Printable(chunk.Type) + " is truncated";
      break;
    }
    data.resize(chunk.Length);
    std::uint8_t crc[4];
    ReadExactly(Stream, data.data(), chunk.Length);
    ReadExactly(Stream, crc, 4);
    chunk.StoredCRC = GetBE32(crc);
    chunk.ComputedCRC = ~UpdateCRC(UpdateCRC(0xFFFFFFFFu, field + 4, 4), data.data(), data.size());
    if (info.Chunks.empty() && chunk.Type == "IHDR" && chunk.Length == 13) {
      info.HasHeader = true;
      TPNGHeaderInfo& h = info.Header;
      h.Width = GetBE32(data.data());
      h.Height = GetBE32(data.data() + 4);
      h.BitDepth = data[8];
      h.ColorType = data[9];
      h.Compression = data[10];
      h.Filter = data[11];
      h.Interlace = data[12];
    }
    info.Chunks.push_back(chunk);
    if (chunk.Type == "IEND") break;
  }
  return info;
}

std::string FormatPNGInfo(const TPNGFileInfo& Info) {
  std::string text;
  char line[160];
  if (Info.HasHeader) {
    const TPNGHeaderInfo& h = Info.Header;
    std::snprintf(line, sizeof line,
                  "size %ux%u, bit depth %u, colour type %u (%s), compression %u, filter %u, "
                  "interlace %u\n",
                  unsigned(h.Width), unsigned(h.Height), unsigned(h.BitDepth),
                  unsigned(h.ColorType), ColorTypeName(h.ColorType), unsigned(h.Compression),
                  unsigned(h.Filter), unsigned(h.Interlace));
    text += line;
  } else if (Info.SignatureValid) {
    text += "no IHDR chunk first\n";
  }
  for (const TPNGChunkInfo& c : Info.Chunks) {
    std::snprintf(line, sizeof line, "%-6s %10u  crc %08X %s\n", Printable(c.Type).c_str(),
                  unsigned(c.Length), unsigned(c.StoredCRC),
                  c.Truncated    ? "truncated"
                  : c.CRCValid() ? "ok"
                                 : "MISMATCH");
    text += line;
  }
  if (!Info.Problem.empty()) text += "error: " + Info.Problem + "\n";
  return text;
}

}  // namespace snapkit
