// Library load and unload: the chunk registry's entries and the picture
// format.

#include "host/graphics/picture.h"
#include "png/chunk_gama.h"
#include "png/chunk_idat.h"
#include "png/chunk_ihdr.h"
#include "png/chunk_plte.h"
#include "png/chunk_text.h"
#include "png/chunk_time.h"
#include "png/chunk_trns.h"
#include "png/png_image.h"

namespace snapkit {
namespace {

struct TPNGRegistration {
  TPNGRegistration() {
    TChunkClasses& registry = ChunkClasses();
    registry.Add(ChunkName("IEND"), &TChunkIEND::ClassInfo);
    registry.Add(ChunkName("IHDR"), &TChunkIHDR::ClassInfo);
    registry.Add(ChunkName("gAMA"), &TChunkGAMA::ClassInfo);
    registry.Add(ChunkName("IDAT"), &TChunkIDAT::ClassInfo);
    registry.Add(ChunkName("PLTE"), &TChunkPLTE::ClassInfo);
    registry.Add(ChunkName("tEXt"), &TChunkTEXT::ClassInfo);
    registry.Add(ChunkName("tRNS"), &TChunkTRNS::ClassInfo);
    registry.Add(ChunkName("tIME"), &TChunkTIME::ClassInfo);
    host::TPicture::RegisterFileFormat("PNG", "Portable Network Graphics", &TPNGImage::ClassInfo);
  }
  ~TPNGRegistration() { host::TPicture::UnregisterGraphicClass(&TPNGImage::ClassInfo); }
};

const TPNGRegistration registration;

}  // namespace
}  // namespace snapkit
