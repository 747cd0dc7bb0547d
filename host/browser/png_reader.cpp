#include "host/browser/png_reader.h"

#include <glib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/system/exception.h"

namespace host {

namespace {

[[noreturn]] void Fail(const std::string& Why) {
  throw EOleException("Cannot read the browser's picture: " + Why);
}

std::uint32_t BigEndian32(const std::uint8_t* P) {
  return (std::uint32_t(P[0]) << 24) | (std::uint32_t(P[1]) << 16) | (std::uint32_t(P[2]) << 8) |
         P[3];
}

std::uint8_t Paeth(int A, int B, int C) {
  int P = A + B - C;
  int PA = std::abs(P - A), PB = std::abs(P - B), PC = std::abs(P - C);
  if (PA <= PB && PA <= PC) return static_cast<std::uint8_t>(A);
  return static_cast<std::uint8_t>(PB <= PC ? B : C);
}

// Undoes one row's filter in place; Prior is the previous unfiltered row
// (zeros for the first).
void Unfilter(int Filter, std::uint8_t* __restrict Row, const std::uint8_t* __restrict Prior,
              std::size_t Bytes, std::size_t Bpp) {
  switch (Filter) {
    case 0:
      break;
    case 1:
      for (std::size_t i = Bpp; i < Bytes; ++i) Row[i] = std::uint8_t(Row[i] + Row[i - Bpp]);
      break;
    case 2:
      for (std::size_t i = 0; i < Bytes; ++i) Row[i] = std::uint8_t(Row[i] + Prior[i]);
      break;
    case 3:
      for (std::size_t i = 0; i < Bytes; ++i) {
        int Left = i >= Bpp ? Row[i - Bpp] : 0;
        Row[i] = std::uint8_t(Row[i] + ((Left + Prior[i]) >> 1));
      }
      break;
    case 4:
      for (std::size_t i = 0; i < Bytes; ++i) {
        int Left = i >= Bpp ? Row[i - Bpp] : 0;
        int UpLeft = i >= Bpp ? Prior[i - Bpp] : 0;
        Row[i] = std::uint8_t(Row[i] + Paeth(Left, Prior[i], UpLeft));
      }
      break;
    default:
      Fail("unknown row filter " + std::to_string(Filter));
  }
}

// libdeflate inflates the browser's pictures (mostly long runs) several
// times faster than zlib, but only data that fills the rows exactly.
bool InflateWhole(const std::vector<std::uint8_t>& Compressed, std::vector<std::uint8_t>& Raw) {
  static thread_local std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)>
      D(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
  std::size_t Produced = 0;
  return D &&
         libdeflate_zlib_decompress(D.get(), Compressed.data(), Compressed.size(), Raw.data(),
                                    Raw.size(), &Produced) == LIBDEFLATE_SUCCESS &&
         Produced == Raw.size();
}

// zlib takes the rest: data with bytes to spare after the rows.
void InflateStream(std::vector<std::uint8_t>& Compressed, std::vector<std::uint8_t>& Raw) {
  z_stream Z{};
  if (inflateInit(&Z) != Z_OK) Fail("cannot start zlib");
  Z.next_in = Compressed.data();
  Z.avail_in = static_cast<uInt>(Compressed.size());
  Z.next_out = Raw.data();
  Z.avail_out = static_cast<uInt>(Raw.size());
  int Status = inflate(&Z, Z_FINISH);
  std::size_t Produced = Raw.size() - Z.avail_out;
  inflateEnd(&Z);
  if (Produced != Raw.size() || (Status != Z_STREAM_END && Status != Z_BUF_ERROR && Status != Z_OK))
    Fail("image data too short or damaged");
}

}  // namespace

TRgbImage ReadBrowserPng(const std::uint8_t* Data, std::size_t Size) {
  static const std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (Size < 8 || std::memcmp(Data, Signature, 8) != 0) Fail("not a PNG file");
  std::size_t Pos = 8;
  int Width = 0, Height = 0, Bpp = 0;
  bool HaveHeader = false, Ended = false;
  std::vector<std::uint8_t> Compressed;
  while (!Ended) {
    if (Size - Pos < 12) Fail("truncated chunk");
    std::uint32_t Length = BigEndian32(Data + Pos);
    if (Length > Size - Pos - 12) Fail("truncated chunk");
    const std::uint8_t* Type = Data + Pos + 4;
    const std::uint8_t* Body = Type + 4;
    std::uint32_t Crc = BigEndian32(Body + Length);
    if (crc32(crc32(0, nullptr, 0), Type, Length + 4) != Crc) Fail("bad chunk checksum");
    if (std::memcmp(Type, "IHDR", 4) == 0) {
      if (Length != 13) Fail("bad header");
      std::uint32_t W = BigEndian32(Body), H = BigEndian32(Body + 4);
      int Depth = Body[8], Colour = Body[9], Interlace = Body[12];
      if (W == 0 || H == 0 || W > (1u << 20) || H > (1u << 20)) Fail("bad size");
      if (Depth != 8 || (Colour != 2 && Colour != 6) || Body[10] != 0 || Body[11] != 0 ||
          Interlace != 0)
        Fail("not an 8-bit RGB or RGBA picture without interlacing");
      Width = static_cast<int>(W);
      Height = static_cast<int>(H);
      Bpp = Colour == 2 ? 3 : 4;
      HaveHeader = true;
    } else if (std::memcmp(Type, "IDAT", 4) == 0) {
      if (!HaveHeader) Fail("image data before the header");
      Compressed.insert(Compressed.end(), Body, Body + Length);
    } else if (std::memcmp(Type, "IEND", 4) == 0) {
      Ended = true;
    } else if (!(Type[0] & 0x20)) {
      Fail("unknown critical chunk");
    }
    Pos += 12 + Length;
  }
  if (!HaveHeader) Fail("no header");

  std::size_t Stride = static_cast<std::size_t>(Width) * static_cast<std::size_t>(Bpp);
  std::size_t RawSize = (Stride + 1) * static_cast<std::size_t>(Height);
  std::vector<std::uint8_t> Raw(RawSize);
  if (!InflateWhole(Compressed, Raw)) InflateStream(Compressed, Raw);

  // Unfiltered in place: the rows stay where inflate put them.
  TRgbImage Image;
  Image.Width = Width;
  Image.Height = Height;
  Image.Bpp = Bpp;
  Image.Stride = Stride + 1;
  std::vector<std::uint8_t> Zeros(Stride, 0);
  const std::uint8_t* Prior = Zeros.data();
  for (int y = 0; y < Height; ++y) {
    std::uint8_t* Line = Raw.data() + static_cast<std::size_t>(y) * (Stride + 1);
    Unfilter(Line[0], Line + 1, Prior, Stride, static_cast<std::size_t>(Bpp));
    Prior = Line + 1;
  }
  Image.Data = std::move(Raw);
  return Image;
}

std::vector<std::uint8_t> DecodeBase64(const std::string& Text) {
  // GLib skips characters outside the alphabet; the browser never sends
  // any, so one would mean an answer we do not understand.
  static const char* Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::size_t Size = Text.find_last_not_of('=') + 1;
  if (Text.find_first_not_of(Alphabet) < Size || Size % 4 == 1)
    throw EOleException("Cannot read the browser's picture: bad base64 data");
  std::vector<std::uint8_t> Out(Size / 4 * 3 + 3);
  gint State = 0;
  guint Save = 0;
  Out.resize(g_base64_decode_step(Text.data(), Text.size(), Out.data(), &State, &Save));
  return Out;
}

}  // namespace host
