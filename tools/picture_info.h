#pragma once
// What `snapkit info` says about WebP and AVIF files: the header's facts and
// the file's top-level chunks or boxes, read without decoding the pixels.

#include <cstdint>
#include <string>
#include <vector>

namespace snapkit::tools {

enum class TCodedKind { None, WebP, AVIF };

// Which of the two formats Head (the file's first bytes) begins, if any.
TCodedKind CodedKindOf(const std::vector<std::uint8_t>& Head);

// Listing gets the description; the return value is what is wrong with the
// file, empty when nothing is.
std::string DescribeWebP(const std::vector<std::uint8_t>& File, std::string& Listing);
std::string DescribeAVIF(const std::vector<std::uint8_t>& File, std::string& Listing);

}  // namespace snapkit::tools
