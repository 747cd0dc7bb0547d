#pragma once
// A batch's report as --resume reads it back: one JSON line per list line
// per run, appended; the last line for a list line is its final one.

#include <istream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "tools/batch_list.h"
#include "tools/capture_job.h"

namespace snapkit::tools {

struct TReportLines {
  // The last line that names each list line ("line"), as read.
  std::map<int, nlohmann::json> Final;
  // The bytes up to the end of the last whole line: a run killed while it
  // wrote may have left a line cut short after them.
  std::size_t WholeBytes = 0;
  // Lines ended by a newline that are not a report line (ignored).
  int Unreadable = 0;
};

TReportLines ReadReportLines(std::istream& In);

// True when Final says E was written (no error) to its name in OutDir and
// the file there has the size reported, so nothing need be captured again.
bool WrittenWhole(const nlohmann::json& Final, const TBatchEntry& E, const std::string& OutDir);

// Adds what a report line says of the picture beyond its file: "phash",
// its perceptual hash as 16 hex digits (null when nothing was written).
void AddPictureFields(nlohmann::ordered_json& Line, const TCaptureResult& R);

}  // namespace snapkit::tools
