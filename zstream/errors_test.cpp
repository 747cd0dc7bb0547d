#include "zstream/errors.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "zstream/level.h"
#include "zstream/testing/raised.h"

namespace snapkit {
namespace {

using testing::MessageOf;

TEST(ZLibErrors, NegativeCodesRaiseWithZlibTexts) {
  const std::pair<int, const char*> table[] = {{Z_ERRNO, "file error"},
                                               {Z_STREAM_ERROR, "stream error"},
                                               {Z_DATA_ERROR, "data error"},
                                               {Z_MEM_ERROR, "insufficient memory"},
                                               {Z_BUF_ERROR, "buffer error"},
                                               {Z_VERSION_ERROR, "incompatible version"},
                                               {-7, ""},
                                               {-1000, ""}};
  for (auto [code, text] : table) {
    EXPECT_EQ(MessageOf<EZCompressionError>([&] { CheckCompress(code); }), text) << code;
    EXPECT_EQ(MessageOf<EZDecompressionError>([&] { CheckDecompress(code); }), text) << code;
  }
}

TEST(ZLibErrors, NonNegativeCodesPassThrough) {
  for (int code : {Z_OK, Z_STREAM_END, Z_NEED_DICT}) {
    EXPECT_EQ(CheckCompress(code), code);
    EXPECT_EQ(CheckDecompress(code), code);
  }
  EXPECT_EQ(ZErrorMessage(Z_NEED_DICT), "need dictionary");
  EXPECT_EQ(ZErrorMessage(Z_STREAM_END), "stream end");
}

TEST(ZLibLevels, UnknownLevelIsRejected) {
  EXPECT_EQ(MessageOf<EZCompressionError>([] { ZLibLevel(static_cast<TZCompressionLevel>(4)); }),
            "stream error");
}

}  // namespace
}  // namespace snapkit
