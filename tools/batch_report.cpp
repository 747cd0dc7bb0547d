#include "tools/batch_report.h"

#include <sys/stat.h>

#include "imaging/phash.h"

namespace snapkit::tools {

TReportLines ReadReportLines(std::istream& In) {
  TReportLines Out;
  std::string Text;
  while (std::getline(In, Text)) {
    // A line without its newline was cut short: never a record.
    if (In.eof()) break;
    Out.WholeBytes += Text.size() + 1;
    nlohmann::json Line = nlohmann::json::parse(Text, nullptr, false);
    if (Line.is_discarded() || !Line.is_object() || !Line.contains("line") ||
        !Line["line"].is_number_integer()) {
      ++Out.Unreadable;
      continue;
    }
    const int Number = Line["line"].get<int>();
    Out.Final[Number] = std::move(Line);
  }
  return Out;
}

bool WrittenWhole(const nlohmann::json& Final, const TBatchEntry& E, const std::string& OutDir) {
  if (!E.Problem.empty() || !Final.is_object()) return false;
  auto Field = [&](const char* Name) {
    auto It = Final.find(Name);
    return It == Final.end() ? nlohmann::json() : *It;
  };
  const nlohmann::json File = Field("file"), Size = Field("size"), Url = Field("url");
  if (!File.is_string() || !Size.is_number_integer() || !Url.is_string() ||
      !Field("error").is_null())
    return false;
  // The same line of the same list: its URL and name (the folder may be
  // spelt otherwise from run to run).
  const std::string Name = File.get<std::string>();
  if (Name.size() < E.Name.size() + 1 ||
      Name.compare(Name.size() - E.Name.size() - 1, std::string::npos, "/" + E.Name) != 0)
    return false;
  try {
    if (Url.get<std::string>() != PageUrl(E.Url)) return false;
  } catch (const TCaptureFailure&) {
    return false;
  }
  // Published by a rename, so a file there is whole unless something else
  // changed it since.
  struct stat St;
  return ::stat((OutDir + "/" + E.Name).c_str(), &St) == 0 && S_ISREG(St.st_mode) &&
         St.st_size > 0 && St.st_size == Size.get<std::int64_t>();
}

void AddPictureFields(nlohmann::ordered_json& Line, const TCaptureResult& R) {
  Line["phash"] = R.HasPHash ? nlohmann::ordered_json(HashToHex(R.PHash)) : nullptr;
}

}  // namespace snapkit::tools
