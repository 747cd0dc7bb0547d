#include "png/chunk_time.h"

#include <cstdio>

#include "host/system/dialogs.h"
#include "png/errors.h"

namespace snapkit {

SNAPKIT_CHUNK_CLASS(TChunkTIME, TChunk);

TChunkTIME::TChunkTIME(TChunkList* Owner, TChunkClass OwnClass) : TChunk(Owner, OwnClass) {
  Data().SetSize(7);
  SetDateTime(host::Now());
}

void TChunkTIME::SetDateTime(host::TDateTime DateTime) {
  std::uint16_t year, month, day, hour, minute, second, msec;
  host::DecodeDate(DateTime, year, month, day);
  host::DecodeTime(DateTime, hour, minute, second, msec);
  const std::uint8_t bytes[7] = {std::uint8_t(year >> 8), std::uint8_t(year), std::uint8_t(month),
                                 std::uint8_t(day),       std::uint8_t(hour), std::uint8_t(minute),
                                 std::uint8_t(second)};
  SetData(bytes, sizeof bytes);
}

host::TDateTime TChunkTIME::GetDateTime() const {
  if (GetSize() != 7) RaisePNGError(_TIME_CORRUPTED);
  const std::uint8_t* b = Data().Memory();
  std::uint16_t year = std::uint16_t(b[0] << 8 | b[1]);
  if (year == 0) year = 2000;
  host::TDateTime date = 0, time = 0;
  if (!host::TryEncodeDate(year, b[2], b[3], date) ||
      !host::TryEncodeTime(b[4], b[5], b[6], 0, time)) {
    char text[128];
    std::snprintf(text, sizeof text, "Year: %d, Month: %d, Day: %d, Hour: %d, Min: %d,Sec: %d",
                  int(year), int(b[2]), int(b[3]), int(b[4]), int(b[5]), int(b[6]));
    host::ShowMessage(text);
    RaisePNGError(_TIME_CORRUPTED);
  }
  // Before 1899 the day count is negative and the time of day runs the other way.
  return date >= 0 ? date + time : date - time;
}

}  // namespace snapkit
