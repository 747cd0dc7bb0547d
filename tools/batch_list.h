#pragma once
// A capture list as others write it: one "URL [NAME]" a line. Reading it
// needs no browser, so every line is checked before a page is loaded.

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "tools/picture_output.h"

namespace snapkit::tools {

// What a capture ended with; also the program's exit code, so that scripts
// can tell the failures apart.
enum TCaptureExit : int {
  ceOk = 0,
  ceFailed = 1,  // rendering or writing failed; in bulk: some pages failed
  ceUsage = 2,
  ceMalformedUrl = 3,
  ceUnreachable = 4,
  ceHttpError = 5,
  ceTimedOut = 6,
};

struct TCaptureFailure {
  TCaptureExit Code;
  std::string Message;
};

// The URL to load for Text: a URL as it is, or an existing file's path as a
// file URL. Raises TCaptureFailure with ceMalformedUrl otherwise, and for
// file URLs and paths unless AllowLocal.
std::string PageUrl(const std::string& Text, bool AllowLocal = true);

struct TBatchEntry {
  int Line;  // in the list, from 1
  std::string Url;
  std::string Name;     // the output file's name in the folder
  std::string Problem;  // why the line cannot be captured; empty when it can
};

struct TBatchList {
  // The shard's URL lines, good and bad, in list order.
  std::vector<TBatchEntry> Entries;
  // Lines of the whole list that would write one file ("lines 2 and 5
  // both name a.png"); empty when there are none.
  std::string Clashes;
};

// The entries of shard K of N: of the URL lines (not blank, not starting
// with #) the K-th, the (K+N)-th and so on. A line without a name gets one
// made of its line number and URL, with Given's extension (PNG's without).
// A named line's extension chooses its format as OUT's does. Never raises
// for what the list holds.
TBatchList ReadBatchList(std::istream& List, const std::optional<TPictureFormat>& Given,
                         int ShardIndex = 1, int ShardCount = 1);

}  // namespace snapkit::tools
