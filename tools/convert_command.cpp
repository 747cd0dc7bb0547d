#include "tools/convert_command.h"

#include <cctype>

#include "host/graphics/picture.h"
#include "host/system/exception.h"

namespace snapkit::tools {

const char* const ConvertUsage =
    "snapkit convert IN OUT\n"
    "  Reads the picture IN (any registered format: bmp, jpg, jpeg, png, ...)\n"
    "  and writes it to OUT in the format that OUT's extension names.\n";

TConvertOptions ParseConvertArgs(const std::vector<std::string>& Args) {
  TConvertOptions o;
  std::vector<std::string> files;
  bool optionsDone = false;
  for (const std::string& a : Args) {
    if (!optionsDone && a == "--") {
      optionsDone = true;
    } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
      throw TUsageError{"unknown option " + a};
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) throw TUsageError{"convert needs an input and an output file"};
  o.Input = files[0];
  o.Output = files[1];
  return o;
}

void RunConvert(const TConvertOptions& Options) {
  // Checked first so that a wrong output name costs no decoding.
  if (!host::TPicture::GraphicClassForFile(Options.Output)) {
    std::string name = Options.Output.substr(Options.Output.find_last_of('/') + 1);
    std::size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    throw host::EInvalidGraphic("Unknown picture file extension (" + ext + ")");
  }
  host::TPicture picture;
  picture.LoadFromFile(Options.Input);
  picture.SaveToFile(Options.Output);
}

}  // namespace snapkit::tools
