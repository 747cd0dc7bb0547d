#include "tools/info_command.h"

#include "host/system/stream.h"
#include "png/chunk_info.h"
#include "tools/convert_command.h"

namespace snapkit::tools {

const char* const InfoUsage =
    "snapkit info FILE.png\n"
    "  Lists the chunks of a PNG file (type, length, CRC status) and the\n"
    "  header's fields.\n";

std::string RunInfo(const std::vector<std::string>& Args) {
  if (Args.size() != 1) throw TUsageError{"info needs exactly one file"};
  host::TFileStream file(Args[0], host::fmOpenRead);
  return FormatPNGInfo(ReadPNGInfo(file));
}

}  // namespace snapkit::tools
