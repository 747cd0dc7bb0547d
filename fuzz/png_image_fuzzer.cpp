// PNG files through TPNGImage: any input must load or fail with an exception
// of ours, and what loads must survive a save and a second load unchanged.

#include <zlib.h>

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

#ifdef SNAPKIT_LIBFUZZER
// Mutations almost always break a chunk's CRC, and the reader stops at the
// first bad one, so most mutants would never reach the header and image
// data checks. Three times in four the mutant's CRCs are made right again.
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* Data, std::size_t Size, std::size_t MaxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* Data, std::size_t Size,
                                               std::size_t MaxSize, unsigned int Seed) {
  Size = LLVMFuzzerMutate(Data, Size, MaxSize);
  if (Seed % 4 == 0) return Size;
  for (std::size_t at = 8; at + 12 <= Size;) {
    const std::uint32_t length =
        std::uint32_t(Data[at]) << 24 | Data[at + 1] << 16 | Data[at + 2] << 8 | Data[at + 3];
    if (length > Size - at - 12) break;
    const std::uint32_t crc = std::uint32_t(crc32(0, Data + at + 4, length + 4));
    std::uint8_t* field = Data + at + 8 + length;
    field[0] = std::uint8_t(crc >> 24);
    field[1] = std::uint8_t(crc >> 16);
    field[2] = std::uint8_t(crc >> 8);
    field[3] = std::uint8_t(crc);
    at += 12 + length;
  }
  return Size;
}
#endif
