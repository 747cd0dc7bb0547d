// PNG files through TPNGImage: any input must load or fail with an exception
// of ours, and what loads must survive a save and a second load unchanged.

#include <cstddef>
#include <cstdint>

#include "fuzz/bitmap_checks.h"
#include "fuzz/fuzz_support.h"
#include "host/system/exception.h"
#include "png/chunk_gama.h"
#include "png/chunk_info.h"
#include "png/png_image.h"

using snapkit::fuzz::Check;
using snapkit::fuzz::Difference;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  host::TMemoryStream file;
  snapkit::fuzz::Fill(file, Data, Size);

  // The listing reads damaged files too, so it never raises.
  snapkit::TPNGFileInfo info = snapkit::ReadPNGInfo(file);
  snapkit::FormatPNGInfo(info);
  file.SetPosition(0);

  snapkit::TPNGImage image;
  try {
    image.LoadFromStream(file);
  } catch (const host::Exception&) {
    return 0;
  }

  // Gamma was applied while loading; saved again with its gAMA chunk it
  // would be applied twice on the second load.
  snapkit::TChunkList& chunks = image.Chunks();
  for (int i = chunks.GetCount() - 1; i >= 0; --i)
    if (chunks.GetItem(i)->ClassType()->InheritsFrom(&snapkit::TChunkGAMA::ClassInfo))
      chunks.Remove(chunks.GetItem(i));

  host::TMemoryStream saved;
  try {
    image.SaveToStream(saved);
  } catch (const host::Exception& e) {
    Check(false, "a loaded PNG could not be saved: " + e.Message());
  }
  saved.SetPosition(0);
  snapkit::TPNGImage again;
  try {
    again.LoadFromStream(saved);
  } catch (const host::Exception& e) {
    Check(false, "a saved PNG could not be loaded: " + e.Message());
  }
  const std::string diff = Difference(image, again);
  Check(diff.empty(), "PNG round trip changed the " + diff);
  return 0;
}
