#pragma once
// Captures in bulk: a list of pages, several at a time, with a report and
// a share of the list per machine.

#include <istream>
#include <string>
#include <vector>

#include "tools/capture_command.h"

namespace snapkit::tools {

struct TBatchEntry {
  int Line;  // in the list, from 1
  std::string Url;
  std::string Name;  // the output file's name in the folder
};

// The list's entries of shard K of N: of the URL lines (not blank, not
// starting with #) the K-th, the (K+N)-th and so on. A line without a name
// gets one made of its line number and URL, with Format's extension.
std::vector<TBatchEntry> ReadBatchList(std::istream& List, const std::string& Format,
                                       int ShardIndex = 1, int ShardCount = 1);

// Captures every entry of the options' list; returns ceOk when all were
// written, ceFailed when some were not.
int CaptureBatch(const TCaptureOptions& Options);

}  // namespace snapkit::tools
