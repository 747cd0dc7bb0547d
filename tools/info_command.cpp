#include "tools/info_command.h"

#include "host/system/exception.h"
#include "host/system/stream.h"
#include "png/chunk_info.h"
#include "tools/convert_command.h"

namespace snapkit::tools {

const char* const InfoUsage =
    "snapkit info FILE.png\n"
    "  Lists the chunks of a PNG file (type, length, CRC status) and the\n"
    "  header's fields.\n";

TInfoResult RunInfo(const std::vector<std::string>& Args) {
  if (Args.size() != 1) throw TUsageError{"info needs exactly one file"};
  TPNGFileInfo info;
  try {
    host::TFileStream file(Args[0], host::fmOpenRead);
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
