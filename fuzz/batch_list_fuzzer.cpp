// A capture list through ReadBatchList, as `snapkit capture --batch` reads
// one written by someone else. The first byte chooses the shard count (1 to
// 4) and --format (none, png, jpg, bmp); the rest is the list. What must
// hold: a good line has a plain file name with a format and a URL that
// loads; a list without clashes names no file twice; the shards together
// hold every line once, judged alike, and report the same clashes.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/batch_list.h"

using snapkit::fuzz::Check;
using namespace snapkit::tools;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0) return 0;
  const int ShardCount = Data[0] % 4 + 1;
  std::optional<TPictureFormat> Given;
  switch (Data[0] / 4 % 4) {
    case 1:
      Given = TPictureFormat::Png;
      break;
    case 2:
      Given = TPictureFormat::Jpeg;
      break;
    case 3:
      Given = TPictureFormat::Bmp;
      break;
  }
  const std::string Text(reinterpret_cast<const char*>(Data + 1), Size - 1);

  std::istringstream In(Text);
  const TBatchList All = ReadBatchList(In, Given);
  std::map<int, const TBatchEntry*> ByLine;
  std::set<std::string> Names;
  bool Repeated = false;
  for (const TBatchEntry& E : All.Entries) {
    Check(ByLine.empty() || E.Line > ByLine.rbegin()->first, "lines come in order");
    ByLine[E.Line] = &E;
    if (!E.Problem.empty()) continue;
    Check(!E.Name.empty() && E.Name.find('/') == std::string::npos && E.Name != "." &&
              E.Name != ".." && E.Name != "-",
          "a good line names a plain file");
    Check(OutputFormat(E.Name, Given, nullptr).has_value(), "a good line's name has a format");
    Check(E.Url.find('\0') == std::string::npos, "a good line's URL holds no NUL");
    try {
      PageUrl(E.Url);
    } catch (const TCaptureFailure&) {
      Check(false, "a good line's URL can be loaded");
    }
    Repeated = !Names.insert(E.Name).second || Repeated;
  }
  Check(Repeated == !All.Clashes.empty(), "clashes are reported exactly when names repeat");

  std::size_t Seen = 0;
  for (int K = 1; K <= ShardCount; ++K) {
    std::istringstream Again(Text);
    const TBatchList Shard = ReadBatchList(Again, Given, K, ShardCount);
    Check(Shard.Clashes == All.Clashes, "every shard sees the whole list's clashes");
    for (const TBatchEntry& E : Shard.Entries) {
      auto It = ByLine.find(E.Line);
      Check(It != ByLine.end(), "a shard's line is a line of the list");
      Check(It->second->Url == E.Url && It->second->Name == E.Name &&
                It->second->Problem == E.Problem,
            "a shard judges a line as the whole list does");
      ByLine.erase(It);
      ++Seen;
    }
  }
  Check(Seen == All.Entries.size() && ByLine.empty(), "the shards hold every line once");
  return 0;
}
