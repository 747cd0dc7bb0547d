#include "tools/info_command.h"

#include <algorithm>
#include <cstdint>

#include "host/system/exception.h"
#include "host/system/stream.h"
#include "png/chunk_info.h"
#include "tools/convert_command.h"
#include "tools/picture_info.h"

namespace snapkit::tools {

const char* const InfoUsage =
    "snapkit info FILE\n"
    "  Lists the chunks of a PNG file (type, length, CRC status) and the\n"
    "  header's fields; for WebP and AVIF files, the size, kind and alpha and\n"
    "  the file's chunks or boxes.\n";

TInfoResult RunInfo(const std::vector<std::string>& Args) {
  if (Args.size() != 1) throw TUsageError{"info needs exactly one file"};
  TPNGFileInfo info;
  try {
    host::TFileStream file(Args[0], host::fmOpenRead);
    // WebP and AVIF files are small enough to look at whole.
    std::vector<std::uint8_t> head(12);
    head.resize(std::size_t(std::max(0, file.Read(head.data(), 12))));
    if (TCodedKind kind = CodedKindOf(head); kind != TCodedKind::None) {
      std::vector<std::uint8_t> whole(std::size_t(file.Size()));
      file.SetPosition(0);
      file.ReadBuffer(whole.data(), std::int64_t(whole.size()));
      TInfoResult result;
      result.Problem = kind == TCodedKind::WebP ? DescribeWebP(whole, result.Listing)
                                                : DescribeAVIF(whole, result.Listing);
      return result;
    }
    file.SetPosition(0);
    info = ReadPNGInfo(file);
  } catch (const host::Exception& e) {
    throw TFileError{Args[0], DescribeError(e)};
  }
  TInfoResult result{FormatPNGInfo(info), info.Problem};
  if (result.Problem.empty() && !info.HasHeader) result.Problem = "no IHDR chunk first";
  for (const TPNGChunkInfo& c : info.Chunks)
    if (result.Problem.empty() && !c.Truncated && !c.CRCValid())
      result.Problem = "chunk " + c.Type + " has a wrong CRC";
  return result;
}

}  // namespace snapkit::tools
