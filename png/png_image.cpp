#include "png/png_image.h"

#include <cstring>

#include "host/system/stream.h"
#include "png/chunk_idat.h"
#include "png/chunk_ihdr.h"
#include "png/chunk_plte.h"
#include "png/chunk_trns.h"
#include "png/errors.h"

namespace snapkit {

const std::uint8_t PNGSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

const host::TGraphicClassRef TPNGImage::ClassInfo = {
    "TPNGImage", &host::TBitmap::ClassInfo, &host::CreateInstance<TPNGImage, host::TGraphic>};

TPNGImage::TPNGImage() : FChunkList(std::make_unique<TChunkList>(this)) {
  FInterlacing = false;
  SetFilter(DefaultFilterSet);
  Clear();
}

TPNGImage::~TPNGImage() {
  // Chunks reach into the bitmap (the palette chunk takes its palette back),
  // so they go while it still exists.
  FChunkList.reset();
}

void TPNGImage::RegisterChunkClass(const TChunkName& Name, TChunkClass ChunkClass) {
  ChunkClasses().Add(Name, ChunkClass);
}

void TPNGImage::Clear() {
  FChunkList->Clear();
  auto* header = FChunkList->Add<TChunkIHDR>();
  header->SetWidth(0);
  header->SetHeight(0);
  header->SetValue(0, 2);
  header->SetValue(1, 3);
  header->SetValue(2, 0);
  header->SetValue(3, 0);
  header->SetValue(4, 0);
  SetPalette(nullptr);
  FChunkList->Add<TChunkIDAT>();
  FChunkList->Add<TChunkIEND>();
}

namespace {

bool Inherits(const TChunk* Chunk, TChunkClass Class) {
  return Chunk->ClassType()->InheritsFrom(Class);
}

}  // namespace

void TPNGImage::LoadFromStream(host::TStream& Stream) {
  Clear();
  FChunkList->Clear();

  std::uint8_t signature[8];
  std::int32_t got = 0;
  for (std::int32_t n; got < 8 && (n = Stream.Read(signature + got, 8 - got)) > 0;) got += n;
  if (got != 8 || std::memcmp(signature, PNGSignature, 8) != 0)
    RaisePNGError(_PNG_ERROR_INVALID_HEADER);

  // Bytes after the end chunk stay unread.
  while (Stream.Position() < Stream.Size())
    if (Inherits(FChunkList->AddStream(Stream), &TChunkIEND::ClassInfo)) break;

  if (FChunkList->GetCount() == 0 || !Inherits(FChunkList->GetItem(0), &TChunkIHDR::ClassInfo))
    RaisePNGError(_PNG_ERROR_IHDR_NOT_FIRST);
  if (FChunkList->IndexOfClass(&TChunkIDAT::ClassInfo) < 0) RaisePNGError(_PNG_ERROR_NO_IDAT);

  for (int i = 0; i < FChunkList->GetCount(); ++i) FChunkList->GetItem(i)->DoAction();

  const int trns = FChunkList->IndexOfClass(&TChunkTRNS::ClassInfo);
  auto* header = static_cast<TChunkIHDR*>(FChunkList->GetItem(0));
  if (trns >= 0 && header->ColorType() == 2) {
    SetTransparentColor(static_cast<TChunkTRNS*>(FChunkList->GetItem(trns))->GetRGBColor());
    SetTransparent(true);
  }
}

void TPNGImage::LoadFromFile(const std::string& FileName) {
  host::TFileStream file(FileName, host::fmOpenRead);
  LoadFromStream(file);
}

void TPNGImage::SaveToFile(const std::string& FileName) { host::TGraphic::SaveToFile(FileName); }

void TPNGImage::SaveToStream(host::TStream& Stream) {
  Stream.WriteBuffer(PNGSignature, 8);
  TChunkList& list = *FChunkList;
  // An emptied list gets the three chunks every file needs. (Clear would
  // also resize the bitmap to 0 by 0 and so save an empty image.)
  if (list.GetCount() == 0) {
    list.Add<TChunkIHDR>();
    list.Add<TChunkIDAT>();
    list.Add<TChunkIEND>();
  }
  if (!Inherits(list.GetItem(0), &TChunkIHDR::ClassInfo)) {
    list.Add<TChunkIHDR>();
    list.Move(list.GetCount() - 1, 0);
  }
  const host::TPixelFormat format = PixelFormat();
  const bool indexed = format == host::pf1bit || format == host::pf4bit || format == host::pf8bit;
  if (indexed && list.IndexOfClass(&TChunkPLTE::ClassInfo) < 0) {
    list.Add<TChunkPLTE>();
    list.Move(list.GetCount() - 1, 1);
  }
  if (Transparent()) {
    if (list.IndexOfClass(&TChunkTRNS::ClassInfo) < 0) {
      list.Add<TChunkTRNS>();
      list.Move(list.GetCount() - 1, 1);
    }
  } else {
    for (int i = list.GetCount() - 1; i >= 0; --i)
      if (Inherits(list.GetItem(i), &TChunkTRNS::ClassInfo)) list.Remove(list.GetItem(i));
  }
  if (list.IndexOfClass(&TChunkIEND::ClassInfo) < 0) list.Add<TChunkIEND>();
  if (list.IndexOfClass(&TChunkIDAT::ClassInfo) < 0) {
    // After the palette and transparency chunks that follow the header:
    // PNG readers refuse those after the image data.
    int index = 1;
    while (index < list.GetCount() && (list.GetItem(index)->ClassType() == &TChunkPLTE::ClassInfo ||
                                       list.GetItem(index)->ClassType() == &TChunkTRNS::ClassInfo))
      ++index;
    list.Add<TChunkIDAT>();
    list.Move(list.GetCount() - 1, index);
  }
  for (int i = 0; i < list.GetCount(); ++i) list.GetItem(i)->SaveToStream(Stream);
}

void TPNGImage::Assign(const host::TPersistent& Source) {
  if (&Source == this) return;
  if (const auto* png = dynamic_cast<const TPNGImage*>(&Source)) {
    FChunkList->Clear();
    const TChunkList& from = png->Chunks();
    for (int i = 0; i < from.GetCount(); ++i) {
      const TChunk* chunk = from.GetItem(i);
      const int entry = ChunkClasses().IndexOfType(chunk->Name());
      std::unique_ptr<TChunk> copy =
          entry >= 0 ? ChunkClasses().GetItem(entry).ChunkClass->Create(FChunkList.get())
                     : std::make_unique<TChunk>(FChunkList.get());
      FChunkList->AddItem(std::move(copy))->Assign(*chunk);
    }
    SetFilter(png->Filter());
    FInterlacing = png->Interlacing();
  }
  host::TBitmap::Assign(Source);
}

}  // namespace snapkit
