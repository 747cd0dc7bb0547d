#include "png/chunk_text.h"

#include <cstring>

#include "zstream/compression_stream.h"
#include "zstream/decompression_stream.h"

namespace snapkit {

SNAPKIT_CHUNK_CLASS(TChunkTEXT, TChunk);
SNAPKIT_CHUNK_CLASS(TChunkZTXT, TChunk);

namespace {

// The bytes from Start up to the first zero byte or the end.
std::string ZeroTerminated(const std::uint8_t* Bytes, std::size_t Size, std::size_t Start) {
  if (Start >= Size) return {};
  const auto* begin = reinterpret_cast<const char*>(Bytes) + Start;
  const void* zero = std::memchr(begin, 0, Size - Start);
  return std::string(begin, zero ? static_cast<const char*>(zero) : begin + (Size - Start));
}

std::string UpToZero(const std::string& Value) { return Value.substr(0, Value.find('\0')); }

}  // namespace

TChunkTEXT::TChunkTEXT(TChunkList* Owner, TChunkClass OwnClass) : TChunk(Owner, OwnClass) {
  // Named even when the registry has no entry for the class.
  SetName(ChunkName("tEXt"));
  const std::uint8_t empty[2] = {0, 0};
  SetData(empty, sizeof empty);
}

std::string TChunkTEXT::GetValue(std::int32_t Index) const {
  const std::string keyword = ZeroTerminated(Data().Memory(), GetSize(), 0);
  if (Index == 0) return keyword;
  return ZeroTerminated(Data().Memory(), GetSize(), keyword.size() + 1);
}

void TChunkTEXT::SetValue(std::int32_t Index, const std::string& Value) {
  const std::string keyword = UpToZero(Index == 0 ? Value : GetValue(0));
  const std::string text = UpToZero(Index == 0 ? GetValue(1) : Value);
  std::string data = keyword;
  data += '\0';
  data += text;
  data += '\0';
  SetData(data.data(), data.size());
}

std::string TChunkZTXT::GetValue(std::int32_t Index) {
  const std::size_t size = GetSize();
  const std::string keyword = ZeroTerminated(Data().Memory(), size, 0);
  if (Index == 0) return keyword;
  const std::size_t start = keyword.size() + 2;
  // Nothing compressed yet (a new chunk): no text rather than a zlib error.
  if (start >= size) return {};
  Data().SetPosition(static_cast<std::int64_t>(start));
  TZDecompressionStream inflater(Data());
  std::string text;
  char buffer[4096];
  for (;;) {
    const std::int32_t n = inflater.Read(buffer, sizeof buffer);
    text.append(buffer, static_cast<std::size_t>(n));
    if (n < static_cast<std::int32_t>(sizeof buffer)) break;
  }
  return text;
}

void TChunkZTXT::SetValue(std::int32_t Index, const std::string& Value) {
  const std::string keyword = UpToZero(Index == 0 ? Value : GetValue(0));
  const std::string text = UpToZero(Index == 0 ? GetValue(1) : Value);
  Data().Clear();
  Data().SetPosition(0);
  Data().WriteBuffer(keyword.data(), static_cast<std::int64_t>(keyword.size()));
  const std::uint8_t zeroAndMethod[2] = {0, 0};
  Data().WriteBuffer(zeroAndMethod, 2);
  TZCompressionStream deflater(Data(), zcDefault);
  deflater.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  deflater.Finish();
}

}  // namespace snapkit
