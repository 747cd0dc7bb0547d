#include "zstream/testing/zlib_reference.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace snapkit::testing {

Bytes RefCompress(const Bytes& Data, int ZLevel) {
  uLongf size = compressBound(Data.size());
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, Data.data(), Data.size(), ZLevel), Z_OK);
  out.resize(size);
  return out;
}

Bytes RefUncompress(const std::uint8_t* Data, std::size_t Size, std::size_t ExpectedSize) {
  // One spare byte so that an over-long result shows as a wrong size.
  Bytes out(ExpectedSize + 1);
  uLongf size = out.size();
  EXPECT_EQ(uncompress(out.data(), &size, Data, Size), Z_OK);
  EXPECT_EQ(size, ExpectedSize);
  out.resize(size);
  return out;
}

Bytes RefInflatePrefix(const Bytes& Data, std::size_t MaxSize) {
  z_stream z{};
  EXPECT_EQ(inflateInit(&z), Z_OK);
  Bytes out(MaxSize);
  z.next_in = const_cast<Bytef*>(Data.data());
  z.avail_in = static_cast<uInt>(Data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  inflate(&z, Z_SYNC_FLUSH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

Bytes RefCompressWithDictionary(const Bytes& Data, const std::string& Dictionary) {
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, Z_DEFAULT_COMPRESSION), Z_OK);
  EXPECT_EQ(deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(Dictionary.data()),
                                 static_cast<uInt>(Dictionary.size())),
            Z_OK);
  Bytes out(deflateBound(&z, Data.size()));
  z.next_in = const_cast<Bytef*>(Data.data());
  z.avail_in = static_cast<uInt>(Data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace snapkit::testing
