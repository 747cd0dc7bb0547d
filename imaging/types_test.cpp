#include "imaging/types.h"

#include <gtest/gtest.h>

namespace snapkit {
namespace {

TEST(ImagingTypes, EnumerationNamesBothWays) {
  EXPECT_EQ(GetEnumName(csRGB), "csRGB");
  EXPECT_EQ(GetEnumName(csNone), "csNone");
  EXPECT_EQ(static_cast<int>(csNone), 13);
  EXPECT_EQ(GetEnumName(cp8bit), "cp8bit");
  EXPECT_EQ(static_cast<int>(cp8bit), 12);
  EXPECT_EQ(GetEnumName(smFitHeight), "smFitHeight");
  EXPECT_EQ(GetEnumName(static_cast<TSizeMode>(9)), "");
  EXPECT_EQ(GetColorSpaceValue("csycbcr"), csYCBCR);
  EXPECT_EQ(GetColorPlaneValue("cpSaturationHSV"), cpSaturationHSV);
  EXPECT_EQ(GetSizeModeValue("smOriginal"), smOriginal);
  EXPECT_EQ(GetSizeModeValue("original"), -1);
}

}  // namespace
}  // namespace snapkit
